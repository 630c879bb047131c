#include "RealClipboardTest.h"
#include "WlClipboard.h"
#include "core/ClipboardMonitor.h"
#include "core/StorageManager.h"
#include "platform/ImageCodec.h"
#include "platform/Preferences.h"
#include "platform/wayland/WaylandPasteboard.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

// WaylandPasteboard and the monitor against a real compositor's data-control interface, with wl-copy,
// wl-paste and wayland_owner as the other applications. This process has no window at all, let alone focus. Needs a
// compositor of its own (run-under-sway.sh).
class TestWaylandPasteboard : public RealClipboardTest<WaylandPasteboard>
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void externalTextCopyIsCapturedOnce();
    void copiedBackTextIsServedAndNotCapturedAgain();
    void copiedBackImageIsOfferedAsPng();
    void largePngArrivesWithoutFreezingTheMainThread();
    void silentOwnerFreezesNothingAndIsGivenUp();
    void ownerDyingMidTransferLeavesNoEntry();
    void burstOfChangesGivesOneEntryPerText();
    void clearingEmptiesTheClipboard();

private:
    // Starts wayland_owner and waits until its first offer is out.
    [[nodiscard]] QProcess* startOwner(const QStringList& arguments);

    WlClipboard m_wl;
};

void TestWaylandPasteboard::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("PELLAMOR_SWAY_DISPLAY"))
        QSKIP("needs a compositor of its own (run through run-under-sway.sh)");
    if (QStandardPaths::findExecutable(QStringLiteral("wl-copy")).isEmpty())
        QSKIP("wl-clipboard is not installed");
    QVERIFY(WaylandClipboardReader::offeredProtocol() != WaylandClipboardReader::Protocol::None);
}

void TestWaylandPasteboard::init()
{
    setUpCase(std::make_unique<WaylandPasteboard>(ClipboardMonitor::sensitiveMarkerTypes()));
    QVERIFY(m_pasteboard->isWatching());
}

void TestWaylandPasteboard::cleanup()
{
    // Whatever this process published goes with its connection.
    tearDownCase();
    m_wl.stopOwners();
    QTest::qWait(100);
    m_dir.reset();
}

void TestWaylandPasteboard::externalTextCopyIsCapturedOnce()
{
    const QString text = QStringLiteral("Grüße aus wl-copy, 你好\nzweite Zeile");
    QVERIFY(m_wl.offer(text.toUtf8()));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    QCOMPARE(m_monitor->items().first().type, ClipboardItemType::Text);
    QCOMPARE(m_monitor->items().first().content, text);

    // The same text from a new owner is a change, but not a new entry.
    const qint64 seen = m_monitor->lastChangeCount();
    QVERIFY(m_wl.offer(text.toUtf8()));
    QTRY_VERIFY(m_monitor->lastChangeCount() > seen);
    QTest::qWait(100);
    QCOMPARE(m_monitor->items().size(), 1);

    m_storage->waitForBackgroundWork();
    const ClipboardItems stored = m_storage->load();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first().content, text);
}

void TestWaylandPasteboard::copiedBackTextIsServedAndNotCapturedAgain()
{
    QVERIFY(m_wl.offer(QByteArrayLiteral("older entry")));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    QVERIFY(m_wl.offer(QByteArrayLiteral("newer entry")));
    QTRY_COMPARE(m_monitor->items().size(), 2);
    const ClipboardItem older = m_monitor->items().at(1);
    QCOMPARE(older.content, QStringLiteral("older entry"));

    m_monitor->copyToClipboard(older);
    const qint64 afterWrite = m_pasteboard->changeCount();
    QCOMPARE(m_monitor->lastChangeCount(), afterWrite);

    const WlClipboard::Output served = WlClipboard::read(QStringLiteral("text/plain;charset=utf-8"));
    QVERIFY2(served.finished, "wl-paste did not finish: this process did not serve its own contents");
    QCOMPARE(served.exitCode, 0);
    QCOMPARE(served.data, QByteArrayLiteral("older entry"));
    QVERIFY(WlClipboard::types().contains(QStringLiteral("text/plain")));

    // The compositor hands our own contents back to us, and the poll ticks after it: nothing new.
    QTest::qWait(1500);
    QCOMPARE(m_pasteboard->changeCount(), afterWrite);
    QCOMPARE(m_monitor->items().size(), 2);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("newer entry"));

    // Watching goes on after our own write: another application's copy of that same text is a new entry.
    QVERIFY(m_wl.offer(QByteArrayLiteral("older entry")));
    QTRY_COMPARE(m_monitor->items().size(), 3);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("older entry"));
}

void TestWaylandPasteboard::copiedBackImageIsOfferedAsPng()
{
    const QImage original = WlClipboard::noiseImage(7, 5, 1);
    QVERIFY(m_wl.offer(ImageCodec::encodePng(original), QStringLiteral("image/png")));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    const ClipboardItem item = m_monitor->items().first();
    QCOMPARE(item.type, ClipboardItemType::Image);
    m_wl.stopOwners();

    m_monitor->copyToClipboard(item);
    const WlClipboard::Output served = WlClipboard::read(QStringLiteral("image/png"));
    QVERIFY(served.finished);
    QCOMPARE(served.exitCode, 0);
    QCOMPARE(ImageCodec::decode(served.data).convertToFormat(QImage::Format_RGB32), original);
    QTest::qWait(700);
    QCOMPARE(m_monitor->items().size(), 1);
}

