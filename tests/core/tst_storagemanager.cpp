#include "../StdoutCapture.h"
#include "core/EntryMimeData.h"
#include "core/HistoryCodec.h"
#include "core/StorageManager.h"
#include "platform/ImageCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

ClipboardItem imageEntry(const QString& name)
{
    return ClipboardItem(QUuid::createUuid(), ClipboardItemType::Image, name, false, std::nullopt,
                         QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC));
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Exists, as a file or as a link (whether or not the link's target does).
bool isThere(const QString& path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
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
    void unreadableHistoryIsMovedAsideNotLost_data();
    void unreadableHistoryIsMovedAsideNotLost();
    void hugeHistoryIsRefusedUnread();
    void unsafeDataFolderIsRefused_data();
    void unsafeDataFolderIsRefused();
    void linksInTheDataFolderAreNeverFollowed();
    void shortWriteKeepsPreviousFile();
    void failedWritesSayWhy();
    void defaultFolderIgnoresRelativeXdgDataHome_data();
    void defaultFolderIgnoresRelativeXdgDataHome();
    void backgroundSavesLeaveNewestSnapshot();
    void pendingWorkFinishesOnDestruction();
    void scalesLargeImages_data();
    void scalesLargeImages();
    void undecodableBytesStoredUnchanged();
    void imageFilesArePrivateAndUnique();
    void loadImageUsesCache();
    void imageCacheIsBoundedByCountAndBytes_data();
    void imageCacheIsBoundedByCountAndBytes();
    void heifDecoderIsLoadedOnlyWhenMet();
    void namesOutsideTheImageFolderAreNeverTouched_data();
    void namesOutsideTheImageFolderAreNeverTouched();
    void leftoversOfACrashAreRemoved_data();
    void leftoversOfACrashAreRemoved();
    void imagesAreHandedOutUnderTheStoreRule_data();
    void imagesAreHandedOutUnderTheStoreRule();

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
    const ClipboardItems items = {textEntry(QStringLiteral("一")), textEntry(QStringLiteral("t\nwo"))};
    QVERIFY(storage.save(items));
    QFile file(storage.historyFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), encodeHistory(items));
    QCOMPARE(modeOf(storage.historyFilePath()), ownerOnlyFile);
    QCOMPARE(StorageManager(m_folder).load(), items);
    QVERIFY(storage.save({}));
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("[]"));
    QCOMPARE(filesIn(storage.appSupportDir()), QStringList{QStringLiteral("history.json")});
}

void TestStorageManager::unreadableHistoryIsMovedAsideNotLost_data()
{
    const QByteArray entry = R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"text","content":"%1",)"
                             R"("timestamp":"2025-03-14T09:26:53Z"})";
    const auto history = [&entry](const QByteArray& content) {
        return "[" + QByteArray(entry).replace("%1", content) + "]";
    };
    QTest::addColumn<QByteArray>("faulty");
    QTest::newRow("unknown type") << QByteArray(R"([{"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"file",)"
                                                R"("content":"a","timestamp":"2025-03-14T09:26:53Z"}])");
    QTest::newRow("malformed JSON") << QByteArray("[{");
    // Loading these would replace bytes, and the next save would overwrite the original.
    QTest::newRow("invalid UTF-8") << history("caf\xe9");
    QTest::newRow("lone surrogate escape") << history("\\ud800x");
}

