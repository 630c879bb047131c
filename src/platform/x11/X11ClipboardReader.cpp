#include "platform/x11/X11ClipboardReader.h"

#include "platform/WakePipe.h"

#include <QStringDecoder>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace {

using Clock = std::chrono::steady_clock;

// Property reads are split so that no single reply has to hold a whole 64 MiB value.
constexpr uint32_t propertyChunkLongs = 1024 * 1024;
// Conversions take turns over several properties: an owner we gave up on mid-INCR may still write into
// the property it was given, and must not land in the next conversion.
constexpr int propertyPoolSize = 16;

struct Change
{
    quint64 serial = 0;
    xcb_window_t owner = XCB_NONE;
    bool initial = false;
};

using ClipboardReading::Outcome;

struct FreeDeleter
{
    void operator()(void* pointer) const { std::free(pointer); }
};
template<typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

} // namespace

struct X11ClipboardReader::Impl
{
    QStringList markers;
    std::atomic<bool> ignoreSensitive{true};
    std::atomic<bool> paused{false};
    CaptureRulesSlot rules;
    quint32 ownIdBase = 0;
    quint32 ownIdMask = 0;
    Sink sink;

    xcb_connection_t* connection = nullptr;
    xcb_window_t window = XCB_NONE;
    xcb_window_t root = XCB_NONE;
    uint8_t xfixesFirstEvent = 0;
    WakePipe wakePipe;
    std::thread thread;
    std::atomic<bool> stopping{false};

    std::deque<Change> pending;
    quint64 nextSerial = 1;
    QHash<xcb_atom_t, QByteArray> names;
    QHash<QByteArray, xcb_atom_t> atoms;
    std::vector<xcb_atom_t> properties;
    size_t nextProperty = 0;

    xcb_atom_t clipboardAtom = XCB_NONE;
    xcb_atom_t targetsAtom = XCB_NONE;
    xcb_atom_t incrAtom = XCB_NONE;
    xcb_atom_t wmClassAtom = XCB_NONE;
    xcb_atom_t activeWindowAtom = XCB_NONE;

    ~Impl() { close(); }

    bool open();
    void close();
    void run();

    void internAll(const QList<QByteArray>& wanted);
    xcb_atom_t atom(const QByteArray& name) const { return atoms.value(name, XCB_NONE); }
    void learnNames(const std::vector<xcb_atom_t>& list);

    bool isOwn(xcb_window_t owner) const
    {
        return owner != XCB_NONE && ownIdMask != 0 && (owner & ~ownIdMask) == ownIdBase;
    }
    bool takeChangeEvent(xcb_generic_event_t* event);
    void drainEvents();
    Owned<xcb_generic_event_t> waitFor(Clock::time_point deadline,
                                       const std::function<bool(xcb_generic_event_t*)>& accept, Outcome& why);
    Outcome readProperty(xcb_atom_t property, QByteArray& out, xcb_atom_t& type, qint64 limit);
    Outcome convert(xcb_atom_t target, Clock::time_point deadline, qint64 limit, QByteArray& out, xcb_atom_t& type);
    Outcome readChange(xcb_window_t owner, ClipboardSnapshot& snapshot);
    QString applicationOf(xcb_window_t owner);
    std::optional<QString> windowClass(xcb_window_t window, bool requireMapped);
};

bool X11ClipboardReader::Impl::open()
{
    int screenNumber = 0;
    connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection))
        return false;

    xcb_prefetch_extension_data(connection, &xcb_xfixes_id);
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_xfixes_id);
    if (!extension || !extension->present)
        return false;
    xfixesFirstEvent = extension->first_event;
    // XFixes answers nothing until the client has said which version it speaks.
    Owned<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
        connection, xcb_xfixes_query_version(connection, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION), nullptr));
    if (!version || version->major_version < 1)
        return false;

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0)
        return false;
    const xcb_screen_t* screen = screens.data;
    root = screen->root;

    window = xcb_generate_id(connection);
    // Property changes tell us when the next piece of an INCR transfer has arrived.
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, XCB_CW_EVENT_MASK, &events);

    QList<QByteArray> wanted = {"CLIPBOARD",    "TARGETS",    "INCR",          "UTF8_STRING",
                                "STRING",       "text/plain", "text/uri-list", "text/plain;charset=utf-8",
                                "image/png",    "image/tiff", "MULTIPLE",      "TIMESTAMP",
                                "SAVE_TARGETS", "DELETE",     "WM_CLASS",      "_NET_ACTIVE_WINDOW"};
    for (int i = 0; i < propertyPoolSize; ++i)
        wanted.append("PELLAMOR_SELECTION_" + QByteArray::number(i));
    for (const QString& type : std::as_const(markers))
        wanted.append(type.toUtf8());
    internAll(wanted);
    clipboardAtom = atom("CLIPBOARD");
    targetsAtom = atom("TARGETS");
    incrAtom = atom("INCR");
    wmClassAtom = atom("WM_CLASS");
    activeWindowAtom = atom("_NET_ACTIVE_WINDOW");
    for (int i = 0; i < propertyPoolSize; ++i)
        properties.push_back(atom("PELLAMOR_SELECTION_" + QByteArray::number(i)));
    if (clipboardAtom == XCB_NONE || targetsAtom == XCB_NONE || incrAtom == XCB_NONE)
        return false;

    xcb_xfixes_select_selection_input(connection, window, clipboardAtom,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    // The contents already there when we start are described too, so that reads answer at once; they
    // are marked as not being a change.
    Owned<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, clipboardAtom), nullptr));
    if (!owner)
        return false;
    pending.push_back({nextSerial++, owner->owner, true});

    if (!wakePipe.open())
        return false;
    xcb_flush(connection);
    return !xcb_connection_has_error(connection);
}

