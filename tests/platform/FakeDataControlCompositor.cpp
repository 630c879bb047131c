#include "FakeDataControlCompositor.h"

#include "ext-data-control-v1-server-protocol.h"
#include "wlr-data-control-unstable-v1-server-protocol.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <future>
#include <list>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <wayland-server.h>

// Both data-control protocols are the same protocol under two names, so one implementation serves both,
// with the events posted by opcode.
static_assert(EXT_DATA_CONTROL_DEVICE_V1_DATA_OFFER == ZWLR_DATA_CONTROL_DEVICE_V1_DATA_OFFER);
static_assert(EXT_DATA_CONTROL_DEVICE_V1_SELECTION == ZWLR_DATA_CONTROL_DEVICE_V1_SELECTION);
static_assert(EXT_DATA_CONTROL_DEVICE_V1_PRIMARY_SELECTION == ZWLR_DATA_CONTROL_DEVICE_V1_PRIMARY_SELECTION);
static_assert(EXT_DATA_CONTROL_SOURCE_V1_SEND == ZWLR_DATA_CONTROL_SOURCE_V1_SEND);
static_assert(EXT_DATA_CONTROL_SOURCE_V1_CANCELLED == ZWLR_DATA_CONTROL_SOURCE_V1_CANCELLED);
static_assert(EXT_DATA_CONTROL_OFFER_V1_OFFER == ZWLR_DATA_CONTROL_OFFER_V1_OFFER);
static_assert(int(EXT_DATA_CONTROL_DEVICE_V1_ERROR_USED_SOURCE) == int(ZWLR_DATA_CONTROL_DEVICE_V1_ERROR_USED_SOURCE));
static_assert(int(EXT_DATA_CONTROL_SOURCE_V1_ERROR_INVALID_OFFER) ==
              int(ZWLR_DATA_CONTROL_SOURCE_V1_ERROR_INVALID_OFFER));

using Behaviour = FakeDataControlCompositor::Behaviour;

Behaviour Behaviour::answer(QByteArray bytes)
{
    Behaviour behaviour;
    behaviour.bytes = std::move(bytes);
    return behaviour;
}

Behaviour Behaviour::slowly(QByteArray bytes, int pieces, int pauseMs)
{
    Behaviour behaviour = answer(std::move(bytes));
    behaviour.pieces = pieces;
    behaviour.pauseMs = pauseMs;
    return behaviour;
}

Behaviour Behaviour::never()
{
    Behaviour behaviour;
    behaviour.end = End::Hang;
    return behaviour;
}

Behaviour Behaviour::diesAfter(QByteArray partial)
{
    Behaviour behaviour = answer(std::move(partial));
    behaviour.end = End::OwnerDies;
    return behaviour;
}

Behaviour Behaviour::zeroes(qint64 count)
{
    Behaviour behaviour;
    behaviour.zeros = count;
    return behaviour;
}

struct FakeDataControlCompositor::Impl
{
    // The interfaces and request handlers of one of the two protocols.
    struct Family
    {
        const wl_interface* manager;
        const wl_interface* device;
        const wl_interface* source;
        const wl_interface* offer;
        const void* managerRequests;
        const void* deviceRequests;
        const void* sourceRequests;
        const void* offerRequests;
        // The device version that has primary_selection.
        int primarySince;
    };

    // What every resource of ours points to.
    struct Object
    {
        Impl* impl = nullptr;
        const Family* family = nullptr;
    };
    struct Source : Object
    {
        QList<QByteArray> types;
        // Given to set_selection once; it may neither be given again nor get more types.
        bool used = false;
    };
    struct Offer : Object
    {
        // The selection it describes; a receive on an offer of an older one is refused.
        quint64 selection = 0;
        bool primary = false;
    };

    // The other application writing one value into a pipe.
    struct Transfer
    {
        Impl* impl = nullptr;
        int fd = -1;
        Behaviour behaviour;
        quint64 selection = 0;
        qint64 total = 0;
        qint64 written = 0;
        int piece = 0;
        bool dying = false;
        wl_event_source* writable = nullptr;
        wl_event_source* timer = nullptr;
    };

    // Listeners come first, so that the callbacks can cast back without offsetof.
    struct ClientCreated
    {
        wl_listener listener;
        Impl* impl;
    };
    struct ClientWatch
    {
        wl_listener listener;
        Impl* impl;
    };

