#include "WindowEffects.h"

#include <QGuiApplication>
#include <QWindow>

#include <cmath>
#include <vector>
#include <xcb/xcb.h>

namespace WindowEffects {

void requestBlurBehind(QWindow* window, int cornerRadius)
{
    if (!window || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* connection = x11->connection();
    static constexpr char name[] = "_KDE_NET_WM_BLUR_BEHIND_REGION";
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, sizeof name - 1, name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (!reply)
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
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()), reply->atom,
                        XCB_ATOM_CARDINAL, 32, uint32_t(rectangles.size()), rectangles.data());
    xcb_flush(connection);
    free(reply);
}

} // namespace WindowEffects
