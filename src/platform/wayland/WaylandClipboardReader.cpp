#include "platform/wayland/WaylandClipboardReader.h"

#include "ext-data-control-v1-client-protocol.h"
#include "platform/wayland/WaylandConnection.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QHash>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>
#include <wayland-client.h>

namespace {

// What an unprivileged process may ask for by default (/proc/sys/fs/pipe-max-size).
constexpr int transferPipeBytes = 1024 * 1024;

using Clock = std::chrono::steady_clock;
using ClipboardReading::Outcome;

// Both data-control protocols have the same requests and events in the same order; only the interface
// names differ. One client speaks either through the interface tables below.
struct Interfaces
{
    const wl_interface* manager;
    const wl_interface* device;
    const wl_interface* source;
    const wl_interface* offer;
};
constexpr Interfaces extInterfaces{&ext_data_control_manager_v1_interface, &ext_data_control_device_v1_interface,
                                   &ext_data_control_source_v1_interface, &ext_data_control_offer_v1_interface};
constexpr Interfaces wlrInterfaces{&zwlr_data_control_manager_v1_interface, &zwlr_data_control_device_v1_interface,
                                   &zwlr_data_control_source_v1_interface, &zwlr_data_control_offer_v1_interface};

// Requests.
constexpr uint32_t managerCreateSource = EXT_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE;
constexpr uint32_t managerGetDevice = EXT_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE;
constexpr uint32_t managerDestroy = EXT_DATA_CONTROL_MANAGER_V1_DESTROY;
constexpr uint32_t deviceSetSelection = EXT_DATA_CONTROL_DEVICE_V1_SET_SELECTION;
constexpr uint32_t deviceDestroy = EXT_DATA_CONTROL_DEVICE_V1_DESTROY;
constexpr uint32_t sourceOffer = EXT_DATA_CONTROL_SOURCE_V1_OFFER;
constexpr uint32_t sourceDestroy = EXT_DATA_CONTROL_SOURCE_V1_DESTROY;
constexpr uint32_t offerReceive = EXT_DATA_CONTROL_OFFER_V1_RECEIVE;
constexpr uint32_t offerDestroy = EXT_DATA_CONTROL_OFFER_V1_DESTROY;
static_assert(managerCreateSource == ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE &&
              managerGetDevice == ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE &&
              managerDestroy == ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY &&
              deviceSetSelection == ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION &&
              deviceDestroy == ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY &&
              sourceOffer == ZWLR_DATA_CONTROL_SOURCE_V1_OFFER &&
              sourceDestroy == ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY &&
              offerReceive == ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE && offerDestroy == ZWLR_DATA_CONTROL_OFFER_V1_DESTROY);

// Events, in the order both protocols declare them.
enum DeviceEvent : uint32_t { DataOffer = 0, Selection = 1, Finished = 2, PrimarySelection = 3 };
enum SourceEvent : uint32_t { Send = 0, Cancelled = 1 };
enum OfferEvent : uint32_t { OfferType = 0 };

const char* const extManagerName = "ext_data_control_manager_v1";
const char* const wlrManagerName = "zwlr_data_control_manager_v1";

// What the registry announced.
struct Globals
{
    uint32_t ext = 0;
    uint32_t wlr = 0;
    uint32_t seat = 0;
};

void announceGlobal(void* data, wl_registry*, uint32_t name, const char* interface, uint32_t)
{
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, extManagerName) == 0)
        globals->ext = name;
    else if (std::strcmp(interface, wlrManagerName) == 0)
        globals->wlr = name;
    else if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals->seat == 0)
        globals->seat = name;
}

void removeGlobal(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registryListener{announceGlobal, removeGlobal};

// A paste from us in progress: the bytes go out as fast as the other client takes them.
struct Transfer
{
    int fd = -1;
    QByteArray bytes;
    qsizetype written = 0;
    Clock::time_point deadline;
};

// One set of contents we published, alive until the compositor cancels it.
struct OwnSource
{
    ClipboardOffer offer;
    QHash<QString, QByteArray> sent;
};

} // namespace

