#include "ui/EntryText.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QTest>

namespace {

struct Ink
{
    int top = -1;
    int bottom = -1;
    bool coloured = false;
};

// Where ink lies in an image painted on white, in device pixels.
Ink inkOf(const QImage& image)
{
    Ink ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.lightness() > 235)
                continue;
            if (ink.top < 0)
                ink.top = y;
            ink.bottom = y;
            if (qAbs(c.red() - c.green()) > 40 || qAbs(c.green() - c.blue()) > 40)
                ink.coloured = true;
        }
    }
    return ink;
}

QImage canvas(qreal ratio, int height = 120)
{
    QImage image(QSize(320, height) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    return image;
}

// One line of the layout painted alone.
Ink lineInk(const EntryText& text, int line, qreal ratio)
{
    QImage image = canvas(ratio);
    {
        QPainter painter(&image);
        painter.setPen(Qt::black);
        text.textLayout()->lineAt(line).draw(&painter, QPointF(0, 0));
    }
    return inkOf(image);
}

} // namespace

class TestEntryText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lineBreaksAreHonoured_data();
    void lineBreaksAreHonoured();
    void mixedLinesNeitherOverlapNorLoseDescenders_data();
    void mixedLinesNeitherOverlapNorLoseDescenders();
    void emojiLinesAreDrawnWhole();
    void everyEmojiIsInColour_data();
    void everyEmojiIsInColour();
    void firstMatchIsKeptInView();
};

void TestEntryText::lineBreaksAreHonoured_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxLines");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("elided");

    const QChar sep = QChar::LineSeparator;
    QTest::newRow("row, Chinese") << "第一行\n第二行" << 2 << QString("第一行%1第二行").arg(sep) << false;
    QTest::newRow("row, Latin") << "alpha\nbeta gamma" << 2 << QString("alpha%1beta gamma").arg(sep) << false;
    QTest::newRow("row, CR LF") << "alpha\r\nbeta" << 2 << QString("alpha\u200B%1beta").arg(sep) << false;
    QTest::newRow("row, third line elided") << "one\ntwo\nthree" << 2 << QString("one%1two%1three").arg(sep) << true;
    QTest::newRow("tile, six lines") << "记录\n第二行\n3\n4\n5\n6" << 6
                                     << QStringList({"记录", "第二行", "3", "4", "5", "6"}).join(sep) << false;
}

void TestEntryText::lineBreaksAreHonoured()
{
    QFETCH(QString, text);
    QFETCH(int, maxLines);
    QFETCH(QString, shown);
    QFETCH(bool, elided);
    const EntryText layout(text, pixelFont(13), 280, maxLines);
    QCOMPARE(layout.shownText(), shown);
    QCOMPARE(layout.lineCount(), qMin(maxLines, int(text.count(QLatin1Char('\n'))) + 1));
    QCOMPARE(layout.isElided(), elided);

    // Each shown line carries ink of its own: nothing after a line break is lost.
    for (int line = 0; line < layout.lineCount(); ++line)
        QVERIFY2(lineInk(layout, line, 1).top >= 0, qPrintable(QStringLiteral("line %1 is blank").arg(line)));
}

void TestEntryText::mixedLinesNeitherOverlapNorLoseDescenders_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("pixels");
    QTest::newRow("row at 1x") << 1.0 << 13;
    QTest::newRow("row at 2x") << 2.0 << 13;
    QTest::newRow("tile at 1x") << 1.0 << 10;
    QTest::newRow("tile at 2x") << 2.0 << 10;
}

