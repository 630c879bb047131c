#pragma once

#include <QAbstractButton>
#include <QPointer>

#include <optional>

// The display text of a pressed key combination: the symbols of the held modifiers in the fixed order
// ⌃ (Control), ⌥ (Alt), ⇧ (Shift), ⌘ (Super/Meta), then the key, all joined by " + ". The key is its
// character without modifiers, upper-cased (the space bar gives a single space); keys without a
// character give their readable name ("F1", "Return", "Left"). Empty for a key that names nothing on
// its own, such as a modifier pressed alone: recording goes on.
QString shortcutText(Qt::KeyboardModifiers modifiers, int key, const QString& text);

// The stored text turned back into a key combination: modifier symbols each followed by " + ", then
// the key (one character, "Space", or a key name such as "F1" or "Return"). Empty for text that names
// no single key, such as "", "⌥ + " or an unknown name.
std::optional<QKeyCombination> parseShortcutText(const QString& text);

// Waits for one key combination pressed in the window of `scope`. While recording it watches every key
// press the application receives and consumes the ones it uses, so they reach no widget and trigger no
// shortcut; nothing is watched while idle. A combination that may not be grabbed for the whole desktop
// (a bare letter, Shift with a letter) is refused and recording goes on.
class ShortcutRecorder : public QObject
{
    Q_OBJECT

public:
    static const QString needsModifierText;

    explicit ShortcutRecorder(QWidget* scope);
    ~ShortcutRecorder() override;

    bool isRecording() const { return m_recording; }
    void setRecording(bool recording);

Q_SIGNALS:
    void recordingChanged(bool recording);
    // Emitted before recording ends.
    void recorded(const QString& text);
    // A combination was pressed that a global shortcut may not be; `reason` says what it needs.
    void refused(const QString& reason);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool inScope(QObject* receiver) const;

    QPointer<QWidget> m_scope;
    bool m_recording = false;
    bool m_watching = false;
};

// The face of the recorder: the stored shortcut in the names of the desktop ("Alt + Space"), or
// "录制中..." while waiting for a key.
class ShortcutButton : public QAbstractButton
{
    Q_OBJECT

public:
    static const QString recordingText;

    explicit ShortcutButton(QWidget* parent = nullptr);

    void setShortcut(const QString& shortcut);
    void setRecording(bool recording);
    // The stored text, as given to setShortcut().
    QString shortcut() const { return m_shortcut; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_shortcut;
    bool m_recording = false;
};
