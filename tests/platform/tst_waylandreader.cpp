#include "FakeDataControlCompositor.h"
#include "platform/wayland/WaylandClipboardReader.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>

using Behaviour = FakeDataControlCompositor::Behaviour;
using Owner = FakeDataControlCompositor::Owner;
using Protocol = WaylandClipboardReader::Protocol;
using Setup = FakeDataControlCompositor::Setup;

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Behaviour)
Q_DECLARE_METATYPE(FakeDataControlCompositor::Contents)
Q_DECLARE_METATYPE(Protocol)

namespace {

constexpr int budgetMs = WaylandClipboardReader::changeBudgetMs;
const QString plainText = QStringLiteral("text/plain");
const QByteArray utf8Type = QByteArrayLiteral("text/plain;charset=utf-8");

// What the reader handed to its sink, in order. The sink runs on the reader's thread.
class Received
{
public:
    WaylandClipboardReader::Sink sink()
    {
        return [this](ClipboardSnapshot snapshot) {
            QMutexLocker lock(&m_mutex);
            m_snapshots.append(std::move(snapshot));
        };
    }

    qsizetype count() const
    {
        QMutexLocker lock(&m_mutex);
        return m_snapshots.size();
    }

    // The snapshots from index from on.
    QList<ClipboardSnapshot> since(qsizetype from) const
    {
        QMutexLocker lock(&m_mutex);
        return m_snapshots.mid(from);
    }

    // Waits, with this thread's event loop running, for the first snapshot from index from on that matches.
    template<typename Matches>
    std::optional<ClipboardSnapshot> waitFor(qsizetype from, Matches matches, int timeoutMs = 5000) const
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            for (const ClipboardSnapshot& snapshot : since(from)) {
                if (matches(snapshot))
                    return snapshot;
            }
            if (deadline.hasExpired())
                return std::nullopt;
            QTest::qWait(5);
        }
    }

private:
    mutable QMutex m_mutex;
    QList<ClipboardSnapshot> m_snapshots;
};

QByteArray textOf(const ClipboardSnapshot& snapshot)
{
    return snapshot.values.value(plainText);
}

auto withText(const QByteArray& text)
{
    return [text](const ClipboardSnapshot& snapshot) { return textOf(snapshot) == text; };
}

FakeDataControlCompositor::Contents text(const QByteArray& bytes, const QByteArray& type = utf8Type)
{
    return {{type, Behaviour::answer(bytes)}};
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(size);
    for (char& byte : bytes)
        byte = char(generator.generate());
    return bytes;
}

// The reader's answers for what we publish, and how often it asked for each type.
struct Published
{
    QMutex mutex;
    QHash<QString, int> asked;
    QHash<QString, QByteArray> values;

    static ClipboardOffer offer(const std::shared_ptr<Published>& published)
    {
        ClipboardOffer offer;
        offer.types = published->values.keys();
        offer.bytes = [published](const QString& type) {
            QMutexLocker lock(&published->mutex);
            ++published->asked[type];
            return published->values.value(type);
        };
        return offer;
    }

    int timesAsked(const QString& type)
    {
        QMutexLocker lock(&mutex);
        return asked.value(type);
    }
};

// The rows every reader test runs in: each data-control interface the reader can meet, on its own.
void addProtocolColumn()
{
    QTest::addColumn<Setup>("setup");
}

const QList<QPair<const char*, Setup>>& protocols()
{
    static const QList<QPair<const char*, Setup>> rows = {
        {"ext", {true, true, 0}},
        {"wlr-v1", {true, false, 1}},
        {"wlr-v2", {true, false, 2}},
    };
    return rows;
}

void addProtocolRows()
{
    addProtocolColumn();
    for (const auto& [name, setup] : protocols())
        QTest::newRow(name) << setup;
}

} // namespace

// The Wayland reader against FakeDataControlCompositor, once per data-control interface: what it reads of
// another application's selection, how it copes with owners that are slow, hung, huge or dying, what it
// serves of our own contents, and that it lets go of what it no longer needs.
class TestWaylandReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void protocolIsChosenFromWhatIsOffered_data();
    void protocolIsChosenFromWhatIsOffered();
    void noCompositorMeansNoReader();
    void contentsFoundAtStartAreInitial_data() { addProtocolRows(); }
    void contentsFoundAtStartAreInitial();

    void textIsReadFromTheBestTextType_data() { addProtocolRows(); }
    void textIsReadFromTheBestTextType();
    void markerValuesAreRead_data() { addProtocolRows(); }
    void markerValuesAreRead();
    void fileListsAndImagesAreRead_data() { addProtocolRows(); }
    void fileListsAndImagesAreRead();
    // The limit is kept while the pipe is read, which is the same for every interface: one is enough.
    void typesAboveTheLimitAreLeftOut_data()
    {
        addProtocolColumn();
        QTest::newRow(protocols().first().first) << protocols().first().second;
    }
    void typesAboveTheLimitAreLeftOut();

    void unresponsiveOwners_data();
    void unresponsiveOwners();
    void ownerDyingMidTransferLeavesNothing_data();
    void ownerDyingMidTransferLeavesNothing();
    void changeArrivingMidReadSupersedesIt_data() { addProtocolRows(); }
    void changeArrivingMidReadSupersedesIt();
    void burstOfChangesEndsWithTheNewest_data() { addProtocolRows(); }
    void burstOfChangesEndsWithTheNewest();

    void publishedContentsAreServedAndEchoed_data() { addProtocolRows(); }
    void publishedContentsAreServedAndEchoed();
    void ourSourceIsReplacedCancelledAndCleared_data() { addProtocolRows(); }
    void ourSourceIsReplacedCancelledAndCleared();
    void hungPasteHoldsUpNothing_data() { addProtocolRows(); }
    void hungPasteHoldsUpNothing();
    void publishIsNotHeldUpByAHungOwner_data() { addProtocolRows(); }
    void publishIsNotHeldUpByAHungOwner();

    void stopIsPromptWhileAnOwnerHangs_data() { addProtocolRows(); }
    void stopIsPromptWhileAnOwnerHangs();
    void offersNoLongerNeededAreDestroyed_data() { addProtocolRows(); }
    void offersNoLongerNeededAreDestroyed();
    void lostCompositorEndsNothingBadly_data() { addProtocolRows(); }
    void lostCompositorEndsNothingBadly();

