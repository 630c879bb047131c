#include "../StdoutCapture.h"
#include "core/HistoryCodec.h"
#include "core/StorageManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

constexpr QFileDevice::Permissions ownerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions ownerOnlyFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// Qt reports ReadUser/WriteUser alongside the owner bits; only the owner/group/other bits matter here.
QFileDevice::Permissions modeOf(const QString& path)
{
    return QFileInfo(path).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

QByteArray png(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return StorageManager::pngData(image);
}

ClipboardItem textEntry(const QString& text)
{
    return ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, text, false, std::nullopt,
                         QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC));
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

class UmaskGuard
{
public:
    explicit UmaskGuard(mode_t mask)
        : m_previous(::umask(mask))
    {}
    ~UmaskGuard() { ::umask(m_previous); }

private:
    mode_t m_previous;
};

} // namespace

class TestStorageManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void firstStartCreatesPrivateFolders();
    void savesExactBytesPrivately();
    void loadsWhatWasSaved();
    void unreadableHistoryIsMovedAsideNotLost();
    void shortWriteKeepsPreviousFile();
    void backgroundSavesLeaveNewestSnapshot();
    void pendingWorkFinishesOnDestruction();
    void scalesLargeImages_data();
    void scalesLargeImages();
    void undecodableBytesStoredUnchanged();
    void imageFilesArePrivateAndUnique();
    void decodedImageIsServedBeforeItsFileExists();
    void loadImageUsesCache();
    void namesOutsideTheImageFolderAreNeverTouched_data();
    void namesOutsideTheImageFolderAreNeverTouched();

private:
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_folder;
};

void TestStorageManager::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_folder = m_root->filePath(QStringLiteral("data/Pellamor"));
}

void TestStorageManager::firstStartCreatesPrivateFolders()
{
    UmaskGuard umask(0);
    StdoutCapture output;
    StorageManager storage(m_folder);
    QVERIFY(QFileInfo(storage.imagesDir()).isDir());
    QCOMPARE(modeOf(storage.appSupportDir()), ownerOnlyFolder);
    QCOMPARE(modeOf(storage.imagesDir()), ownerOnlyFolder);
    QCOMPARE(modeOf(m_root->filePath(QStringLiteral("data"))), ownerOnlyFolder);
    QVERIFY(storage.load().isEmpty());
    QCOMPARE(output.text(), QByteArray());

    // An existing folder left readable by others is made private again.
    QFile::setPermissions(storage.imagesDir(), ownerOnlyFolder | QFileDevice::ReadOther | QFileDevice::ExeOther);
    StorageManager again(m_folder);
    QCOMPARE(modeOf(again.imagesDir()), ownerOnlyFolder);
}

void TestStorageManager::savesExactBytesPrivately()
{
    UmaskGuard umask(0);
    StorageManager storage(m_folder);
    const ClipboardItems items = {textEntry(QStringLiteral("一")), textEntry(QStringLiteral("two"))};
    QVERIFY(storage.save(items));
    QFile file(storage.historyFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), encodeHistory(items));
    QCOMPARE(modeOf(storage.historyFilePath()), ownerOnlyFile);
    QVERIFY(storage.save({}));
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("[]"));
    QCOMPARE(filesIn(storage.appSupportDir()), QStringList{QStringLiteral("history.json")});
}

void TestStorageManager::loadsWhatWasSaved()
{
    StorageManager storage(m_folder);
    const ClipboardItems items = {textEntry(QStringLiteral("a\nb")), textEntry(QStringLiteral("c"))};
    QVERIFY(storage.save(items));
    QCOMPARE(storage.load(), items);
}

