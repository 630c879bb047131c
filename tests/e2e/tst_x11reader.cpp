#include "core/ClipboardMonitor.h"
#include "core/StorageManager.h"
#include "platform/ImageCodec.h"
#include "platform/Preferences.h"
#include "platform/X11Pasteboard.h"

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
class TestX11Reader : public QObject
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

private:
    struct Output
    {
        bool finished = false;
        int exitCode = -1;
        QByteArray data;
    };

    [[nodiscard]] bool offer(const QByteArray& data, const QString& target = {});
    // Starts x11_stubborn_owner and waits until it owns the clipboard.
    [[nodiscard]] QProcess* startStubborn(const QString& mode);
    Output read(const QStringList& arguments);
    static QImage noiseImage(int width, int height, quint32 seed);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StorageManager> m_storage;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<X11Pasteboard> m_pasteboard;
    std::unique_ptr<ClipboardMonitor> m_monitor;
    QList<QProcess*> m_owners;
};

void TestX11Reader::initTestCase()
{
    if (QGuiApplication::platformName() != u"xcb")
        QSKIP("needs the xcb platform on an X server of its own (run through run-under-xvfb.sh)");
    if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
        QSKIP("xclip is not installed");
}

void TestX11Reader::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_storage = std::make_unique<StorageManager>(m_dir->filePath(QStringLiteral("Pellamor")));
    m_preferences = std::make_unique<Preferences>(m_dir->filePath(QStringLiteral("Pellamor.conf")));
    m_pasteboard =
        std::make_unique<X11Pasteboard>(QGuiApplication::clipboard(), ClipboardMonitor::sensitiveMarkerTypes());
    QVERIFY(m_pasteboard->isWatching());
    m_monitor = std::make_unique<ClipboardMonitor>(*m_storage, *m_pasteboard, *m_preferences);
    m_monitor->startMonitoring();
}

void TestX11Reader::cleanup()
{
    if (m_monitor)
        m_monitor->stopMonitoring();
    if (m_storage)
        m_storage->waitForBackgroundWork();
    m_monitor.reset();
    m_pasteboard.reset();
    m_storage.reset();
    m_preferences.reset();
    for (QProcess* owner : std::as_const(m_owners)) {
        owner->kill();
        owner->waitForFinished(3000);
        delete owner;
    }
    m_owners.clear();
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    QTest::qWait(200);
    m_dir.reset();
}

bool TestX11Reader::offer(const QByteArray& data, const QString& target)
{
    auto* process = new QProcess;
    m_owners.append(process);
    // Without -quiet xclip forks, and the owner could not be stopped by the test.
    QStringList arguments = {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                             QStringLiteral("-in")};
    if (!target.isEmpty())
        arguments << QStringLiteral("-target") << target;
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(QStringLiteral("xclip"), arguments);
    if (!process->waitForStarted(5000)) {
        qWarning("xclip did not start: %s", qPrintable(process->errorString()));
        return false;
    }
    if (process->write(data) != data.size() || !process->waitForBytesWritten(10000)) {
        qWarning("could not hand the data to xclip: %s", qPrintable(process->errorString()));
        return false;
    }
    process->closeWriteChannel();
    return true;
}

QProcess* TestX11Reader::startStubborn(const QString& mode)
{
    auto* process = new QProcess;
    m_owners.append(process);
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(QStringLiteral(PELLAMOR_STUBBORN_OWNER), {mode});
    if (!process->waitForStarted(5000))
        return nullptr;
    const QDeadlineTimer deadline(5000);
    while (!process->canReadLine() && !deadline.hasExpired())
        process->waitForReadyRead(100);
    return process->readLine() == "ready\n" ? process : nullptr;
}

TestX11Reader::Output TestX11Reader::read(const QStringList& arguments)
{
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QStringLiteral("xclip"),
                  QStringList{QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-out")} +
                      arguments);
    Output output;
    if (!process.waitForStarted(5000))
        return output;
    // The event loop keeps running: when this process owns the clipboard, it has to answer xclip itself.
    const QDeadlineTimer deadline(5000);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(10);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
        return output;
    }
    output.finished = process.exitStatus() == QProcess::NormalExit;
    output.exitCode = process.exitCode();
    output.data = process.readAllStandardOutput();
    return output;
}

QImage TestX11Reader::noiseImage(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = 0xff000000u | (random.generate() & 0xffffffu);
    }
    return image;
}

void TestX11Reader::silentOwnerFreezesNothingAndIsGivenUp()
{
    const qint64 before = m_pasteboard->changeCount();
    QElapsedTimer clock;
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });

    QVERIFY(startStubborn(QStringLiteral("silent")));
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

    QVERIFY(offer(QByteArrayLiteral("after the silent owner")));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->items().size(), 1, 2000);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("after the silent owner"));
}