private:
    // A compositor of the row's kind with contents on its clipboard, and a reader that reported them.
    void startReader(const QStringList& markers = {}, int readBudgetMs = budgetMs);
    // The number of receive requests so far.
    qsizetype receives() const { return m_compositor->counters().received.size(); }

    std::unique_ptr<FakeDataControlCompositor> m_compositor;
    std::unique_ptr<Received> m_received;
    std::unique_ptr<WaylandClipboardReader> m_reader;
};

#define START_READER(...)                                                                                              \
    do {                                                                                                               \
        startReader(__VA_ARGS__);                                                                                      \
        if (QTest::currentTestFailed())                                                                                \
            return;                                                                                                    \
    } while (false)

void TestWaylandReader::cleanup()
{
    m_reader.reset();
    m_compositor.reset();
    m_received.reset();
}

void TestWaylandReader::startReader(const QStringList& markers, int readBudgetMs)
{
    QFETCH(Setup, setup);
    m_compositor = std::make_unique<FakeDataControlCompositor>(setup);
    QVERIFY(m_compositor->isListening());
    m_compositor->setSelection(text("there before us"));
    m_received = std::make_unique<Received>();
    m_reader = std::make_unique<WaylandClipboardReader>(markers, m_received->sink(), m_compositor->displayName(),
                                                        readBudgetMs);
    QVERIFY(m_reader->start());
    const auto first = m_received->waitFor(0, withText("there before us"));
    QVERIFY(first);
    QVERIFY(first->initial);
}

// -- Connecting ------------------------------------------------------------------------------------------

void TestWaylandReader::protocolIsChosenFromWhatIsOffered_data()
{
    addProtocolColumn();
    QTest::addColumn<Protocol>("expected");
    QTest::newRow("no data-control") << Setup{true, false, 0} << Protocol::None;
    QTest::newRow("no seat") << Setup{false, true, 2} << Protocol::None;
    QTest::newRow("ext") << Setup{true, true, 0} << Protocol::Ext;
    QTest::newRow("wlr-v1") << Setup{true, false, 1} << Protocol::Wlr;
    QTest::newRow("wlr-v2") << Setup{true, false, 2} << Protocol::Wlr;
    QTest::newRow("ext and wlr-v2") << Setup{true, true, 2} << Protocol::Ext;
    QTest::newRow("ext and wlr-v1") << Setup{true, true, 1} << Protocol::Ext;
}

void TestWaylandReader::protocolIsChosenFromWhatIsOffered()
{
    QFETCH(Setup, setup);
    QFETCH(Protocol, expected);
    m_compositor = std::make_unique<FakeDataControlCompositor>(setup);
    QVERIFY(m_compositor->isListening());
    QCOMPARE(WaylandClipboardReader::offeredProtocol(m_compositor->displayName()), expected);

    m_received = std::make_unique<Received>();
    m_reader = std::make_unique<WaylandClipboardReader>(QStringList(), m_received->sink(), m_compositor->displayName());
    QCOMPARE(m_reader->start(), expected != Protocol::None);
    QCOMPARE(m_reader->protocol(), expected);
    if (expected == Protocol::None)
        return;
    QTRY_COMPARE(m_compositor->counters().devices, 1);
    // One manager is enough: the other one stays unused.
    QCOMPARE(m_compositor->counters().managersBound, 1);

    // It does watch through the interface it picked.
    const qsizetype mark = m_received->count();
    m_compositor->setSelection(text("through the chosen interface"));
    QVERIFY(m_received->waitFor(mark, withText("through the chosen interface")));
}

