#include "platform/x11/X11GlobalShortcut.h"

#include "platform/KeySymbols.h"
#include "platform/WakePipe.h"

#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace {

struct FreeDeleter
{
    void operator()(void* p) const { std::free(p); }
};
template<typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

constexpr quint32 numLockKeysym = 0xff7f;
constexpr quint32 altKeysyms[] = {0xffe9, 0xffea};   // Alt_L, Alt_R
constexpr quint32 superKeysyms[] = {0xffeb, 0xffec}; // Super_L, Super_R
constexpr uint8_t badAccess = 10;

// What the thread is asked to do next.
struct Request
{
    std::optional<QKeyCombination> combination; // empty: unbind
    quint64 generation = 0;
};

} // namespace

struct X11GlobalShortcut::Impl
{
    X11GlobalShortcut* owner = nullptr;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_NONE;
    WakePipe wakePipe;
    std::thread thread;
    std::atomic<bool> stopping{false};

    std::mutex mutex;
    std::optional<Request> request; // guarded by mutex
    // The latest request's number: answers to older ones are dropped (user-interface thread only).
    quint64 latest = 0;
    quint64 answering = 0; // thread side

    // Thread side.
    std::optional<QKeyCombination> wanted;
    std::vector<xcb_keycode_t> grabbedCodes;
    uint16_t grabbedModifiers = 0;
    xcb_timestamp_t lastRelease = 0;
    xcb_keycode_t lastReleaseCode = 0;
    // Keyboard mapping.
    xcb_keycode_t minCode = 0;
    xcb_keycode_t maxCode = 0;
    int symsPerCode = 0;
    std::vector<xcb_keysym_t> keysyms;
    uint16_t numLockMask = 0;
    uint16_t altMask = XCB_MOD_MASK_1;
    uint16_t superMask = XCB_MOD_MASK_4;

    bool open(const QByteArray& display);
    void close();
    void run();
    void wake();
    void report(Status status);
    void loadMapping();
    std::vector<xcb_keycode_t> codesFor(quint32 keysym) const;
    uint16_t maskOf(std::initializer_list<quint32> syms, const xcb_get_modifier_mapping_reply_t* reply) const;
    void ungrab();
    void grab();
    void handle(xcb_generic_event_t* event);
};

bool X11GlobalShortcut::Impl::open(const QByteArray& display)
{
    int screenNumber = 0;
    connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    if (xcb_connection_has_error(connection))
        return false;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem)
        return false;
    root = screens.data->root;
    if (!wakePipe.open())
        return false;
    return true;
}

void X11GlobalShortcut::Impl::close()
{
    if (connection)
        xcb_disconnect(connection);
    connection = nullptr;
    wakePipe.close();
}

void X11GlobalShortcut::Impl::wake()
{
    wakePipe.wake();
}

void X11GlobalShortcut::Impl::report(Status status)
{
    QMetaObject::invokeMethod(
        owner,
        [target = QPointer<X11GlobalShortcut>(owner), status, generation = answering] {
            if (target && target->d->latest == generation)
                target->setStatus(status);
        },
        Qt::QueuedConnection);
}

uint16_t X11GlobalShortcut::Impl::maskOf(std::initializer_list<quint32> syms,
                                         const xcb_get_modifier_mapping_reply_t* reply) const
{
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    for (quint32 sym : syms) {
        for (xcb_keycode_t code : codesFor(sym)) {
            for (int modifier = 0; modifier < 8; ++modifier) {
                for (int i = 0; i < perModifier; ++i) {
                    if (codes[modifier * perModifier + i] == code)
                        return uint16_t(1u << modifier);
                }
            }
        }
    }
    return 0;
}

void X11GlobalShortcut::Impl::loadMapping()
{
    const xcb_setup_t* setup = xcb_get_setup(connection);
    minCode = setup->min_keycode;
    maxCode = setup->max_keycode;
    Owned<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, minCode, uint8_t(maxCode - minCode + 1)), nullptr));
    keysyms.clear();
    symsPerCode = 0;
    if (mapping) {
        symsPerCode = mapping->keysyms_per_keycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(mapping.get()));
    }
    Owned<xcb_get_modifier_mapping_reply_t> modifiers(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (modifiers) {
        numLockMask = maskOf({numLockKeysym}, modifiers.get());
        if (const uint16_t mask = maskOf({altKeysyms[0], altKeysyms[1]}, modifiers.get()))
            altMask = mask;
        if (const uint16_t mask = maskOf({superKeysyms[0], superKeysyms[1]}, modifiers.get()))
            superMask = mask;
    }
}

std::vector<xcb_keycode_t> X11GlobalShortcut::Impl::codesFor(quint32 keysym) const
{
    // Keys that give the symbol without a group or level switch first; any column after that.
    std::vector<xcb_keycode_t> codes;
    if (symsPerCode <= 0)
        return codes;
    const int columns[][2] = {{0, 2}, {2, symsPerCode}};
    for (const auto& range : columns) {
        for (size_t index = 0; index + size_t(symsPerCode) <= keysyms.size(); index += size_t(symsPerCode)) {
            for (int column = range[0]; column < std::min(range[1], symsPerCode); ++column) {
                if (keysyms[index + size_t(column)] == keysym) {
                    codes.push_back(xcb_keycode_t(minCode + index / size_t(symsPerCode)));
                    break;
                }
            }
        }
        if (!codes.empty())
            break;
    }
    return codes;
}

