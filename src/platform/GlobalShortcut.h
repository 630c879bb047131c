#pragma once

#include <QKeyCombination>
#include <QObject>

#include <memory>

// A key combination bound system-wide: pressing it anywhere on the desktop emits `activated`. Binding
// is asynchronous; `statusChanged` tells how it ended. At most one combination is bound at a time.
class GlobalShortcut : public QObject
{
    Q_OBJECT

public:
    enum class Status {
        Unbound,
        // Asked for; the answer is not in yet.
        Pending,
        Bound,
        // Another program holds the combination.
        Taken,
        // The session offers no way to bind keys (or not yet: a portal that starts later is picked up).
        Unsupported,
        // The keyboard has no key for the combination.
        NoSuchKey,
        // The desktop was asked and declined.
        Refused,
    };
    Q_ENUM(Status)

    using QObject::QObject;

    // Replaces whatever was bound before.
    virtual void bind(QKeyCombination combination) = 0;
    virtual void unbind() = 0;

    Status status() const { return m_status; }

    // The binding the session offers: the portal on Wayland, a key grab of our own on X11, none elsewhere.
    static std::unique_ptr<GlobalShortcut> createForSession();

Q_SIGNALS:
    void activated();
    void statusChanged(GlobalShortcut::Status status);

protected:
    void setStatus(Status status);

private:
    Status m_status = Status::Unbound;
};

// A session without any way to bind keys: every binding ends as Unsupported.
class UnsupportedGlobalShortcut : public GlobalShortcut
{
    Q_OBJECT

public:
    using GlobalShortcut::GlobalShortcut;
    void bind(QKeyCombination) override { setStatus(Status::Unsupported); }
    void unbind() override { setStatus(Status::Unbound); }
};