void TestWaylandReader::noCompositorMeansNoReader()
{
    QTemporaryDir dir;
    const QByteArray nowhere = dir.filePath(QStringLiteral("wayland-nobody")).toLocal8Bit();
    QCOMPARE(WaylandClipboardReader::offeredProtocol(nowhere), Protocol::None);
    Received received;
    WaylandClipboardReader reader({}, received.sink(), nowhere);
    QVERIFY(!reader.start());
    QCOMPARE(reader.protocol(), Protocol::None);
    reader.stop();
    QCOMPARE(received.count(), 0);
}

void TestWaylandReader::contentsFoundAtStartAreInitial()
{
    START_READER();
    const ClipboardSnapshot first = m_received->since(0).first();
    QVERIFY(!first.ownedByUs);
    QVERIFY(!first.abandoned);

    qsizetype mark = m_received->count();
    m_compositor->setSelection(text("copied while watching"));
    const auto change = m_received->waitFor(mark, withText("copied while watching"));
    QVERIFY(change);
    QVERIFY(!change->initial);
    QVERIFY(change->serial > first.serial);

    // Started on an empty clipboard, the first copy is a change like any other, whether the compositor
    // announces the empty clipboard to a new device or, as KWin, says nothing.
    for (const bool silent : {false, true}) {
        m_reader.reset();
        m_compositor->clearSelection();
        m_compositor->setSilentWhenEmpty(silent);
        QTRY_COMPARE(m_compositor->counters().devices, 0);
        m_received = std::make_unique<Received>();
        m_reader =
            std::make_unique<WaylandClipboardReader>(QStringList(), m_received->sink(), m_compositor->displayName());
        QVERIFY(m_reader->start());
        QTRY_COMPARE(m_compositor->counters().devices, 1);
        m_compositor->setSelection(text("first copy after an empty start"));
        const auto firstCopy = m_received->waitFor(0, withText("first copy after an empty start"));
        QVERIFY(firstCopy);
        QVERIFY2(!firstCopy->initial, silent ? "silent" : "announced");
        for (const ClipboardSnapshot& snapshot : m_received->since(0)) {
            if (snapshot.initial)
                QVERIFY2(snapshot.types.isEmpty(), "only the empty clipboard found at start can be initial");
        }
    }
}

// -- What is read ----------------------------------------------------------------------------------------

void TestWaylandReader::textIsReadFromTheBestTextType()
{
    START_READER();

    // UTF-8 text beside formatted text, which is asked for after the text and kept as offered.
    const QByteArray cjk = QStringLiteral(u"剪贴板の履歴 — 클립보드 😀\n二行目").toUtf8();
    qsizetype mark = m_received->count();
    qsizetype asked = receives();
    m_compositor->setSelection(
        {{"text/html", Behaviour::answer("<b>rich</b>")}, {utf8Type, Behaviour::answer(cjk)}, {"SAVE_TARGETS", {}}});
    auto change = m_received->waitFor(mark, withText(cjk));
    QVERIFY(change);
    QVERIFY(!change->abandoned);
    QCOMPARE(change->types, QStringList({"text/html", QString::fromUtf8(utf8Type), "SAVE_TARGETS", plainText}));
    QCOMPARE(change->values.size(), 2);
    QCOMPARE(change->values.value(QStringLiteral("text/html")), QByteArray("<b>rich</b>"));
    QCOMPARE(m_compositor->counters().received.mid(asked), QList<QByteArray>({utf8Type, "text/html"}));

    // The first text type that can be read wins; the others are not asked for.
    mark = m_received->count();
    asked = receives();
    m_compositor->setSelection({{"text/plain", Behaviour::answer("plain")},
                                {"UTF8_STRING", Behaviour::answer("utf8 string")},
                                {"STRING", Behaviour::answer("latin1")}});
    change = m_received->waitFor(mark, [](const ClipboardSnapshot& s) { return !s.values.isEmpty(); });
    QVERIFY(change);
    QCOMPARE(textOf(*change), QByteArray("utf8 string"));
    QCOMPARE(m_compositor->counters().received.mid(asked), QList<QByteArray>{"UTF8_STRING"});

    // STRING is Latin-1 and arrives as UTF-8.
    mark = m_received->count();
    m_compositor->setSelection(text("caf\xe9 \xa9", "STRING"));
    QVERIFY(m_received->waitFor(mark, withText(QStringLiteral(u"café ©").toUtf8())));

    // Plain text/plain is taken as it comes.
    mark = m_received->count();
    m_compositor->setSelection(text(cjk, "text/plain"));
    QVERIFY(m_received->waitFor(mark, withText(cjk)));

    // Far more than one pipe buffer, arriving in many reads.
    QByteArray large;
    while (large.size() < 3 * 1024 * 1024)
        large += cjk + '\n';
    mark = m_received->count();
    m_compositor->setSelection(text(large));
    change = m_received->waitFor(mark, [](const ClipboardSnapshot& s) { return !s.values.isEmpty(); });
    QVERIFY(change);
    QCOMPARE(textOf(*change).size(), large.size());
    QVERIFY(textOf(*change) == large);
}

