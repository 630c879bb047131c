#include "platform/x11/WindowEffects.h"

#include <QGuiApplication>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

// Our connection to the X server; null off X11.
xcb_connection_t* x11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_connection_t* x11Connection(QWindow* window)
{
    return window ? x11Connection() : nullptr;
}

// A client message about `window` to the window manager, through the root window, as the window
// manager standard (EWMH) asks.
void askWindowManager(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t type,
                      std::initializer_list<uint32_t> data)
{
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    std::copy(data.begin(), data.end(), message.data.data32);
    xcb_send_event(connection, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
}

} // namespace

namespace WindowEffects {

void skipTaskbar(QWindow* window)
{
    xcb_connection_t* connection = x11Connection(window);
    if (!connection)
        return;
    const xcb_atom_t state = atom(connection, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    const xcb_atom_t skipPager = atom(connection, "_NET_WM_STATE_SKIP_PAGER");
    if (state == xcb_atom_t(XCB_ATOM_NONE) || skipTaskbar == xcb_atom_t(XCB_ATOM_NONE))
        return;
    const auto id = xcb_window_t(window->winId());
    // Without a window manager the property is the state; with one, only the request counts.
    const uint32_t states[] = {skipTaskbar, skipPager};
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32, 2, states);
    askWindowManager(connection, id, state, {1 /* add */, skipTaskbar, skipPager, 1 /* from an application */});
    xcb_flush(connection);
}

void takeFocus(QWindow* window)
{
    xcb_connection_t* connection = x11Connection(window);
    if (!connection)
        return;
    const xcb_atom_t active = atom(connection, "_NET_ACTIVE_WINDOW");
    const auto id = xcb_window_t(window->winId());
    if (active != xcb_atom_t(XCB_ATOM_NONE))
        askWindowManager(connection, id, active, {2 /* from a pager */, XCB_CURRENT_TIME});
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, id, XCB_CURRENT_TIME);
    xcb_flush(connection);
}

QWindow* keyboardFocusWindow()
{
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return nullptr;
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    const xcb_window_t focus = reply ? reply->focus : xcb_window_t(XCB_NONE);
    free(reply);
    if (focus == XCB_NONE)
        return nullptr;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible() && window->handle() && xcb_window_t(window->winId()) == focus)
            return window;
    }
    return nullptr;
}

bool compositingActive()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return true;
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return false;
    int screenNumber = 0;
    if (const char* display = std::getenv("DISPLAY")) {
        if (const char* dot = std::strrchr(display, '.'))
            screenNumber = std::atoi(dot + 1);
    }
    const std::string name = "_NET_WM_CM_S" + std::to_string(screenNumber);
    const xcb_atom_t selection = atom(connection, name.c_str());
    if (selection == xcb_atom_t(XCB_ATOM_NONE))
        return false;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    free(reply);
    return owned;
}

void requestBlurBehind(QWindow* window, int cornerRadius)
{
    xcb_connection_t* connection = x11Connection(window);
    if (!connection)
        return;
    const xcb_atom_t blurRegion = atom(connection, "_KDE_NET_WM_BLUR_BEHIND_REGION");
    if (blurRegion == xcb_atom_t(XCB_ATOM_NONE))
        return;
    // The region as rectangles (x, y, width, height), in device pixels, with the corners cut in steps.
    const qreal ratio = window->devicePixelRatio();
    const int width = int(window->width() * ratio);
    const int height = int(window->height() * ratio);
    const int radius = int(cornerRadius * ratio);
    std::vector<uint32_t> rectangles;
    for (int y = 0; y < radius; y += 2) {
        const int dy = radius - y;
        int inset = radius - int(std::sqrt(double(radius * radius - dy * dy)));
        rectangles.insert(rectangles.end(), {uint32_t(inset), uint32_t(y), uint32_t(width - 2 * inset), 2u});
        rectangles.insert(rectangles.end(),
                          {uint32_t(inset), uint32_t(height - y - 2), uint32_t(width - 2 * inset), 2u});
    }
    rectangles.insert(rectangles.end(),
                      {0u, uint32_t(radius), uint32_t(width), uint32_t(qMax(0, height - 2 * radius))});
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()), blurRegion, XCB_ATOM_CARDINAL,
                        32, uint32_t(rectangles.size()), rectangles.data());
    xcb_flush(connection);
}

} // namespace WindowEffects
