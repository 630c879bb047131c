#include "../StdoutCapture.h"
#include "core/ClipboardMonitor.h"
#include "core/HistoryModel.h"
#include "core/StorageManager.h"
#include "platform/Preferences.h"
#include "platform/fakes/FakePasteboard.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QImage solidImage(int width, int height, Qt::GlobalColor color = Qt::darkGreen)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

ClipboardItem storedText(const QString& text, const QDateTime& timestamp, bool pinned = false)
{
    return ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, text, pinned,
                         pinned ? std::optional(timestamp) : std::nullopt, timestamp);
}

QStringList contentsOf(const ClipboardItems& items)
{
    QStringList contents;
    for (const ClipboardItem& item : items)
        contents << item.content;
    return contents;
}

// One change's contents as a clipboard reader prepares them.
ClipboardContents offered(std::optional<QString> text, const QStringList& types = {}, int files = 0, QImage image = {})
{
    ClipboardContents contents;
    contents.types = types;
    contents.text = std::move(text);
    for (int i = 0; i < files; ++i)
        contents.fileImages << (i == 1 ? QImage() : solidImage(i + 1, 1));
    contents.image = std::move(image);
    return contents;
}

const QString htmlType = QStringLiteral("text/html");

} // namespace

Q_DECLARE_METATYPE(ClipboardContents)

class TestClipboardMonitor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void captureRule_data();
    void captureRule();
    void textAtLaunchIsNotCaptured();
    void duplicateRuleComparesFirstEntryOnly();
    void sensitiveMarkersSkipTheChange_data();
    void sensitiveMarkersSkipTheChange();
    void userRulesSkipAndCount();
    void imageFilesFirstTwentyNewestLast();
    void fileUrlsThatAreNotImages();
    void pasteboardImageFormatsInOrder();
    void imageWinsOverCaption();
    void capRemovesOldestUnpinnedAndItsFile();
    void capWithEveryEntryPinned();
    void pinOrder();
    void copyBackIsNeverCaptured();
    void copyBackImage();
    void keptFormatsAreOfferedBack();
    void keptFormatsGoWithTheEntry_data();
    void keptFormatsGoWithTheEntry();
    void deleteItem();
    void updateItemInPlace();
    void clearAllKeepsPinned();
    void undoBringsEntriesBackInPlace_data();
    void undoBringsEntriesBackInPlace();
    void quitEndsTheUndoWindow();
    void autoClearByAge_data();
    void autoClearByAge();
    void loadSortsAndMonitoringFollowsTheClipboard();

private:
    ClipboardMonitor& monitor();
    HistoryModel& history();
    void reopen();
    void settle();
    // One poll tick, and the work it queued.
    void check()
    {
        monitor().checkClipboard();
        settle();
    }
    QString writeImageFile(const QString& name, const QImage& image);
    ClipboardItems savedHistory();

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<StorageManager> m_storage;
    std::unique_ptr<FakePasteboard> m_pasteboard;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<HistoryModel> m_history;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    std::unique_ptr<ClipboardMonitor> m_monitor;
};

void TestClipboardMonitor::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_pasteboard = std::make_unique<FakePasteboard>();
    m_preferences = std::make_unique<Preferences>(m_root->filePath(QStringLiteral("prefs.conf")));
    reopen();
}

void TestClipboardMonitor::cleanup()
{
    m_monitor.reset();
    m_tester.reset();
    m_history.reset();
    m_storage.reset();
}

ClipboardMonitor& TestClipboardMonitor::monitor()
{
    return *m_monitor;
}

HistoryModel& TestClipboardMonitor::history()
{
    return *m_history;
}