void TestWaylandReader::markerValuesAreRead()
{
    const QStringList markers = {"org.nspasteboard.ConcealedType"};
    START_READER(markers);

    // A secret: the hint is asked for, and then nothing else.
    qsizetype mark = m_received->count();
    qsizetype asked = receives();
    m_compositor->setSelection({{utf8Type, Behaviour::answer("hunter2")},
                                {"x-kde-passwordManagerHint", Behaviour::answer("secret")},
                                {"image/png", Behaviour::answer("png")},
                                {"text/uri-list", Behaviour::answer("file:///tmp/a.png")}});
    auto change = m_received->waitFor(mark, [](const ClipboardSnapshot& s) { return s.withheld; });
    QVERIFY(change);
    QCOMPARE(change->values.keys(), QList<QString>{"x-kde-passwordManagerHint"});
    QCOMPARE(m_compositor->counters().received.mid(asked), QList<QByteArray>{"x-kde-passwordManagerHint"});

    // A marker whose presence is enough is never read; the filter is decided before the payload.
    mark = m_received->count();
    asked = receives();
    m_compositor->setSelection(
        {{utf8Type, Behaviour::answer("hunter3")}, {"org.nspasteboard.ConcealedType", Behaviour::answer("")}});
    change = m_received->waitFor(mark, [](const ClipboardSnapshot& s) { return s.withheld; });
    QVERIFY(change);
    QVERIFY(change->values.isEmpty());
    QCOMPARE(receives(), asked);

    // With the filter off the payload follows the hint.
    m_reader->setIgnoreSensitive(false);
    mark = m_received->count();
    asked = receives();
    m_compositor->setSelection(
        {{utf8Type, Behaviour::answer("hunter4")}, {"x-kde-passwordManagerHint", Behaviour::answer("secret")}});
    change = m_received->waitFor(mark, withText("hunter4"));
    QVERIFY(change);
    QVERIFY(!change->withheld);
    QCOMPARE(m_compositor->counters().received.mid(asked), QList<QByteArray>({"x-kde-passwordManagerHint", utf8Type}));
}

void TestWaylandReader::fileListsAndImagesAreRead()
{
    START_READER();

    // Binary values, zero bytes and all, larger than a pipe buffer.
    const QByteArray png = "\x89PNG\r\n\x1a\n" + randomBytes(2 * 1024 * 1024) + QByteArray(16, '\0');
    const QByteArray uris = "file:///home/someone/a%20b.txt\r\nfile:///home/someone/c.png\r\n";
    qsizetype mark = m_received->count();
    qsizetype asked = receives();
    m_compositor->setSelection({{"text/uri-list", Behaviour::answer(uris)},
                                {"image/jpeg", Behaviour::answer("jpeg")},
                                {"image/png", Behaviour::answer(png)},
                                {"application/x-kde-cutselection", Behaviour::answer("1")}});
    auto change = m_received->waitFor(mark, [](const ClipboardSnapshot& s) { return !s.values.isEmpty(); });
    QVERIFY(change);
    QVERIFY(!change->abandoned);
    QCOMPARE(change->values.value("text/uri-list"), uris);
    QCOMPARE(change->values.value("image/png").size(), png.size());
    QVERIFY(change->values.value("image/png") == png);
    QVERIFY(!change->values.contains("image/jpeg"));
    QVERIFY(!m_compositor->counters().received.mid(asked).contains("image/jpeg"));
    QCOMPARE(change->types.size(), 4);

    // Without PNG or TIFF, the first other image type is read, and only that one.
    mark = m_received->count();
    asked = receives();
    const QByteArray jpeg = "\xff\xd8\xff\xe0" + randomBytes(300 * 1024);
    m_compositor->setSelection({{"image/jpeg", Behaviour::answer(jpeg)}, {"image/bmp", Behaviour::answer("BM")}});
    change = m_received->waitFor(mark, [](const ClipboardSnapshot& s) { return !s.values.isEmpty(); });
    QVERIFY(change);
    QVERIFY(change->values.value("image/jpeg") == jpeg);
    QCOMPARE(m_compositor->counters().received.mid(asked), QList<QByteArray>{"image/jpeg"});
}