    struct Selection
    {
        Owner owner = Owner::Nobody;
        Contents foreign;
        wl_resource* source = nullptr;
        quint64 id = 0;
    };

    explicit Impl(Setup setup)
        : setup(setup)
    {}

    // ---- Running on the compositor thread --------------------------------------------------------------

    bool setUp()
    {
        display = wl_display_create();
        if (!display)
            return false;
        loop = wl_display_get_event_loop(display);

        wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd < 0)
            return false;
        wakeSource = wl_event_loop_add_fd(loop, wakeFd, WL_EVENT_READABLE, &Impl::onWake, this);

        clientCreated.listener.notify = &Impl::onClientCreated;
        clientCreated.impl = this;
        wl_display_add_client_created_listener(display, &clientCreated.listener);

        if (setup.seat)
            wl_global_create(display, &wl_seat_interface, 1, this, &Impl::bindSeat);
        extGlobal = {this, &extFamily()};
        wlrGlobal = {this, &wlrFamily()};
        if (setup.ext)
            wl_global_create(display, &ext_data_control_manager_v1_interface, 1, &extGlobal, &Impl::bindManager);
        if (setup.wlrVersion > 0)
            wl_global_create(display, &zwlr_data_control_manager_v1_interface, std::min(setup.wlrVersion, 2),
                             &wlrGlobal, &Impl::bindManager);

