#include "platform/InstanceLock.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestInstanceLock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondHolderIsRefused();
    void lockOfAnExitedProcessIsTakenOver();
};

void TestInstanceLock::secondHolderIsRefused()
{
    QTemporaryDir dir;
    InstanceLock first(QStringLiteral("com.pellamor.app"), dir.path());
    QVERIFY(first.tryAcquire());
    QVERIFY(first.tryAcquire());
    QCOMPARE(first.fileName(), dir.filePath(QStringLiteral("com.pellamor.app.lock")));

    InstanceLock second(QStringLiteral("com.pellamor.app"), dir.path());
    QVERIFY(!second.tryAcquire());
}

void TestInstanceLock::lockOfAnExitedProcessIsTakenOver()
{
    QTemporaryDir dir;
    // A lock file as a crashed instance leaves it: the pid of a process that no longer runs.
    QProcess process;
    process.start(QStringLiteral("true"));
    QVERIFY(process.waitForFinished());
    const qint64 deadPid = process.processId();
    {
        QFile file(dir.filePath(QStringLiteral("com.pellamor.app.lock")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(deadPid > 0 ? deadPid : 999999) + "\npellamor\n" +
                   QSysInfo::machineHostName().toUtf8() + "\n");
    }
    InstanceLock lock(QStringLiteral("com.pellamor.app"), dir.path());
    QVERIFY(lock.tryAcquire());
}

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "tst_instancelock.moc"
