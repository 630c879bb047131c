#include "../e2e/RealClipboardTest.h"
#include "../e2e/Xclip.h"
#include "core/ClipboardMonitor.h"
#include "core/StorageManager.h"
#include "platform/ImageCodec.h"
#include "platform/Preferences.h"
#include "platform/QtPasteboard.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The real clipboard path: QtPasteboard over the xcb QClipboard, with xclip as the other application.
// Needs an X server of its own (run-under-xvfb.sh) and QT_QPA_PLATFORM=xcb.
class TestX11Pasteboard : public X11ClipboardTest<QtPasteboard>
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void externalTextCopyIsCapturedOnce();
    void copiedBackTextIsServedAndNotCapturedAgain();
    void copiedBackImageIsOfferedAsPng();
    void largeImageArrivesWhole();
    void primarySelectionIsNotWatched();
    void fileListWithoutImagesIsNotText();

private:
    // Another application takes the clipboard (or another selection) and keeps it until someone else does.
    // Reads a selection through xclip. The event loop keeps running meanwhile: when this process owns the
    // selection, it is the one that has to answer xclip's request.
    static QByteArray png(const QImage& image);
    static QImage comparable(const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32); }
};

void TestX11Pasteboard::initTestCase()
{
    skipWithoutX11();
}

void TestX11Pasteboard::init()
{
    setUpCase(std::make_unique<QtPasteboard>(QGuiApplication::clipboard()));
}

void TestX11Pasteboard::cleanup()
{
    tearDownX11Case();
}

QByteArray TestX11Pasteboard::png(const QImage& image)
{
    return ImageCodec::encodePng(image);
}

void TestX11Pasteboard::externalTextCopyIsCapturedOnce()
{
    // Non-ASCII and a line break: the text has to survive the UTF8_STRING conversion unchanged.
    const QString text = QStringLiteral("Grüße aus xclip, 你好\nzweite Zeile");
    QVERIFY(m_xclip.offer(text.toUtf8()));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    QCOMPARE(m_monitor->items().first().type, ClipboardItemType::Text);
    QCOMPARE(m_monitor->items().first().content, text);

    // The same text from a new owner is a change, but not a new entry.
    const qint64 seen = m_monitor->lastChangeCount();
    QVERIFY(m_xclip.offer(text.toUtf8()));
    QTRY_VERIFY(m_monitor->lastChangeCount() > seen);
    QTest::qWait(100);
    QCOMPARE(m_monitor->items().size(), 1);

    m_storage->waitForBackgroundWork();
    const ClipboardItems stored = m_storage->load();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first().id, m_monitor->items().first().id);
    QCOMPARE(stored.first().content, text);
}

void TestX11Pasteboard::copiedBackTextIsServedAndNotCapturedAgain()
{
    QVERIFY(m_xclip.offer(QByteArrayLiteral("older entry")));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    QVERIFY(m_xclip.offer(QByteArrayLiteral("newer entry")));
    QTRY_COMPARE(m_monitor->items().size(), 2);
    // The older one: copying back the newest text would hide a recapture behind the duplicate check.
    const ClipboardItem older = m_monitor->items().at(1);
    QCOMPARE(older.content, QStringLiteral("older entry"));

    m_monitor->copyToClipboard(older);
    const Xclip::Output served = Xclip::read({});
    QVERIFY2(served.finished, "xclip -o did not finish: this process did not answer the selection request");
    QCOMPARE(served.exitCode, 0);
    QCOMPARE(served.data, QByteArrayLiteral("older entry"));

    // Three poll ticks and the change notification of our own write: still nothing new.
    QTest::qWait(1500);
    QCOMPARE(m_monitor->items().size(), 2);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("newer entry"));

    // Monitoring goes on after our own write: another application's copy of that same text is a new entry.
    QVERIFY(m_xclip.offer(QByteArrayLiteral("older entry")));
    QTRY_COMPARE(m_monitor->items().size(), 3);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("older entry"));
}

void TestX11Pasteboard::copiedBackImageIsOfferedAsPng()
{
    const QImage original = Xclip::noiseImage(7, 5, 1);
    QVERIFY(m_xclip.offer(png(original), QStringLiteral("image/png")));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    const ClipboardItem item = m_monitor->items().first();
    QCOMPARE(item.type, ClipboardItemType::Image);
    m_storage->waitForBackgroundWork();
    QCOMPARE(comparable(ImageCodec::decodeFile(m_storage->imageURL(item.content))), comparable(original));

    m_monitor->copyToClipboard(item);
    const Xclip::Output targets = Xclip::read({QStringLiteral("-target"), QStringLiteral("TARGETS")});
    QVERIFY(targets.finished);
    QCOMPARE(targets.exitCode, 0);
    const QList<QByteArray> names = targets.data.split('\n');
    QVERIFY2(names.contains(QByteArrayLiteral("image/png")), targets.data.constData());

    const Xclip::Output served = Xclip::read({QStringLiteral("-target"), QStringLiteral("image/png")});
    QVERIFY(served.finished);
    QCOMPARE(served.exitCode, 0);
    QCOMPARE(comparable(ImageCodec::decode(served.data)), comparable(original));

    QTest::qWait(1500);
    QCOMPARE(m_monitor->items().size(), 1);
}

void TestX11Pasteboard::largeImageArrivesWhole()
{
    // Noise does not compress: a few megabytes, which X hands over in increments rather than in one reply.
    const QImage original = Xclip::noiseImage(1000, 700, 2);
    const QByteArray bytes = png(original);
    QVERIFY(bytes.size() > 1024 * 1024);
    QVERIFY(m_xclip.offer(bytes, QStringLiteral("image/png")));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->items().size(), 1, 10000);
    const ClipboardItem item = m_monitor->items().first();
    QCOMPARE(item.type, ClipboardItemType::Image);
    m_storage->waitForBackgroundWork();
    QCOMPARE(comparable(ImageCodec::decodeFile(m_storage->imageURL(item.content))), comparable(original));
}

void TestX11Pasteboard::primarySelectionIsNotWatched()
{
    QVERIFY(m_xclip.offer(QByteArrayLiteral("merely selected"), {}, QStringLiteral("primary")));
    // Once another client can read it back, the selection has its new owner.
    QTRY_COMPARE(Xclip::read({}, QStringLiteral("primary")).data, QByteArrayLiteral("merely selected"));
    QTest::qWait(1500);
    QVERIFY(m_monitor->items().isEmpty());

    QVERIFY(m_xclip.offer(QByteArrayLiteral("copied")));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("copied"));
}

void TestX11Pasteboard::fileListWithoutImagesIsNotText()
{
    // Only text/uri-list on offer: no image among the files, and no plain text either, so nothing to keep.
    const qint64 seen = m_monitor->lastChangeCount();
    QVERIFY(m_xclip.offer(QByteArrayLiteral("https://example.com/x.png\r\n"), QStringLiteral("text/uri-list")));
    QTRY_VERIFY(m_monitor->lastChangeCount() > seen);
    QTest::qWait(100);
    const std::optional<QString> text = m_pasteboard->string();
    QVERIFY2(!text, qPrintable(QStringLiteral("the file list reads as the text \"%1\"").arg(text.value_or(QString()))));
    QVERIFY(m_monitor->items().isEmpty());
}

QTEST_MAIN(TestX11Pasteboard)
#include "tst_x11pasteboard.moc"