        if (!dir.isValid())
            return false;
        socketPath = QDir(dir.path()).filePath(QStringLiteral("wayland-fake")).toLocal8Bit();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(socketPath.size()) >= sizeof(address.sun_path))
            return false;
        std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 16) != 0 ||
            wl_display_add_socket_fd(display, fd) != 0) {
            close(fd);
            return false;
        }
        return true;
    }

    void tearDown()
    {
        while (!transfers.empty())
            finish(transfers.front().get());
        for (const int fd : hungFds)
            close(fd);
        hungFds.clear();
        for (const int fd : stalledPastes)
            close(fd);
        stalledPastes.clear();
        if (display)
            wl_display_destroy_clients(display);
        if (wakeSource)
            wl_event_source_remove(wakeSource);
        if (wakeFd >= 0)
            close(wakeFd);
        if (display) {
            wl_list_remove(&clientCreated.listener.link);
            wl_display_destroy(display);
        }
        display = nullptr;
    }

    static int onWake(int fd, uint32_t, void* data)
    {
        auto* impl = static_cast<Impl*>(data);
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(fd, &count, sizeof(count));
        std::deque<std::function<void()>> tasks;
        {
            std::lock_guard lock(impl->queueMutex);
            tasks.swap(impl->queue);
        }
        for (const auto& task : tasks)
            task();
        wl_display_flush_clients(impl->display);
        return 0;
    }

    static void onClientCreated(wl_listener* listener, void* data)
    {
        Impl* impl = reinterpret_cast<ClientCreated*>(listener)->impl;
        auto* watch = new ClientWatch{{}, impl};
        watch->listener.notify = &Impl::onClientDestroyed;
        wl_client_add_destroy_listener(static_cast<wl_client*>(data), &watch->listener);
        ++impl->counters.clients;
    }

    // Runs before the client's objects are destroyed: its devices get no more events from here on.
    static void onClientDestroyed(wl_listener* listener, void* data)
    {
        auto* watch = reinterpret_cast<ClientWatch*>(listener);
        Impl* impl = watch->impl;
        auto* client = static_cast<wl_client*>(data);
        std::erase_if(impl->devices,
                      [client](wl_resource* device) { return wl_resource_get_client(device) == client; });
        --impl->counters.clients;
        delete watch;
    }

    // -- wl_seat, with nothing behind it

    static void bindSeat(wl_client* client, void*, uint32_t version, uint32_t id)
    {
        static const struct wl_seat_interface requests = {&Impl::getPointer, &Impl::getKeyboard, &Impl::getTouch,
                                                          &Impl::destroyResource};
        wl_resource* seat = wl_resource_create(client, &wl_seat_interface, int(version), id);
        if (!seat) {
            wl_client_post_no_memory(client);
            return;
        }
        wl_resource_set_implementation(seat, &requests, nullptr, nullptr);
        wl_seat_send_capabilities(seat, 0);
    }

    static void getPointer(wl_client* client, wl_resource* seat, uint32_t id)
    {
        static const struct wl_pointer_interface requests = {&Impl::setCursor, &Impl::destroyResource};
        if (wl_resource* pointer = wl_resource_create(client, &wl_pointer_interface, wl_resource_get_version(seat), id))
            wl_resource_set_implementation(pointer, &requests, nullptr, nullptr);
    }

    static void setCursor(wl_client*, wl_resource*, uint32_t, wl_resource*, int32_t, int32_t) {}

    static void getKeyboard(wl_client* client, wl_resource* seat, uint32_t id)
    {
        static const struct wl_keyboard_interface requests = {&Impl::destroyResource};
        if (wl_resource* keyboard =
                wl_resource_create(client, &wl_keyboard_interface, wl_resource_get_version(seat), id))
            wl_resource_set_implementation(keyboard, &requests, nullptr, nullptr);
    }

    static void getTouch(wl_client* client, wl_resource* seat, uint32_t id)
    {
        static const struct wl_touch_interface requests = {&Impl::destroyResource};
        if (wl_resource* touch = wl_resource_create(client, &wl_touch_interface, wl_resource_get_version(seat), id))
            wl_resource_set_implementation(touch, &requests, nullptr, nullptr);
    }

    static void destroyResource(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }

    // -- The data-control objects

    static const Family& extFamily()
    {
        static const struct ext_data_control_manager_v1_interface manager = {
            &Impl::createDataSource, &Impl::getDataDevice, &Impl::destroyResource};
        static const struct ext_data_control_device_v1_interface device = {
            &Impl::setSelectionRequest, &Impl::destroyResource, &Impl::setPrimarySelectionRequest};
        static const struct ext_data_control_source_v1_interface source = {&Impl::offerRequest, &Impl::destroyResource};
        static const struct ext_data_control_offer_v1_interface offer = {&Impl::receiveRequest, &Impl::destroyResource};
        static const Family family = {&ext_data_control_manager_v1_interface,
                                      &ext_data_control_device_v1_interface,
                                      &ext_data_control_source_v1_interface,
                                      &ext_data_control_offer_v1_interface,
                                      &manager,
                                      &device,
                                      &source,
                                      &offer,
                                      EXT_DATA_CONTROL_DEVICE_V1_PRIMARY_SELECTION_SINCE_VERSION};
        return family;
    }

    static const Family& wlrFamily()
    {
        static const struct zwlr_data_control_manager_v1_interface manager = {
            &Impl::createDataSource, &Impl::getDataDevice, &Impl::destroyResource};
        static const struct zwlr_data_control_device_v1_interface device = {
            &Impl::setSelectionRequest, &Impl::destroyResource, &Impl::setPrimarySelectionRequest};
        static const struct zwlr_data_control_source_v1_interface source = {&Impl::offerRequest,
                                                                            &Impl::destroyResource};
        static const struct zwlr_data_control_offer_v1_interface offer = {&Impl::receiveRequest,
                                                                          &Impl::destroyResource};
        static const Family family = {&zwlr_data_control_manager_v1_interface,
                                      &zwlr_data_control_device_v1_interface,
                                      &zwlr_data_control_source_v1_interface,
                                      &zwlr_data_control_offer_v1_interface,
                                      &manager,
                                      &device,
                                      &source,
                                      &offer,
                                      ZWLR_DATA_CONTROL_DEVICE_V1_PRIMARY_SELECTION_SINCE_VERSION};
        return family;
    }

    static Object* objectOf(wl_resource* resource) { return static_cast<Object*>(wl_resource_get_user_data(resource)); }

    static void bindManager(wl_client* client, void* data, uint32_t version, uint32_t id)
    {
        auto* global = static_cast<Object*>(data);
        wl_resource* manager = wl_resource_create(client, global->family->manager, int(version), id);
        if (!manager) {
            wl_client_post_no_memory(client);
            return;
        }
        wl_resource_set_implementation(manager, global->family->managerRequests, global, nullptr);
        ++global->impl->counters.managersBound;
    }

    static void createDataSource(wl_client* client, wl_resource* manager, uint32_t id)
    {
        Object* global = objectOf(manager);
        wl_resource* resource =
            wl_resource_create(client, global->family->source, wl_resource_get_version(manager), id);
        if (!resource) {
            wl_client_post_no_memory(client);
            return;
        }
        auto* source = new Source;
        source->impl = global->impl;
        source->family = global->family;
        wl_resource_set_implementation(resource, global->family->sourceRequests, source, &Impl::sourceDestroyed);
        ++global->impl->counters.sources;
        ++global->impl->counters.sourcesCreated;
    }

    static void getDataDevice(wl_client* client, wl_resource* manager, uint32_t id, wl_resource*)
    {
        Object* global = objectOf(manager);
        Impl* impl = global->impl;
        wl_resource* device = wl_resource_create(client, global->family->device, wl_resource_get_version(manager), id);
        if (!device) {
            wl_client_post_no_memory(client);
            return;
        }
        wl_resource_set_implementation(device, global->family->deviceRequests, global, &Impl::deviceDestroyed);
        impl->devices.push_back(device);
        ++impl->counters.devices;
        // A new device learns the current selection at once, and then the primary one; KWin says nothing
        // of an empty clipboard.
        if (!(impl->silentWhenEmpty && impl->selection.owner == Owner::Nobody))
            impl->announceSelection(device);
        if (wl_resource_get_version(device) >= global->family->primarySince)
            impl->announcePrimary(device);
    }

    static void deviceDestroyed(wl_resource* device)
    {
        Impl* impl = objectOf(device)->impl;
        std::erase(impl->devices, device);
        --impl->counters.devices;
    }

    static void setSelectionRequest(wl_client*, wl_resource* device, wl_resource* sourceResource)
    {
        Impl* impl = objectOf(device)->impl;
        ++impl->counters.clientSelections;
        if (!sourceResource) {
            impl->replaceSelection({});
            return;
        }
        auto* source = static_cast<Source*>(objectOf(sourceResource));
        if (source->used) {
            wl_resource_post_error(device, EXT_DATA_CONTROL_DEVICE_V1_ERROR_USED_SOURCE, "source already used");
            return;
        }
        source->used = true;
        impl->replaceSelection({Owner::Client, {}, sourceResource, 0});
    }

    // The primary selection is not what anyone here watches; a source given to it is merely used up.
    static void setPrimarySelectionRequest(wl_client*, wl_resource* device, wl_resource* sourceResource)
    {
        if (!sourceResource)
            return;
        auto* source = static_cast<Source*>(objectOf(sourceResource));
        if (source->used)
            wl_resource_post_error(device, EXT_DATA_CONTROL_DEVICE_V1_ERROR_USED_SOURCE, "source already used");
        source->used = true;
    }

    static void offerRequest(wl_client*, wl_resource* resource, const char* mime)
    {
        auto* source = static_cast<Source*>(objectOf(resource));
        if (source->used) {
            wl_resource_post_error(resource, EXT_DATA_CONTROL_SOURCE_V1_ERROR_INVALID_OFFER,
                                   "offer after the source was set");
            return;
        }
        source->types.append(QByteArray(mime));
    }

    static void sourceDestroyed(wl_resource* resource)
    {
        auto* source = static_cast<Source*>(objectOf(resource));
        Impl* impl = source->impl;
        --impl->counters.sources;
        // Its selection goes with it.
        if (impl->selection.source == resource) {
            impl->selection.source = nullptr;
            impl->replaceSelection({});
        }
        delete source;
    }

    static void receiveRequest(wl_client*, wl_resource* resource, const char* mime, int32_t fd)
    {
        auto* offer = static_cast<Offer*>(objectOf(resource));
        Impl* impl = offer->impl;
        const QByteArray type(mime);
        impl->counters.received.append(type);
        const Selection& current = impl->selection;
        if (offer->primary || offer->selection != current.id || current.owner == Owner::Nobody) {
            close(fd);
            return;
        }
        if (current.owner == Owner::Client) {
            wl_resource_post_event(current.source, EXT_DATA_CONTROL_SOURCE_V1_SEND, mime, fd);
            close(fd);
            return;
        }
        for (const auto& [offered, behaviour] : current.foreign) {
            if (offered == type) {
                impl->startTransfer(fd, behaviour);
                return;
            }
        }
        close(fd);
    }

    static void offerDestroyed(wl_resource* resource)
    {
        auto* offer = static_cast<Offer*>(objectOf(resource));
        --offer->impl->counters.offers;
        delete offer;
    }

    // -- Selections

    QList<QByteArray> selectionTypes() const
    {
        if (selection.owner == Owner::Client)
            return static_cast<Source*>(objectOf(selection.source))->types;
        QList<QByteArray> types;
        for (const auto& entry : selection.foreign)
            types.append(entry.first);
        return types;
    }

    wl_resource* createOffer(wl_resource* device, quint64 selectionId, bool primary, const QList<QByteArray>& types)
    {
        Object* global = objectOf(device);
        wl_resource* resource = wl_resource_create(wl_resource_get_client(device), global->family->offer,
                                                   wl_resource_get_version(device), 0);
        if (!resource) {
            wl_resource_post_no_memory(device);
            return nullptr;
        }
        auto* offer = new Offer;
        offer->impl = this;
        offer->family = global->family;
        offer->selection = selectionId;
        offer->primary = primary;
        wl_resource_set_implementation(resource, global->family->offerRequests, offer, &Impl::offerDestroyed);
        ++counters.offers;
        wl_resource_post_event(device, EXT_DATA_CONTROL_DEVICE_V1_DATA_OFFER, resource);
        for (const QByteArray& type : types)
            wl_resource_post_event(resource, EXT_DATA_CONTROL_OFFER_V1_OFFER, type.constData());
        return resource;
    }

    void announceSelection(wl_resource* device)
    {
        wl_resource* offer = nullptr;
        if (selection.owner != Owner::Nobody) {
            offer = createOffer(device, selection.id, false, selectionTypes());
            if (!offer)
                return;
        }
        wl_resource_post_event(device, EXT_DATA_CONTROL_DEVICE_V1_SELECTION, offer);
    }

    void announcePrimary(wl_resource* device)
    {
        wl_resource* offer = nullptr;
        if (!primaryTypes.isEmpty()) {
            offer = createOffer(device, primaryId, true, primaryTypes);
            if (!offer)
                return;
        }
        wl_resource_post_event(device, EXT_DATA_CONTROL_DEVICE_V1_PRIMARY_SELECTION, offer);
    }

    void replaceSelection(Selection next)
    {
        if (selection.source && selection.source != next.source) {
            wl_resource_post_event(selection.source, EXT_DATA_CONTROL_SOURCE_V1_CANCELLED);
            ++counters.sourcesCancelled;
        }
        next.id = ++lastId;
        selection = std::move(next);
        for (wl_resource* device : std::vector(devices))
            announceSelection(device);
    }

    void replacePrimary(const QList<QByteArray>& types)
    {
        primaryTypes = types;
        primaryId = ++lastId;
        for (wl_resource* device : std::vector(devices)) {
            if (wl_resource_get_version(device) >= objectOf(device)->family->primarySince)
                announcePrimary(device);
        }
    }

    // -- The other application's transfers

    void startTransfer(int fd, const Behaviour& behaviour)
    {
        auto owned = std::make_unique<Transfer>();
        Transfer* transfer = owned.get();
        transfer->impl = this;
        transfer->fd = fd;
        transfer->behaviour = behaviour;
        transfer->behaviour.pieces = std::max(1, behaviour.pieces);
        transfer->selection = selection.id;
        transfer->total = behaviour.zeros >= 0 ? behaviour.zeros : behaviour.bytes.size();
        transfer->timer = wl_event_loop_add_timer(loop, &Impl::onTransferTimer, transfer);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        transfers.push_back(std::move(owned));
        pump(transfer);
    }

    static int onTransferWritable(int, uint32_t, void* data)
    {
        auto* transfer = static_cast<Transfer*>(data);
        transfer->impl->pump(transfer);
        return 0;
    }

    static int onTransferTimer(void* data)
    {
        auto* transfer = static_cast<Transfer*>(data);
        Impl* impl = transfer->impl;
        if (!transfer->dying) {
            impl->pump(transfer);
            return 0;
        }
        // The owner is gone. Its pipe closes first, as the kernel closes it; the compositor notices a
        // moment later and announces the selection empty before it handles anything else.
        const quint64 selectionId = transfer->selection;
        impl->finish(transfer);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        if (impl->selection.owner == Owner::Foreign && impl->selection.id == selectionId)
            impl->replaceSelection({});
        return 0;
    }

    static void arm(wl_event_source* timer, int ms) { wl_event_source_timer_update(timer, std::max(1, ms)); }

    void waitWritable(Transfer* transfer, bool wait)
    {
        if (!transfer->writable && wait)
            transfer->writable =
                wl_event_loop_add_fd(loop, transfer->fd, WL_EVENT_WRITABLE, &Impl::onTransferWritable, transfer);
        else if (transfer->writable)
            wl_event_source_fd_update(transfer->writable, wait ? WL_EVENT_WRITABLE : 0);
    }

    void pump(Transfer* transfer)
    {
        static const QByteArray zeroBlock(64 * 1024, '\0');
        const Behaviour& behaviour = transfer->behaviour;
        for (;;) {
            const qint64 pieceEnd = transfer->total * (transfer->piece + 1) / behaviour.pieces;
            while (transfer->written < pieceEnd) {
                const qint64 chunk = std::min<qint64>(pieceEnd - transfer->written, zeroBlock.size());
                const char* from =
                    behaviour.zeros >= 0 ? zeroBlock.constData() : behaviour.bytes.constData() + transfer->written;
                const ssize_t done = write(transfer->fd, from, size_t(chunk));
                if (done < 0 && errno == EINTR)
                    continue;
                if (done < 0 && errno == EAGAIN) {
                    waitWritable(transfer, true);
                    return;
                }
                if (done < 0) {
                    ++counters.transfersCutOff;
                    finish(transfer);
                    return;
                }
                transfer->written += done;
                counters.bytesWritten += done;
            }
            if (transfer->piece + 1 < behaviour.pieces) {
                ++transfer->piece;
                waitWritable(transfer, false);
                arm(transfer->timer, behaviour.pauseMs);
                return;
            }
            break;
        }
        waitWritable(transfer, false);
        switch (behaviour.end) {
        case Behaviour::End::Close:
            finish(transfer);
            break;
        case Behaviour::End::Hang:
            hungFds.push_back(transfer->fd);
            transfer->fd = -1;
            finish(transfer);
            break;
        case Behaviour::End::OwnerDies:
            // A moment for the reader to take in what was written.
            transfer->dying = true;
            arm(transfer->timer, 50);
            break;
        }
    }

    void finish(Transfer* transfer)
    {
        if (transfer->writable)
            wl_event_source_remove(transfer->writable);
        if (transfer->timer)
            wl_event_source_remove(transfer->timer);
        if (transfer->fd >= 0)
            close(transfer->fd);
        transfers.remove_if([transfer](const std::unique_ptr<Transfer>& owned) { return owned.get() == transfer; });
    }

    // ---- Any thread ------------------------------------------------------------------------------------

    // Runs task on the compositor thread and waits for it; does nothing once the thread is gone.
    void call(const std::function<void()>& task)
    {
        if (!running)
            return;
        if (std::this_thread::get_id() == thread.get_id()) {
            task();
            return;
        }
        std::promise<void> done;
        std::future<void> finished = done.get_future();
        {
            std::lock_guard lock(queueMutex);
            queue.push_back([&task, &done] {
                task();
                done.set_value();
            });
        }
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t put = write(wakeFd, &one, sizeof(one));
        finished.wait();
    }

    const Setup setup;
    QTemporaryDir dir;
    QByteArray socketPath;
    std::thread thread;
    bool running = false;

    std::mutex queueMutex;
    std::deque<std::function<void()>> queue;
    int wakeFd = -1;

    // Everything below belongs to the compositor thread.
    wl_display* display = nullptr;
    wl_event_loop* loop = nullptr;
    wl_event_source* wakeSource = nullptr;
    ClientCreated clientCreated{};
    Object extGlobal;
    Object wlrGlobal;
    std::vector<wl_resource*> devices;
    Selection selection;
    QList<QByteArray> primaryTypes;
    quint64 primaryId = 0;
    quint64 lastId = 0;
    std::list<std::unique_ptr<Transfer>> transfers;
    std::vector<int> hungFds;
    std::vector<int> stalledPastes;
    bool silentWhenEmpty = false;
    Counters counters;
};