void X11GlobalShortcut::Impl::ungrab()
{
    const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, numLockMask, uint16_t(XCB_MOD_MASK_LOCK | numLockMask)};
    for (xcb_keycode_t code : grabbedCodes) {
        for (uint16_t lock : locks)
            xcb_ungrab_key(connection, code, root, uint16_t(grabbedModifiers | lock));
    }
    grabbedCodes.clear();
    // A round trip: the keys are free for other clients before anyone hears that they are.
    Owned<xcb_get_input_focus_reply_t> sync(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

void X11GlobalShortcut::Impl::grab()
{
    ungrab();
    if (!wanted) {
        report(Status::Unbound);
        return;
    }
    const quint32 keysym = keysymForKey(wanted->key());
    std::vector<xcb_keycode_t> codes = keysym ? codesFor(keysym) : std::vector<xcb_keycode_t>();
    if (codes.empty()) {
        report(Status::NoSuchKey);
        return;
    }
    const Qt::KeyboardModifiers qtModifiers = wanted->keyboardModifiers();
    uint16_t modifiers = 0;
    if (qtModifiers & Qt::ShiftModifier)
        modifiers |= XCB_MOD_MASK_SHIFT;
    if (qtModifiers & Qt::ControlModifier)
        modifiers |= XCB_MOD_MASK_CONTROL;
    if (qtModifiers & Qt::AltModifier)
        modifiers |= altMask;
    if (qtModifiers & Qt::MetaModifier)
        modifiers |= superMask;
    // Num Lock and Caps Lock change the reported state; the combination is meant whatever they are.
    std::vector<uint16_t> locks = {0, XCB_MOD_MASK_LOCK};
    if (numLockMask) {
        locks.push_back(numLockMask);
        locks.push_back(uint16_t(XCB_MOD_MASK_LOCK | numLockMask));
    }
    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_keycode_t code : codes) {
        for (uint16_t lock : locks)
            cookies.push_back(xcb_grab_key_checked(connection, 1, root, uint16_t(modifiers | lock), code,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    bool taken = false;
    bool failed = false;
    for (xcb_void_cookie_t cookie : cookies) {
        if (Owned<xcb_generic_error_t> error{xcb_request_check(connection, cookie)}) {
            if (error->error_code == badAccess)
                taken = true;
            else
                failed = true;
        }
    }
    grabbedCodes = codes;
    grabbedModifiers = modifiers;
    if (taken || failed) {
        // Half a grab is no binding: give back what we got.
        ungrab();
        report(taken ? Status::Taken : Status::Unsupported);
        return;
    }
    report(Status::Bound);
}

void X11GlobalShortcut::Impl::handle(xcb_generic_event_t* event)
{
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_KEY_PRESS) {
        const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (std::find(grabbedCodes.begin(), grabbedCodes.end(), press->detail) == grabbedCodes.end())
            return;
        // Holding the keys repeats them as release and press at the same moment: one toggle per press.
        if (press->detail == lastReleaseCode && press->time == lastRelease)
            return;
        QMetaObject::invokeMethod(
            owner,
            [target = QPointer<X11GlobalShortcut>(owner)] {
                if (target)
                    Q_EMIT target->activated();
            },
            Qt::QueuedConnection);
    } else if (type == XCB_KEY_RELEASE) {
        const auto* release = reinterpret_cast<const xcb_key_release_event_t*>(event);
        lastRelease = release->time;
        lastReleaseCode = release->detail;
    } else if (type == XCB_MAPPING_NOTIFY) {
        const auto* notify = reinterpret_cast<const xcb_mapping_notify_event_t*>(event);
        if (notify->request == XCB_MAPPING_POINTER)
            return;
        // The old codes were grabbed under the old mapping's modifiers.
        ungrab();
        loadMapping();
        if (wanted)
            grab();
    }
}

void X11GlobalShortcut::Impl::run()
{
    loadMapping();
    while (!stopping.load()) {
        std::optional<Request> next;
        {
            std::lock_guard lock(mutex);
            next.swap(request);
        }
        if (next) {
            wanted = next->combination;
            answering = next->generation;
            grab();
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            handle(event);
            std::free(event);
        }
        xcb_flush(connection);
        if (xcb_connection_has_error(connection)) {
            report(Status::Unsupported);
            return;
        }
        pollfd fds[2] = {{xcb_get_file_descriptor(connection), POLLIN, 0}, {wakePipe.readEnd(), POLLIN, 0}};
        ::poll(fds, 2, -1);
        if (fds[1].revents & POLLIN) {
            wakePipe.drain();
        }
    }
    ungrab();
}

X11GlobalShortcut::X11GlobalShortcut(const QByteArray& display, QObject* parent)
    : GlobalShortcut(parent)
    , d(std::make_unique<Impl>())
{
    d->owner = this;
    if (!d->open(display)) {
        d->close();
        return;
    }
    d->thread = std::thread([this] { d->run(); });
}

X11GlobalShortcut::~X11GlobalShortcut()
{
    if (d->thread.joinable()) {
        d->stopping = true;
        d->wake();
        d->thread.join();
    }
    d->close();
}

bool X11GlobalShortcut::isConnected() const
{
    return d->thread.joinable();
}

void X11GlobalShortcut::bind(QKeyCombination combination)
{
    if (!isConnected()) {
        setStatus(Status::Unsupported);
        return;
    }
    setStatus(Status::Pending);
    {
        std::lock_guard lock(d->mutex);
        d->request = Request{combination, ++d->latest};
    }
    d->wake();
}

void X11GlobalShortcut::unbind()
{
    if (!isConnected()) {
        setStatus(Status::Unbound);
        return;
    }
    {
        std::lock_guard lock(d->mutex);
        d->request = Request{std::nullopt, ++d->latest};
    }
    d->wake();
}