void X11ClipboardReader::Impl::close()
{
    if (connection)
        xcb_disconnect(connection);
    connection = nullptr;
    wakePipe.close();
}

void X11ClipboardReader::Impl::internAll(const QList<QByteArray>& wanted)
{
    std::vector<xcb_intern_atom_cookie_t> cookies;
    cookies.reserve(wanted.size());
    for (const QByteArray& name : wanted)
        cookies.push_back(xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()));
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookies[size_t(i)], nullptr));
        if (!reply)
            continue;
        atoms.insert(wanted[i], reply->atom);
        names.insert(reply->atom, wanted[i]);
    }
}

void X11ClipboardReader::Impl::learnNames(const std::vector<xcb_atom_t>& list)
{
    // One round trip for all the unknown names instead of one per target.
    std::vector<std::pair<xcb_atom_t, xcb_get_atom_name_cookie_t>> cookies;
    for (xcb_atom_t target : list) {
        if (target != XCB_NONE && !names.contains(target))
            cookies.emplace_back(target, xcb_get_atom_name(connection, target));
    }
    for (const auto& [target, cookie] : cookies) {
        Owned<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(connection, cookie, nullptr));
        if (!reply)
            continue;
        const QByteArray name(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()));
        names.insert(target, name);
        atoms.insert(name, target);
    }
}

bool X11ClipboardReader::Impl::takeChangeEvent(xcb_generic_event_t* event)
{
    if ((event->response_type & 0x7f) != xfixesFirstEvent + XCB_XFIXES_SELECTION_NOTIFY)
        return false;
    const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
    if (notify->selection != clipboardAtom)
        return true;
    // After the owner's window or client is gone the clipboard is empty, whatever the event still names.
    const bool gone = notify->subtype != XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER;
    pending.push_back({nextSerial++, gone ? xcb_window_t(XCB_NONE) : notify->owner, false});
    return true;
}

void X11ClipboardReader::Impl::drainEvents()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        takeChangeEvent(event);
        std::free(event);
    }
}

Owned<xcb_generic_event_t> X11ClipboardReader::Impl::waitFor(Clock::time_point deadline,
                                                             const std::function<bool(xcb_generic_event_t*)>& accept,
                                                             Outcome& why)
{
    for (;;) {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(connection)) {
            Owned<xcb_generic_event_t> event(raw);
            if (takeChangeEvent(raw)) {
                why = Outcome::Superseded;
                return nullptr;
            }
            if (accept && accept(raw))
                return event;
        }
        if (stopping.load()) {
            why = Outcome::Stopping;
            return nullptr;
        }
        if (xcb_connection_has_error(connection)) {
            why = Outcome::Abandoned;
            return nullptr;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            why = Outcome::Abandoned;
            return nullptr;
        }
        // No periodic wake-up: the X connection or the wake pipe ends the wait, or the deadline does.
        pollfd fds[2] = {{xcb_get_file_descriptor(connection), POLLIN, 0}, {wakePipe.readEnd(), POLLIN, 0}};
        ::poll(fds, 2, int(std::min<long long>(left, std::numeric_limits<int>::max())));
    }
}

