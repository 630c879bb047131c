// A clipboard owner that misbehaves on purpose, for the reader tests:
//
//   x11_stubborn_owner silent        takes CLIPBOARD and never answers any request
//   x11_stubborn_owner dies-mid-incr answers TARGETS (image/png), starts a large INCR transfer of
//                                    image/png and exits after a few pieces
//   x11_stubborn_owner records TYPE=VALUE...
//                                    offers the given types with their values, answers every request,
//                                    and prints "request TYPE" for each one it receives (TARGETS included)
//
// Prints "ready" on standard output once it owns the clipboard, and exits when it loses it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace {

xcb_atom_t intern(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

// A timestamp of the server's clock, as ICCCM asks owners to use instead of CurrentTime.
xcb_timestamp_t serverTime(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property)
{
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, property, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(connection);
    for (;;) {
        xcb_generic_event_t* event = xcb_wait_for_event(connection);
        if (!event)
            std::exit(1);
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const xcb_timestamp_t time = reinterpret_cast<xcb_property_notify_event_t*>(event)->time;
            std::free(event);
            return time;
        }
        std::free(event);
    }
}

void notify(xcb_connection_t* connection, const xcb_selection_request_event_t& request, xcb_atom_t property)
{
    xcb_selection_notify_event_t answer{};
    answer.response_type = XCB_SELECTION_NOTIFY;
    answer.time = request.time;
    answer.requestor = request.requestor;
    answer.selection = request.selection;
    answer.target = request.target;
    answer.property = property;
    xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&answer));
    xcb_flush(connection);
}

} // namespace

int main(int argc, char** argv)
{
    const bool records = argc >= 2 && std::strcmp(argv[1], "records") == 0;
    if (!records &&
        (argc != 2 || (std::strcmp(argv[1], "silent") != 0 && std::strcmp(argv[1], "dies-mid-incr") != 0))) {
        std::fprintf(stderr, "usage: %s silent|dies-mid-incr|records TYPE=VALUE...\n", argv[0]);
        return 2;
    }
    const bool silent = std::strcmp(argv[1], "silent") == 0;

    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "cannot connect to the X server\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screens.data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screens.data->root_visual, XCB_CW_EVENT_MASK, &events);

    const xcb_atom_t clipboard = intern(connection, "CLIPBOARD");
    const xcb_atom_t targets = intern(connection, "TARGETS");
    const xcb_atom_t incr = intern(connection, "INCR");
    const xcb_atom_t png = intern(connection, "image/png");
    const xcb_atom_t stamp = intern(connection, "STUBBORN_OWNER_TIME");
    std::map<xcb_atom_t, std::string> values;
    std::vector<xcb_atom_t> recordedTargets = {targets};
    for (int i = 2; records && i < argc; ++i) {
        const char* equals = std::strchr(argv[i], '=');
        if (!equals)
            return 2;
        const xcb_atom_t type = intern(connection, std::string(argv[i], size_t(equals - argv[i])).c_str());
        values[type] = equals + 1;
        recordedTargets.push_back(type);
    }

    xcb_set_selection_owner(connection, window, clipboard, serverTime(connection, window, stamp));
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, clipboard), nullptr);
    if (!owner || owner->owner != window) {
        std::fprintf(stderr, "could not take the clipboard\n");
        return 1;
    }
    std::free(owner);
    std::printf("ready\n");
    std::fflush(stdout);

    // Pretends to hold 40 MB, but gives away only a few pieces before it goes.
    const std::vector<char> piece(256 * 1024, '\x5a');
    const uint32_t announced = 40u * 1024 * 1024;
    int piecesLeft = 3;
    xcb_window_t incrRequestor = XCB_NONE;
    xcb_atom_t incrProperty = XCB_NONE;

    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_SELECTION_CLEAR) {
            std::free(event);
            break;
        }
        if (type == XCB_SELECTION_REQUEST && records) {
            const auto request = *reinterpret_cast<xcb_selection_request_event_t*>(event);
            const xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
            xcb_get_atom_name_reply_t* name =
                xcb_get_atom_name_reply(connection, xcb_get_atom_name(connection, request.target), nullptr);
            if (name) {
                std::printf("request %.*s\n", xcb_get_atom_name_name_length(name), xcb_get_atom_name_name(name));
                std::fflush(stdout);
                std::free(name);
            }
            const auto value = values.find(request.target);
            if (request.target == targets) {
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32,
                                    uint32_t(recordedTargets.size()), recordedTargets.data());
                notify(connection, request, property);
            } else if (value != values.end()) {
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, request.target, 8,
                                    uint32_t(value->second.size()), value->second.data());
                notify(connection, request, property);
            } else {
                notify(connection, request, XCB_NONE);
            }
        } else if (type == XCB_SELECTION_REQUEST && !silent) {
            const auto request = *reinterpret_cast<xcb_selection_request_event_t*>(event);
            const xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
            if (request.target == targets) {
                const xcb_atom_t offered[] = {targets, png};
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32,
                                    2, offered);
                notify(connection, request, property);
            } else if (request.target == png && incrRequestor == XCB_NONE) {
                incrRequestor = request.requestor;
                incrProperty = property;
                const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
                xcb_change_window_attributes(connection, incrRequestor, XCB_CW_EVENT_MASK, &mask);
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, incrRequestor, incrProperty, incr, 32, 1,
                                    &announced);
                notify(connection, request, property);
            } else {
                notify(connection, request, XCB_NONE);
            }
        } else if (type == XCB_PROPERTY_NOTIFY && incrRequestor != XCB_NONE) {
            const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event);
            if (change->window == incrRequestor && change->atom == incrProperty &&
                change->state == XCB_PROPERTY_DELETE) {
                if (piecesLeft-- == 0) {
                    // Gone without a word, in the middle of the transfer.
                    std::free(event);
                    std::_Exit(0);
                }
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, incrRequestor, incrProperty, png, 8,
                                    uint32_t(piece.size()), piece.data());
                xcb_flush(connection);
            }
        }
        std::free(event);
    }
    xcb_disconnect(connection);
    return 0;
}