struct WaylandClipboardReader::Impl
{
    QStringList markers;
    std::atomic<bool> ignoreSensitive{true};
    std::atomic<bool> paused{false};
    CaptureRulesSlot rules;
    // Set from the main thread while the reader runs: the lock is held while it is asked, so whatever it
    // refers to may go away once it is replaced.
    std::mutex identityLock;
    std::function<QString()> ownerIdentity;
    Sink sink;
    QByteArray displayName;
    int budgetMs = changeBudgetMs;

    Protocol protocol = Protocol::None;
    Interfaces interfaces{};
    WaylandConnection connection;
    wl_proxy* manager = nullptr;
    wl_proxy* device = nullptr;
    std::thread thread;
    std::atomic<bool> stopping{false};
    bool broken = false;

    // Offer objects the compositor introduced, with the types each offers.
    std::map<wl_proxy*, QList<QByteArray>> offers;
    wl_proxy* selection = nullptr;
    quint64 serial = 0;
    bool firstSelection = true;
    // The round trip after which no selection is the one found at the start.
    wl_callback* settled = nullptr;
    bool changePending = false;
    bool pendingInitial = false;

    std::map<wl_proxy*, OwnSource> sources;
    std::vector<Transfer> transfers;

    std::mutex publishLock;
    std::optional<ClipboardOffer> toPublish;

    ~Impl() { close(); }

    bool open();
    void close();
    void run();

    static int dispatchDevice(const void* data, void* target, uint32_t opcode, const wl_message*, wl_argument* args);
    static int dispatchOffer(const void* data, void* target, uint32_t opcode, const wl_message*, wl_argument* args);
    static int dispatchSource(const void* data, void* target, uint32_t opcode, const wl_message*, wl_argument* args);

    void forgetOffer(wl_proxy* offer);
    void takeSelection(wl_proxy* offer);
    void publishPending();
    void startTransfer(wl_proxy* source, const char* type, int fd);
    void serviceTransfers(const std::vector<pollfd>& fds, size_t first);
    // Waits once for anything to happen: compositor events, a publish request, room in a paste we
    // serve, or (when watch is not -1) input on watch. Returns whether watch is ready.
    bool pump(Clock::time_point deadline, int watch);
    Outcome receive(wl_proxy* offer, const QByteArray& type, qint64 limit, QByteArray& out, Clock::time_point deadline,
                    quint64 change);
    Outcome settle(Clock::time_point deadline, quint64 change);
    void readChange();
};

bool WaylandClipboardReader::Impl::open()
{
    Globals globals;
    if (!connection.connect(displayName) || !connection.listGlobals(&registryListener, &globals) || globals.seat == 0 ||
        (globals.ext == 0 && globals.wlr == 0))
        return false;

    protocol = globals.ext ? Protocol::Ext : Protocol::Wlr;
    interfaces = globals.ext ? extInterfaces : wlrInterfaces;
    // Version 1 of either: the primary selection is not watched.
    wl_registry* registry = connection.registry;
    manager = static_cast<wl_proxy*>(
        wl_registry_bind(registry, globals.ext ? globals.ext : globals.wlr, interfaces.manager, 1));
    wl_seat* seat = connection.seat =
        static_cast<wl_seat*>(wl_registry_bind(registry, globals.seat, &wl_seat_interface, 1));
    device = wl_proxy_marshal_flags(manager, managerGetDevice, interfaces.device, wl_proxy_get_version(manager), 0,
                                    nullptr, seat);
    if (!manager || !seat || !device)
        return false;
    wl_proxy_add_dispatcher(device, dispatchDevice, this, nullptr);
    // A new device hears the selection the compositor holds, but KWin says nothing when it holds none:
    // what comes after the answer to this round trip is a change, never the contents found at the start.
    settled = wl_display_sync(connection.display);
    static const wl_callback_listener settledListener{[](void* data, wl_callback* callback, uint32_t) {
        auto* self = static_cast<Impl*>(data);
        self->firstSelection = false;
        wl_callback_destroy(callback);
        self->settled = nullptr;
    }};
    wl_callback_add_listener(settled, &settledListener, this);

    if (!connection.wakePipe.open())
        return false;
    return wl_display_flush(connection.display) >= 0 || errno == EAGAIN;
}

