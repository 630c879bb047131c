#include "ui/CircleSymbolButton.h"
#include "ui/ScaleButton.h"
#include "ui/Spring.h"
#include "ui/SymbolIcon.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QSignalSpy>
#include <QTest>

namespace {

class ProbeButton : public ScaleButton
{
public:
    using ScaleButton::ScaleButton;

protected:
    void paintFace(QPainter& painter, const QRectF& rect) override { painter.fillRect(rect, Qt::blue); }
};

} // namespace

class TestPanelParts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void springSettlesAtTarget_data();
    void springSettlesAtTarget();
    void pressShrinksAndReleaseRestores();
    void releasingOutsideRunsNoAction();
    void everySymbolDraws();
    void themeSwitchesPalettes();
};

void TestPanelParts::springSettlesAtTarget_data()
{
    QTest::addColumn<qreal>("response");
    QTest::addColumn<qreal>("damping");
    QTest::newRow("press style") << 0.15 << 0.7;
    QTest::newRow("list") << 0.5 << 0.82;
    QTest::newRow("critically damped") << 0.3 << 1.0;
}

void TestPanelParts::springSettlesAtTarget()
{
    QFETCH(qreal, response);
    QFETCH(qreal, damping);
    QCOMPARE(SpringAnimation::springPosition(0, response, damping), 0.0);
    const qreal settle = SpringAnimation::settleMilliseconds(response, damping) / 1000.0;
    QVERIFY(qAbs(SpringAnimation::springPosition(settle, response, damping) - 1.0) < 0.002);
    qreal highest = 0;
    for (qreal t = 0; t < settle; t += 0.005)
        highest = qMax(highest, SpringAnimation::springPosition(t, response, damping));
    // Underdamped springs overshoot a little, a critically damped one never does.
    if (damping >= 1.0)
        QVERIFY(highest <= 1.0 + 1e-9);
    else
        QVERIFY(highest > 1.0 && highest < 1.2);
}

void TestPanelParts::pressShrinksAndReleaseRestores()
{
    ProbeButton button;
    button.resize(60, 28);
    button.show();
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(30, 14));
    QTRY_VERIFY(button.pressAmount() > 0.9);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(30, 14));
    QTRY_VERIFY(qAbs(button.pressAmount()) < 0.01);
    QCOMPARE(clicked.count(), 1);
}

void TestPanelParts::releasingOutsideRunsNoAction()
{
    ProbeButton button;
    button.resize(60, 28);
    button.show();
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(30, 14));
    QTest::mouseMove(&button, QPoint(200, 200));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(200, 200));
    QTRY_VERIFY(qAbs(button.pressAmount()) < 0.01);
    QCOMPARE(clicked.count(), 0);
}

void TestPanelParts::everySymbolDraws()
{
    const QStringList used = {"clipboard",
                              "list.clipboard.fill",
                              "lock.fill",
                              "lock.open.fill",
                              "pin",
                              "pin.fill",
                              "gearshape.fill",
                              "power",
                              "trash",
                              "doc.text",
                              "photo",
                              "photo.badge.exclamationmark",
                              "xmark.circle.fill"};
    for (const QString& name : used) {
        QVERIFY2(SymbolIcon::isKnown(name), qPrintable(name));
    }
    for (const QString& name : SymbolIcon::knownNames()) {
        QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        SymbolIcon::paint(painter, QRectF(0, 0, 32, 32), name, Qt::black, 16);
        painter.end();
        int inked = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                inked += qAlpha(image.pixel(x, y)) > 0;
        QVERIFY2(inked > 10, qPrintable(name));
    }
    // The filled and the outlined pin are told apart.
    QImage filled(32, 32, QImage::Format_ARGB32_Premultiplied);
    QImage outline(32, 32, QImage::Format_ARGB32_Premultiplied);
    for (auto [image, name] : {std::pair{&filled, "pin.fill"}, std::pair{&outline, "pin"}}) {
        image->fill(Qt::transparent);
        QPainter painter(image);
        SymbolIcon::paint(painter, QRectF(0, 0, 32, 32), QLatin1String(name), Qt::black, 16);
    }
    QVERIFY(filled != outline);
}

void TestPanelParts::themeSwitchesPalettes()
{
    QSignalSpy changed(&Theme::instance(), &Theme::changed);
    Theme::instance().setDark(true);
    QVERIFY(Theme::palette().dark);
    QVERIFY(Theme::palette().textBackground.lightness() < 80);
    Theme::instance().setDark(true);
    Theme::instance().setDark(false);
    QVERIFY(Theme::palette().textBackground.lightness() > 200);
    QCOMPARE(changed.count(), 2);
}

QTEST_MAIN(TestPanelParts)
#include "tst_panelparts.moc"