void TestStorageManager::unreadableHistoryIsMovedAsideNotLost()
{
    QFETCH(QByteArray, faulty);
    StorageManager storage(m_folder);
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

    // A second corrupt file does not replace the first.
    {
        QFile file(storage.historyFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[{");
    }
    QVERIFY(storage.load().isEmpty());
    QCOMPARE(QDir(storage.appSupportDir()).entryList({QStringLiteral("history.json.corrupt-*")}).size(), 2);
}

void TestStorageManager::hugeHistoryIsRefusedUnread()
{
    StorageManager storage(m_folder);
    {
        // Sparse: costs no disk, but reading it would cost its whole size in memory.
        QFile file(storage.historyFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(StorageManager::maxHistoryFileBytes + 1));
    }
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    StdoutCapture output;
    QVERIFY(storage.load().isEmpty());
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    QCOMPARE(output.text(), QByteArray("Pellamor: Failed to load history: the file is larger than 256 MiB\n"));
    QVERIFY(!QFileInfo::exists(storage.historyFilePath()));
    QCOMPARE(QDir(storage.appSupportDir()).entryList({QStringLiteral("history.json.corrupt-*")}).size(), 1);
    QVERIFY2(after.ru_maxrss - before.ru_maxrss < 64 * 1024, "the refused file was read");
}

void TestStorageManager::unsafeDataFolderIsRefused_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder is a link") << QStringLiteral("link") << QString() << QStringLiteral("it is a symbolic link");
    QTest::newRow("image folder is a link")
        << QStringLiteral("images link") << QStringLiteral("images") << QStringLiteral("it is a symbolic link");
    QTest::newRow("another user's open folder")
        << QStringLiteral("foreign") << QString() << QStringLiteral("it belongs to another user");
}

void TestStorageManager::unsafeDataFolderIsRefused()
{
    QFETCH(QString, setup);
    QFETCH(QString, refused);
    QFETCH(QString, reason);
    const QByteArray planted =
        R"([{"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"text","content":"planted","timestamp":"2025-03-14T09:26:53Z"}])";
    const QString elsewhere = m_root->filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(QDir().mkpath(QFileInfo(m_folder).path()));
    QString history = QDir(elsewhere).filePath(QStringLiteral("history.json"));
    if (setup == u"link") {
        QVERIFY(QFile::link(elsewhere, m_folder));
    } else if (setup == u"images link") {
        QVERIFY(QDir().mkpath(m_folder));
        QVERIFY(QFile::link(elsewhere, QDir(m_folder).filePath(QStringLiteral("images"))));
        history = QDir(m_folder).filePath(QStringLiteral("history.json"));
    } else {
        if (::geteuid() != 0)
            QSKIP("making a folder of another user needs root");
        QVERIFY(QDir().mkpath(m_folder));
        QCOMPARE(::chmod(QFile::encodeName(m_folder).constData(), 0777), 0);
        QCOMPARE(::chown(QFile::encodeName(m_folder).constData(), 65534, 65534), 0);
        history = QDir(m_folder).filePath(QStringLiteral("history.json"));
    }
    {
        QFile file(history);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(planted);
    }
    const QStringList before = filesIn(QFileInfo(history).path());

    StdoutCapture output;
    StorageManager storage(m_folder);
    const QString refusedPath = refused.isEmpty() ? m_folder : QDir(m_folder).filePath(refused);
    QCOMPARE(output.text(), QStringLiteral("Pellamor: Refusing to use %1: %2\n").arg(refusedPath, reason).toUtf8());
    QVERIFY(!storage.isPersistent());

    // The history lives in memory: nothing planted is loaded, nothing is written, images still show.
    QVERIFY(storage.load().isEmpty());
    QVERIFY(storage.save({textEntry(QStringLiteral("secret"))}));
    const QString fromBytes = storage.saveImage(png(12, 8));
    QImage image(QSize(9, 9), QImage::Format_RGB32);
    image.fill(Qt::green);
    const QString fromImage = storage.saveImage(image);
    storage.waitForBackgroundWork();
    QVERIFY(!storage.loadThumbnail(fromBytes, QSize(3, 3)).isNull());
    QCOMPARE(storage.loadImage(fromBytes).size(), QSize(12, 8));
    QCOMPARE(storage.loadImage(fromImage).size(), QSize(9, 9));
    QVERIFY(storage.imageURL(fromBytes).isEmpty());
    QCOMPARE(filesIn(QFileInfo(history).path()), before);
    QCOMPARE(filesIn(elsewhere), setup == u"link" ? QStringList{QStringLiteral("history.json")} : QStringList());
    QFile file(history);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), planted);
    QCOMPARE(output.text().count('\n'), 1);
}

