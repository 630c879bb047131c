#include "core/ClipboardMonitor.h"
#include "core/HistoryModel.h"
#include "core/HistorySearchModel.h"
#include "core/ImageTextIndex.h"
#include "core/StorageManager.h"
#include "platform/Preferences.h"
#include "platform/fakes/FakePasteboard.h"
#include "platform/fakes/FakeTextRecognizer.h"
#include "platform/freedesktop/PowerSupply.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The index with a fake engine: an image's "text" is chosen by the colour of its top-left pixel.
class TestImageTextIndex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void readsNewestFirstAndSearchFindsTheImage();
    void samePictureTwiceIsReadOnce();
    void textLeavesWithItsEntry_data();
    void textLeavesWithItsEntry();
    void switchingOffDeletesAllText();
    void unavailableEngineReadsNothing();
    void storedFilesAreReadUnderTheStoreRule_data();
    void storedFilesAreReadUnderTheStoreRule();
    void releasesTheEngineWhenIdle();
    void waitsWhileOnBattery_data();
    void waitsWhileOnBattery();

private:
    void copyImage(QRgb colour, const QString& text);
    void waitIdle();
    QString textOfEntry(int row) const;

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<StorageManager> m_storage;
    std::unique_ptr<FakePasteboard> m_pasteboard;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<HistoryModel> m_history;
    std::unique_ptr<ClipboardMonitor> m_monitor;
    std::unique_ptr<FakeTextRecognizer> m_recognizer;
    std::unique_ptr<ImageTextIndex> m_index;
};

void TestImageTextIndex::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    m_storage = std::make_unique<StorageManager>(m_root->filePath(QStringLiteral("Pellamor")));
    m_pasteboard = std::make_unique<FakePasteboard>();
    m_preferences = std::make_unique<Preferences>(m_root->filePath(QStringLiteral("prefs.conf")));
    m_preferences->setRecognizeImageText(true);
    m_history = std::make_unique<HistoryModel>(*m_storage);
    m_monitor = std::make_unique<ClipboardMonitor>(*m_history, *m_pasteboard, *m_preferences);
    m_recognizer = std::make_unique<FakeTextRecognizer>();
    m_index = std::make_unique<ImageTextIndex>(*m_history, *m_storage, *m_preferences, *m_recognizer);
    m_index->setSettleDelay(0);
    HistoryModel& history = m_monitor->history();
    history.setImageTextSource([this](const QString& name) { return m_index->textOf(name); });
    connect(m_index.get(), &ImageTextIndex::textChanged, &history, &HistoryModel::refreshImageText);
}

void TestImageTextIndex::cleanup()
{
    m_monitor->history().setImageTextSource({});
    m_index.reset();
    m_monitor.reset();
    m_history.reset();
    m_storage.reset();
}

void TestImageTextIndex::copyImage(QRgb colour, const QString& text)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(colour);
    m_recognizer->setText(colour, text);
    m_pasteboard->copyImage(image);
    m_monitor->checkClipboard();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    m_storage->waitForBackgroundWork();
}

void TestImageTextIndex::waitIdle()
{
    // The file is written on the index's thread, at idle priority, after the last result.
    QTRY_VERIFY_WITH_TIMEOUT(m_index->pendingCount() == 0 && !m_index->isSaving(), 10000);
}

QString TestImageTextIndex::textOfEntry(int row) const
{
    return m_index->textOf(m_monitor->items().at(row).content);
}

void TestImageTextIndex::readsNewestFirstAndSearchFindsTheImage()
{
    m_preferences->setRecognizeImageText(false);
    copyImage(qRgb(10, 0, 0), QStringLiteral("会议纪要 Error 404"));
    copyImage(qRgb(20, 0, 0), QStringLiteral("nothing here"));
    m_pasteboard->copyText(QStringLiteral("plain text entry"));
    m_monitor->checkClipboard();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCOMPARE(m_recognizer->recognizeCount(), 0);

    QSignalSpy changed(m_index.get(), &ImageTextIndex::textChanged);
    m_preferences->setRecognizeImageText(true);
    waitIdle();
    QCOMPARE(m_recognizer->recognizeCount(), 2);
    // Newest first: the second image's text arrived first.
    QCOMPARE(changed.first().first().toString(), m_monitor->items().at(1).content);

    HistorySearchModel search(m_monitor->history());
    search.setQuery(QStringLiteral("huiyi error"));
    QCOMPARE(search.rowCount(), 1);
    QCOMPARE(search.itemAt(0).content, m_monitor->items().at(2).content);
    search.setQuery(QStringLiteral("ＥＲＲＯＲ　４０４"));
    QCOMPARE(search.rowCount(), 1);
    search.setQuery(QStringLiteral("here"));
    QCOMPARE(search.rowCount(), 1);
    search.setQuery(QStringLiteral("text"));
    QCOMPARE(search.rowCount(), 1);
    QVERIFY(search.itemAt(0).isText());

    // Kept across runs, private to the user.
    const QString path = m_index->store().filePath();
    QCOMPARE(QFile::permissions(path) & 0x00FF, QFileDevice::Permissions());
    QFile history(m_storage->historyFilePath());
    QVERIFY(history.open(QIODevice::ReadOnly));
    QVERIFY(!history.readAll().contains("Error 404"));
    m_index.reset();
    m_index = std::make_unique<ImageTextIndex>(*m_history, *m_storage, *m_preferences, *m_recognizer);
    QCOMPARE(textOfEntry(2), QStringLiteral("会议纪要 Error 404"));
    QCOMPARE(m_index->pendingCount(), 0);
}

