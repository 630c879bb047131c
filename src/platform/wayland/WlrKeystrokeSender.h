#pragma once

#include "platform/wayland/WaylandKeystrokeSender.h"

#include <memory>

// Pastes on wlroots compositors (sway, Hyprland, river): zwlr_foreign_toplevel_manager_v1 tells which
// window is active and activates one again, and one zwp_virtual_keyboard_v1 types the keystroke.
class WlrKeystrokeSender : public WaylandKeystrokeSender
{
    Q_OBJECT

public:
    // Connects at once. displayName empty: WAYLAND_DISPLAY.
    explicit WlrKeystrokeSender(const QByteArray& displayName = {}, QObject* parent = nullptr);
    ~WlrKeystrokeSender() override;

protected:
    void announceGlobal(uint32_t name, const char* interface, uint32_t version) override;
    bool bindGlobals() override;
    void activateWindow(quint64 number) override;
    void typeKeystroke(PasteKeystroke keystroke) override;
    void forgetWindows() override;
    void destroyGlobals() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