void TestWaylandReader::typesAboveTheLimitAreLeftOut()
{
    constexpr qint64 limit = WaylandClipboardReader::maxTypeBytes;
    // What is checked here is the size limit: how much of it a busy machine moves within the budget is not,
    // so the budget is out of the way and each change is awaited until the reader has decided.
    constexpr int unbounded = 600000;
    START_READER({}, unbounded);

    // One byte too many: the image is left out, the rest of the change is kept.
    qsizetype mark = m_received->count();
    m_compositor->setSelection(
        {{utf8Type, Behaviour::answer("beside a huge image")}, {"image/png", Behaviour::zeroes(limit + 1)}});
    auto change = m_received->waitFor(mark, withText("beside a huge image"), unbounded);
    QVERIFY(change);
    QVERIFY(!change->abandoned);
    QVERIFY(change->types.contains("image/png"));
    QVERIFY(!change->values.contains("image/png"));

    // Exactly the limit is still kept.
    mark = m_received->count();
    m_compositor->setSelection({{"image/png", Behaviour::zeroes(limit)}});
    change = m_received->waitFor(
        mark, [](const ClipboardSnapshot& s) { return s.values.contains("image/png"); }, unbounded);
    QVERIFY(change);
    QCOMPARE(qint64(change->values.value("image/png").size()), limit);
    change.reset();

    // A value without end: the reader stops at the limit instead of draining it, so the change neither runs
    // out of time nor takes the memory.
    mark = m_received->count();
    const qint64 writtenBefore = m_compositor->counters().bytesWritten;
    m_compositor->setSelection({{"image/png", Behaviour::zeroes(qint64(8) << 30)},
                                {"text/plain", Behaviour::answer("beside an endless image")}});
    change = m_received->waitFor(mark, withText("beside an endless image"), unbounded);
    QVERIFY(change);
    QVERIFY(!change->abandoned);
    QVERIFY(!change->values.contains("image/png"));
    const qint64 written = m_compositor->counters().bytesWritten - writtenBefore;
    QVERIFY2(written < limit + 8 * 1024 * 1024, qPrintable(QStringLiteral("%1 bytes taken").arg(written)));
    QTRY_VERIFY(m_compositor->counters().transfersCutOff >= 1);

    // Formatted text beside a text is held to what is kept beside one: 50 MB of it is given up on while it
    // arrives, and the text is kept.
    mark = m_received->count();
    const qint64 cutOffBefore = m_compositor->counters().transfersCutOff;
    const qint64 htmlWrittenBefore = m_compositor->counters().bytesWritten;
    m_compositor->setSelection({{"text/plain", Behaviour::answer("beside a huge html")},
                                {"text/html", Behaviour::zeroes(qint64(50) * 1024 * 1024)}});
    change = m_received->waitFor(mark, withText("beside a huge html"), unbounded);
    QVERIFY(change);
    QVERIFY(!change->abandoned);
    QVERIFY(!change->values.contains("text/html"));
    const qint64 htmlWritten = m_compositor->counters().bytesWritten - htmlWrittenBefore;
    QVERIFY2(htmlWritten < ClipboardReading::maxKeptFormatBytes + 8 * 1024 * 1024,
             qPrintable(QStringLiteral("%1 bytes taken").arg(htmlWritten)));
    QTRY_VERIFY(m_compositor->counters().transfersCutOff > cutOffBefore);
}

// -- Owners that misbehave -------------------------------------------------------------------------------

void TestWaylandReader::unresponsiveOwners_data()
{
    addProtocolColumn();
    QTest::addColumn<Behaviour>("behaviour");
    QTest::addColumn<bool>("givenUp");
    const QByteArray value = QByteArray("slow but steady ").repeated(2000);
    Behaviour silentAfterAPart = Behaviour::never();
    silentAfterAPart.bytes = value;
    for (const auto& [name, setup] : protocols()) {
        QTest::addRow("%s, silent", name) << setup << Behaviour::never() << true;
        QTest::addRow("%s, silent after a part", name) << setup << silentAfterAPart << true;
        // Every piece keeps the pipe busy, but the whole takes longer than the budget.
        QTest::addRow("%s, trickling past the budget", name)
            << setup << Behaviour::slowly(value, 24, budgetMs / 8) << true;
        QTest::addRow("%s, slow within the budget", name)
            << setup << Behaviour::slowly(value, 4, budgetMs / 10) << false;
    }
}

void TestWaylandReader::unresponsiveOwners()
{
    QFETCH(Behaviour, behaviour);
    QFETCH(bool, givenUp);
    const QString marker = QStringLiteral("x-kde-passwordManagerHint");
    START_READER({marker});

    // A read that waited on the owner in this thread would stop the ticks for as long as it waited.
    QElapsedTimer sinceTick;
    sinceTick.start();
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, this, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    ticker.start();

    const qsizetype mark = m_received->count();
    QElapsedTimer clock;
    clock.start();
    // The marker answers at once; only the text is slow.
    m_compositor->setSelection({{marker.toUtf8(), Behaviour::answer("public")}, {utf8Type, behaviour}});
    const auto change = m_received->waitFor(
        mark, [](const ClipboardSnapshot&) { return true; }, budgetMs + 5000);
    const qint64 elapsed = clock.elapsed();
    ticker.stop();
    QVERIFY(change);
    if (givenUp) {
        QVERIFY(change->abandoned);
        // Not even what was read before the owner stalled.
        QVERIFY(change->values.isEmpty());
        QVERIFY2(elapsed >= budgetMs - 100, qPrintable(QStringLiteral("given up after %1 ms").arg(elapsed)));
        QVERIFY2(longestGap < budgetMs, qPrintable(QStringLiteral("no tick for %1 ms").arg(longestGap)));
    } else {
        QVERIFY(!change->abandoned);
        QVERIFY(textOf(*change) == behaviour.bytes);
        QCOMPARE(change->values.value(marker), QByteArray("public"));
    }

    // The next change is read as usual, and nothing more came of the unresponsive one.
    m_compositor->setSelection(text("after the unresponsive owner"));
    QVERIFY(m_received->waitFor(mark, withText("after the unresponsive owner")));
    const QList<ClipboardSnapshot> all = m_received->since(mark);
    QCOMPARE(all.size(), 2);
    QVERIFY(!all.last().abandoned);
    QVERIFY(!all.last().initial);
}

