#include "platform/wayland/WaylandConnection.h"

#include <cerrno>
#include <wayland-client.h>

bool WaylandConnection::connect(const QByteArray& displayName)
{
    display = wl_display_connect(displayName.isEmpty() ? nullptr : displayName.constData());
    return display != nullptr;
}

bool WaylandConnection::listGlobals(const wl_registry_listener* listener, void* data)
{
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, listener, data);
    return wl_display_roundtrip(display) >= 0;
}

WaylandConnection::Round WaylandConnection::wait(const std::function<int(std::vector<pollfd>& watched)>& watch)
{
    Round round;
    while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0) {
            round.broken = true;
            return round;
        }
    }
    // The requests go out before the wait, so none sits in the buffer while the thread sleeps.
    bool flushPending = false;
    if (wl_display_flush(display) < 0) {
        if (errno != EAGAIN) {
            wl_display_cancel_read(display);
            round.broken = true;
            return round;
        }
        flushPending = true;
    }

    const int timeoutMs = watch ? watch(round.watched) : -1;
    std::vector<pollfd> fds{{wl_display_get_fd(display), short(POLLIN | (flushPending ? POLLOUT : 0)), 0},
                            {wakePipe.readEnd(), POLLIN, 0}};
    fds.insert(fds.end(), round.watched.begin(), round.watched.end());
    if (::poll(fds.data(), nfds_t(fds.size()), timeoutMs) < 0 && errno != EINTR) {
        wl_display_cancel_read(display);
        round.broken = true;
        return round;
    }
    round.waited = true;
    for (size_t i = 0; i < round.watched.size(); ++i)
        round.watched[i].revents = fds[i + 2].revents;

    if (fds[0].revents & POLLIN) {
        if (wl_display_read_events(display) < 0)
            round.broken = true;
    } else {
        wl_display_cancel_read(display);
    }
    if (fds[0].revents & (POLLERR | POLLHUP))
        round.broken = true;
    if (!round.broken && wl_display_dispatch_pending(display) < 0)
        round.broken = true;
    if (fds[1].revents & POLLIN) {
        wakePipe.drain();
        round.woken = true;
    }
    return round;
}

void WaylandConnection::close()
{
    destroyProxy(seat, wl_seat_destroy);
    destroyProxy(registry, wl_registry_destroy);
    if (display) {
        wl_display_flush(display);
        wl_display_disconnect(display);
    }
    display = nullptr;
    wakePipe.close();
}
