#include "platform/freedesktop/InstanceLock.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "tst_instancelock.moc"