void TestWaylandReader::ownerDyingMidTransferLeavesNothing_data()
{
    addProtocolColumn();
    QTest::addColumn<FakeDataControlCompositor::Contents>("contents");
    const QByteArray partial = QByteArray("half of a long value ").repeated(10000);
    for (const auto& [name, setup] : protocols()) {
        QTest::addRow("%s, in the first value", name)
            << setup
            << FakeDataControlCompositor::Contents{{utf8Type, Behaviour::diesAfter(partial)},
                                                   {"image/png", Behaviour::answer("png")}};
        // Nothing else is asked for after it: only a look back at the compositor can tell it from the end.
        QTest::addRow("%s, in the last value", name)
            << setup
            << FakeDataControlCompositor::Contents{{utf8Type, Behaviour::answer("text of a dying owner")},
                                                   {"image/png", Behaviour::diesAfter(partial)}};
    }
}

void TestWaylandReader::ownerDyingMidTransferLeavesNothing()
{
    QFETCH(FakeDataControlCompositor::Contents, contents);
    START_READER();

    const qsizetype mark = m_received->count();
    m_compositor->setSelection(contents);
    QTRY_COMPARE(m_compositor->selectionOwner(), Owner::Nobody);

    // The reader takes changes in order: once the next one is in, all it made of the dead owner's is too.
    m_compositor->setSelection(text("after the dead owner"));
    const auto next = m_received->waitFor(mark, withText("after the dead owner"));
    QVERIFY(next);
    QVERIFY(!next->abandoned);
    const QList<ClipboardSnapshot> before = m_received->since(mark).mid(0, m_received->since(mark).size() - 1);
    for (const ClipboardSnapshot& snapshot : before) {
        QVERIFY2(snapshot.values.isEmpty(), "something of a dead owner's contents was kept");
        QVERIFY2(snapshot.abandoned || snapshot.types.isEmpty(), "a dead owner's change was reported as read");
    }
}

void TestWaylandReader::changeArrivingMidReadSupersedesIt()
{
    START_READER();
    const quint64 before = m_received->since(0).last().serial;

    // The reader is stuck on a silent owner when the next change comes: it moves on at once, and the stuck
    // change is neither reported nor given up on later.
    const qsizetype mark = m_received->count();
    const qsizetype asked = receives();
    m_compositor->setSelection({{utf8Type, Behaviour::never()}});
    QTRY_VERIFY(receives() > asked);
    m_compositor->setSelection(text("newest"));
    const auto newest = m_received->waitFor(mark, withText("newest"));
    QVERIFY(newest);
    QVERIFY(!newest->abandoned);
    // The dropped change still counted.
    QVERIFY(newest->serial >= before + 2);
    // Changes are reported in order: a stuck change waited out would have been given up on before this one.
    QCOMPARE(m_received->since(mark).size(), 1);
}

void TestWaylandReader::burstOfChangesEndsWithTheNewest()
{
    START_READER();
    const quint64 before = m_received->since(0).last().serial;

    // Each slow enough to be overtaken by the next, each with two values that have to stay together.
    constexpr int changes = 20;
    const qsizetype mark = m_received->count();
    for (int i = 0; i < changes; ++i) {
        const QByteArray n = QByteArray::number(i);
        const bool last = i == changes - 1;
        m_compositor->setSelection(
            {{utf8Type, last ? Behaviour::answer("text " + n) : Behaviour::slowly("text " + n, 2, 100)},
             {"image/png", last ? Behaviour::answer("png " + n) : Behaviour::slowly("png " + n, 2, 100)}});
        QTest::qWait(20);
    }
    const QByteArray newest = "text " + QByteArray::number(changes - 1);
    const auto last = m_received->waitFor(mark, withText(newest));
    QVERIFY(last);
    QVERIFY(last->serial >= before + changes);
    // Nothing of the burst comes after the next change is in.
    m_compositor->setSelection(text("after the burst"));
    QVERIFY(m_received->waitFor(mark, withText("after the burst")));

    QList<ClipboardSnapshot> all = m_received->since(mark);
    all.removeLast();
    QVERIFY(all.size() <= changes);
    QCOMPARE(textOf(all.last()), newest);
    quint64 serial = before;
    for (const ClipboardSnapshot& snapshot : all) {
        QVERIFY(!snapshot.abandoned);
        QVERIFY(snapshot.serial > serial);
        serial = snapshot.serial;
        const QByteArray n = textOf(snapshot).mid(5);
        QCOMPARE(snapshot.values.value("image/png"), "png " + n);
    }
}

// -- Our own contents ------------------------------------------------------------------------------------