void TestStorageManager::linksInTheDataFolderAreNeverFollowed()
{
    StorageManager storage(m_folder);
    const QString outsideHistory = m_root->filePath(QStringLiteral("outside.json"));
    const QString outsideImage = m_root->filePath(QStringLiteral("outside.png"));
    const QByteArray history = encodeHistory({textEntry(QStringLiteral("outside"))});
    const QByteArray image = png(20, 20);
    for (const auto& [path, bytes] : {std::pair{outsideHistory, history}, std::pair{outsideImage, image}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // A linked history is unreadable: it is moved aside, link and all, and its target is left alone.
    QVERIFY(QFile::link(outsideHistory, storage.historyFilePath()));
    StdoutCapture output;
    QVERIFY(storage.load().isEmpty());
    QCOMPARE(output.text(), QByteArray("Pellamor: Failed to load history: the file is a symbolic link\n"));
    const QStringList aside =
        QDir(storage.appSupportDir()).entryList({QStringLiteral("history.json.corrupt-*")}, QDir::System | QDir::Files);
    QCOMPARE(aside.size(), 1);
    QVERIFY(QFileInfo(QDir(storage.appSupportDir()).filePath(aside.first())).isSymLink());

    // A save replaces a link in the history's place, never writes through it.
    QVERIFY(QFile::link(outsideHistory, storage.historyFilePath()));
    const ClipboardItems items = {textEntry(QStringLiteral("mine"))};
    QVERIFY(storage.save(items));
    QVERIFY(!QFileInfo(storage.historyFilePath()).isSymLink());
    QCOMPARE(storage.load(), items);

    // A linked image is skipped like a missing one.
    const QString name = QStringLiteral("5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61.png");
    QVERIFY(QFile::link(outsideImage, storage.imageURL(name)));
    QVERIFY(storage.loadImage(name).isNull());
    QVERIFY(storage.loadThumbnail(name, QSize(10, 10)).isNull());

    for (const auto& [path, bytes] : {std::pair{outsideHistory, history}, std::pair{outsideImage, image}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
    }
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

void TestStorageManager::failedWritesSayWhy()
{
    StorageManager storage(m_folder);
    // A file-size limit makes writes fail with EFBIG, as a full disk makes them fail with ENOSPC.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit original{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &original), 0);
    rlimit limited = original;
    limited.rlim_cur = 1024;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    StdoutCapture output;
    storage.save({textEntry(QString(4096, QChar(u'x')))});
    // Noise: its PNG cannot be compressed below the limit.
    QImage noise(QSize(64, 64), QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y) {
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random.generate());
    }
    const QString name = storage.saveImage(noise);
    storage.waitForBackgroundWork();
    ::setrlimit(RLIMIT_FSIZE, &original);

    const QByteArray cause = qt_error_string(EFBIG).toUtf8();
    QCOMPARE(output.text(),
             "Pellamor: Failed to save history: " + cause + "\nPellamor: Failed to save image: " + cause + "\n");
    // The entry's image is still shown while the program runs; no half-written file is left.
    QCOMPARE(storage.loadImage(name).size(), QSize(64, 64));
    QVERIFY(!QFileInfo::exists(storage.imageURL(name)));
}

void TestStorageManager::defaultFolderIgnoresRelativeXdgDataHome_data()
{
    QTest::addColumn<QByteArray>("dataHome");
    QTest::addColumn<QString>("expected");
    QTest::newRow("absolute") << QByteArray("/srv/data") << QStringLiteral("/srv/data/Pellamor");
    QTest::newRow("unset") << QByteArray() << QStringLiteral("~/.local/share/Pellamor");
    QTest::newRow("relative") << QByteArray("rel/data") << QStringLiteral("~/.local/share/Pellamor");
}

void TestStorageManager::defaultFolderIgnoresRelativeXdgDataHome()
{
    QFETCH(QByteArray, dataHome);
    QFETCH(QString, expected);
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", dataHome);
    const QString folder = StorageManager::defaultAppSupportDir();
    qputenv("XDG_DATA_HOME", saved);
    QCOMPARE(folder, expected.replace(QStringLiteral("~"), QDir::homePath()));
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
        items.prepend(imageEntry(storage.saveImage(QImage(QSize(10, 10), QImage::Format_RGB32))));
        for (int i = 0; i < 50; ++i) {
            items.prepend(textEntry(QString::number(i)));
            storage.saveInBackground(items);
        }
    }
    StorageManager reopened(m_folder);
    QCOMPARE(reopened.load(), items);
    QCOMPARE(filesIn(reopened.imagesDir()).size(), 1);
}

void TestStorageManager::scalesLargeImages_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QSize>("stored");
    // The kept size itself, at and around the limit, is the image codec's own test.
    QTest::newRow("small") << QSize(640, 480) << QSize(640, 480);
    QTest::newRow("photo") << QSize(4000, 3000) << QSize(1200, 900);
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
    // A decoded image is served before its file is written.
    QImage image(QSize(30, 20), QImage::Format_RGB32);
    image.fill(Qt::blue);
    const QString decoded = storage.saveImage(image);
    QCOMPARE(storage.loadImage(decoded).size(), QSize(30, 20));
    storage.waitForBackgroundWork();
    QCOMPARE(modeOf(storage.imageURL(decoded)), ownerOnlyFile);
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

void TestStorageManager::imageCacheIsBoundedByCountAndBytes_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("expectedCached");
    QTest::newRow("small images: count limit") << QSize(8, 8) << 60 << StorageManager::imageCacheLimit;
    // 1200 x 1200 x 4 bytes each: eleven fit into 64 MiB.
    QTest::newRow("large images: byte limit") << QSize(1200, 1200) << 14 << 11;
}

void TestStorageManager::imageCacheIsBoundedByCountAndBytes()
{
    QFETCH(QSize, size);
    QFETCH(int, count);
    QFETCH(int, expectedCached);
    StorageManager storage(m_folder);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(QColor::fromHsv(i * 7 % 360, 200, 200));
        names.append(storage.saveImage(image));
    }
    storage.waitForBackgroundWork();
    for (const QString& name : std::as_const(names))
        QVERIFY(QFile::remove(storage.imageURL(name)));
    // Only cached images can still be loaded; the newest are kept.
    int cached = 0;
    for (const QString& name : std::as_const(names))
        cached += storage.loadImage(name).isNull() ? 0 : 1;
    QCOMPARE(cached, expectedCached);
    QVERIFY(!storage.loadImage(names.last()).isNull());
}

