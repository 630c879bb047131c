#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QImage>
#include <QList>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

// xclip as the other application in the real-clipboard tests: owners it starts are kept until
// stopOwners(), and reads keep this process's event loop running, since when we own the clipboard we
// have to answer xclip ourselves.
class Xclip
{
public:
    struct Output
    {
        bool finished = false;
        int exitCode = -1;
        QByteArray data;
    };

    ~Xclip() { stopOwners(); }

    // Offers `data` as `target` on `selection`, as a copy in another application does.
    [[nodiscard]] bool offer(const QByteArray& data, const QString& target = {},
                             const QString& selection = QStringLiteral("clipboard"))
    {
        auto* process = adopt(new QProcess);
        // Without -quiet xclip forks, and the owner could not be stopped by the test.
        QStringList arguments = {QStringLiteral("-quiet"), QStringLiteral("-selection"), selection,
                                 QStringLiteral("-in")};
        if (!target.isEmpty())
            arguments << QStringLiteral("-target") << target;
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        process->start(QStringLiteral("xclip"), arguments);
        if (!process->waitForStarted(5000)) {
            qWarning("xclip did not start: %s", qPrintable(process->errorString()));
            return false;
        }
        if (process->write(data) != data.size() || !process->waitForBytesWritten(10000)) {
            qWarning("could not hand the data to xclip: %s", qPrintable(process->errorString()));
            return false;
        }
        process->closeWriteChannel();
        return true;
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

    static Output read(const QStringList& arguments, const QString& selection = QStringLiteral("clipboard"))
    {
        QProcess process;
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QStringLiteral("xclip"),
                      QStringList{QStringLiteral("-selection"), selection, QStringLiteral("-out")} + arguments);
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