void TestX11Reader::ownerDyingMidTransferLeavesNoEntry()
{
    QProcess* owner = startStubborn(QStringLiteral("dies-mid-incr"));
    QVERIFY(owner);
    // It exits once the reader has asked for a few pieces of its image.
    QTRY_COMPARE_WITH_TIMEOUT(owner->state(), QProcess::NotRunning, 4000);
    QTest::qWait(300);
    QVERIFY(m_monitor->items().isEmpty());
    QVERIFY(m_pasteboard->data(QStringLiteral("image/png")).isEmpty());
    QVERIFY(m_pasteboard->image().isNull());

    QVERIFY(offer(QByteArrayLiteral("after the dead owner")));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->items().size(), 1, 2000);
    QCOMPARE(m_monitor->items().first().type, ClipboardItemType::Text);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("after the dead owner"));
}

void TestX11Reader::largePngArrivesWhole()
{
    // Noise does not compress: three bytes a pixel, so a little over 40 MB of PNG.
    const QImage original = noiseImage(3700, 3700, 3);
    const QByteArray bytes = ImageCodec::encodePng(original);
    QVERIFY2(bytes.size() > 40 * 1000 * 1000, qPrintable(QString::number(bytes.size())));
    QVERIFY(offer(bytes, QStringLiteral("image/png")));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->items().size(), 1, 20000);
    const ClipboardItem item = m_monitor->items().first();
    QCOMPARE(item.type, ClipboardItemType::Image);
    // Every byte arrived, in order: a lost or repeated INCR piece would not compare equal.
    QVERIFY(m_pasteboard->data(QStringLiteral("image/png")) == bytes);
    m_storage->waitForBackgroundWork();
    // The history keeps images no larger than its own limit, so the file is the scaled-down original.
    const QImage stored = ImageCodec::decodeFile(m_storage->imageURL(item.content));
    QCOMPARE(stored.size(), QSize(StorageManager::maxImageDimension, StorageManager::maxImageDimension));
}

void TestX11Reader::burstOfChangesGivesOneEntryPerText()
{
    // 100 texts, each copied twice in a row: the second copy is a change but never a new entry (it equals
    // the newest entry), and no text comes back after another, so the history is exactly the 100 texts.
    constexpr int distinct = 100;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < distinct * 2; ++i) {
        QVERIFY(offer(QStringLiteral("burst text %1").arg(i / 2).toUtf8()));
        // Paced to 200 changes in 10 s, with the event loop running in between.
        while (clock.elapsed() < (i + 1) * 50)
            QTest::qWait(5);
    }
    QVERIFY2(clock.elapsed() < 11000, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->items().size(), distinct, 5000);
    QTest::qWait(500);
    QCOMPARE(m_monitor->items().size(), distinct);
    for (int i = 0; i < distinct; ++i)
        QCOMPARE(m_monitor->items().at(i).content, QStringLiteral("burst text %1").arg(distinct - 1 - i));
}

void TestX11Reader::copiedBackEntryIsServedAndNotCaptured()
{
    QVERIFY(offer(QByteArrayLiteral("older entry")));
    QTRY_COMPARE(m_monitor->items().size(), 1);
    QVERIFY(offer(QByteArrayLiteral("newer entry")));
    QTRY_COMPARE(m_monitor->items().size(), 2);
    const ClipboardItem older = m_monitor->items().at(1);
    QCOMPARE(older.content, QStringLiteral("older entry"));

    m_monitor->copyToClipboard(older);
    const qint64 afterWrite = m_pasteboard->changeCount();
    QCOMPARE(m_monitor->lastChangeCount(), afterWrite);
    QCOMPARE(m_pasteboard->string(), std::optional<QString>(QStringLiteral("older entry")));

    const Output served = read({});
    QVERIFY2(served.finished, "xclip -o did not finish: this process did not answer the selection request");
    QCOMPARE(served.exitCode, 0);
    QCOMPARE(served.data, QByteArrayLiteral("older entry"));

    // The reader's report of our own ownership, and the poll ticks after it, change nothing.
    QTest::qWait(1500);
    QCOMPARE(m_pasteboard->changeCount(), afterWrite);
    QCOMPARE(m_pasteboard->string(), std::optional<QString>(QStringLiteral("older entry")));
    QCOMPARE(m_monitor->items().size(), 2);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("newer entry"));

    QVERIFY(offer(QByteArrayLiteral("older entry")));
    QTRY_COMPARE(m_monitor->items().size(), 3);
    QCOMPARE(m_monitor->items().first().content, QStringLiteral("older entry"));
}

QTEST_MAIN(TestX11Reader)
#include "tst_x11reader.moc"
