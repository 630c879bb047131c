#pragma once

#include "platform/KeystrokeSender.h"

#include <QByteArray>

#include <memory>

// Pastes on wlroots compositors (sway, Hyprland, river): zwlr_foreign_toplevel_manager_v1 tells which
// window is active and activates one again, and one zwp_virtual_keyboard_v1 types the keystroke.
// It has a connection and a thread of its own, like WaylandClipboardReader: the compositor's events are
// read there and every request is sent from there, so the main thread never waits on the compositor
// after the constructor's first round trip.
class WlrKeystrokeSender : public KeystrokeSender
{
    Q_OBJECT

public:
    // Connects at once. displayName empty: WAYLAND_DISPLAY.
    explicit WlrKeystrokeSender(const QByteArray& displayName = {}, QObject* parent = nullptr);
    ~WlrKeystrokeSender() override;

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
