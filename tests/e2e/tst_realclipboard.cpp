#include "ClipboardTool.h"
#include "core/ClipboardMonitor.h"
#include "core/HistoryModel.h"
#include "core/StorageManager.h"
#include "platform/ImageCodec.h"
#include "platform/Preferences.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

// The program's clipboard against a real display server, built once per backend: X11Pasteboard on a
// private Xvfb with xclip and x11_stubborn_owner as the other applications (run-under-xvfb.sh), and
// WaylandPasteboard on a private headless sway with wl-copy, wl-paste and wayland_owner
// (run-under-sway.sh). Each case has a data folder, store, preferences, pasteboard and monitor of its own.
#ifdef PELLAMOR_TEST_WAYLAND
#include "platform/wayland/WaylandPasteboard.h"
using PasteboardType = WaylandPasteboard;
using Tool = WlClipboard;
static const QString textType = QStringLiteral("text/plain;charset=utf-8");
static const QStringList silentOwner = {QStringLiteral("silent"), QStringLiteral("never sent")};
static const QStringList dyingOwner = {QStringLiteral("dies"), QStringLiteral("only half of this ever arrives")};
static const QString severalTypesOwner = QStringLiteral("offers");
#else
#include "platform/x11/X11Pasteboard.h"
using PasteboardType = X11Pasteboard;
using Tool = Xclip;
static const QString textType = QStringLiteral("UTF8_STRING");
static const QStringList silentOwner = {QStringLiteral("silent")};
static const QStringList dyingOwner = {QStringLiteral("dies-mid-incr")};
static const QString severalTypesOwner = QStringLiteral("records");
#endif

class TestRealClipboard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void externalTextCopyIsCapturedOnce();
    void copiedBackEntryIsServedAndNotCapturedAgain_data();
    void copiedBackEntryIsServedAndNotCapturedAgain();
    void largePngArrivesWhole();
    void silentOwnerFreezesNothingAndIsGivenUp();
    void ownerDyingMidTransferLeavesNoEntry();
    void burstOfChangesGivesOneEntryPerText();
    void clearingEmptiesTheClipboard();
    void keptFormatsAreReadAndOfferedAgain_data();
    void keptFormatsAreReadAndOfferedAgain();
#ifndef PELLAMOR_TEST_WAYLAND
    // wl-copy offers data of any text/ type as plain text as well, so only xclip can offer a bare file list.
    void fileListWithoutImagesIsNotText();
    void primarySelectionIsNotWatched();
    void secretIsNeverRead_data();
    void secretIsNeverRead();
#endif

private:
    // Another application copies `text`; waits until it is the newest entry, so that everything the
    // clipboard saw before has been decided on.
    void copyAndAwait(const QByteArray& text);
    QStringList texts() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StorageManager> m_storage;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<PasteboardType> m_pasteboard;
    std::unique_ptr<HistoryModel> m_history;
    std::unique_ptr<ClipboardMonitor> m_monitor;
    Tool m_tool;
};

#define COPY_AND_AWAIT(text)                                                                                           \
    do {                                                                                                               \
        copyAndAwait(text);                                                                                            \
        if (QTest::currentTestFailed())                                                                                \
            return;                                                                                                    \
    } while (false)

void TestRealClipboard::initTestCase()
{
#ifdef PELLAMOR_TEST_WAYLAND
    if (qEnvironmentVariableIsEmpty("PELLAMOR_SWAY_DISPLAY"))
        QSKIP("needs a compositor of its own (run through run-under-sway.sh)");
    if (QStandardPaths::findExecutable(QStringLiteral("wl-copy")).isEmpty())
        QSKIP("wl-clipboard is not installed");
#else
    if (QGuiApplication::platformName() != u"xcb")
        QSKIP("needs the xcb platform on an X server of its own (run through run-under-xvfb.sh)");
    if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
        QSKIP("xclip is not installed");
#endif
}

void TestRealClipboard::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_storage = std::make_unique<StorageManager>(m_dir->filePath(QStringLiteral("Pellamor")));
    m_preferences = std::make_unique<Preferences>(m_dir->filePath(QStringLiteral("Pellamor.conf")));