void TestStorageManager::unreadableHistoryIsMovedAsideNotLost()
{
    StorageManager storage(m_folder);
    const QByteArray faulty =
        R"([{"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"file","content":"a","timestamp":"2025-03-14T09:26:53Z"}])";
    {
        QFile file(storage.historyFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(faulty);
    }
    StdoutCapture output;
    QVERIFY(storage.load().isEmpty());
    const QByteArray message = output.text();
    QVERIFY2(message.startsWith("Pellamor: Failed to load history: "), message.constData());
    QVERIFY(message.endsWith('\n'));
    QCOMPARE(message.count('\n'), 1);

    // The next save must not destroy what the user had.
    QVERIFY(storage.save({textEntry(QStringLiteral("new"))}));
    const QStringList aside = QDir(storage.appSupportDir()).entryList({QStringLiteral("history.json.corrupt-*")});
    QCOMPARE(aside.size(), 1);
    QFile kept(QDir(storage.appSupportDir()).filePath(aside.first()));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), faulty);

    // Malformed JSON is handled the same way, and a second corrupt file does not replace the first.
    {
        QFile file(storage.historyFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[{");
    }
    QVERIFY(storage.load().isEmpty());
    QCOMPARE(QDir(storage.appSupportDir()).entryList({QStringLiteral("history.json.corrupt-*")}).size(), 2);
}

void TestStorageManager::shortWriteKeepsPreviousFile()
{
    StorageManager storage(m_folder);
    const ClipboardItems previous = {textEntry(QStringLiteral("keep me"))};
    QVERIFY(storage.save(previous));

    // A file-size limit makes write() stop short, as a full disk does.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit original{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &original), 0);
    rlimit limited = original;
    limited.rlim_cur = 64 * 1024;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    StdoutCapture output;
    const bool saved = storage.save({textEntry(QString(3 * 1024 * 1024, QChar(u'x')))});
    ::setrlimit(RLIMIT_FSIZE, &original);

    QVERIFY(!saved);
    QVERIFY(output.text().startsWith("Pellamor: Failed to save history: "));
    QCOMPARE(storage.load(), previous);
    QCOMPARE(filesIn(storage.appSupportDir()), QStringList{QStringLiteral("history.json")});
}

void TestStorageManager::backgroundSavesLeaveNewestSnapshot()
{
    StorageManager storage(m_folder);
    ClipboardItems items;
    for (int i = 0; i < 200; ++i) {
        items.prepend(textEntry(QString::number(i) + QString(2000, QChar(u'-'))));
        storage.saveInBackground(items);
    }
    storage.waitForBackgroundWork();
    QCOMPARE(storage.load(), items);
}

void TestStorageManager::pendingWorkFinishesOnDestruction()
{
    ClipboardItems items;
    {
        StorageManager storage(m_folder);
        for (int i = 0; i < 50; ++i) {
            items.prepend(textEntry(QString::number(i)));
            storage.saveInBackground(items);
        }
        storage.saveImage(QImage(QSize(10, 10), QImage::Format_RGB32));
    }
    StorageManager reopened(m_folder);
    QCOMPARE(reopened.load(), items);
    QCOMPARE(filesIn(reopened.imagesDir()).size(), 1);
}

void TestStorageManager::scalesLargeImages_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QSize>("stored");
    QTest::newRow("wide") << QSize(4000, 1000) << QSize(1200, 300);
    QTest::newRow("tall") << QSize(1000, 4000) << QSize(300, 1200);
    QTest::newRow("just over") << QSize(1201, 1201) << QSize(1200, 1200);
    QTest::newRow("at limit") << QSize(1200, 1200) << QSize(1200, 1200);
    QTest::newRow("small") << QSize(640, 480) << QSize(640, 480);
    QTest::newRow("photo") << QSize(4000, 3000) << QSize(1200, 900);
    QTest::newRow("thin strip") << QSize(5000, 2) << QSize(1200, 1);
}

void TestStorageManager::scalesLargeImages()
{
    QFETCH(QSize, source);
    QFETCH(QSize, stored);
    StorageManager storage(m_folder);

    const QString fromBytes = storage.saveImage(png(source.width(), source.height()));
    QCOMPARE(QImageReader(storage.imageURL(fromBytes)).size(), stored);

    QImage image(source, QImage::Format_ARGB32);
    image.fill(Qt::red);
    const QString fromImage = storage.saveImage(image);
    storage.waitForBackgroundWork();
    QImageReader reader(storage.imageURL(fromImage));
    QCOMPARE(reader.format(), QByteArray("png"));
    QCOMPARE(reader.size(), stored);
}

void TestStorageManager::undecodableBytesStoredUnchanged()
{
    StorageManager storage(m_folder);
    const QByteArray junk("definitely not an image");
    const QString name = storage.saveImage(junk);
    QVERIFY(name.endsWith(QStringLiteral(".png")));
    QCOMPARE(name.size(), 40);
    QCOMPARE(name, name.toUpper().replace(QStringLiteral(".PNG"), QStringLiteral(".png")));
    QFile file(storage.imageURL(name));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), junk);
    QVERIFY(storage.loadImage(name).isNull());
}

