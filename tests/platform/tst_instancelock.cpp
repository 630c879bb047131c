#include "platform/freedesktop/InstanceLock.h"
#include "platform/freedesktop/XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <sys/stat.h>

namespace {

const QString appId = QStringLiteral("com.pellamor.app");

QString lockPath(const QTemporaryDir& dir)
{
    return dir.filePath(appId + QStringLiteral(".lock"));
}

} // namespace

class TestInstanceLock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondHolderIsRefused();
    void leftoverFileNeverBlocks_data();
    void leftoverFileNeverBlocks();
    void releasedWhenTheHolderDies();
    void linkIsNotFollowed();
    void neverInAFolderOthersCanWrite_data();
    void neverInAFolderOthersCanWrite();
};

void TestInstanceLock::secondHolderIsRefused()
{
    QTemporaryDir dir;
    const mode_t oldMask = ::umask(022);
    InstanceLock first(appId, dir.path());
    QVERIFY(first.tryAcquire());
    ::umask(oldMask);
    QVERIFY(first.tryAcquire());
    QCOMPARE(first.fileName(), lockPath(dir));
    QCOMPARE(QFileInfo(first.fileName()).permissions() &
                 (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());
    QFile file(first.fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray::number(QCoreApplication::applicationPid()) + '\n');

    InstanceLock second(appId, dir.path());
    QCOMPARE(second.acquire(), InstanceLock::Result::HeldElsewhere);
    QVERIFY(!second.isHeld());
}

void TestInstanceLock::leftoverFileNeverBlocks_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("mode");
    QTest::newRow("empty") << QByteArray() << 0644;
    QTest::newRow("garbage") << QByteArray("\x00\xff garbage\n\n", 12) << 0600;
    QTest::newRow("a dead process, readable by all") << QByteArray("999999\npellamor\nhost\n") << 0666;
    QTest::newRow("this very process") << QByteArray::number(QCoreApplication::applicationPid()) << 0600;
}

void TestInstanceLock::leftoverFileNeverBlocks()
{
    QFETCH(QByteArray, content);
    QFETCH(int, mode);
    QTemporaryDir dir;
    {
        QFile file(lockPath(dir));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QVERIFY(::chmod(QFile::encodeName(lockPath(dir)).constData(), mode_t(mode)) == 0);
    InstanceLock lock(appId, dir.path());
    QCOMPARE(lock.acquire(), InstanceLock::Result::Acquired);
    QFileInfo info(lockPath(dir));
    QVERIFY(!(info.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther)));
}

void TestInstanceLock::releasedWhenTheHolderDies()
{
    QTemporaryDir dir;
    // Another process holds the lock the same way, then is killed without any clean-up.
    QProcess holder;
    holder.start(QStringLiteral("python3"), {QStringLiteral("-c"),
                                             QStringLiteral("import fcntl, os, sys, time\n"
                                                            "fd = os.open(sys.argv[1], os.O_RDWR | os.O_CREAT)\n"
                                                            "fcntl.flock(fd, fcntl.LOCK_EX)\n"
                                                            "print('locked', flush=True)\n"
                                                            "time.sleep(60)\n"),
                                             lockPath(dir)});
    if (!holder.waitForStarted())
        QSKIP("python3 is not available");
    QVERIFY(holder.waitForReadyRead(10000));
    QVERIFY(holder.readAllStandardOutput().contains("locked"));
    InstanceLock lock(appId, dir.path());
    QCOMPARE(lock.acquire(), InstanceLock::Result::HeldElsewhere);
    holder.kill();
    QVERIFY(holder.waitForFinished());
    QCOMPARE(lock.acquire(), InstanceLock::Result::Acquired);
}

void TestInstanceLock::linkIsNotFollowed()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QFile::link(target, lockPath(dir)));
    InstanceLock lock(appId, dir.path());
    QCOMPARE(lock.acquire(), InstanceLock::Result::Failed);
    QVERIFY(!lock.errorString().isEmpty());
    QVERIFY(!QFile::exists(target));
}