void WaylandClipboardReader::Impl::close()
{
    for (Transfer& transfer : transfers)
        ::close(transfer.fd);
    transfers.clear();
    for (const auto& [source, own] : sources)
        wl_proxy_marshal_flags(source, sourceDestroy, nullptr, wl_proxy_get_version(source), WL_MARSHAL_FLAG_DESTROY);
    sources.clear();
    for (const auto& [offer, types] : offers)
        wl_proxy_marshal_flags(offer, offerDestroy, nullptr, wl_proxy_get_version(offer), WL_MARSHAL_FLAG_DESTROY);
    offers.clear();
    selection = nullptr;
    destroyProxy(settled, wl_callback_destroy);
    if (device)
        wl_proxy_marshal_flags(device, deviceDestroy, nullptr, wl_proxy_get_version(device), WL_MARSHAL_FLAG_DESTROY);
    if (manager)
        wl_proxy_marshal_flags(manager, managerDestroy, nullptr, wl_proxy_get_version(manager),
                               WL_MARSHAL_FLAG_DESTROY);
    device = manager = nullptr;
    connection.close();
}

int WaylandClipboardReader::Impl::dispatchDevice(const void* data, void* target, uint32_t opcode, const wl_message*,
                                                 wl_argument* args)
{
    auto* self = static_cast<Impl*>(const_cast<void*>(data));
    switch (opcode) {
    case DataOffer: {
        auto* offer = reinterpret_cast<wl_proxy*>(args[0].o);
        if (!offer)
            break;
        self->offers.emplace(offer, QList<QByteArray>());
        wl_proxy_add_dispatcher(offer, dispatchOffer, self, nullptr);
        break;
    }
    case Selection:
        self->takeSelection(reinterpret_cast<wl_proxy*>(args[0].o));
        break;
    case PrimarySelection:
        // Not watched; the offer is of no use to us.
        if (auto* offer = reinterpret_cast<wl_proxy*>(args[0].o); offer && offer != self->selection)
            self->forgetOffer(offer);
        break;
    case Finished:
        // The seat went away: this device tells us nothing any more.
        wl_proxy_marshal_flags(static_cast<wl_proxy*>(target), deviceDestroy, nullptr,
                               wl_proxy_get_version(static_cast<wl_proxy*>(target)), WL_MARSHAL_FLAG_DESTROY);
        self->device = nullptr;
        break;
    default:
        break;
    }
    return 0;
}

int WaylandClipboardReader::Impl::dispatchOffer(const void* data, void* target, uint32_t opcode, const wl_message*,
                                                wl_argument* args)
{
    auto* self = static_cast<Impl*>(const_cast<void*>(data));
    if (opcode != OfferType || !args[0].s)
        return 0;
    const auto offer = self->offers.find(static_cast<wl_proxy*>(target));
    if (offer != self->offers.end())
        offer->second.append(QByteArray(args[0].s));
    return 0;
}

int WaylandClipboardReader::Impl::dispatchSource(const void* data, void* target, uint32_t opcode, const wl_message*,
                                                 wl_argument* args)
{
    auto* self = static_cast<Impl*>(const_cast<void*>(data));
    auto* source = static_cast<wl_proxy*>(target);
    if (opcode == Send) {
        self->startTransfer(source, args[0].s, args[1].h);
    } else if (opcode == Cancelled) {
        // Someone else's contents replaced ours; pastes already under way still finish.
        self->sources.erase(source);
        wl_proxy_marshal_flags(source, sourceDestroy, nullptr, wl_proxy_get_version(source), WL_MARSHAL_FLAG_DESTROY);
    }
    return 0;
}

