#include "core/HistoryModel.h"
#include "core/HistorySearchModel.h"
#include "core/StorageManager.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList contentsOf(const QAbstractItemModel& model)
{
    QStringList contents;
    for (int row = 0; row < model.rowCount(); ++row)
        contents << model.index(row, 0).data().toString();
    return contents;
}

} // namespace

class TestHistoryModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void followsEveryOperationWithoutResets();
    void searchFiltersAndFollowsChanges();
    void backgroundSearchKeepsOnlyTheNewestQuery();
    void longEntriesAreSearchedToTheirEnd();
    void keptFormatsAreSummed_data();
    void keptFormatsAreSummed();

private:
    void copy(const QString& text);

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<StorageManager> m_storage;
    std::unique_ptr<HistoryModel> m_history;
};

void TestHistoryModel::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    m_storage = std::make_unique<StorageManager>(m_root->filePath(QStringLiteral("Pellamor")));
    // Built from the history file alone: no clipboard, no preferences, no window.
    m_history = std::make_unique<HistoryModel>(*m_storage);
}

void TestHistoryModel::cleanup()
{
    m_history.reset();
    m_storage.reset();
}

void TestHistoryModel::copy(const QString& text)
{
    m_history->addItem(ClipboardItem::captured(ClipboardItemType::Text, text));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

void TestHistoryModel::followsEveryOperationWithoutResets()
{
    for (const char* text : {"one", "two", "three", "four"})
        copy(QString::fromLatin1(text));
    HistoryModel& model = *m_history;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy moves(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy removals(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);

    const auto check = [&] {
        QStringList expected;
        // What the history file holds once the saves are done.
        m_storage->waitForBackgroundWork();
        for (const ClipboardItem& item : m_storage->load())
            expected << item.content;
        QCOMPARE(contentsOf(model), expected);
    };
    check();
    copy(QStringLiteral("five"));
    check();
    model.togglePin(model.items().at(3).id); // "two" moves to the top
    check();
    QCOMPARE(moves.size(), 1);
    model.updateItem(model.items().at(2), QStringLiteral("edited"));
    check();
    QCOMPARE(changes.size(), 2); // the pin, then the edit
    model.deleteItem(model.items().at(1));
    check();
    QCOMPARE(removals.size(), 1);
    model.clearAll();
    check();
    QCOMPARE(contentsOf(model), QStringList{QStringLiteral("two")});
    QCOMPARE(model.searchedTextSize(), 3);
    model.undoRemoval();
    check();
    QCOMPARE(contentsOf(model), (QStringList{"two", "edited", "three", "one"}));
    QCOMPARE(resets.size(), 0);
}

void TestHistoryModel::searchFiltersAndFollowsChanges()
{
    for (const char* text : {"会议纪要", "alpha", "Alpha beta", "gamma"})
        copy(QString::fromUtf8(text));
    HistorySearchModel search(*m_history);
    QAbstractItemModelTester tester(&search, QAbstractItemModelTester::FailureReportingMode::QtTest);
    search.setQuery(QStringLiteral("ALPHA"));
    QCOMPARE(contentsOf(search), (QStringList{QStringLiteral("Alpha beta"), QStringLiteral("alpha")}));
    copy(QStringLiteral("alphabet"));
    QCOMPARE(search.rowCount(), 3);
    QCOMPARE(search.itemAt(0).content, QStringLiteral("alphabet"));
    m_history->updateItem(m_history->items().at(0), QStringLiteral("renamed"));
    QCOMPARE(search.rowCount(), 2);
    search.setQuery(QStringLiteral("hyjy"));
    QCOMPARE(contentsOf(search), QStringList{QStringLiteral("会议纪要")});
    search.setQuery(QStringLiteral("  "));
    QCOMPARE(search.rowCount(), m_history->rowCount());
}

void TestHistoryModel::backgroundSearchKeepsOnlyTheNewestQuery()
{
    for (int i = 0; i < 200; ++i)
        copy(QStringLiteral("entry %1 ").arg(i) + QString(2000, QLatin1Char('x')));
    HistorySearchModel search(*m_history);
    QAbstractItemModelTester tester(&search, QAbstractItemModelTester::FailureReportingMode::QtTest);
    search.setBackgroundThreshold(1000);
    QSignalSpy ready(&search, &HistorySearchModel::resultsReady);

    // Typed faster than any search finishes: only the first and the newest query ever run.
    for (const char* typed : {"e", "en", "ent", "entry 1", "entry 19"})
        search.setQuery(QString::fromLatin1(typed));
    QVERIFY(search.isBusy());
    QTRY_VERIFY(!search.isBusy());
    QCOMPARE(ready.size(), 1);
    QCOMPARE(search.query().words, (QStringList{QStringLiteral("entry"), QStringLiteral("19")}));
    QCOMPARE(search.rowCount(), 12); // 19, 119 and 190 to 199

    // An entry captured after the search is matched when it arrives.
    copy(QStringLiteral("entry 19 again"));
    QCOMPARE(search.rowCount(), 13);
}

void TestHistoryModel::longEntriesAreSearchedToTheirEnd()
{
    QString lines;
    for (int i = 1; i <= 5000; ++i)
        lines += QStringLiteral("line %1 第 %1 行 ").arg(i) + QString(52, QLatin1Char('.')) + QLatin1Char('\n');
    QVERIFY(lines.indexOf(QStringLiteral("line 4321")) > TextSearch::searchedLength);
    copy(lines);
    copy(QStringLiteral("line 4321 in a short entry"));
    HistorySearchModel search(*m_history);
    QAbstractItemModelTester tester(&search, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy finished(&search, &HistorySearchModel::searchFinished);

    // The short entry at once, the long one when its end has been searched.
    search.setQuery(QStringLiteral("line 4321"));
    QCOMPARE(search.rowCount(), 1);
    QVERIFY(search.isBusy());
    QVERIFY(finished.wait());
    QCOMPARE(contentsOf(search), (QStringList{QStringLiteral("line 4321 in a short entry"), lines}));

    // A newer query cancels the search of the older one, whose matches never show.
    search.setQuery(QStringLiteral("第 4999 行"));
    search.setQuery(QStringLiteral("第 4321 行"));
    QTRY_COMPARE(finished.size(), 2);
    QCOMPARE(contentsOf(search), QStringList{lines});
    QCOMPARE(search.query().words.at(1), QStringLiteral("4321"));
}

void TestHistoryModel::keptFormatsAreSummed_data()
{
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QByteArray>("uriList");
    QTest::addColumn<bool>("formatted");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<bool>>("missing");
    QTest::addColumn<int>("count");
    const QStringList files = {QStringLiteral("text/uri-list"), QStringLiteral("x-special/gnome-copied-files")};
    QTest::newRow("html") << QStringList{QStringLiteral("text/html")} << QByteArray() << true << QStringList()
                          << QList<bool>() << 0;
    QTest::newRow("rtf") << QStringList{QStringLiteral("application/rtf")} << QByteArray() << true << QStringList()
                         << QList<bool>() << 0;
    QTest::newRow("files, one missing, a folder")
        << files << QByteArray("# a comment\r\nfile:///nonexistent-dir/a%20b.txt\r\nfile:///tmp/\r\n") << false
        << QStringList{QStringLiteral("a b.txt"), QStringLiteral("tmp")} << QList<bool>{true, false} << 2;
    QTest::newRow("a file of another user: named, never read")
        << files << QByteArray("file:///etc/shadow") << false << QStringList{QStringLiteral("shadow")}
        << QList<bool>{false} << 1;
    QTest::newRow("not a file URI") << files << QByteArray("https://example.com/a\n") << false
                                    << QStringList{QStringLiteral("https://example.com/a")} << QList<bool>{false} << 1;
    QByteArray many;
    QStringList shown;
    for (int i = 0; i < 10000; ++i) {
        many += "file:///nonexistent-dir/f" + QByteArray::number(i) + '\n';
        if (i < HistoryModel::shownFileNames)
            shown << QStringLiteral("f%1").arg(i);
    }
    QTest::newRow("10000 files") << files << many << false << shown << QList<bool>(shown.size(), true) << 10000;
}

void TestHistoryModel::keptFormatsAreSummed()
{
    QFETCH(QStringList, types);
    QFETCH(QByteArray, uriList);
    const HistoryModel::KeptSummary summary = HistoryModel::summaryOf(types, uriList);
    QTEST(summary.formatted, "formatted");
    QCOMPARE(summary.files, !uriList.isEmpty());
    QTEST(summary.fileNames, "names");
    QTEST(summary.missing, "missing");
    QTEST(summary.fileCount, "count");
}

QTEST_GUILESS_MAIN(TestHistoryModel)
#include "tst_historymodel.moc"