void TestWaylandReader::publishedContentsAreServedAndEchoed()
{
    START_READER();

    const QByteArray words = QStringLiteral(u"from the history ✓").toUtf8();
    const QByteArray image = randomBytes(6 * 1024 * 1024);
    auto published = std::make_shared<Published>();
    published->values = {{"text/plain;charset=utf-8", words}, {"UTF8_STRING", words}, {"image/png", image}};
    const qsizetype mark = m_received->count();
    const qsizetype asked = receives();
    m_reader->publish(Published::offer(published));
    QTRY_COMPARE(m_compositor->selectionOwner(), Owner::Client);

    QList<QByteArray> offered = m_compositor->clientOfferTypes();
    QVERIFY(offered.contains(WaylandClipboardReader::ownMarkerType));
    offered.removeOne(WaylandClipboardReader::ownMarkerType);
    std::sort(offered.begin(), offered.end());
    QCOMPARE(offered, QList<QByteArray>({"UTF8_STRING", "image/png", "text/plain;charset=utf-8"}));

    // It comes back to us as ours and is not read.
    const auto echo = m_received->waitFor(mark, [](const ClipboardSnapshot& s) { return s.ownedByUs; });
    QVERIFY(echo);
    QVERIFY(echo->values.isEmpty());
    QVERIFY(!echo->initial);
    QVERIFY(!echo->abandoned);
    QCOMPARE(m_received->since(mark).size(), 1);
    QCOMPARE(receives(), asked);

    // Pasted by another application, twice, while the value is made once.
    QCOMPARE(m_compositor->pasteFromClient(utf8Type), words);
    QCOMPARE(m_compositor->pasteFromClient(utf8Type), words);
    QCOMPARE(published->timesAsked("text/plain;charset=utf-8"), 1);
    QCOMPARE(m_compositor->pasteFromClient("UTF8_STRING"), words);
    // Larger than a pipe holds, so written as the other side reads.
    const QByteArray pasted = m_compositor->pasteFromClient("image/png");
    QCOMPARE(pasted.size(), image.size());
    QVERIFY(pasted == image);
    // A type we did not offer gets nothing, and asks for nothing.
    QCOMPARE(m_compositor->pasteFromClient("text/html"), QByteArray());
    QCOMPARE(published->timesAsked("text/html"), 0);
}

void TestWaylandReader::ourSourceIsReplacedCancelledAndCleared()
{
    START_READER();
    auto first = std::make_shared<Published>();
    first->values = {{"text/plain;charset=utf-8", "first"}};
    auto second = std::make_shared<Published>();
    second->values = {{"text/plain;charset=utf-8", "second"}};

    qsizetype mark = m_received->count();
    m_reader->publish(Published::offer(first));
    QVERIFY(m_received->waitFor(mark, [](const ClipboardSnapshot& s) { return s.ownedByUs; }));
    const int cancelled = m_compositor->counters().sourcesCancelled;

    // Publishing again replaces our source: the old one is cancelled and destroyed.
    mark = m_received->count();
    m_reader->publish(Published::offer(second));
    QVERIFY(m_received->waitFor(mark, [](const ClipboardSnapshot& s) { return s.ownedByUs; }));
    QCOMPARE(m_compositor->pasteFromClient(utf8Type), QByteArray("second"));
    QCOMPARE(m_compositor->counters().sourcesCancelled, cancelled + 1);
    QTRY_COMPARE(m_compositor->counters().sources, 1);

    // Another application copying cancels ours; its contents are read as usual.
    mark = m_received->count();
    m_compositor->setSelection(text("someone else's"));
    const auto foreign = m_received->waitFor(mark, withText("someone else's"));
    QVERIFY(foreign);
    QVERIFY(!foreign->ownedByUs);
    QCOMPARE(m_compositor->counters().sourcesCancelled, cancelled + 2);
    QTRY_COMPARE(m_compositor->counters().sources, 0);
    QCOMPARE(m_compositor->pasteFromClient(utf8Type), QByteArray());

    // An empty offer empties the clipboard, whoever held it.
    m_reader->publish({});
    QTRY_COMPARE(m_compositor->selectionOwner(), Owner::Nobody);
    mark = m_received->count();
    m_reader->publish(Published::offer(first));
    QVERIFY(m_received->waitFor(mark, [](const ClipboardSnapshot& s) { return s.ownedByUs; }));
    m_reader->publish({});
    QTRY_COMPARE(m_compositor->selectionOwner(), Owner::Nobody);
    QTRY_COMPARE(m_compositor->counters().sources, 0);
    QCOMPARE(m_compositor->counters().sourcesCreated, 3);
}

void TestWaylandReader::hungPasteHoldsUpNothing()
{
    START_READER();
    auto published = std::make_shared<Published>();
    published->values = {{"text/plain;charset=utf-8", "small"}, {"image/png", randomBytes(4 * 1024 * 1024)}};
    qsizetype mark = m_received->count();
    m_reader->publish(Published::offer(published));
    QVERIFY(m_received->waitFor(mark, [](const ClipboardSnapshot& s) { return s.ownedByUs; }));

    // An application asks for the image and never reads it: the pipe fills up and stays full.
    QVERIFY(m_compositor->startStalledPaste("image/png"));
    QElapsedTimer clock;
    clock.start();
    QTRY_COMPARE(published->timesAsked("image/png"), 1);

    // Other pastes and changes go on meanwhile.
    QCOMPARE(m_compositor->pasteFromClient(utf8Type), QByteArray("small"));
    mark = m_received->count();
    m_compositor->setSelection(text("copied during a hung paste"));
    QVERIFY(m_received->waitFor(mark, withText("copied during a hung paste")));
    QCOMPARE(m_compositor->stalledPastesOpen(), 1);

    // The paste is given up on at its budget.
    constexpr int sendBudgetMs = WaylandClipboardReader::sendBudgetMs;
    QTRY_COMPARE_WITH_TIMEOUT(m_compositor->stalledPastesOpen(), 0, sendBudgetMs + 2000);
    QVERIFY2(clock.elapsed() >= sendBudgetMs - 100,
             qPrintable(QStringLiteral("given up after %1 ms").arg(clock.elapsed())));
}

