#include "../StdoutCapture.h"
#include "SettingsFixture.h"
#include "settings/HistoryExport.h"

#include <QFile>
#include <QTest>

namespace {

const QLocale chinese(QLocale::Chinese, QLocale::China);
const QLocale american(QLocale::English, QLocale::UnitedStates);
const QByteArray separator = "----------------------------------------\n";

// 2026-03-25 at the given local time, stored in UTC as captured entries are.
QDateTime at(int hour, int minute)
{
    return QDateTime(QDate(2026, 3, 25), QTime(hour, minute)).toUTC();
}

ClipboardItem entry(ClipboardItemType type, const QString& content, const QDateTime& timestamp, bool pinned = false)
{
    return ClipboardItem(QUuid::createUuid(), type, content, pinned, std::nullopt, timestamp);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

class TestHistoryExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exportText_data();
    void exportText();
    void fileName_data();
    void fileName();
    void exportFromThePanel_data();
    void exportFromThePanel();
    void cancelWritesNothing();
    void failedWriteIsOneLine();
};

void TestHistoryExport::exportText_data()
{
    QTest::addColumn<ClipboardItems>("items");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("empty history, zero bytes") << ClipboardItems{} << chinese << QByteArray();
    QTest::newRow("text then image, Chinese")
        << ClipboardItems{entry(ClipboardItemType::Text, QStringLiteral("hello"), at(14, 5)),
                          entry(ClipboardItemType::Image, QStringLiteral("a.png"), at(14, 1))}
        << chinese
        << separator + "时间: 2026/3/25 14:05 类型: [文字]\nhello\n\n" + separator +
               "时间: 2026/3/25 14:01 类型: [图片/其它]\na.png\n";
    QTest::newRow("multi-line text verbatim, United States")
        << ClipboardItems{entry(ClipboardItemType::Text, QStringLiteral("line 1\n\n  line 3\n"), at(14, 5), true),
                          entry(ClipboardItemType::Text, QStringLiteral("中文"), at(9, 30))}
        << american
        << separator + "时间: 3/25/2026 2:05 PM 类型: [文字]\nline 1\n\n  line 3\n\n\n" + separator +
               "时间: 3/25/2026 9:30 AM 类型: [文字]\n中文\n";
}

void TestHistoryExport::exportText()
{
    QFETCH(ClipboardItems, items);
    QFETCH(QLocale, locale);
    QFETCH(QByteArray, expected);
    QCOMPARE(::exportText(items, locale), expected);
}

void TestHistoryExport::fileName_data()
{
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("expected");
    QTest::newRow("afternoon, seconds dropped")
        << QDateTime(QDate(2026, 12, 9), QTime(17, 53, 37)) << QStringLiteral("Pellamor_History_2026-12-09_1753.txt");
    QTest::newRow("morning, leading zeros")
        << QDateTime(QDate(2026, 3, 5), QTime(9, 5)) << QStringLiteral("Pellamor_History_2026-03-05_0905.txt");
    QTest::newRow("given in UTC, named in local time") << QDateTime(QDate(2026, 3, 5), QTime(23, 59)).toUTC()
                                                       << QStringLiteral("Pellamor_History_2026-03-05_2359.txt");
}

void TestHistoryExport::fileName()
{
    QFETCH(QDateTime, moment);
    QFETCH(QString, expected);
    QCOMPARE(exportFileName(moment), expected);
}

void TestHistoryExport::exportFromThePanel_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("empty history") << 0;
    QTest::newRow("more than the panel lists") << 20;
}

void TestHistoryExport::exportFromThePanel()
{
    QFETCH(int, count);
    SettingsFixture fixture;
    ClipboardItems items;
    for (int i = 0; i < count; ++i)
        items << PanelFixture::text(QStringLiteral("entry %1").arg(i), ClipboardItem::currentMoment().addSecs(-i));
    fixture.setHistory(items);
    fixture.preferences.setDisplayCount(6);
    const QString path = fixture.dir.filePath(QStringLiteral("export.txt"));
    QString suggested;
    fixture.view().exportPathChooser = [&](const QString& name) {
        suggested = name;
        // Copied while the dialog was open: it belongs in the file.
        fixture.copyText(QStringLiteral("late arrival"));
        return path;
    };
    StdoutCapture output;
    fixture.shownView();
    fixture.click(QStringLiteral("exportRow"));
    QVERIFY(suggested.startsWith(QStringLiteral("Pellamor_History_")));
    const QByteArray written = readAll(path);
    QCOMPARE(written, ::exportText(fixture.monitor->items(), QLocale()));
    QCOMPARE(written.count(separator), count + 1);
    QVERIFY(written.contains("\nlate arrival\n"));
    QCOMPARE(output.text(), QByteArray());
}

void TestHistoryExport::cancelWritesNothing()
{
    SettingsFixture fixture;
    fixture.setHistory({PanelFixture::text(QStringLiteral("x"))});
    int asked = 0;
    fixture.view().exportPathChooser = [&](const QString&) {
        ++asked;
        return QString();
    };
    StdoutCapture output;
    fixture.view().exportToTXT();
    QCOMPARE(asked, 1);
    QCOMPARE(output.text(), QByteArray());
    QCOMPARE(QDir(fixture.dir.path()).entryList({QStringLiteral("*.txt")}), QStringList());
}

void TestHistoryExport::failedWriteIsOneLine()
{
    SettingsFixture fixture;
    fixture.setHistory({PanelFixture::text(QStringLiteral("x"))});
    fixture.view().exportPathChooser = [&](const QString&) {
        return fixture.dir.filePath(QStringLiteral("no such folder/export.txt"));
    };
    StdoutCapture output;
    fixture.view().exportToTXT();
    const QByteArray line = output.text();
    QVERIFY2(line.startsWith("Export failed: ") && line.size() > 16, line.constData());
    QCOMPARE(line.count('\n'), 1);
    QVERIFY(line.endsWith('\n'));
    QCOMPARE(fixture.monitor->items().size(), 1);
}

QTEST_MAIN(TestHistoryExport)
#include "tst_historyexport.moc"
