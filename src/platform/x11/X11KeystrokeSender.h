#pragma once

#include "platform/KeystrokeSender.h"

#include <QByteArray>

#include <memory>

// Pasting on an X server: the window manager names the focused window in _NET_ACTIVE_WINDOW on the
// root window and gives the focus back on a _NET_ACTIVE_WINDOW message; the keystroke goes through the
// XTEST extension. One xcb connection of its own, read on the user-interface thread: every call is a
// round trip to the X server at most, never a wait on another application.
class X11KeystrokeSender : public KeystrokeSender
{
    Q_OBJECT

public:
    // `display` as for XOpenDisplay; empty for $DISPLAY.
    explicit X11KeystrokeSender(const QByteArray& display = {}, QObject* parent = nullptr);
    ~X11KeystrokeSender() override;

    Support support() const override;
    QString limitation() const override;
    PasteTarget focusedWindow() const override;
    bool exists(const PasteTarget& target) const override;
    void activate(const PasteTarget& target) override;
    bool modifiersHeld() const override;
    void send(PasteKeystroke keystroke) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
