#include "PasteController.h"

#include "core/PasteRules.h"
#include "platform/Pasteboard.h"
#include "platform/Preferences.h"

#include <QGuiApplication>
#include <QWindow>

PasteController::PasteController(KeystrokeSender& sender, Preferences& preferences, QObject* parent)
    : QObject(parent)
    , m_sender(sender)
    , m_preferences(preferences)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this,
            [this] { finish(m_phase == Phase::AwaitingFocus ? Outcome::FocusTimedOut : Outcome::ModifiersHeld); });
    m_releasePoll.setInterval(modifierPollMs);
    connect(&m_releasePoll, &QTimer::timeout, this, &PasteController::advance);
    connect(&m_sender, &KeystrokeSender::focusChanged, this, &PasteController::handleFocusChanged);
    // The board may be the first thing clicked after the start.
    m_lastForeign = m_sender.focusedWindow();
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        m_ownWindowFocused = [] { return QGuiApplication::focusWindow() != nullptr; };
        connect(application, &QGuiApplication::focusWindowChanged, this, &PasteController::ownFocusChanged);
    }
}

void PasteController::ownFocusChanged()
{
    // Only a desktop that tells no windows apart waits for this.
    if (m_phase == Phase::AwaitingFocus && !m_sender.knowsWindows() && !(m_ownWindowFocused && m_ownWindowFocused()))
        advance();
}

void PasteController::panelOpening()
{
    const PasteTarget focused = m_sender.focusedWindow();
    if (focused.isValid())
        m_lastForeign = focused;
}

PasteTarget PasteController::target() const
{
    // A surface that took no focus (a board that is clicked but not activated, the command line's
    // terminal) leaves it where the user is; otherwise the last window before ours.
    const PasteTarget focused = m_sender.focusedWindow();
    return focused.isValid() ? focused : m_lastForeign;
}

void PasteController::entryChosen(const ClipboardItem&)
{
    if (m_preferences.pasteAfterChoosing())
        pasteOnce();
}

void PasteController::pasteOnce()
{
    if (m_phase != Phase::Idle)
        finish(Outcome::Superseded);
    if (m_sender.support() == KeystrokeSender::Support::None) {
        Q_EMIT finished(Outcome::Unsupported);
        return;
    }
    if (!m_sender.knowsWindows()) {
        // Whichever window the desktop gives the focus back to when the panel closes: the one the user
        // came from, as far as anyone can tell here. Its kind cannot be told either.
        Q_EMIT closePanelRequested();
        m_target = {};
        m_keystroke = PasteKeystroke::CtrlV;
        m_phase = Phase::AwaitingFocus;
        m_deadline.start(focusWaitMs);
        ownFocusChanged();
        return;
    }
    const PasteTarget target = this->target();
    if (!target.isValid()) {
        Q_EMIT finished(Outcome::NoTarget);
        return;
    }
    if (!m_sender.exists(target)) {
        Q_EMIT finished(Outcome::TargetGone);
        return;
    }
    const PasteRules::TargetKind kind = PasteRules::kindOf(target.appId, m_applicationDirs);
    Q_EMIT closePanelRequested();
    if (kind == PasteRules::TargetKind::RemoteViewer) {
        // Back to the viewer, where the user pastes through the remote side's own means.
        m_sender.activate(target);
        Q_EMIT finished(Outcome::CopiedOnly);
        return;
    }
    m_target = target;
    m_keystroke = kind == PasteRules::TargetKind::Terminal ? PasteKeystroke::CtrlShiftV : PasteKeystroke::CtrlV;
    m_phase = Phase::AwaitingFocus;
    m_deadline.start(focusWaitMs);
    // The target may have the focus already (a paste asked for from outside the panel): nothing to give back.
    if (m_sender.focusedWindow() == m_target) {
        advance();
        return;
    }
    m_sender.activate(target);
}

void PasteController::handleFocusChanged(const PasteTarget& focused)
{
    if (focused.isValid())
        m_lastForeign = focused;
    switch (m_phase) {
    case Phase::Idle:
        return;
    case Phase::AwaitingFocus:
        if (!m_sender.knowsWindows())
            return;
        // On the way back the window manager may first hand the focus elsewhere (where our panel was).
        if (focused == m_target)
            advance();
        return;
    case Phase::AwaitingRelease:
        if (focused.isValid() && focused != m_target)
            finish(Outcome::FocusLost);
        return;
    }
}

void PasteController::advance()
{
    if (m_phase == Phase::AwaitingFocus) {
        m_phase = Phase::AwaitingRelease;
        m_deadline.start(modifierWaitMs);
        m_releasePoll.start();
    }
    if (m_phase != Phase::AwaitingRelease || m_sender.modifiersHeld())
        return;
    // The target would paste what the clipboard held before the entry: the keystroke can reach it
    // before the display server has made the entry ours.
    if (m_clipboard && m_clipboard->ownWritePending())
        return;
    if (!m_sender.knowsWindows()) {
        // The user came back to one of ours meanwhile.
        if (m_ownWindowFocused && m_ownWindowFocused()) {
            finish(Outcome::FocusLost);
            return;
        }
        m_sender.send(m_keystroke);
        finish(Outcome::Pasted);
        return;
    }
    // The user's last moves may have closed the window or gone elsewhere.
    if (!m_sender.exists(m_target)) {
        finish(Outcome::TargetGone);
        return;
    }
    if (m_sender.focusedWindow() != m_target) {
        finish(Outcome::FocusLost);
        return;
    }
    m_sender.send(m_keystroke);
    finish(Outcome::Pasted);
}

void PasteController::finish(Outcome outcome)
{
    m_phase = Phase::Idle;
    m_deadline.stop();
    m_releasePoll.stop();
    m_target = {};
    Q_EMIT finished(outcome);
}
