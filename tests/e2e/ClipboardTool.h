#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QImage>
#include <QList>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

// A command-line clipboard program as the other application in the real-clipboard tests: owners it
// starts are kept until stopOwners(), and reads keep this process's event loop running, since when we own
// the clipboard we may have to answer the request ourselves.
class ClipboardTool
{
public:
    struct Output
    {
        bool finished = false;
        int exitCode = -1;
        QByteArray data;
    };

    ClipboardTool() = default;
    ClipboardTool(const ClipboardTool&) = delete;
    ClipboardTool& operator=(const ClipboardTool&) = delete;
    ~ClipboardTool() { stopOwners(); }

    // Starts an owner that takes `data` on its standard input and keeps the clipboard until someone
    // else takes it. The program must stay in the foreground, or the test could not stop it.
    [[nodiscard]] bool startOwner(const QString& program, const QStringList& arguments, const QByteArray& data)
    {
        auto* process = adopt(new QProcess);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        process->start(program, arguments);
        if (!process->waitForStarted(5000)) {
            qWarning("%s did not start: %s", qPrintable(program), qPrintable(process->errorString()));
            return false;
        }
        if (process->write(data) != data.size() || !process->waitForBytesWritten(10000)) {
            qWarning("could not hand the data to %s: %s", qPrintable(program), qPrintable(process->errorString()));
            return false;
        }
        process->closeWriteChannel();
        return true;
    }

    // Owners started one after another race for the selection on a busy machine: the one started
    // before the newest leaves once the newest has taken the selection from it.
    [[nodiscard]] bool waitUntilNewestOwns(int ms = 5000)
    {
        if (m_owners.size() < 2)
            return true;
        // Waited for with the event loop running, so what this process is sent meanwhile is delivered.
        QProcess* previous = m_owners.at(m_owners.size() - 2);
        const QDeadlineTimer deadline(ms);
        while (previous->state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(5);
        return previous->state() == QProcess::NotRunning;
    }

    // Another owner process to stop with the others.
    QProcess* adopt(QProcess* process)
    {
        m_owners.append(process);
        return process;
    }

    void stopOwners()
    {
        for (QProcess* owner : std::as_const(m_owners)) {
            owner->kill();
            owner->waitForFinished(3000);
            delete owner;
        }
        m_owners.clear();
    }

    // Runs a reading command to its end (at most 5 s) with the event loop running.
    static Output run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, arguments);
        Output output;
        if (!process.waitForStarted(5000))
            return output;
        const QDeadlineTimer deadline(5000);
        while (process.state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(10);
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(1000);
            return output;
        }
        output.finished = process.exitStatus() == QProcess::NormalExit;
        output.exitCode = process.exitCode();
        output.data = process.readAllStandardOutput();
        return output;
    }

    // Pixels that no encoder can shrink much, so sizes in the tests are what they say.
    static QImage noiseImage(int width, int height, quint32 seed)
    {
        QRandomGenerator random(seed);
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < width; ++x)
                line[x] = 0xff000000u | (random.generate() & 0xffffffu);
        }
        return image;
    }

private:
    QList<QProcess*> m_owners;
};
