#pragma once

#include <QByteArray>
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
        QProcess* process = adopt(new QProcess);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        process->start(program, arguments);
        if (!process->waitForStarted(5000) || process->write(data) != data.size() ||
            !process->waitForBytesWritten(10000)) {
            qWarning("could not hand the data to %s: %s", qPrintable(program), qPrintable(process->errorString()));
            return false;
        }
        process->closeWriteChannel();
        return true;
    }

    // Starts one of the test's own owners and waits for its "ready" line: it then owns the clipboard.
    // An owner that exits when first asked may be asked, and gone, before it got round to saying so.
    [[nodiscard]] QProcess* startHelper(const QString& program, const QStringList& arguments)
    {
        QProcess* process = adopt(new QProcess);
        process->setStandardErrorFile(QProcess::nullDevice());
        process->start(program, arguments);
        if (!process->waitForStarted(5000))
            return nullptr;
        (void)QTest::qWaitFor([process] { return process->canReadLine() || process->state() == QProcess::NotRunning; },
                              20000);
        if (process->readLine().trimmed() == "ready")
            return process;
        return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0 ? process : nullptr;
    }

    // Owners started one after another race for the selection on a busy machine: the one started
    // before the newest leaves once the newest has taken the selection from it.
    [[nodiscard]] bool waitUntilNewestOwns()
    {
        if (m_owners.size() < 2)
            return true;
        const QProcess* previous = m_owners.at(m_owners.size() - 2);
        return QTest::qWaitFor([previous] { return previous->state() == QProcess::NotRunning; }, 20000);
    }

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

    // Runs a reading command to its end with the event loop running.
    static Output run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, arguments);
        Output output;
        if (!process.waitForStarted(5000))
            return output;
        (void)QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 20000);
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

// xclip as the other application on X11.
class Xclip : public ClipboardTool
{
public:
    // Offers `data` as `type` (text when empty) on `selection`, as a copy in another application does.
    [[nodiscard]] bool offer(const QByteArray& data, const QString& type = {},
                             const QString& selection = QStringLiteral("clipboard"))
    {
        // Without -quiet xclip forks, and the owner could not be stopped by the test.
        QStringList arguments = {QStringLiteral("-quiet"), QStringLiteral("-selection"), selection,
                                 QStringLiteral("-in")};
        if (!type.isEmpty())
            arguments << QStringLiteral("-target") << type;
        return startOwner(QStringLiteral("xclip"), arguments, data);
    }

    static Output read(const QString& type = {}, const QString& selection = QStringLiteral("clipboard"))
    {
        QStringList arguments = {QStringLiteral("-selection"), selection, QStringLiteral("-out")};
        if (!type.isEmpty())
            arguments << QStringLiteral("-target") << type;
        return run(QStringLiteral("xclip"), arguments);
    }

    static QStringList types()
    {
        const Output output = read(QStringLiteral("TARGETS"));
        return output.exitCode == 0 ? QString::fromUtf8(output.data).split(u'\n', Qt::SkipEmptyParts) : QStringList{};
    }
};

// wl-copy and wl-paste as the other application on Wayland.
class WlClipboard : public ClipboardTool
{
public:
    // Offers `data` as `type` (wl-copy's guess when empty), as a copy in another application does.
    [[nodiscard]] bool offer(const QByteArray& data, const QString& type = {})
    {
        // Without --foreground wl-copy forks, and the owner could not be stopped by the test.
        QStringList arguments = {QStringLiteral("--foreground")};
        if (!type.isEmpty())
            arguments << QStringLiteral("--type") << type;
        return startOwner(QStringLiteral("wl-copy"), arguments, data);
    }

    static Output read(const QString& type = {})
    {
        QStringList arguments = {QStringLiteral("--no-newline")};
        if (!type.isEmpty())
            arguments << QStringLiteral("--type") << type;
        return run(QStringLiteral("wl-paste"), arguments);
    }

    static QStringList types()
    {
        const Output output = run(QStringLiteral("wl-paste"), {QStringLiteral("--list-types")});
        return output.exitCode == 0 ? QString::fromUtf8(output.data).split(u'\n', Qt::SkipEmptyParts) : QStringList{};
    }
};