void TestStorageManager::heifDecoderIsLoadedOnlyWhenMet()
{
    const auto heifMapped = [] {
        QFile maps(QStringLiteral("/proc/self/maps"));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libheif");
    };
    QVERIFY(!heifMapped());
    StorageManager storage(m_folder);
    QVERIFY(!storage.loadImage(storage.saveImage(png(30, 30))).isNull());
    QVERIFY(!heifMapped());
#ifdef PELLAMOR_HAVE_LIBHEIF
    // Bytes that claim to be HEIF bring the decoder in, even though they turn out not to decode.
    QVERIFY(ImageCodec::decode(QByteArray("\0\0\0\x18"
                                          "ftypheic"
                                          "\0\0\0\0",
                                          16))
                .isNull());
    QVERIFY(heifMapped());
#endif
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

void TestStorageManager::leftoversOfACrashAreRemoved_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("link");
    // The history file left by the crash cannot be read.
    QTest::addColumn<bool>("unreadable");
    // Left while the program runs (an image inside the undo window), not before it started.
    QTest::addColumn<bool>("whileRunning");
    QTest::addColumn<bool>("removed");
    const QString temporary = QStringLiteral("history.json.a1B2c3");
    const QString orphan = QStringLiteral("5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61.png");
    QTest::newRow("temporary of a save") << temporary << false << false << false << true;
    QTest::newRow("temporary, history unreadable") << temporary << false << true << false << true;
    QTest::newRow("temporary, removed by the next save") << temporary << false << false << true << true;
    QTest::newRow("temporary name that is a link") << temporary << true << false << false << false;
    QTest::newRow("one letter too many") << QStringLiteral("history.json.a1B2c3d") << false << false << false << false;
    QTest::newRow("not mkostemp's letters")
        << QStringLiteral("history.json.a1B2-3") << false << false << false << false;
    QTest::newRow("image no entry names") << orphan << false << false << false << true;
    QTest::newRow("image, history unreadable") << orphan << false << true << false << false;
    QTest::newRow("image inside the undo window") << orphan << false << false << true << false;
    QTest::newRow("image name that is a link") << orphan << true << false << false << false;
    QTest::newRow("not the program's name form")
        << QStringLiteral("5c1f0e9a-7b7e-4c1e-9d4b-0a1b2c3d4e61.png") << false << false << false << false;
    QTest::newRow("image an entry names")
        << QStringLiteral("0A1B2C3D-7B7E-4C1E-9D4B-0A1B2C3D4E61.png") << false << false << false << false;
}