FakeDataControlCompositor::FakeDataControlCompositor(Setup setup)
    : d(std::make_unique<Impl>(setup))
{
    // A reader that stops reading early closes its end of the pipe; writing into it must fail, not kill us.
    std::signal(SIGPIPE, SIG_IGN);

    std::promise<bool> ready;
    std::future<bool> started = ready.get_future();
    d->thread = std::thread([this, &ready] {
        const bool ok = d->setUp();
        ready.set_value(ok);
        if (ok)
            wl_display_run(d->display);
        d->tearDown();
    });
    d->running = started.get();
    if (!d->running)
        d->thread.join();
}

FakeDataControlCompositor::~FakeDataControlCompositor()
{
    if (!d->running)
        return;
    d->call([this] { wl_display_terminate(d->display); });
    d->thread.join();
    d->running = false;
}

bool FakeDataControlCompositor::isListening() const
{
    return d->running;
}

QByteArray FakeDataControlCompositor::displayName() const
{
    return d->socketPath;
}

void FakeDataControlCompositor::setSelection(const Contents& contents)
{
    d->call([&] { d->replaceSelection({Owner::Foreign, contents, nullptr, 0}); });
}

void FakeDataControlCompositor::clearSelection()
{
    d->call([&] { d->replaceSelection({}); });
}

