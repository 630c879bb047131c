#pragma once

#include "platform/wayland/WaylandKeystrokeSender.h"

#include <memory>

// Pastes on KDE Plasma: org_kde_plasma_window_management tells which window is active and activates one
// again, and org_kde_kwin_fake_input types the keystroke. KWin offers both only to a program whose
// installed desktop file lists them in X-KDE-Wayland-Interfaces and names its executable.
class KdeKeystrokeSender : public WaylandKeystrokeSender
{
    Q_OBJECT

public:
    // Connects at once. displayName empty: WAYLAND_DISPLAY.
    explicit KdeKeystrokeSender(const QByteArray& displayName = {}, QObject* parent = nullptr);
    ~KdeKeystrokeSender() override;

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
