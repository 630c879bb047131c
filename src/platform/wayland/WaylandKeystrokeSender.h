#pragma once

#include "platform/KeystrokeSender.h"
#include "platform/wayland/WaylandConnection.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// Pastes on a compositor that lists its windows to a client: a connection and a thread of its own, like
// WaylandClipboardReader. The compositor's events are read there and every request is sent from there,
// so the main thread never waits on the compositor after the first round trips. A backend supplies the
// protocols: it binds its globals, keeps its window list and tells publish() about it, activates a window
// and types the keystroke.
class WaylandKeystrokeSender : public KeystrokeSender
{
    Q_OBJECT

public:
    ~WaylandKeystrokeSender() override;

    Support support() const override;
    QString limitation() const override;
    PasteTarget focusedWindow() const override;
    bool exists(const PasteTarget& target) const override;
    void activate(const PasteTarget& target) override;
    bool modifiersHeld() const override;
    void send(PasteKeystroke keystroke) override;

protected:
    explicit WaylandKeystrokeSender(QObject* parent);

    // Connects, lists the globals, binds them and starts the thread: the backend's constructor calls it
    // last. displayName empty: WAYLAND_DISPLAY.
    void start(const QByteArray& displayName);
    // Ends the thread and the connection: the backend's destructor calls it first, while its objects live.
    void stop();

    // The backends' part, all called on the compositor's thread (or in start(), before it runs).
    virtual void announceGlobal(uint32_t name, const char* interface, uint32_t version) = 0;
    // Binds what announceGlobal() found and brings in the windows; false with the reason set when the
    // compositor lacks or refuses something.
    virtual bool bindGlobals() = 0;
    virtual void activateWindow(quint64 number) = 0;
    virtual void typeKeystroke(PasteKeystroke keystroke) = 0;
    // Destroys the window objects (the connection is gone, or going).
    virtual void forgetWindows() = 0;
    // Destroys the rest of the backend's objects, before the connection closes.
    virtual void destroyGlobals() = 0;

    // One live window of the backend's list.
    struct ListedWindow
    {
        quint64 number = 0;
        QString appId;
        bool active = false;
        // Grows with every activation the backend sees, to tell the newest when several say they are.
        quint64 activatedAt = 0;
    };
    // The live windows; the active one is the most recently activated of those that say they are. A
    // change of the active window, unless it is ours, is announced to the main thread.
    void publish(const std::vector<ListedWindow>& listed);
    // The compositor stopped telling about windows: as good as a lost connection.
    void giveUp() { m_lost = true; }

    // The keys of the paste, as evdev codes.
    static constexpr uint32_t keyLeftCtrl = 29;
    static constexpr uint32_t keyLeftShift = 42;
    static constexpr uint32_t keyV = 47;

    WaylandConnection m_connection;
    QString m_limitation;

private:
    struct Request
    {
        enum Kind { Activate, Type } kind;
        quint64 number = 0;
        PasteKeystroke keystroke = PasteKeystroke::CtrlV;
    };

    void run();
    void serve();
    void loseConnection();
    void request(const Request& request);

    // Our windows' app_id: the desktop file's name on Wayland, the X11 class under XWayland.
    QStringList m_ownAppIds;
    Support m_support = Support::None;
    std::atomic<bool> m_lost{false};
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    // The compositor thread's.
    PasteTarget m_announced;
    bool m_announcing = false;

    // Shared with the main thread.
    mutable std::mutex m_lock;
    QHash<quint64, QString> m_windows;
    PasteTarget m_focused;
    std::vector<Request> m_requests;
};
