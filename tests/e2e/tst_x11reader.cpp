#include "RealClipboardTest.h"
#include "Xclip.h"
#include "core/ClipboardMonitor.h"
#include "core/StorageManager.h"
#include "platform/ImageCodec.h"
#include "platform/Preferences.h"
#include "platform/x11/X11Pasteboard.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

// X11Pasteboard and the monitor against owners that misbehave, huge contents and bursts of changes, with
// xclip and x11_stubborn_owner as the other applications. Needs an X server of its own (run-under-xvfb.sh).
class TestX11Reader : public X11ClipboardTest<X11Pasteboard>
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void silentOwnerFreezesNothingAndIsGivenUp();
    void ownerDyingMidTransferLeavesNoEntry();
    void largePngArrivesWhole();
    void burstOfChangesGivesOneEntryPerText();
    void copiedBackEntryIsServedAndNotCaptured();
    void secretIsNeverRead_data();
    void secretIsNeverRead();

private:
    // Starts x11_stubborn_owner and waits until it owns the clipboard.
    [[nodiscard]] QProcess* startStubborn(const QStringList& arguments);
};

void TestX11Reader::initTestCase()
{
    skipWithoutX11();
}

void TestX11Reader::init()
{
    setUpCase(std::make_unique<X11Pasteboard>(QGuiApplication::clipboard(), ClipboardMonitor::sensitiveMarkerTypes()));
    QVERIFY(m_pasteboard->isWatching());
    // The reader reports every change: nothing polls.
    QVERIFY(!m_monitor->isPolling());
}

void TestX11Reader::cleanup()
{
    tearDownX11Case();
}

QProcess* TestX11Reader::startStubborn(const QStringList& arguments)
{
    auto* process = new QProcess;
    m_xclip.adopt(process);
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(QStringLiteral(PELLAMOR_STUBBORN_OWNER), arguments);
    if (!process->waitForStarted(5000))
        return nullptr;
    const QDeadlineTimer deadline(5000);
    while (!process->canReadLine() && !deadline.hasExpired())
        process->waitForReadyRead(100);
    return process->readLine() == "ready\n" ? process : nullptr;
}

void TestX11Reader::silentOwnerFreezesNothingAndIsGivenUp()
{
    const qint64 before = m_pasteboard->changeCount();
    QElapsedTimer clock;
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });

    QVERIFY(startStubborn({QStringLiteral("silent")}));
    clock.start();
    ticker.start();
    QTRY_COMPARE_WITH_TIMEOUT(m_pasteboard->abandonedChanges(), qint64(1), 4000);
    const qint64 givenUpAfter = clock.elapsed();
    while (clock.elapsed() < 2500)
        QTest::qWait(10);
    ticker.stop();

    // A blocking read would have stopped the ticks for as long as the owner stays silent.
    QVERIFY2(ticks >= 150, qPrintable(QStringLiteral("only %1 ticks of 10 ms in 2.5 s").arg(ticks)));
    QVERIFY2(givenUpAfter < X11ClipboardReader::changeBudgetMs + 500,
             qPrintable(QStringLiteral("given up after %1 ms").arg(givenUpAfter)));
    QVERIFY2(givenUpAfter >= X11ClipboardReader::changeBudgetMs - 100,
             qPrintable(QStringLiteral("given up too early, after %1 ms").arg(givenUpAfter)));
    // Abandoned, not half-read: the counter never moved and nothing was kept.
    QCOMPARE(m_pasteboard->changeCount(), before);
    QVERIFY(m_monitor->items().isEmpty());

    QVERIFY(m_xclip.offer(QByteArrayLiteral("after the silent owner")));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->items().size(), 1, 2000);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("after the silent owner"));
}

void TestX11Reader::ownerDyingMidTransferLeavesNoEntry()
{
    QProcess* owner = startStubborn({QStringLiteral("dies-mid-incr")});
    QVERIFY(owner);
    // It exits once the reader has asked for a few pieces of its image.
    QTRY_COMPARE_WITH_TIMEOUT(owner->state(), QProcess::NotRunning, 4000);
    QTest::qWait(300);
    QVERIFY(m_monitor->items().isEmpty());
    QVERIFY(m_pasteboard->data(QStringLiteral("image/png")).isEmpty());
    QVERIFY(m_pasteboard->image().isNull());

    QVERIFY(m_xclip.offer(QByteArrayLiteral("after the dead owner")));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->items().size(), 1, 2000);
    QCOMPARE(m_monitor->items().first().type, ClipboardItemType::Text);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("after the dead owner"));
}

