// A Wayland client that owns the clipboard through the data-control interface the way the tests need:
//
//   wayland_owner burst COUNT PREFIX               sets "PREFIX n" for n = 0, 0, 1, 1, ... (COUNT changes,
//                                                  each text twice in a row), in order, the next one each
//                                                  time a line arrives on standard input, then keeps the
//                                                  last one until someone else takes over
//   wayland_owner silent TEXT                      offers TEXT as text and never answers a request
//   wayland_owner dies TEXT                        answers the first request with half of TEXT, then exits
//   wayland_owner offers TYPE=VALUE...             offers each TYPE with its own VALUE
//
// It prints "ready" on standard output once its first offer has reached the compositor.
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>
#include <wayland-client.h>

namespace {

using Clock = std::chrono::steady_clock;

enum class Mode { Burst, Silent, Dies, Offers };

struct Owner
{
    Mode mode = Mode::Burst;
    // What each of our live offers holds.
    std::map<zwlr_data_control_source_v1*, std::string> texts;
    // The values by type, in offers mode.
    std::map<std::string, std::string> typed;
    zwlr_data_control_manager_v1* manager = nullptr;
    wl_seat* seat = nullptr;
    zwlr_data_control_device_v1* device = nullptr;
    zwlr_data_control_source_v1* current = nullptr;
    std::vector<int> heldOpen;
    bool replaced = false;
};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    auto* owner = static_cast<Owner*>(data);
    if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
        owner->manager = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
    else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !owner->seat)
        owner->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
}

void globalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registryListener{global, globalRemove};

void send(void* data, zwlr_data_control_source_v1* source, const char* type, int32_t fd)
{
    auto* owner = static_cast<Owner*>(data);
    const std::string& text = owner->mode == Mode::Offers ? owner->typed[type] : owner->texts[source];
    switch (owner->mode) {
    case Mode::Offers:
    case Mode::Burst:
        if (::write(fd, text.data(), text.size()) < 0)
            std::perror("write");
        ::close(fd);
        break;
    case Mode::Silent:
        owner->heldOpen.push_back(fd);
        break;
    case Mode::Dies:
        if (::write(fd, text.data(), text.size() / 2) < 0)
            std::perror("write");
        std::_Exit(0);
    }
}

void cancelled(void* data, zwlr_data_control_source_v1* source)
{
    auto* owner = static_cast<Owner*>(data);
    if (source == owner->current) {
        owner->current = nullptr;
        owner->replaced = true;
    }
    owner->texts.erase(source);
    zwlr_data_control_source_v1_destroy(source);
}

const zwlr_data_control_source_v1_listener sourceListener{send, cancelled};

void offer(Owner& owner, const std::string& text)
{
    zwlr_data_control_source_v1* source = zwlr_data_control_manager_v1_create_data_source(owner.manager);
    owner.texts[source] = text;
    zwlr_data_control_source_v1_add_listener(source, &sourceListener, &owner);
    if (owner.mode == Mode::Offers) {
        for (const auto& [type, value] : owner.typed)
            zwlr_data_control_source_v1_offer(source, type.c_str());
    } else {
        for (const char* type : {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING"})
            zwlr_data_control_source_v1_offer(source, type);
    }
    zwlr_data_control_device_v1_set_selection(owner.device, source);
    owner.current = source;
}

// Handles events until a line arrives on standard input.
bool serveUntilLine(wl_display* display)
{
    for (;;) {
        if (wl_display_dispatch_pending(display) < 0 || wl_display_flush(display) < 0)
            return false;
        pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents != 0) {
            char line[64];
            return std::fgets(line, sizeof line, stdin) != nullptr;
        }
        if (fds[0].revents != 0 && wl_display_dispatch(display) < 0)
            return false;
    }
}

// Handles events for up to `milliseconds`.
bool serve(wl_display* display, int milliseconds)
{
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (wl_display_dispatch_pending(display) < 0 || wl_display_flush(display) < 0)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0)
            return true;
        pollfd fd{wl_display_get_fd(display), POLLIN, 0};
        if (::poll(&fd, 1, int(left)) > 0 && wl_display_dispatch(display) < 0)
            return false;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s burst COUNT PREFIX | silent TEXT | dies TEXT | offers TYPE=VALUE...\n",
                     argv[0]);
        return 2;
    }
    Owner owner;
    const std::string mode = argv[1];
    owner.mode = mode == "burst"    ? Mode::Burst
                 : mode == "silent" ? Mode::Silent
                 : mode == "offers" ? Mode::Offers
                                    : Mode::Dies;
    for (int i = 2; owner.mode == Mode::Offers && i < argc; ++i) {
        const char* equals = std::strchr(argv[i], '=');
        if (!equals)
            return 2;
        owner.typed[std::string(argv[i], size_t(equals - argv[i]))] = equals + 1;
    }
    if (owner.mode == Mode::Burst && argc < 4)
        return 2;

    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no compositor\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &owner);
    wl_display_roundtrip(display);
    if (!owner.manager || !owner.seat) {
        std::fprintf(stderr, "the compositor offers no data-control\n");
        return 1;
    }
    owner.device = zwlr_data_control_manager_v1_get_data_device(owner.manager, owner.seat);

    if (owner.mode != Mode::Burst) {
        offer(owner, argv[2]);
        wl_display_roundtrip(display);
        std::puts("ready");
        std::fflush(stdout);
        while (!owner.replaced && serve(display, 1000)) {
        }
        return 0;
    }

    const int count = std::atoi(argv[2]);
    const std::string prefix = argv[3];
    for (int i = 0; i < count; ++i) {
        offer(owner, prefix + " " + std::to_string(i / 2));
        if (i == 0) {
            wl_display_roundtrip(display);
            std::puts("ready");
            std::fflush(stdout);
        }
        if (i + 1 < count && !serveUntilLine(display))
            return 1;
    }
    while (!owner.replaced && serve(display, 1000)) {
    }
    return 0;
}