void TestInstanceLock::neverInAFolderOthersCanWrite_data()
{
    // What XDG_RUNTIME_DIR names: "private" (0700, ours), "unset", "relative", "shared" (1777, as /tmp),
    // "link" (to a private folder).
    QTest::addColumn<QString>("runtime");
    // Pellamor/run in the data folder before the start: "missing", "loose" (0755), "link" (to a folder).
    QTest::addColumn<QString>("fallback");
    // Where the lock goes: "runtime", "fallback" or nowhere ("none", the lock then fails).
    QTest::addColumn<QString>("expected");
    QTest::newRow("the session's runtime folder")
        << QStringLiteral("private") << QStringLiteral("missing") << QStringLiteral("runtime");
    QTest::newRow("unset (su, cron)") << QStringLiteral("unset") << QStringLiteral("missing")
                                      << QStringLiteral("fallback");
    QTest::newRow("relative") << QStringLiteral("relative") << QStringLiteral("missing") << QStringLiteral("fallback");
    QTest::newRow("writable by others") << QStringLiteral("shared") << QStringLiteral("missing")
                                        << QStringLiteral("fallback");
    QTest::newRow("a link") << QStringLiteral("link") << QStringLiteral("missing") << QStringLiteral("fallback");
    QTest::newRow("own folder made private")
        << QStringLiteral("unset") << QStringLiteral("loose") << QStringLiteral("fallback");
    QTest::newRow("own folder is a link")
        << QStringLiteral("shared") << QStringLiteral("link") << QStringLiteral("none");
}

void TestInstanceLock::neverInAFolderOthersCanWrite()
{
    QFETCH(QString, runtime);
    QFETCH(QString, fallback);
    QFETCH(QString, expected);
    QTemporaryDir root;
    const QString data = root.filePath(QStringLiteral("data"));
    const QString own = data + QStringLiteral("/Pellamor/run");
    const QString session = root.filePath(QStringLiteral("session"));
    QVERIFY(QDir().mkpath(session));
    QVERIFY(::chmod(QFile::encodeName(session).constData(), runtime == u"shared" ? 01777 : 0700) == 0);
    const QString elsewhere = root.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(::chmod(QFile::encodeName(elsewhere).constData(), 0700) == 0);
    QByteArray runtimeValue = QFile::encodeName(session);
    if (runtime == u"unset") {
        runtimeValue.clear();
    } else if (runtime == u"relative") {
        runtimeValue = "session";
    } else if (runtime == u"link") {
        runtimeValue = QFile::encodeName(root.filePath(QStringLiteral("linked")));
        QVERIFY(QFile::link(elsewhere, QFile::decodeName(runtimeValue)));
    }
    if (fallback != u"missing") {
        QVERIFY(QDir().mkpath(data + QStringLiteral("/Pellamor")));
        if (fallback == u"link") {
            QVERIFY(QFile::link(elsewhere, own));
        } else {
            QVERIFY(QDir().mkpath(own));
            QVERIFY(::chmod(QFile::encodeName(own).constData(), 0755) == 0);
        }
    }
    const auto restore = [](const char* name, std::optional<QByteArray> value) {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    };
    const auto saved = [](const char* name) {
        return qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    };
    const std::optional<QByteArray> savedRuntime = saved("XDG_RUNTIME_DIR");
    const std::optional<QByteArray> savedData = saved("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    if (runtimeValue.isEmpty())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", runtimeValue);
    InstanceLock lock(appId);
    const InstanceLock::Result result = lock.acquire();
    restore("XDG_RUNTIME_DIR", savedRuntime);
    restore("XDG_DATA_HOME", savedData);

    if (expected == u"none") {
        QCOMPARE(result, InstanceLock::Result::Failed);
        QVERIFY(lock.directory().isEmpty());
        QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        return;
    }
    QCOMPARE(result, InstanceLock::Result::Acquired);
    QCOMPARE(lock.directory(), expected == u"runtime" ? session : own);
    QCOMPARE(QFileInfo(lock.directory()).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
             QFile::Permissions());
    QVERIFY(QFileInfo(lock.directory()).isDir() && !QFileInfo(lock.directory()).isSymLink());
}

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "tst_instancelock.moc"
