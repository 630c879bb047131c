#pragma once

#include "platform/GlobalShortcut.h"

// The shortcut as a passive key grab on the root window of an X server, made through an xcb connection
// and thread of its own, so neither grabbing nor key presses wait on the user-interface thread. Every
// Num Lock and Caps Lock state is grabbed too. A grab another client already holds (BadAccess) leaves
// the shortcut Taken; a change of the keyboard mapping grabs the combination again.
class X11GlobalShortcut : public GlobalShortcut
{
    Q_OBJECT

public:
    // `display` as for XOpenDisplay; empty for $DISPLAY.
    explicit X11GlobalShortcut(const QByteArray& display = {}, QObject* parent = nullptr);
    ~X11GlobalShortcut() override;

    // False when no X server could be reached; every binding then ends as Unsupported.
    bool isConnected() const;

    void bind(QKeyCombination combination) override;
    void unbind() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