void TestX11Reader::largePngArrivesWhole()
{
    // Noise does not compress: three bytes a pixel, so a little over 40 MB of PNG.
    const QImage original = Xclip::noiseImage(3700, 3700, 3);
    const QByteArray bytes = ImageCodec::encodePng(original);
    QVERIFY2(bytes.size() > 40 * 1000 * 1000, qPrintable(QString::number(bytes.size())));
    QVERIFY(m_xclip.offer(bytes, QStringLiteral("image/png")));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->items().size(), 1, 20000);
    const ClipboardItem item = m_monitor->items().first();
    QCOMPARE(item.type, ClipboardItemType::Image);
    // Once captured, the pasteboard keeps no copy of the 40 MB it read.
    QVERIFY(m_pasteboard->data(QStringLiteral("image/png")).isEmpty());
    m_storage->waitForBackgroundWork();
    // The history keeps images no larger than its own limit, so the file is the scaled-down original. Every
    // byte arrived, in order: a lost or repeated INCR piece would not decode to the same pixels.
    const QImage stored = ImageCodec::decodeFile(m_storage->imageURL(item.content));
    QCOMPARE(stored.size(), QSize(StorageManager::maxImageDimension, StorageManager::maxImageDimension));
    QVERIFY(stored.convertToFormat(QImage::Format_RGB32) ==
            ImageCodec::decode(bytes, StorageManager::maxImageDimension).convertToFormat(QImage::Format_RGB32));
}

void TestX11Reader::burstOfChangesGivesOneEntryPerText()
{
    // 100 texts, each copied twice in a row: the second copy is a change but never a new entry (it equals
    // the newest entry), and no text comes back after another, so the history is exactly the 100 texts.
    constexpr int distinct = 100;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < distinct * 2; ++i) {
        const qint64 before = m_pasteboard->changeCount();
        QVERIFY(m_xclip.offer(QStringLiteral("burst text %1").arg(i / 2).toUtf8()));
        QVERIFY(m_xclip.waitUntilNewestOwns());
        // Changes that follow each other before the first is handed over are read as one, as a poll would
        // see them; the burst is as fast as each change is read, which on a busy machine, or built with
        // sanitizers, can be slower than the pace.
        QTRY_VERIFY_WITH_TIMEOUT(m_pasteboard->changeCount() > before, 5000);
        // Paced to at most 200 changes in 10 s, with the event loop running in between.
        while (clock.elapsed() < (i + 1) * 50)
            QTest::qWait(5);
    }
    QVERIFY2(clock.elapsed() < 60000, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->items().size(), distinct, 5000);
    QTest::qWait(500);
    QCOMPARE(m_monitor->items().size(), distinct);
    for (int i = 0; i < distinct; ++i)
        QCOMPARE(m_monitor->items().at(i).content, QStringLiteral("burst text %1").arg(distinct - 1 - i));
}

void TestX11Reader::copiedBackEntryIsServedAndNotCaptured()
{
    QVERIFY(m_xclip.offer(QByteArrayLiteral("older entry")));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    QVERIFY(m_xclip.offer(QByteArrayLiteral("newer entry")));
    QTRY_COMPARE(m_monitor->items().size(), 2);
    const ClipboardItem older = m_monitor->items().at(1);
    QCOMPARE(older.content, QStringLiteral("older entry"));

    m_monitor->copyToClipboard(older);
    const qint64 afterWrite = m_pasteboard->changeCount();
    QCOMPARE(m_monitor->lastChangeCount(), afterWrite);
    QCOMPARE(m_pasteboard->string(), std::optional<QString>(QStringLiteral("older entry")));

    const Xclip::Output served = Xclip::read({});
    QVERIFY2(served.finished, "xclip -o did not finish: this process did not answer the selection request");
    QCOMPARE(served.exitCode, 0);
    QCOMPARE(served.data, QByteArrayLiteral("older entry"));

    // The reader's report of our own ownership, and the poll ticks after it, change nothing.
    QTest::qWait(1500);
    QCOMPARE(m_pasteboard->changeCount(), afterWrite);
    QCOMPARE(m_pasteboard->string(), std::optional<QString>(QStringLiteral("older entry")));
    QCOMPARE(m_monitor->items().size(), 2);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("newer entry"));

    QVERIFY(m_xclip.offer(QByteArrayLiteral("older entry")));
    QTRY_COMPARE(m_monitor->items().size(), 3);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("older entry"));
}

void TestX11Reader::secretIsNeverRead_data()
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

void TestX11Reader::secretIsNeverRead()
{
    QFETCH(QStringList, offered);
    QFETCH(bool, ignoreSensitive);
    QFETCH(bool, paused);
    QFETCH(QStringList, requests);
    QFETCH(int, entries);
    m_preferences->setIgnoreSensitive(ignoreSensitive);
    m_preferences->setMonitoringPaused(paused);

    const qint64 before = m_pasteboard->changeCount();
    QProcess* owner = startStubborn(QStringList{QStringLiteral("records")} + offered);
    QVERIFY(owner);
    QTRY_VERIFY(m_pasteboard->changeCount() > before);
    QTRY_COMPARE(m_monitor->items().size(), entries);
    // Time for a request that should not come.
    QTest::qWait(300);
    QStringList received;
    for (const QByteArray& line : owner->readAllStandardOutput().split('\n')) {
        if (line.startsWith("request "))
            received << QString::fromUtf8(line.mid(8));
    }
    QCOMPARE(received, requests);
    QCOMPARE(m_monitor->items().size(), entries);
}

QTEST_MAIN(TestX11Reader)
#include "tst_x11reader.moc"