Outcome X11ClipboardReader::Impl::readProperty(xcb_atom_t property, QByteArray& out, xcb_atom_t& type, qint64 limit)
{
    uint32_t offset = 0;
    Outcome outcome = Outcome::Done;
    for (;;) {
        Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection,
            xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, offset, propertyChunkLongs),
            nullptr));
        if (!reply)
            return Outcome::Abandoned;
        type = reply->type;
        const int length = xcb_get_property_value_length(reply.get());
        if (out.size() + length > limit) {
            outcome = Outcome::TooLarge;
            break;
        }
        out.append(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
        offset += uint32_t(length) / 4;
        if (reply->bytes_after == 0)
            break;
    }
    // Deleting is also what asks an INCR owner for its next piece.
    if (outcome == Outcome::Done)
        xcb_delete_property(connection, window, property);
    xcb_flush(connection);
    return outcome;
}

Outcome X11ClipboardReader::Impl::convert(xcb_atom_t target, Clock::time_point deadline, qint64 limit, QByteArray& out,
                                          xcb_atom_t& type)
{
    out.clear();
    const xcb_atom_t property = properties[nextProperty];
    nextProperty = (nextProperty + 1) % properties.size();
    xcb_delete_property(connection, window, property);
    xcb_convert_selection(connection, window, clipboardAtom, target, property, XCB_CURRENT_TIME);
    xcb_flush(connection);

    Outcome why = Outcome::Done;
    Owned<xcb_generic_event_t> answer = waitFor(
        deadline,
        [&](xcb_generic_event_t* event) {
            if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
                return false;
            const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
            // A slow owner's late answer to an earlier conversion names another property of the pool.
            return notify->requestor == window && notify->selection == clipboardAtom && notify->target == target &&
                   (notify->property == property || notify->property == XCB_NONE);
        },
        why);
    if (!answer)
        return why;
    if (reinterpret_cast<const xcb_selection_notify_event_t*>(answer.get())->property == XCB_NONE)
        return Outcome::Refused;

    Outcome outcome = readProperty(property, out, type, limit);
    if (outcome != Outcome::Done || type != incrAtom)
        return outcome;

    // INCR: the property held a lower bound of the size; deleting it (done above) started the transfer,
    // and every new value of the property is the next piece until an empty one ends it.
    if (out.size() >= 4 && *reinterpret_cast<const quint32*>(out.constData()) > quint64(limit))
        return Outcome::TooLarge;
    out.clear();
    for (;;) {
        Owned<xcb_generic_event_t> piece = waitFor(
            deadline,
            [&](xcb_generic_event_t* event) {
                if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                    return false;
                const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
                return notify->window == window && notify->atom == property && notify->state == XCB_PROPERTY_NEW_VALUE;
            },
            why);
        if (!piece)
            return why;
        QByteArray chunk;
        outcome = readProperty(property, chunk, type, limit - out.size());
        if (outcome != Outcome::Done)
            return outcome;
        if (chunk.isEmpty())
            return Outcome::Done;
        out.append(chunk);
    }
}

std::optional<QString> X11ClipboardReader::Impl::windowClass(xcb_window_t target, bool requireMapped)
{
    if (target == XCB_NONE || wmClassAtom == XCB_NONE)
        return std::nullopt;
    // Both asked at once; a window destroyed meanwhile answers neither, which is no error here.
    const xcb_get_window_attributes_cookie_t attributesCookie = xcb_get_window_attributes(connection, target);
    const xcb_get_property_cookie_t classCookie =
        xcb_get_property(connection, 0, target, wmClassAtom, XCB_ATOM_STRING, 0, 256);
    Owned<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection, attributesCookie, nullptr));
    Owned<xcb_get_property_reply_t> property(xcb_get_property_reply(connection, classCookie, nullptr));
    if (!attributes || !property || property->format != 8)
        return std::nullopt;
    if (requireMapped && attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return std::nullopt;
    // "instance\0class\0": the class is the application's name.
    const QByteArray value(static_cast<const char*>(xcb_get_property_value(property.get())),
                           xcb_get_property_value_length(property.get()));
    const QList<QByteArray> parts = value.split('\0');
    if (parts.size() < 2 || parts[1].isEmpty())
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString name = decoder(parts[1]);
    if (decoder.hasError())
        return std::nullopt;
    return name;
}

QString X11ClipboardReader::Impl::applicationOf(xcb_window_t owner)
{
    if (const std::optional<QString> name = windowClass(owner, true))
        return *name;
    // A hidden window owns the clipboard: a helper such as xclip started from a terminal, or a toolkit's
    // own clipboard window. The application the user is in is the one the window manager calls active.
    if (activeWindowAtom == XCB_NONE)
        return {};
    Owned<xcb_get_property_reply_t> active(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, activeWindowAtom, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!active || active->format != 32 || xcb_get_property_value_length(active.get()) < 4)
        return {};
    const xcb_window_t activeWindow = *static_cast<const xcb_window_t*>(xcb_get_property_value(active.get()));
    return windowClass(activeWindow, false).value_or(QString());
}

