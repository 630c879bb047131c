#pragma once

#include "core/ClipboardItem.h"
#include "platform/KeystrokeSender.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class Pasteboard;
class Preferences;

// Pastes a chosen entry into the window the user came from: with paste after choosing on, every choice;
// a paste-once choice always. The entry is on the clipboard already (EntryActions); here the panel
// closes, the target gets the focus back, and once it has it and the user has let go of every modifier,
// the paste keystroke goes to it. Nothing is typed when the target is gone, another window took the
// focus, or either wait runs out: the entry then simply stays on the clipboard.
class PasteController : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Pasted,
        // A remote desktop or a virtual machine: the copy only.
        CopiedOnly,
        // The desktop cannot type into other windows.
        Unsupported,
        // No window of another application had the focus since the start.
        NoTarget,
        TargetGone,
        FocusLost,
        FocusTimedOut,
        ModifiersHeld,
        // A newer choice took over.
        Superseded,
    };
    Q_ENUM(Outcome)

    // How long the target may take to get the focus, and the user to release the modifiers once it has.
    static constexpr int focusWaitMs = 2000;
    static constexpr int modifierWaitMs = 2000;
    // How often the modifiers are looked at while held: the backends announce no key releases.
    static constexpr int modifierPollMs = 10;

    PasteController(KeystrokeSender& sender, Preferences& preferences, QObject* parent = nullptr);

    // The panel is about to open: the window with the focus now is where its choices paste.
    void panelOpening();
    // Where desktop entries are looked up to tell terminals; empty for the XDG data folders'.
    void setApplicationDirs(const QStringList& dirs) { m_applicationDirs = dirs; }
    // The clipboard the entries are copied to: the keystroke waits until it holds the entry.
    void setClipboard(const Pasteboard* clipboard) { m_clipboard = clipboard; }
    // Whether one of this program's windows has the keyboard focus. A desktop that tells no windows
    // apart (KeystrokeSender::knowsWindows) pastes once ours have let go of the focus, into whatever
    // window the desktop gave it back to; ownFocusChanged() is to be called when this may have changed.
    // By default the application's focus window.
    void setOwnFocus(std::function<bool()> ownWindowFocused) { m_ownWindowFocused = std::move(ownWindowFocused); }
    void ownFocusChanged();

    // A choice: pasted when paste after choosing is on.
    void entryChosen(const ClipboardItem& item);
    // Pasted in any case.
    void pasteOnce();

    // The window a paste would go to now.
    PasteTarget target() const;
    bool isPasting() const { return m_phase != Phase::Idle; }

Q_SIGNALS:
    // The panel must close, pinned or not, so the target can have the focus.
    void closePanelRequested();
    void finished(PasteController::Outcome outcome);

private:
    enum class Phase { Idle, AwaitingFocus, AwaitingRelease };

    void handleFocusChanged(const PasteTarget& focused);
    void advance();
    void finish(Outcome outcome);

    KeystrokeSender& m_sender;
    Preferences& m_preferences;
    QStringList m_applicationDirs;
    const Pasteboard* m_clipboard = nullptr;
    std::function<bool()> m_ownWindowFocused;
    // The last window of another application that had the focus.
    PasteTarget m_lastForeign;
    Phase m_phase = Phase::Idle;
    PasteTarget m_target;
    PasteKeystroke m_keystroke = PasteKeystroke::CtrlV;
    QTimer m_deadline;
    QTimer m_releasePoll;
};