void TestWaylandReader::publishIsNotHeldUpByAHungOwner()
{
    START_READER();
    const qsizetype asked = receives();
    m_compositor->setSelection({{utf8Type, Behaviour::never()}});
    QTRY_VERIFY(receives() > asked);

    auto published = std::make_shared<Published>();
    published->values = {{"text/plain;charset=utf-8", "while someone hangs"}};
    const qsizetype mark = m_received->count();
    m_reader->publish(Published::offer(published));
    // A publish that waited for the reader would have returned only once the hung change was given up.
    const QList<ClipboardSnapshot> sincePublish = m_received->since(mark);
    QVERIFY(std::none_of(sincePublish.cbegin(), sincePublish.cend(),
                         [](const ClipboardSnapshot& s) { return s.abandoned; }));
    QTRY_COMPARE_WITH_TIMEOUT(m_compositor->selectionOwner(), Owner::Client, budgetMs + 1000);
    QCOMPARE(m_compositor->pasteFromClient(utf8Type), QByteArray("while someone hangs"));
}

// -- Letting go ------------------------------------------------------------------------------------------

void TestWaylandReader::stopIsPromptWhileAnOwnerHangs()
{
    START_READER();
    const qsizetype asked = receives();
    m_compositor->setSelection({{utf8Type, Behaviour::never()}});
    QTRY_VERIFY(receives() > asked);

    QElapsedTimer clock;
    clock.start();
    m_reader->stop();
    QVERIFY2(clock.elapsed() < budgetMs / 2, qPrintable(QStringLiteral("stop took %1 ms").arg(clock.elapsed())));
    QTRY_COMPARE(m_compositor->counters().clients, 0);

    // Nothing reaches the sink once stop() has returned, not even the given-up change.
    const qsizetype count = m_received->count();
    QTest::qWait(budgetMs + 300);
    QCOMPARE(m_received->count(), count);
    m_reader->stop();
}

void TestWaylandReader::offersNoLongerNeededAreDestroyed()
{
    START_READER();

    // The primary selection changes along, which the reader has no use for whatever it gets of it.
    constexpr int changes = 50;
    const qsizetype mark = m_received->count();
    for (int i = 0; i < changes; ++i) {
        const QByteArray n = QByteArray::number(i);
        m_compositor->setSelection({{utf8Type, Behaviour::answer("change " + n)}, {"text/html", {}}});
        m_compositor->setPrimarySelection({"text/plain", "primary " + n});
        QVERIFY(m_received->waitFor(mark, withText("change " + n)));
    }
    // One snapshot per change, none for the primary selection.
    QCOMPARE(m_received->since(mark).size(), changes);
    // At most the current selection and the current primary selection stay.
    QTRY_VERIFY2(m_compositor->counters().offers <= 2,
                 qPrintable(QStringLiteral("%1 offers alive").arg(m_compositor->counters().offers)));

    // So do changes whose owner died while being read.
    for (int i = 0; i < 3; ++i) {
        m_compositor->setSelection({{utf8Type, Behaviour::diesAfter("x")}});
        QTRY_COMPARE(m_compositor->selectionOwner(), Owner::Nobody);
    }
    QTRY_VERIFY2(m_compositor->counters().offers <= 2,
                 qPrintable(QStringLiteral("%1 offers alive").arg(m_compositor->counters().offers)));
}

void TestWaylandReader::lostCompositorEndsNothingBadly()
{
    START_READER();
    const qsizetype asked = receives();
    m_compositor->setSelection({{utf8Type, Behaviour::never()}});
    QTRY_VERIFY(receives() > asked);

    m_compositor->disconnectClients();
    QTRY_COMPARE(m_compositor->counters().clients, 0);
    auto published = std::make_shared<Published>();
    published->values = {{"text/plain;charset=utf-8", "into the void"}};
    m_reader->publish(Published::offer(published));

    QElapsedTimer clock;
    clock.start();
    m_reader->stop();
    QVERIFY2(clock.elapsed() < budgetMs / 2, qPrintable(QStringLiteral("stop took %1 ms").arg(clock.elapsed())));
    for (const ClipboardSnapshot& snapshot : m_received->since(0))
        QVERIFY(snapshot.values.isEmpty() || textOf(snapshot) == "there before us");
}

QTEST_GUILESS_MAIN(TestWaylandReader)
#include "tst_waylandreader.moc"