#ifdef PELLAMOR_TEST_WAYLAND
    m_pasteboard = std::make_unique<WaylandPasteboard>(ClipboardMonitor::sensitiveMarkerTypes());
#else
    m_pasteboard =
        std::make_unique<X11Pasteboard>(QGuiApplication::clipboard(), ClipboardMonitor::sensitiveMarkerTypes());
#endif
    QVERIFY(m_pasteboard->isWatching());
    m_history = std::make_unique<HistoryModel>(*m_storage);
    m_monitor = std::make_unique<ClipboardMonitor>(*m_history, *m_pasteboard, *m_preferences);
    m_monitor->startMonitoring();
    // The reader reports every change: nothing polls.
    QVERIFY(!m_monitor->isPolling());
}

void TestRealClipboard::cleanup()
{
    m_monitor->stopMonitoring();
    m_storage->waitForBackgroundWork();
    m_monitor.reset();
    m_history.reset();
    m_pasteboard.reset();
    m_storage.reset();
    m_preferences.reset();
    // Nothing of this case may reach the next one: its owners go, and so does whatever this process
    // published (on Wayland with its connection, on X11 through Qt's).
    m_tool.stopOwners();
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    QTRY_VERIFY_WITH_TIMEOUT(Tool::types().isEmpty(), 10000);
    m_dir.reset();
}

void TestRealClipboard::copyAndAwait(const QByteArray& text)
{
    QVERIFY(m_tool.offer(text));
    QTRY_VERIFY_WITH_TIMEOUT(!m_monitor->items().isEmpty() && m_monitor->items().first().content == text, 10000);
}

QStringList TestRealClipboard::texts() const
{
    QStringList texts;
    for (const ClipboardItem& item : m_monitor->items())
        texts.append(item.isText() ? item.content : QStringLiteral("<image>"));
    return texts;
}

void TestRealClipboard::externalTextCopyIsCapturedOnce()
{
    // Non-ASCII and a line break: the text has to survive the conversion unchanged.
    const QString text = QStringLiteral("Grüße von nebenan, 你好\nzweite Zeile");
    QVERIFY(m_tool.offer(text.toUtf8()));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    QCOMPARE(m_monitor->items().first().type, ClipboardItemType::Text);
    QCOMPARE(m_monitor->items().first().content, text);

    // The same text from a new owner is a change, but not a new entry.
    const qint64 seen = m_monitor->lastChangeCount();
    QVERIFY(m_tool.offer(text.toUtf8()));
    QTRY_VERIFY(m_monitor->lastChangeCount() > seen);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_monitor->items().size(), 1);

    m_storage->waitForBackgroundWork();
    const ClipboardItems stored = m_storage->load();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first().id, m_monitor->items().first().id);
    QCOMPARE(stored.first().content, text);
}

void TestRealClipboard::copiedBackEntryIsServedAndNotCapturedAgain_data()
{
    QTest::addColumn<bool>("image");
    QTest::newRow("text") << false;
    QTest::newRow("image") << true;
}

void TestRealClipboard::copiedBackEntryIsServedAndNotCapturedAgain()
{
    QFETCH(bool, image);
    const QImage original = Tool::noiseImage(7, 5, 1);
    if (image)
        QVERIFY(m_tool.offer(ImageCodec::encodePng(original), QStringLiteral("image/png")));
    else
        QVERIFY(m_tool.offer("older entry"));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    COPY_AND_AWAIT("newer entry");
    // The older one: copying back the newest text would hide a recapture behind the duplicate check.
    const ClipboardItem older = m_monitor->items().at(1);
    QCOMPARE(older.type, image ? ClipboardItemType::Image : ClipboardItemType::Text);
    m_tool.stopOwners();

    m_monitor->copyToClipboard(older);
    QCOMPARE(m_monitor->lastChangeCount(), m_pasteboard->changeCount());
    // Once the display server has our ownership, another application reads what we wrote.
    if (image) {
        QTRY_VERIFY_WITH_TIMEOUT(Tool::types().contains(QStringLiteral("image/png")), 10000);
        const Tool::Output served = Tool::read(QStringLiteral("image/png"));
        QVERIFY2(served.finished && served.exitCode == 0, "this process did not serve its own image");
        QCOMPARE(ImageCodec::decode(served.data).convertToFormat(QImage::Format_RGB32), original);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(Tool::read(textType).data, QByteArrayLiteral("older entry"), 10000);
    }

    // The display server reports our own ownership before the next copy of another application: once that
    // copy is in, a recapture of ours would have shown. The same text copied elsewhere is a new entry.
    COPY_AND_AWAIT("after the copy back");
    QCOMPARE(m_monitor->items().size(), 3);
    if (!image) {
        COPY_AND_AWAIT("older entry");
        QCOMPARE(texts(), QStringList({"older entry", "after the copy back", "newer entry", "older entry"}));
    }
}