void WaylandClipboardReader::Impl::forgetOffer(wl_proxy* offer)
{
    if (offers.erase(offer) == 0)
        return;
    wl_proxy_marshal_flags(offer, offerDestroy, nullptr, wl_proxy_get_version(offer), WL_MARSHAL_FLAG_DESTROY);
}

void WaylandClipboardReader::Impl::takeSelection(wl_proxy* offer)
{
    if (selection && selection != offer)
        forgetOffer(selection);
    selection = offer;
    ++serial;
    const bool initial = firstSelection;
    firstSelection = false;
    const auto types = offer ? offers.find(offer) : offers.end();
    if (types != offers.end() && types->second.contains(QByteArray(ownMarkerType))) {
        // Our own contents came back. Always reported, even when another change follows at once: the
        // pasteboard waits for it after a write.
        changePending = false;
        ClipboardSnapshot snapshot;
        snapshot.serial = serial;
        snapshot.ownedByUs = true;
        sink(std::move(snapshot));
        return;
    }
    changePending = true;
    pendingInitial = initial;
}

void WaylandClipboardReader::Impl::publishPending()
{
    std::optional<ClipboardOffer> next;
    {
        std::lock_guard lock(publishLock);
        next.swap(toPublish);
    }
    if (!next || !device)
        return;
    if (next->types.isEmpty()) {
        // Our current source, if any, is cancelled by this.
        wl_proxy_marshal_flags(device, deviceSetSelection, nullptr, wl_proxy_get_version(device), 0, nullptr);
        return;
    }
    wl_proxy* source = wl_proxy_marshal_flags(manager, managerCreateSource, interfaces.source,
                                              wl_proxy_get_version(manager), 0, nullptr);
    if (!source)
        return;
    wl_proxy_add_dispatcher(source, dispatchSource, this, nullptr);
    for (const QString& type : std::as_const(next->types))
        wl_proxy_marshal_flags(source, sourceOffer, nullptr, wl_proxy_get_version(source), 0,
                               type.toUtf8().constData());
    wl_proxy_marshal_flags(source, sourceOffer, nullptr, wl_proxy_get_version(source), 0, ownMarkerType);
    wl_proxy_marshal_flags(device, deviceSetSelection, nullptr, wl_proxy_get_version(device), 0, source);
    sources.emplace(source, OwnSource{std::move(*next), {}});
}

void WaylandClipboardReader::Impl::startTransfer(wl_proxy* source, const char* type, int fd)
{
    const auto own = sources.find(source);
    if (own == sources.end() || !type) {
        ::close(fd);
        return;
    }
    const QString name = QString::fromUtf8(type);
    QByteArray bytes;
    if (own->second.offer.types.contains(name)) {
        auto sent = own->second.sent.find(name);
        if (sent == own->second.sent.end())
            sent =
                own->second.sent.insert(name, own->second.offer.bytes ? own->second.offer.bytes(name) : QByteArray());
        bytes = *sent;
    }
    if (bytes.isEmpty() || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        ::close(fd);
        return;
    }
    transfers.push_back({fd, std::move(bytes), 0, Clock::now() + std::chrono::milliseconds(sendBudgetMs)});
}