Outcome X11ClipboardReader::Impl::readChange(xcb_window_t owner, ClipboardSnapshot& snapshot)
{
    if (paused.load()) {
        snapshot.withheld = true;
        return Outcome::Done;
    }
    const std::shared_ptr<const CaptureRules> changeRules = rules.get();
    if (changeRules && changeRules->excludesAny())
        snapshot.owner = applicationOf(owner);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(X11ClipboardReader::changeBudgetMs);
    QByteArray bytes;
    xcb_atom_t type = XCB_NONE;
    Outcome outcome = convert(targetsAtom, deadline, X11ClipboardReader::maxTypeBytes, bytes, type);
    if (outcome == Outcome::Refused || outcome == Outcome::TooLarge)
        return Outcome::Done; // an owner without a type list offers nothing we could read
    if (outcome != Outcome::Done)
        return outcome;

    std::vector<xcb_atom_t> offered(size_t(bytes.size()) / sizeof(xcb_atom_t));
    std::memcpy(offered.data(), bytes.constData(), offered.size() * sizeof(xcb_atom_t));
    learnNames(offered);
    const QList<QByteArray> meta = {"TARGETS", "MULTIPLE", "TIMESTAMP",         "SAVE_TARGETS",
                                    "DELETE",  "WM_CLASS", "_NET_ACTIVE_WINDOW"};
    QList<QByteArray> offeredNames;
    for (xcb_atom_t target : offered) {
        const QByteArray name = names.value(target);
        if (!name.isEmpty() && !meta.contains(name) && !offeredNames.contains(name))
            offeredNames.append(name);
    }
    return ClipboardReading::readOffered(
        offeredNames, markers, ignoreSensitive.load(),
        [&](const QByteArray& name, qint64 limit, QByteArray& out) {
            return convert(atom(name), deadline, limit, out, type);
        },
        snapshot, changeRules.get());
}

void X11ClipboardReader::Impl::run()
{
    while (!stopping.load()) {
        if (pending.empty()) {
            Outcome why = Outcome::Done;
            waitFor(Clock::now() + std::chrono::hours(1), {}, why);
            if (xcb_connection_has_error(connection))
                return;
            continue;
        }
        const Change change = pending.front();
        pending.pop_front();
        drainEvents();

        ClipboardSnapshot snapshot;
        snapshot.serial = change.serial;
        snapshot.initial = change.initial;
        if (isOwn(change.owner)) {
            // Always reported, even when superseded already: the pasteboard waits for it after a write.
            snapshot.ownedByUs = true;
            sink(std::move(snapshot));
            continue;
        }
        if (!pending.empty())
            continue;
        if (change.owner == XCB_NONE) {
            snapshot.ownerless = true;
            sink(std::move(snapshot));
            continue;
        }
        switch (readChange(change.owner, snapshot)) {
        case Outcome::Done:
            sink(std::move(snapshot));
            break;
        case Outcome::Abandoned: {
            ClipboardSnapshot abandoned;
            abandoned.serial = change.serial;
            abandoned.abandoned = true;
            sink(std::move(abandoned));
            break;
        }
        case Outcome::Superseded:
        case Outcome::Stopping:
        case Outcome::Refused:
        case Outcome::TooLarge:
            break;
        }
        if (xcb_connection_has_error(connection))
            return;
    }
}

X11ClipboardReader::X11ClipboardReader(QStringList markers, quint32 ownIdBase, quint32 ownIdMask, Sink sink)
    : d(std::make_unique<Impl>())
{
    d->markers = std::move(markers);
    d->ownIdBase = ownIdBase;
    d->ownIdMask = ownIdMask;
    d->sink = std::move(sink);
}

X11ClipboardReader::~X11ClipboardReader()
{
    stop();
}

bool X11ClipboardReader::start()
{
    if (d->thread.joinable())
        return true;
    if (!d->open()) {
        d->close();
        return false;
    }
    d->thread = std::thread([this] { d->run(); });
    return true;
}

void X11ClipboardReader::stop()
{
    if (!d->thread.joinable())
        return;
    d->stopping = true;
    d->wakePipe.wake();
    d->thread.join();
    d->close();
}

void X11ClipboardReader::setIgnoreSensitive(bool on)
{
    d->ignoreSensitive = on;
}

void X11ClipboardReader::setCaptureRules(std::shared_ptr<const CaptureRules> rules)
{
    d->rules.set(std::move(rules));
}

void X11ClipboardReader::setPaused(bool on)
{
    d->paused = on;
}