void TestImageTextIndex::samePictureTwiceIsReadOnce()
{
    copyImage(qRgb(30, 0, 0), QStringLiteral("twice"));
    waitIdle();
    copyImage(qRgb(40, 0, 0), QStringLiteral("between"));
    copyImage(qRgb(30, 0, 0), QStringLiteral("twice"));
    waitIdle();
    QCOMPARE(m_monitor->items().size(), 3);
    QVERIFY(m_monitor->items().at(0).content != m_monitor->items().at(2).content);
    QCOMPARE(textOfEntry(0), QStringLiteral("twice"));
    QCOMPARE(textOfEntry(2), QStringLiteral("twice"));
    QCOMPARE(m_recognizer->recognizeCount(), 2);
    QCOMPARE(m_index->store().textCount(), 2);
}

void TestImageTextIndex::textLeavesWithItsEntry_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("delete") << QStringLiteral("delete");
    QTest::newRow("clear") << QStringLiteral("clear");
    QTest::newRow("length cap") << QStringLiteral("cap");
}

void TestImageTextIndex::textLeavesWithItsEntry()
{
    QFETCH(QString, operation);
    copyImage(qRgb(50, 0, 0), QStringLiteral("first words"));
    copyImage(qRgb(60, 0, 0), QStringLiteral("second words"));
    waitIdle();
    QCOMPARE(m_index->store().textCount(), 2);
    const ClipboardItem oldest = m_monitor->items().at(1);

    if (operation == QLatin1String("delete")) {
        m_monitor->history().deleteItem(oldest);
    } else if (operation == QLatin1String("clear")) {
        m_monitor->history().togglePin(m_monitor->items().at(0).id);
        m_monitor->history().clearAll();
    } else {
        for (int i = 0; i < HistoryModel::maxItems; ++i)
            m_monitor->history().addItem(ClipboardItem::captured(ClipboardItemType::Text, QString::number(i)));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    waitIdle();
    QCOMPARE(m_index->textOf(oldest.content), QString());
    QVERIFY(m_index->store().textCount() <= 1);
    QFile file(m_index->store().filePath());
    QVERIFY(!file.open(QIODevice::ReadOnly) || !file.readAll().contains("first words"));
}

void TestImageTextIndex::switchingOffDeletesAllText()
{
    copyImage(qRgb(70, 0, 0), QStringLiteral("secret words"));
    waitIdle();
    QVERIFY(QFile::exists(m_index->store().filePath()));
    HistorySearchModel search(m_monitor->history());
    search.setQuery(QStringLiteral("secret"));
    QCOMPARE(search.rowCount(), 1);

    m_preferences->setRecognizeImageText(false);
    QTRY_VERIFY(!QFile::exists(m_index->store().filePath()));
    QVERIFY(m_index->store().isEmpty());
    QCOMPARE(search.rowCount(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!m_recognizer->isLoaded(), 5000);
}

void TestImageTextIndex::unavailableEngineReadsNothing()
{
    m_index.reset();
    m_recognizer->setUnavailableReason(QStringLiteral("no language data"));
    m_index = std::make_unique<ImageTextIndex>(*m_history, *m_storage, *m_preferences, *m_recognizer);
    m_index->setSettleDelay(0);
    QCOMPARE(m_index->unavailableReason(), QStringLiteral("no language data"));
    QVERIFY(!m_index->isEnabled());
    copyImage(qRgb(80, 0, 0), QStringLiteral("words"));
    QTest::qWait(100);
    QCOMPARE(m_recognizer->recognizeCount(), 0);
}

void TestImageTextIndex::storedFilesAreReadUnderTheStoreRule_data()
{
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<bool>("linked");
    // What the engine is given; empty when it is given nothing.
    QTest::addColumn<QSize>("read");
    QTest::newRow("image of ours") << QSize(300, 40) << false << QSize(300, 40);
    // Stored whole by an older version: decoded no larger than the engine reads, not at full size first.
    QTest::newRow("wider than the engine reads") << QSize(8000, 40) << false << QSize(TextRecognizer::maxImageSide, 20);
    QTest::newRow("link to a file elsewhere") << QSize(300, 40) << true << QSize();
}

void TestImageTextIndex::storedFilesAreReadUnderTheStoreRule()
{
    QFETCH(QSize, stored);
    QFETCH(bool, linked);
    QFETCH(QSize, read);
    const QString name = QStringLiteral("0A1B2C3D-7B7E-4C1E-9D4B-0A1B2C3D4E61.png");
    const QString path = m_storage->imageURL(name);
    const QString outside = m_root->filePath(QStringLiteral("outside.png"));
    QImage image(stored, QImage::Format_RGB32);
    image.fill(qRgb(70, 0, 0));
    m_recognizer->setText(qRgb(70, 0, 0), QStringLiteral("words"));
    QVERIFY(image.save(linked ? outside : path, "png"));
    if (linked)
        QVERIFY(QFile::link(outside, path));

    m_preferences->setRecognizeImageText(false);
    QVERIFY(m_storage->save({ClipboardItem(QUuid::createUuid(), ClipboardItemType::Image, name, false, std::nullopt,
                                           ClipboardItem::currentMoment())}));
    m_history->setImageTextSource({});
    m_index.reset();
    m_monitor.reset();
    m_history = std::make_unique<HistoryModel>(*m_storage);
    m_monitor = std::make_unique<ClipboardMonitor>(*m_history, *m_pasteboard, *m_preferences);
    m_index = std::make_unique<ImageTextIndex>(*m_history, *m_storage, *m_preferences, *m_recognizer);
    m_index->setSettleDelay(0);
    QSignalSpy idle(m_index.get(), &ImageTextIndex::idle);
    m_preferences->setRecognizeImageText(true);
    QVERIFY(idle.wait(30000));
    QCOMPARE(m_recognizer->recognizeCount(), read.isEmpty() ? 0 : 1);
    QCOMPARE(m_recognizer->lastImageSize(), read);
    QCOMPARE(m_index->textOf(name), read.isEmpty() ? QString() : QStringLiteral("words"));
}

void TestImageTextIndex::releasesTheEngineWhenIdle()
{
    m_index->setReleaseDelay(100);
    copyImage(qRgb(90, 0, 0), QStringLiteral("words"));
    waitIdle();
    QTRY_COMPARE_WITH_TIMEOUT(m_recognizer->releaseCount(), 1, 3000);
    QVERIFY(!m_recognizer->isLoaded());
}

void TestImageTextIndex::waitsWhileOnBattery_data()
{
    // The kernel's power supplies, each as "name:type:online" (online only for mains).
    QTest::addColumn<QStringList>("supplies");
    QTest::addColumn<bool>("onBattery");
    QTest::newRow("battery, mains offline") << QStringList{"BAT0:Battery:", "AC:Mains:0"} << true;
    QTest::newRow("battery, mains online") << QStringList{"BAT0:Battery:", "AC:Mains:1"} << false;
    QTest::newRow("desktop, no battery") << QStringList{"AC:Mains:0"} << false;
    QTest::newRow("battery, no mains to ask") << QStringList{"BAT0:Battery:"} << false;
    QTest::newRow("no power-supply class") << QStringList{} << false;
    QTest::newRow("only a mouse's battery") << QStringList{"hidpp_battery_0:Battery:", "AC:Mains:0"} << false;
}

void TestImageTextIndex::waitsWhileOnBattery()
{
    QFETCH(QStringList, supplies);
    QFETCH(bool, onBattery);
    const QString root = m_root->filePath(QStringLiteral("power_supply"));
    for (const QString& supply : std::as_const(supplies)) {
        const QStringList fields = supply.split(u':');
        QDir().mkpath(root + u'/' + fields[0]);
        const auto write = [&](const char* name, const QString& value) {
            QFile file(root + u'/' + fields[0] + u'/' + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(value.toUtf8() + '\n');
        };
        write("type", fields[1]);
        if (!fields[2].isEmpty())
            write("online", fields[2]);
        if (fields[0].startsWith(QLatin1String("hidpp")))
            write("scope", QStringLiteral("Device"));
    }
    QCOMPARE(PowerSupply::onBattery(root), onBattery);

    m_index->setOnBattery([root] { return PowerSupply::onBattery(root); });
    copyImage(qRgb(100, 0, 0), QStringLiteral("words"));
    if (!onBattery) {
        waitIdle();
        QCOMPARE(m_recognizer->recognizeCount(), 1);
        return;
    }
    QTest::qWait(200);
    QCOMPARE(m_recognizer->recognizeCount(), 0);
    QCOMPARE(m_index->pendingCount(), 1);
    // Back on mains: the next change of the history reads what waited.
    QFile::remove(root + QStringLiteral("/AC/online"));
    QFile online(root + QStringLiteral("/AC/online"));
    QVERIFY(online.open(QIODevice::WriteOnly));
    online.write("1\n");
    online.close();
    copyImage(qRgb(110, 0, 0), QStringLiteral("more words"));
    waitIdle();
    QCOMPARE(m_recognizer->recognizeCount(), 2);
}

QTEST_GUILESS_MAIN(TestImageTextIndex)
#include "tst_imagetextindex.moc"