void WaylandClipboardReader::Impl::serviceTransfers(const std::vector<pollfd>& fds, size_t first)
{
    const Clock::time_point now = Clock::now();
    std::vector<Transfer> open;
    for (size_t i = 0; i < transfers.size(); ++i) {
        Transfer& transfer = transfers[i];
        bool done = now >= transfer.deadline;
        const size_t slot = first + i;
        if (!done && slot < fds.size() && fds[slot].fd == transfer.fd && fds[slot].revents != 0) {
            for (;;) {
                const ssize_t n = ::write(transfer.fd, transfer.bytes.constData() + transfer.written,
                                          size_t(transfer.bytes.size() - transfer.written));
                if (n > 0) {
                    transfer.written += n;
                    if (transfer.written == transfer.bytes.size()) {
                        done = true;
                        break;
                    }
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                // A full pipe waits for the next round; a reader that went away ends the paste.
                done = !(n < 0 && errno == EAGAIN);
                break;
            }
        }
        if (done)
            ::close(transfer.fd);
        else
            open.push_back(std::move(transfer));
    }
    transfers = std::move(open);
}

bool WaylandClipboardReader::Impl::pump(Clock::time_point deadline, int watch)
{
    const WaylandConnection::Round round = connection.wait([&](std::vector<pollfd>& fds) {
        fds.push_back({watch, POLLIN, 0});
        Clock::time_point until = deadline;
        for (const Transfer& transfer : transfers) {
            fds.push_back({transfer.fd, POLLOUT, 0});
            until = std::min(until, transfer.deadline);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        // No periodic wake-up: events, the wake pipe, a paste we serve or the deadline end the wait.
        return int(std::clamp<long long>(left + 1, 0, std::numeric_limits<int>::max()));
    });
    if (round.broken)
        broken = true;
    if (!round.waited)
        return false;
    if (round.woken)
        publishPending();
    // The transfers follow the watched descriptor.
    serviceTransfers(round.watched, 1);
    return watch >= 0 && round.watched[0].revents != 0;
}

Outcome WaylandClipboardReader::Impl::receive(wl_proxy* offer, const QByteArray& type, qint64 limit, QByteArray& out,
                                              Clock::time_point deadline, quint64 change)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return Outcome::Abandoned;
    // A default pipe holds 64 KiB, so 64 MiB would take a thousand rounds of the owner writing and this
    // thread waking, and on a busy machine every round waits for a processor: a larger pipe keeps large
    // values within the budget. Where the system refuses, the default serves.
    ::fcntl(ends[0], F_SETPIPE_SZ, transferPipeBytes);
    wl_proxy_marshal_flags(offer, offerReceive, nullptr, wl_proxy_get_version(offer), 0, type.constData(), ends[1]);
    // The compositor holds its own copy of the write end once the request is sent.
    wl_display_flush(connection.display);
    ::close(ends[1]);
    const int fd = ends[0];

    Outcome outcome = Outcome::Abandoned;
    char buffer[65536];
    for (;;) {
        const bool ready = pump(deadline, fd);
        if (stopping.load()) {
            outcome = Outcome::Stopping;
            break;
        }
        if (serial != change) {
            outcome = Outcome::Superseded;
            break;
        }
        if (broken)
            break;
        if (ready) {
            ssize_t n = 0;
            bool overBudget = false;
            while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
                if (out.size() + n > limit)
                    break;
                out.append(buffer, n);
                // An owner that keeps the pipe full is held to the budget too.
                if (Clock::now() >= deadline) {
                    overBudget = true;
                    break;
                }
            }
            if (overBudget)
                break;
            if (n > 0) {
                outcome = Outcome::TooLarge;
                break;
            }
            if (n == 0) {
                outcome = Outcome::Done;
                break;
            }
            if (errno != EAGAIN && errno != EINTR)
                break;
        }
        if (Clock::now() >= deadline)
            break;
    }
    ::close(fd);
    return outcome;
}

