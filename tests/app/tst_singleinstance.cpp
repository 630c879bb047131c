#include "app/SingleInstance.h"

#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString appId = QStringLiteral("com.pellamor.app");

// Starts the helper as a later start of the program and waits for its end.
struct LaterStart
{
    int exitCode = -1;
    QByteArray output;
};

LaterStart laterStart(const QString& directory, const QStringList& extra = {})
{
    QProcess process;
    process.start(QStringLiteral(PELLAMOR_RELAUNCH_HELPER), QStringList{directory} + extra);
    LaterStart result;
    if (process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    else
        process.kill();
    result.output = process.readAllStandardOutput();
    return result;
}

// A socket file as a killed instance leaves it: bound, never listened on, never removed.
void leaveDeadSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(address.sun_path, bytes.constData(), size_t(bytes.size()));
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    ::close(fd);
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestedSurface_data();
    void requestedSurface();
    void laterStartsReachTheRunningOne();
    void leftoversOfACrashNeverBlock();
    void manyRapidStarts();
};

void TestSingleInstance::requestedSurface_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("surface");
    QTest::newRow("none") << QStringList{QStringLiteral("pellamor")} << QStringLiteral("panel");
    QTest::newRow("settings") << QStringList{QStringLiteral("pellamor"), QStringLiteral("--surface=settings")}
                              << QStringLiteral("settings");
    QTest::newRow("unknown") << QStringList{QStringLiteral("pellamor"), QStringLiteral("--surface=board")}
                             << QStringLiteral("panel");
}

void TestSingleInstance::requestedSurface()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, surface);
    QCOMPARE(SingleInstance::requestedSurface(arguments), surface);
}

void TestSingleInstance::laterStartsReachTheRunningOne()
{
    QTemporaryDir dir;
    SingleInstance running(appId, dir.path());
    QVERIFY(running.start(SingleInstance::panelSurface));
    QSignalSpy requests(&running, &SingleInstance::surfaceRequested);
    // The socket is the user's alone.
    const QFileInfo socket(running.socketPath());
    QVERIFY(socket.exists());
    QVERIFY(!(socket.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther)));

    for (const QString& surface : {QStringLiteral("panel"), QStringLiteral("settings")}) {
        const LaterStart later = laterStart(dir.path(), {surface});
        QCOMPARE(later.exitCode, 0);
        QCOMPARE(later.output, QByteArray("Duplicate instance detected. Quitting.\n"));
        QTRY_VERIFY(!requests.isEmpty());
        QCOMPARE(requests.takeFirst().value(0).toString(), surface);
    }
}

void TestSingleInstance::leftoversOfACrashNeverBlock()
{
    QTemporaryDir dir;
    // A running instance killed without any clean-up leaves its lock file and socket behind.
    QProcess holder;
    holder.start(QStringLiteral(PELLAMOR_RELAUNCH_HELPER), {dir.path(), QStringLiteral("--hold")});
    QVERIFY(holder.waitForReadyRead(10000));
    QVERIFY(holder.readAllStandardOutput().contains("holding"));
    holder.kill();
    QVERIFY(holder.waitForFinished());
    const QString socketPath = dir.filePath(appId + QStringLiteral(".socket"));
    QVERIFY(QFileInfo::exists(socketPath));
    // And one that never even got to listen: a dead socket, and a lock file holding garbage.
    QVERIFY(QFile::remove(socketPath));
    leaveDeadSocket(socketPath);
    QFile lock(dir.filePath(appId + QStringLiteral(".lock")));
    QVERIFY(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
    lock.write("\x01garbage");
    lock.close();

    SingleInstance next(appId, dir.path());
    QVERIFY(next.start(SingleInstance::panelSurface));
    QSignalSpy requests(&next, &SingleInstance::surfaceRequested);
    QCOMPARE(laterStart(dir.path()).exitCode, 0);
    QTRY_COMPARE(requests.size(), 1);
}

void TestSingleInstance::manyRapidStarts()
{
    QTemporaryDir dir;
    QProcess running;
    running.start(QStringLiteral(PELLAMOR_RELAUNCH_HELPER), {dir.path(), QStringLiteral("--hold")});
    QVERIFY(running.waitForReadyRead(10000));
    QVERIFY(running.readAllStandardOutput().contains("holding"));
    // Fifty starts at once: every one quits with the line, and the running instance hears each.
    std::vector<std::unique_ptr<QProcess>> starts;
    for (int i = 0; i < 50; ++i) {
        starts.push_back(std::make_unique<QProcess>());
        starts.back()->start(QStringLiteral(PELLAMOR_RELAUNCH_HELPER), {dir.path()});
    }
    for (const auto& start : starts) {
        QVERIFY(start->waitForFinished(20000));
        QCOMPARE(start->exitCode(), 0);
        QCOMPARE(start->readAllStandardOutput(), QByteArray("Duplicate instance detected. Quitting.\n"));
    }
    QByteArray heard;
    QTRY_COMPARE_WITH_TIMEOUT((heard += running.readAllStandardOutput()).count("panel\n"), 50, 10000);
    QCOMPARE(running.state(), QProcess::Running);
    running.kill();
    running.waitForFinished();
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