void TestStorageManager::leftoversOfACrashAreRemoved()
{
    QFETCH(QString, name);
    QFETCH(bool, link);
    QFETCH(bool, unreadable);
    QFETCH(bool, whileRunning);
    QFETCH(bool, removed);
    const QString named = QStringLiteral("0A1B2C3D-7B7E-4C1E-9D4B-0A1B2C3D4E61.png");
    const ClipboardItems items = {textEntry(QStringLiteral("kept")), imageEntry(named)};
    QString path;
    const QString target = m_root->filePath(QStringLiteral("target"));
    writeFile(target, "not ours to remove");
    const auto plant = [&](const StorageManager& storage) {
        path =
            QDir(name.endsWith(QStringLiteral(".png")) ? storage.imagesDir() : storage.appSupportDir()).filePath(name);
        if (link)
            QVERIFY(QFile::link(target, path));
        else if (!isThere(path))
            writeFile(path, png(2, 2));
    };
    {
        StorageManager before(m_folder);
        QVERIFY(before.save(items));
        writeFile(before.imageURL(named), png(2, 2));
        if (unreadable)
            writeFile(before.historyFilePath(), "[{");
        if (!whileRunning)
            plant(before);
    }
    StdoutCapture output;
    StorageManager storage(m_folder);
    QCOMPARE(storage.load(), unreadable ? ClipboardItems() : items);
    if (whileRunning) {
        plant(storage);
        QVERIFY(storage.save(items));
        QCOMPARE(storage.load(), items);
    }
    QCOMPARE(isThere(path), !removed);
    QVERIFY(isThere(storage.imageURL(named)));
    QVERIFY(QFileInfo::exists(target));
}

void TestStorageManager::imagesAreHandedOutUnderTheStoreRule_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("offered");
    QTest::newRow("file of ours") << QStringLiteral("png") << true;
    QTest::newRow("link to a file elsewhere") << QStringLiteral("link") << false;
    QTest::newRow("missing file") << QStringLiteral("missing") << false;
    // Stored as they came because they did not decode: the file is handed out, but as no PNG.
    QTest::newRow("bytes that are no image") << QStringLiteral("junk") << true;
}

void TestStorageManager::imagesAreHandedOutUnderTheStoreRule()
{
    QFETCH(QString, file);
    QFETCH(bool, offered);
    StorageManager storage(m_folder);
    const QString longText = QStringLiteral("line one\nline two\nline three, which no row shows");
    EntryMimeData text(textEntry(longText), storage);
    QCOMPARE(text.text(), longText);
    QVERIFY(!text.hasUrls());

    const QByteArray bytes = file == u"junk" ? QByteArray("no image at all") : png(30, 20);
    const ClipboardItem image = imageEntry(storage.saveImage(bytes));
    const QString path = storage.imageURL(image.content);
    const QString outside = m_root->filePath(QStringLiteral("outside.png"));
    if (file == u"link") {
        QVERIFY(QFile::rename(path, outside));
        QVERIFY(QFile::link(outside, path));
    } else if (file == u"missing") {
        QVERIFY(QFile::remove(path));
    }
    EntryMimeData data(image, storage);
    QCOMPARE(data.urls(), offered ? QList<QUrl>{QUrl::fromLocalFile(path)} : QList<QUrl>());
    QCOMPARE(data.data(QLatin1String(EntryMimeData::pngType)), file == u"png" ? bytes : QByteArray());
    QCOMPARE(data.hasFormat(QLatin1String(EntryMimeData::pngType)), offered);
    QCOMPARE(data.data(QLatin1String(EntryMimeData::suggestedNameType)), QByteArray("Pellamor_Image.png"));

    // The file is read again when the drop target asks: a link swapped in after the drag began is not followed.
    if (file == u"png") {
        QVERIFY(QFile::rename(path, outside));
        QVERIFY(QFile::link(outside, path));
        QCOMPARE(data.data(QLatin1String(EntryMimeData::pngType)), QByteArray());
    }
}

QTEST_GUILESS_MAIN(TestStorageManager)
#include "tst_storagemanager.moc"