Outcome WaylandClipboardReader::Impl::settle(Clock::time_point deadline, quint64 change)
{
    // An owner that exits closes its end of the transfer before the compositor announces that its
    // contents are gone. A round trip brings any such announcement in before the snapshot is handed on.
    bool answered = false;
    wl_callback* callback = wl_display_sync(connection.display);
    static const wl_callback_listener listener{
        [](void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback_add_listener(callback, &listener, &answered);
    Outcome outcome = Outcome::Abandoned;
    while (!answered && !broken && !stopping.load() && serial == change && Clock::now() < deadline)
        pump(deadline, -1);
    if (stopping.load())
        outcome = Outcome::Stopping;
    else if (serial != change)
        outcome = Outcome::Superseded;
    else if (answered)
        outcome = Outcome::Done;
    wl_callback_destroy(callback);
    return outcome;
}

void WaylandClipboardReader::Impl::readChange()
{
    changePending = false;
    const quint64 change = serial;
    ClipboardSnapshot snapshot;
    snapshot.serial = change;
    snapshot.initial = pendingInitial;
    wl_proxy* offer = selection;
    if (!offer) {
        snapshot.ownerless = true;
        sink(std::move(snapshot));
        return;
    }
    if (paused.load()) {
        snapshot.withheld = true;
        sink(std::move(snapshot));
        return;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(budgetMs);
    const QList<QByteArray> offered = offers[offer];
    {
        std::lock_guard guard(identityLock);
        if (ownerIdentity)
            snapshot.owner = ownerIdentity();
    }
    const std::shared_ptr<const CaptureRules> changeRules = rules.get();
    Outcome outcome = ClipboardReading::readOffered(
        offered, markers, ignoreSensitive.load(),
        [&](const QByteArray& type, qint64 limit, QByteArray& out) {
            return receive(offer, type, limit, out, deadline, change);
        },
        snapshot, changeRules.get());
    if (outcome == Outcome::Done)
        outcome = settle(deadline, change);
    if (outcome == Outcome::Done) {
        sink(std::move(snapshot));
    } else if (outcome == Outcome::Abandoned) {
        ClipboardSnapshot abandoned;
        abandoned.serial = change;
        abandoned.abandoned = true;
        sink(std::move(abandoned));
    }
}

void WaylandClipboardReader::Impl::run()
{
    while (!stopping.load() && !broken) {
        if (changePending)
            readChange();
        else
            pump(Clock::now() + std::chrono::hours(1), -1);
    }
}

WaylandClipboardReader::Protocol WaylandClipboardReader::offeredProtocol(const QByteArray& displayName)
{
    WaylandConnection connection;
    if (!connection.connect(displayName))
        return Protocol::None;
    Globals globals;
    const bool answered = connection.listGlobals(&registryListener, &globals);
    connection.close();
    if (!answered || globals.seat == 0)
        return Protocol::None;
    return globals.ext ? Protocol::Ext : globals.wlr ? Protocol::Wlr : Protocol::None;
}

WaylandClipboardReader::WaylandClipboardReader(QStringList markers, Sink sink, QByteArray displayName, int budgetMs)
    : d(std::make_unique<Impl>())
{
    d->markers = std::move(markers);
    d->sink = std::move(sink);
    d->displayName = std::move(displayName);
    d->budgetMs = budgetMs;
}

WaylandClipboardReader::~WaylandClipboardReader()
{
    stop();
}

bool WaylandClipboardReader::start()
{
    if (d->thread.joinable())
        return true;
    if (!d->open()) {
        d->close();
        d->protocol = Protocol::None;
        return false;
    }
    // Writing to a client that closed its end of a paste must fail with EPIPE, not end the program.
    struct sigaction current = {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGPIPE, SIG_IGN);
    d->thread = std::thread([this] { d->run(); });
    return true;
}

void WaylandClipboardReader::stop()
{
    if (!d->thread.joinable())
        return;
    d->stopping = true;
    d->connection.wakePipe.wake();
    d->thread.join();
    d->close();
}

void WaylandClipboardReader::setIgnoreSensitive(bool on)
{
    d->ignoreSensitive = on;
}

void WaylandClipboardReader::setCaptureRules(std::shared_ptr<const CaptureRules> rules)
{
    d->rules.set(std::move(rules));
}

void WaylandClipboardReader::setOwnerIdentity(std::function<QString()> identity)
{
    std::lock_guard guard(d->identityLock);
    d->ownerIdentity = std::move(identity);
}

void WaylandClipboardReader::setPaused(bool on)
{
    d->paused = on;
}

WaylandClipboardReader::Protocol WaylandClipboardReader::protocol() const
{
    return d->protocol;
}

void WaylandClipboardReader::publish(ClipboardOffer offer)
{
    {
        std::lock_guard lock(d->publishLock);
        d->toPublish = std::move(offer);
    }
    d->connection.wakePipe.wake();
}