void TestRealClipboard::largePngArrivesWhole()
{
    // Noise does not compress: three bytes a pixel, so about 5 MB of PNG, which X hands over in INCR pieces
    // and Wayland through several fills of the pipe. Larger would measure how much a busy machine moves
    // within the reader's budget, which is not what this checks.
    const QImage original = Tool::noiseImage(1300, 1300, 3);
    const QByteArray bytes = ImageCodec::encodePng(original);
    QVERIFY2(bytes.size() > 4 * 1000 * 1000, qPrintable(QString::number(bytes.size())));
    QVERIFY(m_tool.offer(bytes, QStringLiteral("image/png")));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->items().size(), 1, 30000);
    const ClipboardItem item = m_monitor->items().first();
    QCOMPARE(item.type, ClipboardItemType::Image);
    QCOMPARE(m_pasteboard->abandonedChanges(), 0);
    // Once captured, the pasteboard keeps no copy of what it read.
    QVERIFY(m_pasteboard->data(QStringLiteral("image/png")).isEmpty());
    m_storage->waitForBackgroundWork();
    // The history keeps images no larger than its own limit. Every byte arrived, in order: anything lost or
    // repeated would not decode to the same pixels.
    const QImage stored = ImageCodec::decodeFile(m_storage->imageURL(item.content));
    QCOMPARE(stored.size(), QSize(StorageManager::maxImageDimension, StorageManager::maxImageDimension));
    QVERIFY(stored.convertToFormat(QImage::Format_RGB32) ==
            ImageCodec::decode(bytes, StorageManager::maxImageDimension).convertToFormat(QImage::Format_RGB32));
}