void TestWaylandPasteboard::largePngArrivesWithoutFreezingTheMainThread()
{
    // Noise does not compress: three bytes a pixel, so a little over 40 MB of PNG.
    const QImage original = WlClipboard::noiseImage(3700, 3700, 3);
    const QByteArray bytes = ImageCodec::encodePng(original);
    QVERIFY2(bytes.size() > 40 * 1000 * 1000, qPrintable(QString::number(bytes.size())));

    // The transfer itself runs on the reader thread: until its snapshot arrives, the main thread only
    // ever waits on its own timers.
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_wl.offer(bytes, QStringLiteral("image/png")));
    QTRY_VERIFY_WITH_TIMEOUT(m_pasteboard->changeCount() > 0, 20000);
    const qint64 untilSnapshot = clock.elapsed();
    QVERIFY2(ticks >= untilSnapshot / 10 / 4,
             qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(untilSnapshot)));

    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->items().size(), 1, 20000);
    QCOMPARE(m_monitor->items().first().type, ClipboardItemType::Image);
    // Once captured, the pasteboard keeps no copy of the 40 MB it read.
    QVERIFY(m_pasteboard->data(QStringLiteral("image/png")).isEmpty());
    m_storage->waitForBackgroundWork();
    // Every byte arrived, in order: anything lost or repeated would not decode to the same pixels.
    const QImage stored = ImageCodec::decodeFile(m_storage->imageURL(m_monitor->items().first().content));
    QCOMPARE(stored.size(), QSize(StorageManager::maxImageDimension, StorageManager::maxImageDimension));
    QVERIFY(stored.convertToFormat(QImage::Format_RGB32) ==
            ImageCodec::decode(bytes, StorageManager::maxImageDimension).convertToFormat(QImage::Format_RGB32));
}

QProcess* TestWaylandPasteboard::startOwner(const QStringList& arguments)
{
    auto* process = m_wl.adopt(new QProcess);
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(QStringLiteral(PELLAMOR_WAYLAND_OWNER), arguments);
    const QDeadlineTimer deadline(5000);
    while (!process->canReadLine() && process->state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(5);
    if (process->readLine().trimmed() == "ready")
        return process;
    // A dying owner may be asked for its contents, and die, before it got round to saying so.
    const bool diedAsTold = arguments.value(0) == u"dies" && process->state() == QProcess::NotRunning &&
                            process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    return diedAsTold ? process : nullptr;
}

void TestWaylandPasteboard::silentOwnerFreezesNothingAndIsGivenUp()
{
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(startOwner({QStringLiteral("silent"), QStringLiteral("never sent")}));
    QTRY_COMPARE_WITH_TIMEOUT(m_pasteboard->abandonedChanges(), 1, 5000);
    const qint64 givenUpAfter = clock.elapsed();
    QVERIFY2(givenUpAfter >= WaylandClipboardReader::changeBudgetMs - 100, qPrintable(QString::number(givenUpAfter)));
    QVERIFY2(givenUpAfter < WaylandClipboardReader::changeBudgetMs + 1000, qPrintable(QString::number(givenUpAfter)));
    // The main thread went on all the while.
    QVERIFY2(ticks >= givenUpAfter / 10 / 4,
             qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(givenUpAfter)));
    QCOMPARE(m_monitor->items().size(), 0);

    // The next copy is captured as if nothing had happened.
    QVERIFY(m_wl.offer(QByteArrayLiteral("after the silent one")));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("after the silent one"));
}

void TestWaylandPasteboard::ownerDyingMidTransferLeavesNoEntry()
{
    QVERIFY(startOwner({QStringLiteral("dies"), QStringLiteral("only half of this ever arrives")}));
    // The owner is gone and the compositor says so: the half text is never an entry.
    QTest::qWait(1500);
    QCOMPARE(m_monitor->items().size(), 0);
    QVERIFY(m_wl.offer(QByteArrayLiteral("a whole text")));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("a whole text"));
}

void TestWaylandPasteboard::burstOfChangesGivesOneEntryPerText()
{
    // 100 texts, each set twice in a row, 200 changes in 10 s by one client, in order: the second copy is a
    // change but never a new entry (it equals the newest entry), and no text comes back after another, so
    // the history is exactly the 100 texts.
    constexpr int distinct = 100;
    QElapsedTimer clock;
    clock.start();
    QProcess* owner = startOwner(
        {QStringLiteral("burst"), QString::number(distinct * 2), QStringLiteral("50"), QStringLiteral("burst text")});
    QVERIFY(owner);
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->items().size(), distinct, 15000);
    QVERIFY2(clock.elapsed() < 12000, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(500);
    QCOMPARE(m_monitor->items().size(), distinct);
    for (int i = 0; i < distinct; ++i)
        QCOMPARE(m_monitor->items().at(i).content, QStringLiteral("burst text %1").arg(distinct - 1 - i));
    QCOMPARE(m_pasteboard->abandonedChanges(), 0);
}

void TestWaylandPasteboard::clearingEmptiesTheClipboard()
{
    QVERIFY(m_wl.offer(QByteArrayLiteral("soon gone")));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    m_pasteboard->clearContents();
    QTRY_VERIFY(WlClipboard::types().isEmpty());
    QCOMPARE(m_pasteboard->string(), std::nullopt);
}

QTEST_MAIN(TestWaylandPasteboard)
#include "tst_waylandpasteboard.moc"