// A fresh history and monitor, as at program start: the history loads the stored entries. Every change
// is checked against the rules of a list model as it is announced.
void TestClipboardMonitor::reopen()
{
    cleanup();
    m_storage = std::make_unique<StorageManager>(m_root->filePath(QStringLiteral("Pellamor")));
    m_history = std::make_unique<HistoryModel>(*m_storage);
    m_tester = std::make_unique<QAbstractItemModelTester>(m_history.get(),
                                                          QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_monitor = std::make_unique<ClipboardMonitor>(*m_history, *m_pasteboard, *m_preferences);
}

// Runs the work the monitor queued for a later turn of the event loop.
void TestClipboardMonitor::settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

QString TestClipboardMonitor::writeImageFile(const QString& name, const QImage& image)
{
    const QString path = m_root->filePath(name);
    if (!image.isNull())
        image.save(path, "PNG");
    return path;
}

ClipboardItems TestClipboardMonitor::savedHistory()
{
    m_storage->waitForBackgroundWork();
    return m_storage->load();
}

void TestClipboardMonitor::captureRule_data()
{
    QTest::addColumn<ClipboardContents>("contents");
    QTest::addColumn<bool>("ignoreSensitive");
    // The newest entry's text; empty: an image entry, null: no entry.
    QTest::addColumn<QString>("newest");
    QTest::addColumn<bool>("skipped");
    // Widths of the image entries, in order.
    QTest::addColumn<QList<int>>("images");
    QTest::addColumn<QString>("text");

    const QString none;
    const QString concealed = QStringLiteral("org.nspasteboard.ConcealedType");
    const QString transient = QStringLiteral("org.nspasteboard.TransientType");
    const QString hint = ClipboardReading::passwordManagerHint;
    const auto hinted = [&](const QByteArray& value) {
        ClipboardContents contents = offered(QStringLiteral("token"), {hint});
        contents.markerValues.insert(hint, value);
        return contents;
    };
    ClipboardContents withheld = offered(std::nullopt, {concealed});
    withheld.withheld = true;

    QTest::newRow("text") << offered(QStringLiteral("a")) << true << none << false << QList<int>() << "a";
    QTest::newRow("spaces") << offered(QStringLiteral("   ")) << true << none << false << QList<int>() << "   ";
    QTest::newRow("empty text") << offered(QString()) << true << none << false << QList<int>() << none;
    QTest::newRow("no text") << offered(std::nullopt) << true << none << false << QList<int>() << none;
    QTest::newRow("same as newest") << offered(QStringLiteral("a")) << true << "a" << false << QList<int>() << none;
    QTest::newRow("canonically the same")
        << offered(QStringLiteral("cafe\u0301")) << true << "caf\u00e9" << false << QList<int>() << none;
    QTest::newRow("newest is an image") << offered(QStringLiteral("a")) << true << "" << false << QList<int>() << "a";
    QTest::newRow("image over caption") << offered(QStringLiteral("caption"), {}, 0, solidImage(7, 2)) << true << none
                                        << false << QList<int>{7} << none;
    // The second file did not decode; the clipboard's own image is not looked at once a file gave one.
    QTest::newRow("files before image") << offered(QStringLiteral("names"), {}, 3, solidImage(7, 2)) << true << none
                                        << false << QList<int>{1, 3} << none;
    QTest::newRow("concealed") << offered(QStringLiteral("pw"), {concealed}) << true << none << true << QList<int>()
                               << none;
    QTest::newRow("transient") << offered(QStringLiteral("pw"), {transient}) << true << none << true << QList<int>()
                               << none;
    QTest::newRow("concealed, filter off")
        << offered(QStringLiteral("pw"), {concealed}) << false << none << false << QList<int>() << "pw";
    QTest::newRow("hint secret") << hinted("secret") << true << none << true << QList<int>() << none;
    QTest::newRow("hint unread") << offered(QStringLiteral("token"), {hint}) << true << none << true << QList<int>()
                                 << none;
    QTest::newRow("hint 1") << hinted("1") << true << none << true << QList<int>() << none;
    QTest::newRow("hint empty") << hinted("") << true << none << true << QList<int>() << none;
    QTest::newRow("hint public, newline") << hinted("public\n") << true << none << true << QList<int>() << none;
    QTest::newRow("hint public") << hinted("public") << true << none << false << QList<int>() << "token";
    QTest::newRow("marker in other case")
        << offered(QStringLiteral("pw"), {concealed.toLower()}) << true << none << false << QList<int>() << "pw";
    // Judged a secret when it was read: nothing of it is there to keep, whatever the filter says now.
    QTest::newRow("withheld, filter off since") << withheld << false << none << true << QList<int>() << none;
}

void TestClipboardMonitor::captureRule()
{
    QFETCH(ClipboardContents, contents);
    QFETCH(bool, ignoreSensitive);
    QFETCH(QString, newest);
    QFETCH(bool, skipped);
    QFETCH(QList<int>, images);
    QFETCH(QString, text);

    const ClipboardItem newestEntry =
        ClipboardItem::captured(newest.isEmpty() ? ClipboardItemType::Image : ClipboardItemType::Text,
                                newest.isEmpty() ? QStringLiteral("x.png") : newest);
    const ClipboardMonitor::Capture capture =
        ClipboardMonitor::captureFrom(contents, ignoreSensitive, newest.isNull() ? nullptr : &newestEntry);
    QCOMPARE(capture.skipped, skipped);
    QList<int> widths;
    for (const QImage& image : capture.images)
        widths << image.width();
    QCOMPARE(widths, images);
    QCOMPARE(capture.text, text.isNull() ? std::nullopt : std::optional(text));
}

void TestClipboardMonitor::textAtLaunchIsNotCaptured()
{
    m_pasteboard->copyText(QStringLiteral("there before"));
    reopen();
    check();
    QVERIFY(monitor().items().isEmpty());

    m_pasteboard->copyText(QStringLiteral("copied later"));
    monitor().checkClipboard();
    // The entry arrives in a later turn of the event loop, never during the tick.
    QVERIFY(monitor().items().isEmpty());
    settle();
    QCOMPARE(contentsOf(monitor().items()), QStringList{QStringLiteral("copied later")});
    QCOMPARE(savedHistory(), monitor().items());
}

void TestClipboardMonitor::duplicateRuleComparesFirstEntryOnly()
{
    const auto copy = [this](const QString& text) {
        m_pasteboard->copyText(text);
        check();
    };
    copy(QStringLiteral("A"));
    copy(QStringLiteral("A"));
    QCOMPARE(monitor().items().size(), 1);
    copy(QStringLiteral("B"));
    copy(QStringLiteral("A"));
    QCOMPARE(contentsOf(monitor().items()),
             QStringList({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("A")}));

    // With a pinned entry on top the rule compares with that one, so a repeat is captured again.
    history().togglePin(monitor().items().last().id);
    copy(QStringLiteral("C"));
    copy(QStringLiteral("C"));
    QCOMPARE(contentsOf(monitor().items()).count(QStringLiteral("C")), 2);
}

void TestClipboardMonitor::sensitiveMarkersSkipTheChange_data()
{
    QTest::addColumn<QString>("marker");
    for (const QString& marker : ClipboardMonitor::sensitiveMarkerTypes())
        QTest::newRow(qPrintable(marker)) << marker;
}

void TestClipboardMonitor::sensitiveMarkersSkipTheChange()
{
    QFETCH(QString, marker);
    // Never written: the filter is on.
    m_pasteboard->copyText(QStringLiteral("hunter2"), {marker});
    check();
    QVERIFY(monitor().items().isEmpty());
    // The change was seen; switching the filter off later does not bring it back.
    m_preferences->setIgnoreSensitive(false);
    check();
    QVERIFY(monitor().items().isEmpty());
}

void TestClipboardMonitor::userRulesSkipAndCount()
{
    QSignalSpy report(&monitor(), &ClipboardMonitor::rulesReportChanged);
    m_preferences->setIgnorePatterns({QStringLiteral("(unclosed"), QStringLiteral("^\\s*\\d{6,8}\\s*$")});
    QCOMPARE(monitor().invalidPatterns(), QStringList{QStringLiteral("(unclosed")});
    m_pasteboard->copyText(QStringLiteral("123456"));
    check();
    QVERIFY(monitor().items().isEmpty());
    QCOMPARE(monitor().skippedCount(SkippedBy::IgnorePattern), 1);
    QCOMPARE(report.count(), 2);
    m_pasteboard->copyText(QStringLiteral("1234567 apples"));
    check();
    QCOMPARE(contentsOf(monitor().items()), QStringList{QStringLiteral("1234567 apples")});

    // Armed, the next change is passed over whatever it is, and only that one.
    QSignalSpy armed(&monitor(), &ClipboardMonitor::ignoringNextChangeChanged);
    monitor().ignoreNextChange();
    QVERIFY(monitor().isIgnoringNextChange());
    m_pasteboard->copyText(QStringLiteral("first"));
    check();
    QVERIFY(!monitor().isIgnoringNextChange());
    m_pasteboard->copyText(QStringLiteral("second"));
    check();
    QCOMPARE(contentsOf(monitor().items()), (QStringList{QStringLiteral("second"), QStringLiteral("1234567 apples")}));
    QCOMPARE(armed.count(), 2);
    QCOMPARE(armed.at(1).at(0).toBool(), false);
}

void TestClipboardMonitor::imageFilesFirstTwentyNewestLast()
{
    QList<QUrl> urls;
    for (int i = 1; i <= 25; ++i)
        urls << QUrl::fromLocalFile(writeImageFile(QStringLiteral("shot%1.PNG").arg(i), solidImage(i, 7)));
    FakePasteboard::Contents contents;
    contents.urls = urls;
    contents.text = QStringLiteral("file names as text");
    m_pasteboard->copy(contents);
    check();

    const ClipboardItems& items = monitor().items();
    QCOMPARE(items.size(), 20);
    for (const ClipboardItem& item : items)
        QCOMPARE(item.type, ClipboardItemType::Image);
    // Each file became its own entry; the one processed last is listed first.
    QCOMPARE(m_storage->loadImage(items.first().content).width(), 20);
    QCOMPARE(m_storage->loadImage(items.last().content).width(), 1);
    m_storage->waitForBackgroundWork();
    QCOMPARE(QDir(m_storage->imagesDir()).entryList(QDir::Files).size(), 20);
}

void TestClipboardMonitor::fileUrlsThatAreNotImages()
{
    QDir(m_root->path()).mkdir(QStringLiteral("folder.png"));
    QFile junk(m_root->filePath(QStringLiteral("broken.png")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("not really a png");
    junk.close();
    FakePasteboard::Contents contents;
    contents.urls = {
        QUrl::fromLocalFile(writeImageFile(QStringLiteral("scan.tif"), solidImage(5, 5))),
        QUrl::fromLocalFile(m_root->filePath(QStringLiteral("folder.png"))),
        QUrl::fromLocalFile(m_root->filePath(QStringLiteral("broken.png"))),
        QUrl::fromLocalFile(m_root->filePath(QStringLiteral("missing.png"))),
        QUrl(QStringLiteral("https://example.com/picture.png")),
    };
    contents.text = QStringLiteral("fallback text");
    m_pasteboard->copy(contents);
    check();
    QCOMPARE(contentsOf(monitor().items()), QStringList{QStringLiteral("fallback text")});

    // A .tif file is not read, but the clipboard's own PNG data is.
    contents.formats.insert(QStringLiteral("image/png"), StorageManager::pngData(solidImage(9, 4)));
    m_pasteboard->copy(contents);
    check();
    QCOMPARE(monitor().items().first().type, ClipboardItemType::Image);
    QCOMPARE(m_storage->loadImage(monitor().items().first().content).size(), QSize(9, 4));
}

void TestClipboardMonitor::pasteboardImageFormatsInOrder()
{
    FakePasteboard::Contents contents;
    contents.formats.insert(QStringLiteral("image/png"), QByteArray("broken png"));
    QByteArray tiff;
    {
        QBuffer buffer(&tiff);
        buffer.open(QIODevice::WriteOnly);
        solidImage(3, 2).save(&buffer, "TIFF");
    }
    contents.formats.insert(QStringLiteral("image/tiff"), tiff);
    contents.image = solidImage(50, 50);
    m_pasteboard->copy(contents);
    check();
    QCOMPARE(monitor().items().size(), 1);
    QCOMPARE(m_storage->loadImage(monitor().items().first().content).size(), QSize(3, 2));

    // Neither PNG nor TIFF: any image the clipboard can produce.
    m_pasteboard->copyImage(solidImage(11, 12));
    check();
    QCOMPARE(monitor().items().size(), 2);
    QCOMPARE(m_storage->loadImage(monitor().items().first().content).size(), QSize(11, 12));

    // A large copy is stored scaled down, and the file is a PNG whatever came in.
    m_pasteboard->copyImage(solidImage(4000, 3000));
    check();
    m_storage->waitForBackgroundWork();
    QImageReader reader(m_storage->imageURL(monitor().items().first().content));
    QCOMPARE(reader.format(), QByteArray("png"));
    QCOMPARE(reader.size(), QSize(1200, 900));
}

void TestClipboardMonitor::imageWinsOverCaption()
{
    FakePasteboard::Contents contents;
    contents.image = solidImage(20, 10);
    contents.text = QStringLiteral("a caption");
    m_pasteboard->copy(contents);
    check();
    QCOMPARE(monitor().items().size(), 1);
    QCOMPARE(monitor().items().first().type, ClipboardItemType::Image);
}

void TestClipboardMonitor::capRemovesOldestUnpinnedAndItsFile()
{
    const QDateTime base = ClipboardItem::currentMoment().addSecs(-3600);
    ClipboardItems stored;
    const QString oldestImage = m_storage->saveImage(StorageManager::pngData(solidImage(2, 2)));
    const QString secondOldestImage = m_storage->saveImage(StorageManager::pngData(solidImage(2, 2)));
    stored << ClipboardItem(QUuid::createUuid(), ClipboardItemType::Image, oldestImage, false, std::nullopt,
                            base.addSecs(-10));
    stored << storedText(QStringLiteral("pinned and ancient"), base.addSecs(-20), true);
    stored << ClipboardItem(QUuid::createUuid(), ClipboardItemType::Image, secondOldestImage, false, std::nullopt,
                            base.addSecs(-5));
    for (int i = 0; i < HistoryModel::maxItems - 3; ++i)
        stored << storedText(QString::number(i), base.addSecs(i));
    QVERIFY(m_storage->save(stored));
    reopen();

    QCOMPARE(monitor().items().size(), HistoryModel::maxItems);
    m_pasteboard->copyText(QStringLiteral("newest"));
    check();

    const ClipboardItems& items = monitor().items();
    QCOMPARE(items.size(), HistoryModel::maxItems);
    QCOMPARE(items[0].content, QStringLiteral("pinned and ancient"));
    QCOMPARE(items[1].content, QStringLiteral("newest"));
    QCOMPARE(items.last().content, secondOldestImage);
    m_storage->waitForBackgroundWork();
    QVERIFY(!QFileInfo::exists(m_storage->imageURL(oldestImage)));
    QVERIFY(QFileInfo::exists(m_storage->imageURL(secondOldestImage)));
    QCOMPARE(savedHistory(), items);
}

void TestClipboardMonitor::capWithEveryEntryPinned()
{
    const QDateTime base = ClipboardItem::currentMoment().addDays(-1);
    ClipboardItems stored;
    for (int i = 0; i < HistoryModel::maxItems; ++i)
        stored << storedText(QString::number(i), base.addSecs(i), true);
    QVERIFY(m_storage->save(stored));
    reopen();

    m_pasteboard->copyImage(solidImage(6, 6));
    check();
    QCOMPARE(monitor().items().size(), HistoryModel::maxItems);
    for (const ClipboardItem& item : monitor().items())
        QVERIFY(item.isPinned);
    m_storage->waitForBackgroundWork();
    QVERIFY(QDir(m_storage->imagesDir()).entryList(QDir::Files).isEmpty());
}

void TestClipboardMonitor::pinOrder()
{
    const QDateTime now = ClipboardItem::currentMoment();
    QVERIFY(m_storage->save(
        {storedText(QStringLiteral("A"), now.addSecs(-40)), storedText(QStringLiteral("B"), now.addSecs(-30)),
         storedText(QStringLiteral("C"), now.addSecs(-20)), storedText(QStringLiteral("D"), now.addSecs(-10))}));
    reopen();
    QCOMPARE(contentsOf(monitor().items()), QStringList({"D", "C", "B", "A"}));
    const auto idOf = [this](const char* text) {
        for (const ClipboardItem& item : monitor().items()) {
            if (item.content == QLatin1String(text))
                return item.id;
        }
        return QUuid();
    };
    history().togglePin(idOf("A"));
    history().togglePin(idOf("B"));
    QCOMPARE(contentsOf(monitor().items()), QStringList({"A", "B", "D", "C"}));
    history().togglePin(idOf("C"));
    QCOMPARE(contentsOf(monitor().items()), QStringList({"A", "B", "C", "D"}));
    QVERIFY(monitor().items()[2].pinTimestamp.has_value());
    history().togglePin(idOf("A"));
    QCOMPARE(contentsOf(monitor().items()), QStringList({"B", "C", "D", "A"}));
    QCOMPARE(monitor().items()[3].isPinned, false);
    QCOMPARE(monitor().items()[3].pinTimestamp, std::nullopt);
    QCOMPARE(monitor().items()[3].timestamp, now.addSecs(-40));
    history().togglePin(QUuid::createUuid());
    QCOMPARE(savedHistory(), monitor().items());
}

void TestClipboardMonitor::copyBackIsNeverCaptured()
{
    m_pasteboard->copyText(QStringLiteral("first"));
    check();
    m_pasteboard->copyText(QStringLiteral("second"));
    check();
    m_storage->waitForBackgroundWork();
    QFile file(m_storage->historyFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    const ClipboardItems order = monitor().items();

    monitor().copyToClipboard(order.last());
    QCOMPARE(m_pasteboard->contents().text, QStringLiteral("first"));
    QCOMPARE(monitor().lastChangeCount(), m_pasteboard->changeCount());
    check();
    QCOMPARE(monitor().items(), order);
    m_storage->waitForBackgroundWork();
    file.seek(0);
    QCOMPARE(file.readAll(), before);

    // An entry need not be in the history: the text preview copies edited text this way.
    monitor().copyToClipboard(ClipboardItem::captured(ClipboardItemType::Text, QStringLiteral("edited")));
    QCOMPARE(m_pasteboard->contents().text, QStringLiteral("edited"));
    check();
    QCOMPARE(monitor().items(), order);
}

void TestClipboardMonitor::copyBackImage()
{
    m_pasteboard->copyImage(solidImage(14, 3));
    check();
    m_storage->waitForBackgroundWork();
    const ClipboardItem image = monitor().items().first();
    m_pasteboard->copyText(QStringLiteral("something else"));

    monitor().copyToClipboard(image);
    QCOMPARE(m_pasteboard->contents().image.size(), QSize(14, 3));
    QVERIFY(!m_pasteboard->contents().text);

    // A file removed by hand leaves the clipboard empty; a restart empties the cache.
    QVERIFY(QFile::remove(m_storage->imageURL(image.content)));
    reopen();
    monitor().copyToClipboard(image);
    QVERIFY(m_pasteboard->contents().image.isNull());
    QVERIFY(!m_pasteboard->contents().text);
    check();
    QCOMPARE(monitor().items().size(), 1);
}

void TestClipboardMonitor::keptFormatsAreOfferedBack()
{
    const QByteArray html = "<b>x</b>\xff";
    m_pasteboard->copyFormatted(QStringLiteral("x"), {{htmlType, html}});
    check();
    const ClipboardItem entry = monitor().items().first();
    QVERIFY(history().keptSummary(entry.id) && history().keptSummary(entry.id)->formatted);
    m_storage->waitForBackgroundWork();
    const QString folder = m_storage->formatsDir() + u'/' + uuidText(entry.id);
    const QFileInfo file(folder + u'/' + StorageManager::formatFileName(htmlType));
    QCOMPARE(file.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

    // The same text copied again: one entry, and the latest copy's formats.
    m_pasteboard->copyFormatted(QStringLiteral("x"), {{htmlType, "<i>x</i>"}});
    check();
    QCOMPARE(monitor().items().size(), 1);
    m_pasteboard->copyText(QStringLiteral("else"));
    check();

    // Offered back after a restart; the text alone when that is asked for.
    reopen();
    monitor().copyToClipboard(entry);
    QCOMPARE(m_pasteboard->contents().text, QStringLiteral("x"));
    QCOMPARE(m_pasteboard->contents().formats.value(htmlType), QByteArray("<i>x</i>"));
    monitor().copyToClipboard(entry, true);
    QVERIFY(m_pasteboard->contents().formats.isEmpty());
    QCOMPARE(m_pasteboard->contents().text, QStringLiteral("x"));

    // A folder deleted by hand: the text alone, with one line; a stale folder goes at start.
    QVERIFY(QDir(folder).removeRecursively());
    StdoutCapture output;
    monitor().copyToClipboard(entry);
    monitor().copyToClipboard(entry);
    QVERIFY(m_pasteboard->contents().formats.isEmpty());
    QCOMPARE(m_pasteboard->contents().text, QStringLiteral("x"));
    QCOMPARE(output.text().count('\n'), 1);
    QVERIFY(!history().keptSummary(entry.id));
    const QString stale = m_storage->formatsDir() + u'/' + uuidText(QUuid::createUuid());
    QVERIFY(QDir().mkpath(stale));
    reopen();
    QVERIFY(!QFileInfo::exists(stale));
}

void TestClipboardMonitor::keptFormatsGoWithTheEntry_data()
{
    QTest::addColumn<QString>("removal");
    QTest::addColumn<bool>("undo");
    QTest::newRow("delete") << "delete" << false;
    QTest::newRow("delete, undone") << "delete" << true;
    QTest::newRow("clear") << "clear" << false;
    QTest::newRow("clear, undone") << "clear" << true;
    QTest::newRow("edit") << "edit" << false;
}

void TestClipboardMonitor::keptFormatsGoWithTheEntry()
{
    QFETCH(QString, removal);
    QFETCH(bool, undo);
    const KeptFormats files{{QStringLiteral("text/uri-list"), "file:///tmp/a\r\n"},
                            {QStringLiteral("x-special/gnome-copied-files"), "copy\nfile:///tmp/a"}};
    m_pasteboard->copyFormatted(QStringLiteral("/tmp/a"), files);
    check();
    const ClipboardItem entry = monitor().items().first();
    QVERIFY(history().keptSummary(entry.id) && history().keptSummary(entry.id)->files);
    m_storage->waitForBackgroundWork();
    const QString folder = m_storage->formatsDir() + u'/' + uuidText(entry.id);
    QVERIFY(QFileInfo::exists(folder));

    if (removal == u"delete")
        history().deleteItem(entry);
    else if (removal == u"clear")
        history().clearAll();
    else
        history().updateItem(entry, QStringLiteral("edited"));
    m_storage->waitForBackgroundWork();
    QCOMPARE(QFileInfo::exists(folder), removal != u"edit");
    if (undo)
        history().undoRemoval();
    history().finishRemoval();
    m_storage->waitForBackgroundWork();
    QCOMPARE(QFileInfo::exists(folder), undo);
    monitor().copyToClipboard(entry);
    KeptFormats offeredBack;
    for (auto format = m_pasteboard->contents().formats.cbegin(); format != m_pasteboard->contents().formats.cend();
         ++format)
        offeredBack.insert(format.key(), format.value());
    QCOMPARE(offeredBack, undo ? files : KeptFormats());
}

void TestClipboardMonitor::deleteItem()
{
    m_pasteboard->copyImage(solidImage(5, 5));
    monitor().checkClipboard();
    m_pasteboard->copyText(QStringLiteral("text"));
    check();
    m_storage->waitForBackgroundWork();
    const ClipboardItem image = monitor().items()[1];
    QVERIFY(QFileInfo::exists(m_storage->imageURL(image.content)));

    history().deleteItem(image);
    QCOMPARE(contentsOf(monitor().items()), QStringList{QStringLiteral("text")});
    QCOMPARE(savedHistory(), monitor().items());
    QCOMPARE(history().pendingRemoval()->kind, HistoryModel::Removal::Kind::Deleted);
    // The file waits for the undo window to end.
    QVERIFY(QFileInfo::exists(m_storage->imageURL(image.content)));
    history().finishRemoval();
    m_storage->waitForBackgroundWork();
    QVERIFY(!QFileInfo::exists(m_storage->imageURL(image.content)));
    QVERIFY(!history().pendingRemoval());

    // Not in the history any more: the file is still removed and the history saved.
    const QString orphan = m_storage->saveImage(StorageManager::pngData(solidImage(2, 2)));
    history().deleteItem(ClipboardItem::captured(ClipboardItemType::Image, orphan));
    m_storage->waitForBackgroundWork();
    QVERIFY(!QFileInfo::exists(m_storage->imageURL(orphan)));
    QCOMPARE(monitor().items().size(), 1);
}

void TestClipboardMonitor::updateItemInPlace()
{
    for (const char* text : {"one", "two", "three"}) {
        m_pasteboard->copyText(QLatin1String(text));
        check();
    }
    const ClipboardItem middle = monitor().items()[1];
    history().updateItem(middle, QString());
    QCOMPARE(contentsOf(monitor().items()), QStringList({QStringLiteral("three"), QString(), QStringLiteral("one")}));
    QCOMPARE(monitor().items()[1].timestamp, middle.timestamp);
    QCOMPARE(monitor().items()[1].id, middle.id);
    QCOMPARE(savedHistory(), monitor().items());

    const ClipboardItems before = monitor().items();
    history().updateItem(ClipboardItem::captured(ClipboardItemType::Text, QStringLiteral("x")), QStringLiteral("y"));
    QCOMPARE(monitor().items(), before);
}

void TestClipboardMonitor::clearAllKeepsPinned()
{
    const QDateTime now = ClipboardItem::currentMoment();
    ClipboardItems stored;
    QStringList pinnedImages;
    QStringList unpinnedImages;
    for (int i = 0; i < 3; ++i) {
        pinnedImages << m_storage->saveImage(StorageManager::pngData(solidImage(2, 2)));
        stored << ClipboardItem(QUuid::createUuid(), ClipboardItemType::Image, pinnedImages.last(), true, now,
                                now.addSecs(-i));
    }
    for (int i = 0; i < 10; ++i) {
        if (i % 2) {
            unpinnedImages << m_storage->saveImage(StorageManager::pngData(solidImage(2, 2)));
            stored << ClipboardItem(QUuid::createUuid(), ClipboardItemType::Image, unpinnedImages.last(), false,
                                    std::nullopt, now.addSecs(-100 - i));
        } else {
            stored << storedText(QString::number(i), now.addSecs(-100 - i));
        }
    }
    QVERIFY(m_storage->save(stored));
    reopen();
    const ClipboardItems pinned = monitor().items().mid(0, 3);

    history().clearAll();
    QCOMPARE(monitor().items(), pinned);
    QCOMPARE(savedHistory(), pinned);
    QCOMPARE(history().pendingRemoval()->items.size(), 10);
    // The undo window ends on its own; only then do the cleared entries' files go.
    history().setUndoWindow(50);
    history().clearAll(); // nothing left to clear: the window is not restarted
    QSignalSpy ended(&history(), &HistoryModel::pendingRemovalChanged);
    history().deleteItem(pinned.first()); // a newer removal ends the clear's window at once
    QCOMPARE(ended.size(), 2);
    QVERIFY(ended.wait(2000));
    QVERIFY(!history().pendingRemoval());
    m_storage->waitForBackgroundWork();
    for (const QString& name : std::as_const(unpinnedImages))
        QVERIFY(!QFileInfo::exists(m_storage->imageURL(name)));
    QVERIFY(!QFileInfo::exists(m_storage->imageURL(pinned.first().content)));
    for (const QString& name : pinnedImages.mid(1))
        QVERIFY(QFileInfo::exists(m_storage->imageURL(name)));
}

void TestClipboardMonitor::undoBringsEntriesBackInPlace_data()
{
    QTest::addColumn<bool>("clear");
    QTest::addColumn<int>("spacing");
    QTest::newRow("clear all") << true << 10;
    QTest::newRow("delete one") << false << 10;
    QTest::newRow("delete one of the same second") << false << 0;
}

void TestClipboardMonitor::undoBringsEntriesBackInPlace()
{
    QFETCH(bool, clear);
    QFETCH(int, spacing);
    const QDateTime now = ClipboardItem::currentMoment();
    const QString image = m_storage->saveImage(StorageManager::pngData(solidImage(3, 3)));
    ClipboardItems stored = {storedText(QStringLiteral("pinned"), now.addSecs(-50), true),
                             storedText(QStringLiteral("newest"), now.addSecs(-10)),
                             ClipboardItem(QUuid::createUuid(), ClipboardItemType::Image, image, false, std::nullopt,
                                           now.addSecs(-10 - spacing)),
                             storedText(QStringLiteral("oldest"), now.addSecs(-10 - 2 * spacing))};
    QVERIFY(m_storage->save(stored));
    reopen();
    const ClipboardItems before = monitor().items();
    if (clear)
        history().clearAll();
    else
        history().deleteItem(before[2]);
    QCOMPARE(savedHistory(), monitor().items());

    // Copied meanwhile: stays on top, and the undone entries return below it, where they were.
    m_pasteboard->copyText(QStringLiteral("meanwhile"));
    check();
    history().undoRemoval();
    QVERIFY(!history().pendingRemoval());
    QCOMPARE(monitor().items().mid(0, 1), before.mid(0, 1));
    QCOMPARE(monitor().items()[1].content, QStringLiteral("meanwhile"));
    QCOMPARE(monitor().items().mid(2), before.mid(1));
    QCOMPARE(savedHistory(), monitor().items());

    // The image came back with its file, which outlives the monitor (as at quit) now that it is kept.
    m_monitor.reset();
    m_tester.reset();
    m_history.reset();
    m_storage->waitForBackgroundWork();
    QVERIFY(QFileInfo::exists(m_storage->imageURL(image)));
    QVERIFY(!m_storage->loadImage(image).isNull());
}

void TestClipboardMonitor::quitEndsTheUndoWindow()
{
    m_pasteboard->copyImage(solidImage(4, 4));
    check();
    m_storage->waitForBackgroundWork();
    const QString file = m_storage->imageURL(monitor().items().first().content);
    history().clearAll();
    QVERIFY(QFileInfo::exists(file));
    m_monitor.reset();
    m_tester.reset();
    m_history.reset();
    m_storage->waitForBackgroundWork();
    QVERIFY(!QFileInfo::exists(file));
}

void TestClipboardMonitor::autoClearByAge_data()
{
    QTest::addColumn<int>("preference");
    QTest::addColumn<QStringList>("remaining");
    const QStringList all = {"pinned month", "23h59m", "24h+1s", "6 days", "7 days+1s"};
    QTest::newRow("never") << 0 << all;
    QTest::newRow("one day") << 1 << QStringList({"pinned month", "23h59m"});
    QTest::newRow("seven days") << 2 << QStringList({"pinned month", "23h59m", "24h+1s", "6 days"});
    QTest::newRow("unknown value") << 3 << all;
    QTest::newRow("negative") << -1 << all;
}

void TestClipboardMonitor::autoClearByAge()
{
    QFETCH(int, preference);
    QFETCH(QStringList, remaining);
    const QDateTime now = ClipboardItem::currentMoment();
    const QString expiredImage = m_storage->saveImage(StorageManager::pngData(solidImage(2, 2)));
    QVERIFY(m_storage->save({
        storedText(QStringLiteral("pinned month"), now.addDays(-31), true),
        storedText(QStringLiteral("23h59m"), now.addSecs(-(23 * 3600 + 59 * 60))),
        storedText(QStringLiteral("24h+1s"), now.addSecs(-86401)),
        storedText(QStringLiteral("6 days"), now.addDays(-6)),
        storedText(QStringLiteral("7 days+1s"), now.addSecs(-604801)),
        ClipboardItem(QUuid::createUuid(), ClipboardItemType::Image, expiredImage, false, std::nullopt,
                      now.addDays(-40)),
    }));
    reopen();
    m_preferences->setValue(Preferences::Key::AutoClearPreference, preference);

    const ClipboardItems before = monitor().items();
    monitor().startMonitoring();
    // The removal is deferred to a later turn of the event loop.
    QCOMPARE(monitor().items(), before);
    settle();
    monitor().stopMonitoring();

    QStringList texts = contentsOf(monitor().items());
    texts.removeAll(expiredImage);
    QCOMPARE(texts, remaining);
    m_storage->waitForBackgroundWork();
    QCOMPARE(m_storage->load(), monitor().items());
    // Taken back like a clear: the files stay while it can be undone, and undo brings every entry back.
    const bool cleaned = preference == 1 || preference == 2;
    QCOMPARE(monitor().history().pendingRemoval().has_value(), cleaned);
    QVERIFY(QFileInfo::exists(m_storage->imageURL(expiredImage)));
    if (!cleaned)
        return;
    monitor().history().undoRemoval();
    QCOMPARE(monitor().items(), before);
    m_storage->waitForBackgroundWork();
    QCOMPARE(m_storage->load(), before);
}

void TestClipboardMonitor::loadSortsAndMonitoringFollowsTheClipboard()
{
    const QDateTime now = ClipboardItem::currentMoment();
    // A file edited by hand, out of order, with a pinned entry that has no pin moment.
    QVERIFY(m_storage->save({storedText(QStringLiteral("old"), now.addSecs(-50)),
                             ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, QStringLiteral("pinned"), true,
                                           std::nullopt, now.addSecs(-100)),
                             storedText(QStringLiteral("new"), now.addSecs(-10))}));
    reopen();
    QCOMPARE(contentsOf(monitor().items()), QStringList({"pinned", "new", "old"}));

    // A change is picked up at once, without waiting for the next tick.
    monitor().startMonitoring();
    QVERIFY(monitor().isMonitoring());
    m_pasteboard->copyText(QStringLiteral("immediate"));
    settle();
    settle();
    QCOMPARE(monitor().items()[1].content, QStringLiteral("immediate"));

    // The tick alone also finds a change that raised no notification.
    m_pasteboard->blockSignals(true);
    m_pasteboard->copyText(QStringLiteral("ticked"));
    m_pasteboard->blockSignals(false);
    QTRY_COMPARE_WITH_TIMEOUT(monitor().items()[1].content, QStringLiteral("ticked"), 3000);

    monitor().stopMonitoring();
    QVERIFY(!monitor().isMonitoring());
    m_pasteboard->copyText(QStringLiteral("after stop"));
    QTest::qWait(ClipboardMonitor::pollIntervalMs + 200);
    QCOMPARE(monitor().items()[1].content, QStringLiteral("ticked"));
}

QTEST_GUILESS_MAIN(TestClipboardMonitor)
#include "tst_clipboardmonitor.moc"
