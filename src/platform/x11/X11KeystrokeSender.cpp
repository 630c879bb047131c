#include "platform/x11/X11KeystrokeSender.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QWindow>

#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

struct FreeDeleter
{
    void operator()(void* p) const { std::free(p); }
};
template<typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

constexpr xcb_keysym_t controlKeysym = 0xffe3; // Control_L
constexpr xcb_keysym_t shiftKeysym = 0xffe1;   // Shift_L
constexpr xcb_keysym_t vKeysym = 0x0076;       // v
constexpr uint16_t userModifiers = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

} // namespace

struct X11KeystrokeSender::Impl
{
    X11KeystrokeSender* owner = nullptr;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_atom_t activeWindowAtom = XCB_ATOM_NONE;
    xcb_atom_t pidAtom = XCB_ATOM_NONE;
    QString problem;
    std::unique_ptr<QSocketNotifier> notifier;
    bool drainPosted = false;
    // The newest time stamp the server gave us, for the focus request.
    xcb_timestamp_t lastTime = XCB_CURRENT_TIME;
    PasteTarget lastAnnounced;
    // Control_L, Shift_L and v, looked up at the first keystroke.
    std::vector<xcb_keycode_t> keycodes;

    xcb_atom_t atom(const char* name) const
    {
        Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    // The property's 32-bit values, none when it is absent or the window is gone.
    std::vector<uint32_t> cardinals(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const
    {
        Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, property, type, 0, 16), nullptr));
        if (!reply || reply->format != 32)
            return {};
        const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
        return std::vector<uint32_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
    }

    xcb_window_t activeWindow() const
    {
        const std::vector<uint32_t> values = cardinals(root, activeWindowAtom, XCB_ATOM_WINDOW);
        return values.empty() ? xcb_window_t(XCB_NONE) : values.front();
    }

    bool isOurs(xcb_window_t window) const
    {
        for (QWindow* ours : QGuiApplication::topLevelWindows()) {
            if (ours->handle() && xcb_window_t(ours->winId()) == window)
                return true;
        }
        const std::vector<uint32_t> pid = cardinals(window, pidAtom, XCB_ATOM_CARDINAL);
        return !pid.empty() && pid.front() == uint32_t(::getpid());
    }

    PasteTarget targetOf(xcb_window_t window) const
    {
        if (window == XCB_NONE || isOurs(window))
            return {};
        PasteTarget target;
        target.handle = window;
        // WM_CLASS holds the instance and then the class, each ended by a NUL.
        Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), nullptr));
        if (reply && reply->format == 8) {
            const QByteArray value(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                   xcb_get_property_value_length(reply.get()));
            const QList<QByteArray> parts = value.split('\0');
            target.appId = QString::fromLocal8Bit(parts.size() > 1 ? parts.at(1) : parts.value(0));
        }
        return target;
    }

    // Replies read on this thread may have brought events along, which the socket no longer announces.
    void drainLater()
    {
        if (drainPosted)
            return;
        drainPosted = true;
        QMetaObject::invokeMethod(
            owner, [this] { drain(); }, Qt::QueuedConnection);
    }

    void drain()
    {
        drainPosted = false;
        bool activeChanged = false;
        while (Owned<xcb_generic_event_t> event{xcb_poll_for_event(connection)}) {
            if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                continue;
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
            lastTime = notify->time;
            if (notify->window == root && notify->atom == activeWindowAtom)
                activeChanged = true;
        }
        if (activeChanged) {
            const PasteTarget focused = targetOf(activeWindow());
            // Reading the window's properties may have brought more events.
            drainLater();
            if (focused != lastAnnounced) {
                lastAnnounced = focused;
                Q_EMIT owner->focusChanged(focused);
            }
        }
    }

    xcb_keycode_t keycodeOf(xcb_keysym_t keysym, const xcb_get_keyboard_mapping_reply_t* mapping,
                            xcb_keycode_t first) const
    {
        const int perCode = mapping->keysyms_per_keycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping);
        const int count = xcb_get_keyboard_mapping_keysyms_length(mapping);
        // The unshifted place first, so no level needs a modifier the keystroke does not hold.
        for (int column = 0; column < perCode; ++column) {
            for (int i = column; i < count; i += perCode) {
                if (syms[i] == keysym)
                    return xcb_keycode_t(first + i / perCode);
            }
        }
        return 0;
    }

    void loadKeycodes()
    {
        const xcb_setup_t* setup = xcb_get_setup(connection);
        const xcb_keycode_t first = setup->min_keycode;
        Owned<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
            connection, xcb_get_keyboard_mapping(connection, first, uint8_t(setup->max_keycode - first + 1)), nullptr));
        if (!mapping)
            return;
        keycodes = {keycodeOf(controlKeysym, mapping.get(), first), keycodeOf(shiftKeysym, mapping.get(), first),
                    keycodeOf(vKeysym, mapping.get(), first)};
    }

    void fake(uint8_t type, xcb_keycode_t code)
    {
        xcb_test_fake_input(connection, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
};

X11KeystrokeSender::X11KeystrokeSender(const QByteArray& display, QObject* parent)
    : KeystrokeSender(parent)
    , d(std::make_unique<Impl>())
{
    d->owner = this;
    int screenNumber = 0;
    d->connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    if (xcb_connection_has_error(d->connection)) {
        d->problem = QStringLiteral("the X server could not be reached");
        return;
    }
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(d->connection, &xcb_test_id);
    if (!xtest || !xtest->present) {
        d->problem = QStringLiteral("the X server lacks the XTEST extension");
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(d->connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    d->root = screens.data->root;
    d->activeWindowAtom = d->atom("_NET_ACTIVE_WINDOW");
    d->pidAtom = d->atom("_NET_WM_PID");
    // Property changes on the root: the window manager announces the focused window there.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(d->connection, d->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(d->connection);
    d->lastAnnounced = d->targetOf(d->activeWindow());
    d->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(d->connection), QSocketNotifier::Read);
    connect(d->notifier.get(), &QSocketNotifier::activated, this, [this] { d->drain(); });
}

X11KeystrokeSender::~X11KeystrokeSender()
{
    d->notifier.reset();
    if (d->connection)
        xcb_disconnect(d->connection);
}

KeystrokeSender::Support X11KeystrokeSender::support() const
{
    if (!d->problem.isEmpty())
        return Support::None;
    // An X server of a Wayland session reaches the applications that run under it, not the others.
    return qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? Support::Full : Support::X11WindowsOnly;
}

QString X11KeystrokeSender::limitation() const
{
    switch (support()) {
    case Support::Full:
        return {};
    case Support::X11WindowsOnly:
        return QStringLiteral("only X11 windows can be pasted into from this Wayland session");
    case Support::None:
        break;
    }
    return d->problem;
}

PasteTarget X11KeystrokeSender::focusedWindow() const
{
    if (support() == Support::None)
        return {};
    const PasteTarget target = d->targetOf(d->activeWindow());
    d->drainLater();
    return target;
}

bool X11KeystrokeSender::exists(const PasteTarget& target) const
{
    if (support() == Support::None || !target.isValid())
        return false;
    Owned<xcb_get_window_attributes_reply_t> reply(xcb_get_window_attributes_reply(
        d->connection, xcb_get_window_attributes(d->connection, xcb_window_t(target.handle)), nullptr));
    d->drainLater();
    return reply != nullptr;
}

void X11KeystrokeSender::activate(const PasteTarget& target)
{
    if (support() == Support::None || !target.isValid())
        return;
    // As a pager asks (source 2): the window manager's focus-stealing rules are for applications.
    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(target.handle);
    message.type = d->activeWindowAtom;
    message.data.data32[0] = 2;
    message.data.data32[1] = d->lastTime;
    message.data.data32[2] = XCB_NONE;
    xcb_send_event(d->connection, 0, d->root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(d->connection);
}

bool X11KeystrokeSender::modifiersHeld() const
{
    if (support() == Support::None)
        return false;
    Owned<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(d->connection, xcb_query_pointer(d->connection, d->root), nullptr));
    d->drainLater();
    return reply && (reply->mask & userModifiers);
}

void X11KeystrokeSender::send(PasteKeystroke keystroke)
{
    if (support() == Support::None)
        return;
    if (d->keycodes.empty())
        d->loadKeycodes();
    if (d->keycodes.size() != 3 || !d->keycodes[0] || !d->keycodes[1] || !d->keycodes[2])
        return;
    // The keycodes are loaded in PasteKey's order.
    typePaste(keystroke, [this](PasteKey key, bool pressed) {
        d->fake(pressed ? XCB_KEY_PRESS : XCB_KEY_RELEASE, d->keycodes[std::size_t(key)]);
    });
    xcb_flush(d->connection);
}
