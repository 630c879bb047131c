#pragma once

#include <QList>
#include <QObject>
#include <QString>

// How a second start of the program reaches the running one: a local socket beside the single-instance
// lock. Only the lock's holder listens; a start that finds the lock taken sends one line naming the
// surface it wants ("panel" unless told otherwise), waits for "ok" once the running one has acted on
// it, and quits.
class RelaunchServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxMessageBytes = 64;
    static constexpr int clientTimeoutMs = 2000;

    explicit RelaunchServer(QObject* parent = nullptr);
    ~RelaunchServer() override;

    // Listens at `socketPath`, replacing a socket left by a crashed instance: call only while holding
    // the lock. The socket is the user's alone. False, with `errorString()`, when it cannot listen.
    bool listen(const QString& socketPath);
    QString errorString() const { return m_error; }

Q_SIGNALS:
    // One per message, in the order received; the name is as sent (never empty).
    void surfaceRequested(const QString& surface);

private:
    struct Client;

    void acceptPending();
    void readFrom(Client* client);
    void drop(Client* client);

    int m_fd = -1;
    QList<Client*> m_clients;
    QString m_error;
};

// The socket's path for the lock in `directory`.
QString relaunchSocketPath(const QString& directory, const QString& applicationId);

// Sends `surface` to the instance listening at `socketPath` and waits for its answer; waits at most
// `timeoutMs` in all. False, with a reason in `error`, when nothing listens or the message could not be
// delivered; a missing answer is no failure.
bool sendRelaunchRequest(const QString& socketPath, const QString& surface, int timeoutMs, QString* error);