void TestEntryText::mixedLinesNeitherOverlapNorLoseDescenders()
{
    QFETCH(qreal, ratio);
    QFETCH(int, pixels);
    const QString text =
        QStringLiteral("gypsy 中文混排 jumping quickly 汉字 gjpqy 会议记录 happy joy ") + QStringLiteral("gjpqy 中文");
    const EntryText layout(text, pixelFont(pixels), 120, 6);
    QVERIFY(layout.lineCount() >= 2);
    // Every line's ink stays within its own band, so painted lines never overlap and the last keeps
    // its descenders inside the height the row or tile gives it.
    const QList<qreal> heights = layout.lineHeights();
    qreal top = 0;
    for (int line = 0; line < layout.lineCount(); ++line) {
        const Ink ink = lineInk(layout, line, ratio);
        QVERIFY(ink.top >= 0);
        QVERIFY2(ink.top >= qFloor(top * ratio) - 1 && ink.bottom <= qCeil((top + heights[line]) * ratio) + 1,
                 qPrintable(QStringLiteral("line %1: ink %2-%3, band %4-%5")
                                .arg(line)
                                .arg(ink.top)
                                .arg(ink.bottom)
                                .arg(top * ratio)
                                .arg((top + heights[line]) * ratio)));
        top += heights[line];
    }
    QCOMPARE(layout.height(), top);
}

void TestEntryText::emojiLinesAreDrawnWhole()
{
    if (!QFontDatabase::families().contains(QStringLiteral("Noto Color Emoji")))
        QSKIP("no colour emoji font installed");
    const EntryText layout(QStringLiteral("😀🎉 party\n第二行 ok"), pixelFont(13), 280, 2);
    QCOMPARE(layout.lineCount(), 2);
    QImage image = canvas(2.0);
    {
        QPainter painter(&image);
        layout.draw(painter, QPointF(0, 0), Qt::black, Qt::transparent);
    }
    const Ink first = lineInk(layout, 0, 2.0);
    QVERIFY2(first.coloured, "the emoji must be drawn in colour, not as empty boxes");
    QVERIFY(first.bottom <= qCeil(layout.lineHeights().at(0) * 2) + 1);
    QVERIFY(inkOf(image).bottom <= qCeil(layout.height() * 2) + 1);
}

void TestEntryText::everyEmojiIsInColour_data()
{
    QTest::addColumn<QString>("text");
    // The text font may carry monochrome faces of some emoji (DejaVu Sans has 😀, not 🎉).
    QTest::newRow("face") << QStringLiteral("😀");
    QTest::newRow("party") << QStringLiteral("🎉");
    QTest::newRow("heart asked for as emoji") << QStringLiteral("❤️");
    QTest::newRow("skin tone") << QStringLiteral("👍🏽");
    QTest::newRow("after text") << QStringLiteral("ok 😀");
}

void TestEntryText::everyEmojiIsInColour()
{
    QFETCH(QString, text);
    if (!QFontDatabase::families().contains(QStringLiteral("Noto Color Emoji")))
        QSKIP("no colour emoji font installed");
    const EntryText layout(text, pixelFont(13), 280, 1);
    QVERIFY(lineInk(layout, 0, 2.0).coloured);
}

void TestEntryText::firstMatchIsKeptInView()
{
    QString text;
    for (int i = 0; i < 200; ++i)
        text += QStringLiteral("filler words ");
    text += QStringLiteral("the needle here");
    const qsizetype at = text.indexOf(QStringLiteral("needle"));
    const EntryText layout(text, pixelFont(13), 280, 2, {{at, 6}});
    QVERIFY(layout.shownText().contains(QStringLiteral("needle")));
    QVERIFY(layout.shownText().startsWith(QChar(0x2026)));
    // The marked part is painted behind the text.
    QImage plain = canvas(1.0);
    QImage marked = canvas(1.0);
    {
        QPainter painter(&plain);
        EntryText(text, pixelFont(13), 280, 2).draw(painter, QPointF(0, 0), Qt::black, Qt::yellow);
    }
    {
        QPainter painter(&marked);
        layout.draw(painter, QPointF(0, 0), Qt::black, Qt::yellow);
    }
    QVERIFY(inkOf(marked).coloured);
    QVERIFY(!inkOf(plain).coloured);
}

QTEST_MAIN(TestEntryText)
#include "tst_entrytext.moc"
