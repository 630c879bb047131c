#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// A window of another application, as the desktop names it.
struct PasteTarget
{
    // The backend's own handle: an X11 window id, or a Wayland toplevel's number. 0 names no window.
    quint64 handle = 0;
    // WM_CLASS's class (X11) or the app_id (Wayland), as the application reports it.
    QString appId;

    bool isValid() const { return handle != 0; }
    friend bool operator==(const PasteTarget&, const PasteTarget&) = default;
};

// The keystroke that pastes the clipboard in the target.
enum class PasteKeystroke {
    CtrlV,
    // Terminals take Ctrl+V as a literal; they paste with Ctrl+Shift+V.
    CtrlShiftV,
};

// The keys of the paste keystroke.
enum class PasteKey { Control, Shift, V };

// Presses and releases the keys of the keystroke through `key`, in order: Ctrl (and Shift) down, V down
// and up, then the modifiers up again.
void typePaste(PasteKeystroke keystroke, const std::function<void(PasteKey key, bool pressed)>& key);

// Gives the keyboard focus back to another application's window and types into it: the part of
// pasting after a choice that needs the desktop. The order and the waits are the caller's; nothing
// here blocks on another application.
class KeystrokeSender : public QObject
{
    Q_OBJECT

public:
    enum class Support {
        // Any window of the session.
        Full,
        // Only X11 windows (XWayland under a desktop that offers nothing else).
        X11WindowsOnly,
        None,
    };
    Q_ENUM(Support)

    using QObject::QObject;

    virtual Support support() const = 0;
    // Whether windows can be told apart: false for a backend that types into whatever has the focus and
    // says nothing about windows (focusedWindow() is then never valid, and exists() and activate() mean
    // nothing). The caller can only see its own windows lose the focus.
    virtual bool knowsWindows() const { return true; }
    // Why support() is not Full: one English line for standard output, empty when it is Full.
    virtual QString limitation() const = 0;

    // The window that has the keyboard focus now, unless it is one of this program's own windows;
    // an invalid target when there is none or it cannot be told.
    virtual PasteTarget focusedWindow() const = 0;
    // Whether the window still exists.
    virtual bool exists(const PasteTarget& target) const = 0;
    // Asks the desktop to give the target the focus; `focusChanged` tells when it has it.
    virtual void activate(const PasteTarget& target) = 0;
    // Whether the user holds Shift, Ctrl, Alt or Super on any keyboard now, as far as the backend can
    // tell; false when it cannot.
    virtual bool modifiersHeld() const = 0;
    // Types the keystroke into whatever has the focus, with no modifier of the user's mixed in.
    virtual void send(PasteKeystroke keystroke) = 0;

    // The desktop's session: X11, wlroots, KWin, the desktop portal, or none.
    static std::unique_ptr<KeystrokeSender> createForSession();

Q_SIGNALS:
    // The focused window changed; an invalid target when the focus went to none or to one of ours.
    void focusChanged(const PasteTarget& focused);
};