void FakeDataControlCompositor::setPrimarySelection(const QList<QByteArray>& types)
{
    d->call([&] { d->replacePrimary(types); });
}

void FakeDataControlCompositor::setSilentWhenEmpty(bool silent)
{
    d->call([&] { d->silentWhenEmpty = silent; });
}

FakeDataControlCompositor::Owner FakeDataControlCompositor::selectionOwner() const
{
    Owner owner = Owner::Nobody;
    d->call([&] { owner = d->selection.owner; });
    return owner;
}

QList<QByteArray> FakeDataControlCompositor::clientOfferTypes() const
{
    QList<QByteArray> types;
    d->call([&] {
        if (d->selection.owner == Owner::Client)
            types = d->selectionTypes();
    });
    return types;
}

QByteArray FakeDataControlCompositor::pasteFromClient(const QByteArray& mime, int timeoutMs)
{
    int readEnd = -1;
    d->call([&] {
        if (d->selection.owner != Owner::Client)
            return;
        int ends[2];
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        wl_resource_post_event(d->selection.source, EXT_DATA_CONTROL_SOURCE_V1_SEND, mime.constData(), ends[1]);
        close(ends[1]);
        readEnd = ends[0];
    });
    if (readEnd < 0)
        return {};

    QByteArray bytes;
    const QDeadlineTimer deadline(timeoutMs);
    char buffer[64 * 1024];
    for (;;) {
        pollfd waiting = {readEnd, POLLIN, 0};
        const int ready = poll(&waiting, 1, int(std::max<qint64>(0, deadline.remainingTime())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            bytes.clear();
            break;
        }
        const ssize_t got = read(readEnd, buffer, sizeof(buffer));
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            break;
        bytes.append(buffer, got);
    }
    close(readEnd);
    return bytes;
}

bool FakeDataControlCompositor::startStalledPaste(const QByteArray& mime)
{
    bool started = false;
    d->call([&] {
        if (d->selection.owner != Owner::Client)
            return;
        int ends[2];
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        wl_resource_post_event(d->selection.source, EXT_DATA_CONTROL_SOURCE_V1_SEND, mime.constData(), ends[1]);
        close(ends[1]);
        d->stalledPastes.push_back(ends[0]);
        started = true;
    });
    return started;
}

int FakeDataControlCompositor::stalledPastesOpen() const
{
    int open = 0;
    d->call([&] {
        for (const int fd : d->stalledPastes) {
            // With its writer gone a pipe hangs up, however much is still unread in it.
            pollfd state = {fd, POLLIN, 0};
            if (poll(&state, 1, 0) >= 0 && !(state.revents & POLLHUP))
                ++open;
        }
    });
    return open;
}

void FakeDataControlCompositor::disconnectClients()
{
    d->call([&] { wl_display_destroy_clients(d->display); });
}

FakeDataControlCompositor::Counters FakeDataControlCompositor::counters() const
{
    Counters counters;
    d->call([&] { counters = d->counters; });
    return counters;
}
