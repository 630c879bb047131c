#pragma once

#include "platform/WakePipe.h"

#include <QByteArray>

#include <functional>
#include <poll.h>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_registry_listener;
struct wl_seat;

// Destroys an object of the connection, if there is one, and forgets it.
template<typename Proxy>
void destroyProxy(Proxy*& proxy, void (*destroy)(Proxy*))
{
    if (proxy)
        destroy(proxy);
    proxy = nullptr;
}

// A client's connection to the compositor, served by one thread that waits in wait() and that other
// threads wake through wakePipe. The owner destroys its own objects before close(), which ends the seat,
// the registry and the connection, in that order.
struct WaylandConnection
{
    // What one wait brought.
    struct Round
    {
        // The connection is gone; nothing more is read from it.
        bool broken = false;
        // The wait took place, so the revents of watched are filled in.
        bool waited = false;
        // Another thread asked for the serving thread; the pipe is drained already.
        bool woken = false;
        // The other descriptors waited for.
        std::vector<pollfd> watched;
    };

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    WakePipe wakePipe;

    WaylandConnection() = default;
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;
    ~WaylandConnection() { close(); }

    // An empty name means the session's compositor (WAYLAND_DISPLAY).
    bool connect(const QByteArray& displayName);
    // Lists the globals to the listener and waits until the compositor has announced them all.
    bool listGlobals(const wl_registry_listener* listener, void* data);
    // Sends what is queued, then waits for the compositor, the wake pipe or the descriptors `watch` adds,
    // and dispatches the events that came in. `watch` is asked once the events already queued are
    // dispatched, since they may start more work; it returns how long to wait in ms (-1: for good).
    Round wait(const std::function<int(std::vector<pollfd>& watched)>& watch = {});
    void close();
};
