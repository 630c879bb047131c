#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class InstanceLock;
class RelaunchServer;

// One running instance per user, and what a second start does: the first start takes the lock and
// listens for later starts; a later start tells the running one which surface to show and quits.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static const QString panelSurface;
    static const QString settingsSurface;
    static constexpr int sendTimeoutMs = 2000;

    // `directory` is the runtime directory, empty for the user's own.
    explicit SingleInstance(const QString& applicationId, const QString& directory = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The surface a start asks for: "settings" with the private argument "--surface=settings" (the
    // launcher's settings action), the panel otherwise.
    static QString requestedSurface(const QStringList& arguments);

    // True when this process is the running instance from now on. False for a second start: the running
    // instance has been asked to show `surface` and the duplicate-instance line printed.
    bool start(const QString& surface);

    QString socketPath() const { return m_socketPath; }

Q_SIGNALS:
    void surfaceRequested(const QString& surface);

private:
    std::unique_ptr<InstanceLock> m_lock;
    RelaunchServer* m_server = nullptr;
    QString m_socketPath;
};