void TestStorageManager::imageFilesArePrivateAndUnique()
{
    UmaskGuard umask(0);
    StorageManager storage(m_folder);
    const QByteArray bytes = png(8, 8);
    const QString first = storage.saveImage(bytes);
    const QString second = storage.saveImage(bytes);
    QVERIFY(first != second);
    QCOMPARE(filesIn(storage.imagesDir()).size(), 2);
    QCOMPARE(modeOf(storage.imageURL(first)), ownerOnlyFile);
    const QString decoded = storage.saveImage(QImage(QSize(4, 4), QImage::Format_RGB32));
    storage.waitForBackgroundWork();
    QCOMPARE(modeOf(storage.imageURL(decoded)), ownerOnlyFile);
}

void TestStorageManager::decodedImageIsServedBeforeItsFileExists()
{
    StorageManager storage(m_folder);
    QImage image(QSize(30, 20), QImage::Format_RGB32);
    image.fill(Qt::blue);
    const QString name = storage.saveImage(image);
    QCOMPARE(storage.loadImage(name).size(), QSize(30, 20));
    storage.waitForBackgroundWork();
    QVERIFY(QFileInfo(storage.imageURL(name)).isFile());
}

void TestStorageManager::loadImageUsesCache()
{
    StorageManager storage(m_folder);
    const QString name = storage.saveImage(png(16, 9));
    QCOMPARE(storage.loadImage(name).size(), QSize(16, 9));
    QVERIFY(QFile::remove(storage.imageURL(name)));
    // Still cached: a view scrolling back does not need the file again.
    QCOMPARE(storage.loadImage(name).size(), QSize(16, 9));

    StorageManager fresh(m_folder);
    QVERIFY(fresh.loadImage(name).isNull());

    StdoutCapture output;
    fresh.deleteImage(name);
    fresh.deleteImage(QStringLiteral("00000000-0000-0000-0000-000000000000.png"));
    QCOMPARE(output.text(), QByteArray());
}

void TestStorageManager::namesOutsideTheImageFolderAreNeverTouched_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("dot") << QStringLiteral(".");
    QTest::newRow("dot dot") << QStringLiteral("..");
    QTest::newRow("parent") << QStringLiteral("../history.json");
    QTest::newRow("absolute") << QStringLiteral("/victim.png");
    QTest::newRow("nested") << QStringLiteral("sub/victim.png");
}

void TestStorageManager::namesOutsideTheImageFolderAreNeverTouched()
{
    QFETCH(QString, name);
    StorageManager storage(m_folder);
    QVERIFY(storage.save({textEntry(QStringLiteral("precious"))}));
    const QString victim = m_root->filePath(QStringLiteral("victim.png"));
    {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(png(4, 4));
    }
    QVERIFY(storage.imageURL(name).isEmpty());
    QVERIFY(storage.loadImage(name).isNull());
    storage.deleteImage(name);
    storage.deleteImagesInBackground({name});
    storage.waitForBackgroundWork();
    QVERIFY(QFileInfo::exists(storage.historyFilePath()));
    QVERIFY(QFileInfo::exists(storage.imagesDir()));
    QVERIFY(QFileInfo::exists(victim));
}

QTEST_GUILESS_MAIN(TestStorageManager)
#include "tst_storagemanager.moc"
