#pragma once

#include "platform/KeystrokeSender.h"

#include <QList>

// A desktop in memory: windows exist while listed in `windows`; `activate` focuses at once unless
// `focusOnActivate` is false; the user's modifiers are `held`.
class FakeKeystrokeSender : public KeystrokeSender
{
    Q_OBJECT

public:
    using KeystrokeSender::KeystrokeSender;

    Support supported = Support::Full;
    bool windowsKnown = true;
    QList<PasteTarget> windows;
    PasteTarget focused;
    bool focusOnActivate = true;
    bool held = false;
    QList<PasteTarget> activated;
    // The keystrokes sent, each with the window that had the focus then.
    QList<std::pair<PasteKeystroke, PasteTarget>> sent;

    Support support() const override { return supported; }
    QString limitation() const override
    {
        return supported == Support::Full ? QString() : QStringLiteral("the fake desktop says no");
    }
    bool knowsWindows() const override { return windowsKnown; }
    PasteTarget focusedWindow() const override { return windowsKnown ? focused : PasteTarget(); }
    bool exists(const PasteTarget& target) const override { return windows.contains(target); }
    void activate(const PasteTarget& target) override
    {
        activated << target;
        if (focusOnActivate && exists(target))
            focus(target);
    }
    bool modifiersHeld() const override { return held; }
    void send(PasteKeystroke keystroke) override { sent.append({keystroke, focused}); }

    // The user or the window manager moves the focus.
    void focus(const PasteTarget& target)
    {
        focused = target;
        Q_EMIT focusChanged(target);
    }
};