void TestRealClipboard::silentOwnerFreezesNothingAndIsGivenUp()
{
    const qint64 before = m_pasteboard->changeCount();
    // A read that waited on the owner in this thread would stop the ticks for the whole budget.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, this, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_tool.startHelper(QStringLiteral(PELLAMOR_MISBEHAVING_OWNER), silentOwner));
    sinceTick.start();
    ticker.start();
    QTRY_COMPARE_WITH_TIMEOUT(m_pasteboard->abandonedChanges(), qint64(1), 30000);
    ticker.stop();
    QVERIFY2(clock.elapsed() >= ClipboardReading::changeBudgetMs - 100, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(longestGap < ClipboardReading::changeBudgetMs, qPrintable(QString::number(longestGap)));
    // Abandoned, not half-read: the counter never moved and nothing was kept.
    QCOMPARE(m_pasteboard->changeCount(), before);
    QVERIFY(m_monitor->items().isEmpty());

    COPY_AND_AWAIT("after the silent owner");
    QCOMPARE(m_monitor->items().size(), 1);
}

void TestRealClipboard::ownerDyingMidTransferLeavesNoEntry()
{
    QProcess* owner = m_tool.startHelper(QStringLiteral(PELLAMOR_MISBEHAVING_OWNER), dyingOwner);
    QVERIFY(owner);
    // It exits once the reader has asked for (a part of) its contents.
    QTRY_COMPARE_WITH_TIMEOUT(owner->state(), QProcess::NotRunning, 30000);
    COPY_AND_AWAIT("after the dead owner");
    QCOMPARE(m_monitor->items().size(), 1);
}

void TestRealClipboard::burstOfChangesGivesOneEntryPerText()
{
    // 100 texts, each set twice in a row, in order: the second copy is a change but never a new entry (it
    // equals the newest entry), and no text comes back after another, so the history is exactly the 100
    // texts. How the reader folds changes that come faster than it reads them is the reader tests' part.
    constexpr int distinct = 100;
    QProcess* burst = nullptr;
    // Each change once the one before has been read: one client setting them in turn on Wayland, 200 owners
    // one after another on X11.
    for (int i = 0; i < distinct * 2; ++i) {
        const qint64 before = m_pasteboard->changeCount();
#ifdef PELLAMOR_TEST_WAYLAND
        if (i == 0) {
            burst = m_tool.startHelper(
                QStringLiteral(PELLAMOR_MISBEHAVING_OWNER),
                {QStringLiteral("burst"), QString::number(distinct * 2), QStringLiteral("burst text")});
            QVERIFY(burst);
        } else {
            QVERIFY(burst->write("next\n") == 5);
        }
#else
        Q_UNUSED(burst);
        QVERIFY(m_tool.offer(QStringLiteral("burst text %1").arg(i / 2).toUtf8()));
        QVERIFY(m_tool.waitUntilNewestOwns());
#endif
        QTRY_VERIFY_WITH_TIMEOUT(m_pasteboard->changeCount() > before, 10000);
    }
    COPY_AND_AWAIT("after the burst");
    QStringList expected = {QStringLiteral("after the burst")};
    for (int i = distinct - 1; i >= 0; --i)
        expected.append(QStringLiteral("burst text %1").arg(i));
    QCOMPARE(texts(), expected);
    QCOMPARE(m_pasteboard->abandonedChanges(), 0);
}

void TestRealClipboard::clearingEmptiesTheClipboard()
{
    COPY_AND_AWAIT("soon gone");
    m_pasteboard->clearContents();
    QTRY_VERIFY(Tool::types().isEmpty());
    QCOMPARE(m_pasteboard->string(), std::nullopt);
}

void TestRealClipboard::keptFormatsAreReadAndOfferedAgain_data()
{
    // TYPE=VALUE, as the owner offers them (split at the first "=").
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<KeptFormats>("kept");
    const QString uris = QStringLiteral("text/uri-list");
    const QString gnome = QStringLiteral("x-special/gnome-copied-files");
    QTest::newRow("formatted text") << QStringList{QStringLiteral("text/plain=x"), QStringLiteral("text/html=<b>x</b>")}
                                    << KeptFormats{{QStringLiteral("text/html"), "<b>x</b>"}};
    QTest::newRow("cut files") << QStringList{QStringLiteral("text/plain=/tmp/a"), gnome + "=cut\nfile:///tmp/a",
                                              uris + "=file:///tmp/a\r\n"}
                               << KeptFormats{{gnome, "copy\nfile:///tmp/a"}, {uris, "file:///tmp/a\r\n"}};
}

void TestRealClipboard::keptFormatsAreReadAndOfferedAgain()
{
    QFETCH(QStringList, offered);
    QFETCH(KeptFormats, kept);
    // Only the pasteboard reads here: the history would take what was read.
    m_monitor->stopMonitoring();
    QVERIFY(m_tool.startHelper(QStringLiteral(PELLAMOR_MISBEHAVING_OWNER), QStringList{severalTypesOwner} + offered));
    QTRY_VERIFY_WITH_TIMEOUT(m_pasteboard->contents({}).text, 10000);
    const ClipboardContents contents = m_pasteboard->contents({});
    QCOMPARE(contents.formats, kept);
    m_tool.stopOwners();

    m_pasteboard->writeFormatted(*contents.text, contents.formats);
    QTRY_VERIFY_WITH_TIMEOUT(Tool::types().contains(textType), 10000);
    const QStringList served = Tool::types();
    for (auto format = kept.cbegin(); format != kept.cend(); ++format) {
        QVERIFY2(served.contains(format.key()), qPrintable(served.join(u' ')));
        QCOMPARE(Tool::read(format.key()).data, format.value());
    }
    QCOMPARE(Tool::read(textType).data, contents.text->toUtf8());
}

#ifndef PELLAMOR_TEST_WAYLAND
void TestRealClipboard::fileListWithoutImagesIsNotText()
{
    // Only text/uri-list on offer: no image among the files, and no plain text either, so nothing to keep.
    const qint64 seen = m_monitor->lastChangeCount();
    QVERIFY(m_tool.offer("https://example.com/x.png\r\n", QStringLiteral("text/uri-list")));
    QTRY_VERIFY(m_monitor->lastChangeCount() > seen);
    const std::optional<QString> text = m_pasteboard->string();
    QVERIFY2(!text, qPrintable(QStringLiteral("the file list reads as the text \"%1\"").arg(text.value_or(QString()))));
    QCoreApplication::sendPostedEvents();
    QVERIFY(m_monitor->items().isEmpty());
}

void TestRealClipboard::primarySelectionIsNotWatched()
{
    QVERIFY(m_tool.offer("merely selected", {}, QStringLiteral("primary")));
    // Once another client can read it back, the selection has its new owner.
    QTRY_COMPARE(Xclip::read({}, QStringLiteral("primary")).data, QByteArrayLiteral("merely selected"));
    COPY_AND_AWAIT("copied");
    QCOMPARE(texts(), QStringList{"copied"});
}

void TestRealClipboard::secretIsNeverRead_data()
{
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<bool>("ignoreSensitive");
    QTest::addColumn<bool>("paused");
    // Every request the owner receives, in order.
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<int>("entries");

    const QString hint = QStringLiteral("x-kde-passwordManagerHint");
    const QStringList payload = {QStringLiteral("UTF8_STRING=hunter2"), QStringLiteral("text/plain=hunter2"),
                                 QStringLiteral("image/png=not really a png"),
                                 QStringLiteral("text/uri-list=file:///tmp/secret.png")};
    QTest::newRow("hint says secret") << payload + QStringList{hint + "=secret"} << true << false
                                      << QStringList{"TARGETS", hint} << 0;
    QTest::newRow("concealed") << payload + QStringList{"org.nspasteboard.ConcealedType="} << true << false
                               << QStringList{"TARGETS"} << 0;
    QTest::newRow("transient") << payload + QStringList{"org.nspasteboard.TransientType="} << true << false
                               << QStringList{"TARGETS"} << 0;
    const QStringList everything = {"TARGETS", hint, "UTF8_STRING", "text/uri-list", "image/png"};
    QTest::newRow("hint says public") << payload + QStringList{hint + "=public"} << true << false << everything << 1;
    QTest::newRow("filter off") << payload + QStringList{hint + "=secret"} << false << false << everything << 1;
    // While capture is paused the change is noticed, and nothing of it is asked for.
    QTest::newRow("paused") << payload << true << true << QStringList{} << 0;
}

void TestRealClipboard::secretIsNeverRead()
{
    QFETCH(QStringList, offered);
    QFETCH(bool, ignoreSensitive);
    QFETCH(bool, paused);
    QFETCH(QStringList, requests);
    QFETCH(int, entries);
    m_preferences->setIgnoreSensitive(ignoreSensitive);
    m_preferences->setMonitoringPaused(paused);

    const qint64 before = m_pasteboard->changeCount();
    QProcess* owner = m_tool.startHelper(QStringLiteral(PELLAMOR_MISBEHAVING_OWNER),
                                         QStringList{QStringLiteral("records")} + offered);
    QVERIFY(owner);
    QTRY_VERIFY(m_pasteboard->changeCount() > before);
    QTRY_COMPARE(m_monitor->items().size(), entries);
    // The reader is done with a change once it has read the next one, and the owner leaves once it has
    // lost the clipboard: whatever it was asked for is in its output by then.
    m_preferences->setMonitoringPaused(false);
    COPY_AND_AWAIT("after the recording owner");
    QTRY_COMPARE(owner->state(), QProcess::NotRunning);
    QStringList received;
    for (const QByteArray& line : owner->readAllStandardOutput().split('\n')) {
        if (line.startsWith("request "))
            received << QString::fromUtf8(line.mid(8));
    }
    QCOMPARE(received, requests);
    QCOMPARE(m_monitor->items().size(), entries + 1);
}
#endif

QTEST_MAIN(TestRealClipboard)
#include "tst_realclipboard.moc"
