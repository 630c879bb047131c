#include "platform/wayland/WlrKeystrokeSender.h"

#include "platform/wayland/WaylandConnection.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <QGuiApplication>
#include <QHash>
#include <QStringList>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <wayland-client.h>

namespace {

// The keys the virtual keyboard presses, as evdev codes (the keymap's keycodes less 8).
constexpr uint32_t keyLeftCtrl = 29;
constexpr uint32_t keyLeftShift = 42;
constexpr uint32_t keyV = 47;
// Masks of the real modifiers, whose indices are fixed in every XKB keymap.
constexpr uint32_t shiftMask = 1u << 0;
constexpr uint32_t controlMask = 1u << 2;

// Just the three keys the paste needs. It includes nothing, so it compiles the same wherever it lands:
// the compositor hands it to the focused client while our keyboard types.
constexpr char keymapText[] = R"(xkb_keymap {
xkb_keycodes "pellamor" {
    minimum = 8;
    maximum = 255;
    <LCTL> = 37;
    <LFSH> = 50;
    <AB04> = 55;
};
xkb_types "pellamor" {
    type "ONE_LEVEL" {
        modifiers = none;
        level_name[Level1] = "Any";
    };
    type "ALPHABETIC" {
        modifiers = Shift + Lock;
        map[Shift] = Level2;
        map[Lock] = Level2;
        level_name[Level1] = "Base";
        level_name[Level2] = "Caps";
    };
};
xkb_compatibility "pellamor" {
    interpret Control_L { action = SetMods(modifiers = Control); };
    interpret Shift_L { action = SetMods(modifiers = Shift); };
};
xkb_symbols "pellamor" {
    key <LCTL> { type = "ONE_LEVEL", [ Control_L ] };
    key <LFSH> { type = "ONE_LEVEL", [ Shift_L ] };
    key <AB04> { type = "ALPHABETIC", [ v, V ] };
    modifier_map Control { <LCTL> };
    modifier_map Shift { <LFSH> };
};
};
)";

// The keymap in a sealed memory file, as the protocol wants it (the size counts the closing NUL);
// -1 when the system refuses.
int keymapFile()
{
    const int fd = memfd_create("pellamor-keymap", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    size_t written = 0;
    while (written < sizeof keymapText) {
        const ssize_t n = ::write(fd, keymapText + written, sizeof keymapText - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        written += size_t(n);
    }
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return fd;
}

// Milliseconds on the monotonic clock: every request of one keyboard shares this clock.
uint32_t nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint32_t(quint64(now.tv_sec) * 1000 + quint64(now.tv_nsec) / 1000000);
}

const char* const keyboardManagerName = "zwp_virtual_keyboard_manager_v1";
const char* const toplevelManagerName = "zwlr_foreign_toplevel_manager_v1";

struct Toplevel
{
    quint64 number = 0;
    QString appId;
    bool activated = false;
    // When it was last activated, to tell the newest when several say they are.
    quint64 activatedAt = 0;
    // Set by app_id and state, applied by done.
    QString pendingAppId;
    bool pendingActivated = false;
};

struct Request
{
    enum Kind { Activate, Type } kind;
    quint64 handle = 0;
    PasteKeystroke keystroke = PasteKeystroke::CtrlV;
};

} // namespace

struct WlrKeystrokeSender::Impl
{
    WlrKeystrokeSender* q = nullptr;
    // Our windows' app_id: the desktop file's name on Wayland, the X11 class under XWayland.
    QStringList ownAppIds;

    WaylandConnection connection;
    zwp_virtual_keyboard_manager_v1* keyboardManager = nullptr;
    zwp_virtual_keyboard_v1* keyboard = nullptr;
    zwlr_foreign_toplevel_manager_v1* toplevelManager = nullptr;
    uint32_t seatName = 0;
    uint32_t keyboardManagerGlobal = 0;
    uint32_t toplevelManagerGlobal = 0;
    uint32_t toplevelManagerVersion = 0;

    Support support = Support::None;
    QString limitation;
    std::atomic<bool> lost{false};

    std::thread thread;
    std::atomic<bool> stopping{false};

    // The compositor thread's (the constructor's until that thread starts).
    std::map<zwlr_foreign_toplevel_handle_v1*, Toplevel> toplevels;
    quint64 nextNumber = 1;
    quint64 activations = 0;
    PasteTarget announced;
    bool announcing = false;

    // Shared with the main thread.
    mutable std::mutex lock;
    QHash<quint64, QString> windows;
    PasteTarget focused;
    std::vector<Request> requests;

    ~Impl() { close(); }

    bool open(const QByteArray& displayName);
    void close();
    void run();
    void serve();
    void publish();
    void typeKeystroke(PasteKeystroke keystroke);
    void loseConnection();

    static void announceGlobal(void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version);
    static void removeGlobal(void*, wl_registry*, uint32_t) {}
    static void toplevelCreated(void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle);
    static void managerFinished(void* data, zwlr_foreign_toplevel_manager_v1* manager);
    static void toplevelTitle(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
    static void toplevelAppId(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* appId);
    static void toplevelOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void toplevelState(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_array* states);
    static void toplevelDone(void* data, zwlr_foreign_toplevel_handle_v1* handle);
    static void toplevelClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle);
    static void toplevelParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}
};

void WlrKeystrokeSender::Impl::announceGlobal(void* data, wl_registry*, uint32_t name, const char* interface,
                                              uint32_t version)
{
    auto* self = static_cast<Impl*>(data);
    if (std::strcmp(interface, keyboardManagerName) == 0) {
        self->keyboardManagerGlobal = name;
    } else if (std::strcmp(interface, toplevelManagerName) == 0) {
        self->toplevelManagerGlobal = name;
        self->toplevelManagerVersion = version;
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seatName == 0) {
        self->seatName = name;
    }
}

void WlrKeystrokeSender::Impl::toplevelCreated(void* data, zwlr_foreign_toplevel_manager_v1*,
                                               zwlr_foreign_toplevel_handle_v1* handle)
{
    auto* self = static_cast<Impl*>(data);
    Toplevel toplevel;
    toplevel.number = self->nextNumber++;
    self->toplevels.emplace(handle, toplevel);
    static const zwlr_foreign_toplevel_handle_v1_listener listener{toplevelTitle,  toplevelAppId, toplevelOutput,
                                                                   toplevelOutput, toplevelState, toplevelDone,
                                                                   toplevelClosed, toplevelParent};
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &listener, self);
}

void WlrKeystrokeSender::Impl::managerFinished(void* data, zwlr_foreign_toplevel_manager_v1* manager)
{
    // The compositor no longer tells us about windows: as good as a lost connection.
    auto* self = static_cast<Impl*>(data);
    zwlr_foreign_toplevel_manager_v1_destroy(manager);
    self->toplevelManager = nullptr;
    self->lost = true;
}

void WlrKeystrokeSender::Impl::toplevelAppId(void* data, zwlr_foreign_toplevel_handle_v1* handle, const char* appId)
{
    auto* self = static_cast<Impl*>(data);
    if (const auto toplevel = self->toplevels.find(handle); toplevel != self->toplevels.end())
        toplevel->second.pendingAppId = QString::fromUtf8(appId ? appId : "");
}

void WlrKeystrokeSender::Impl::toplevelState(void* data, zwlr_foreign_toplevel_handle_v1* handle, wl_array* states)
{
    auto* self = static_cast<Impl*>(data);
    const auto toplevel = self->toplevels.find(handle);
    if (toplevel == self->toplevels.end())
        return;
    bool activated = false;
    const auto* state = static_cast<const uint32_t*>(states->data);
    for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i)
        activated = activated || state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
    toplevel->second.pendingActivated = activated;
}

void WlrKeystrokeSender::Impl::toplevelDone(void* data, zwlr_foreign_toplevel_handle_v1* handle)
{
    auto* self = static_cast<Impl*>(data);
    const auto found = self->toplevels.find(handle);
    if (found == self->toplevels.end())
        return;
    Toplevel& toplevel = found->second;
    toplevel.appId = toplevel.pendingAppId;
    if (toplevel.pendingActivated && !toplevel.activated)
        toplevel.activatedAt = ++self->activations;
    toplevel.activated = toplevel.pendingActivated;
    self->publish();
}

void WlrKeystrokeSender::Impl::toplevelClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle)
{
    auto* self = static_cast<Impl*>(data);
    self->toplevels.erase(handle);
    zwlr_foreign_toplevel_handle_v1_destroy(handle);
    self->publish();
}

void WlrKeystrokeSender::Impl::publish()
{
    QHash<quint64, QString> live;
    const Toplevel* newest = nullptr;
    for (const auto& [handle, toplevel] : toplevels) {
        live.insert(toplevel.number, toplevel.appId);
        if (toplevel.activated && (!newest || toplevel.activatedAt > newest->activatedAt))
            newest = &toplevel;
    }
    PasteTarget now;
    if (newest && !ownAppIds.contains(newest->appId, Qt::CaseInsensitive))
        now = {newest->number, newest->appId};
    {
        std::lock_guard guard(lock);
        windows = std::move(live);
        focused = now;
    }
    if (announcing && now != announced) {
        QMetaObject::invokeMethod(
            q, [sender = q, now] { Q_EMIT sender->focusChanged(now); }, Qt::QueuedConnection);
    }
    announced = now;
}

bool WlrKeystrokeSender::Impl::open(const QByteArray& displayName)
{
    if (!connection.connect(displayName)) {
        limitation = QStringLiteral("there is no Wayland compositor to connect to");
        return false;
    }
    static const wl_registry_listener registryListener{announceGlobal, removeGlobal};
    if (!connection.listGlobals(&registryListener, this)) {
        limitation = QStringLiteral("the Wayland compositor closed the connection");
        return false;
    }
    QStringList missing;
    if (keyboardManagerGlobal == 0)
        missing << QString::fromLatin1(keyboardManagerName);
    if (toplevelManagerGlobal == 0)
        missing << QString::fromLatin1(toplevelManagerName);
    if (seatName == 0)
        missing << QStringLiteral("seat");
    if (!missing.isEmpty()) {
        limitation = QStringLiteral("the compositor offers no %1").arg(missing.join(QStringLiteral(" and no ")));
        return false;
    }

    wl_registry* registry = connection.registry;
    connection.seat = static_cast<wl_seat*>(wl_registry_bind(registry, seatName, &wl_seat_interface, 1));
    keyboardManager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(registry, keyboardManagerGlobal, &zwp_virtual_keyboard_manager_v1_interface, 1));
    toplevelManager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        wl_registry_bind(registry, toplevelManagerGlobal, &zwlr_foreign_toplevel_manager_v1_interface,
                         std::min<uint32_t>(toplevelManagerVersion, 3)));
    static const zwlr_foreign_toplevel_manager_v1_listener managerListener{toplevelCreated, managerFinished};
    zwlr_foreign_toplevel_manager_v1_add_listener(toplevelManager, &managerListener, this);

    // One keyboard for the life of the connection: sway drops keys of keyboards made just before they type.
    keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboardManager, connection.seat);
    const int keymap = keymapFile();
    if (keymap < 0) {
        limitation =
            QStringLiteral("the keyboard map could not be written: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, keymap, sizeof keymapText);
    // The request holds its own copy of the descriptor.
    ::close(keymap);

    // Brings in every window with its state, and any refusal of the keyboard.
    if (wl_display_roundtrip(connection.display) < 0 || !toplevelManager) {
        limitation = QStringLiteral("the compositor refused a virtual keyboard or the window list");
        return false;
    }
    if (!connection.wakePipe.open()) {
        limitation = QStringLiteral("no pipe for the compositor thread");
        return false;
    }
    return true;
}

void WlrKeystrokeSender::Impl::close()
{
    for (const auto& [handle, toplevel] : toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
    toplevels.clear();
    destroyProxy(toplevelManager, zwlr_foreign_toplevel_manager_v1_destroy);
    destroyProxy(keyboard, zwp_virtual_keyboard_v1_destroy);
    destroyProxy(keyboardManager, zwp_virtual_keyboard_manager_v1_destroy);
    connection.close();
}

void WlrKeystrokeSender::Impl::typeKeystroke(PasteKeystroke keystroke)
{
    const bool shift = keystroke == PasteKeystroke::CtrlShiftV;
    const uint32_t mods = controlMask | (shift ? shiftMask : 0);
    // The keys and the modifier state both: some clients read one, some the other.
    zwp_virtual_keyboard_v1_key(keyboard, nowMs(), keyLeftCtrl, WL_KEYBOARD_KEY_STATE_PRESSED);
    if (shift)
        zwp_virtual_keyboard_v1_key(keyboard, nowMs(), keyLeftShift, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_modifiers(keyboard, mods, 0, 0, 0);
    zwp_virtual_keyboard_v1_key(keyboard, nowMs(), keyV, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_key(keyboard, nowMs(), keyV, WL_KEYBOARD_KEY_STATE_RELEASED);
    if (shift)
        zwp_virtual_keyboard_v1_key(keyboard, nowMs(), keyLeftShift, WL_KEYBOARD_KEY_STATE_RELEASED);
    zwp_virtual_keyboard_v1_key(keyboard, nowMs(), keyLeftCtrl, WL_KEYBOARD_KEY_STATE_RELEASED);
    zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
}

void WlrKeystrokeSender::Impl::serve()
{
    std::vector<Request> pending;
    {
        std::lock_guard guard(lock);
        pending.swap(requests);
    }
    for (const Request& request : pending) {
        if (request.kind == Request::Type) {
            typeKeystroke(request.keystroke);
            continue;
        }
        for (const auto& [handle, toplevel] : toplevels) {
            if (toplevel.number == request.handle) {
                zwlr_foreign_toplevel_handle_v1_activate(handle, connection.seat);
                break;
            }
        }
    }
}

void WlrKeystrokeSender::Impl::loseConnection()
{
    lost = true;
    for (const auto& [handle, toplevel] : toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
    toplevels.clear();
    publish();
}

void WlrKeystrokeSender::Impl::run()
{
    while (!stopping.load() && !lost.load()) {
        // The wait sends the requests first, so a keystroke never sits in the buffer.
        const WaylandConnection::Round round = connection.wait();
        if (round.broken)
            return loseConnection();
        if (round.woken)
            serve();
    }
    if (lost.load())
        loseConnection();
}

WlrKeystrokeSender::WlrKeystrokeSender(const QByteArray& displayName, QObject* parent)
    : KeystrokeSender(parent)
    , d(std::make_unique<Impl>())
{
    d->q = this;
    for (const QString& own : {QGuiApplication::desktopFileName(), QCoreApplication::applicationName()}) {
        if (!own.isEmpty())
            d->ownAppIds.append(own);
    }
    if (!d->open(displayName)) {
        d->close();
        return;
    }
    d->support = Support::Full;
    // From here on a change of the active window is news.
    d->announcing = true;
    d->thread = std::thread([this] { d->run(); });
}

WlrKeystrokeSender::~WlrKeystrokeSender()
{
    if (d->thread.joinable()) {
        d->stopping = true;
        d->connection.wakePipe.wake();
        d->thread.join();
    }
}

KeystrokeSender::Support WlrKeystrokeSender::support() const
{
    return d->lost.load() ? Support::None : d->support;
}

QString WlrKeystrokeSender::limitation() const
{
    if (d->support == Support::Full && d->lost.load())
        return QStringLiteral("the connection to the Wayland compositor was lost");
    return d->limitation;
}

PasteTarget WlrKeystrokeSender::focusedWindow() const
{
    std::lock_guard guard(d->lock);
    return d->focused;
}

bool WlrKeystrokeSender::exists(const PasteTarget& target) const
{
    std::lock_guard guard(d->lock);
    return target.isValid() && d->windows.contains(target.handle);
}

void WlrKeystrokeSender::activate(const PasteTarget& target)
{
    if (support() != Support::Full || !target.isValid())
        return;
    bool already = false;
    {
        std::lock_guard guard(d->lock);
        d->requests.push_back({Request::Activate, target.handle, PasteKeystroke::CtrlV});
        already = d->focused.handle == target.handle;
    }
    d->connection.wakePipe.wake();
    // The compositor says nothing when the window is active already; the caller waits for this signal.
    if (already) {
        const PasteTarget focused = focusedWindow();
        QMetaObject::invokeMethod(
            this, [this, focused] { Q_EMIT focusChanged(focused); }, Qt::QueuedConnection);
    }
}

bool WlrKeystrokeSender::modifiersHeld() const
{
    // The compositor tells a client the modifiers only while one of its surfaces has the keyboard focus,
    // and ours have none when this is asked. The caller waits for the target's focus before typing, and
    // the keystroke sets its own modifier state, which the seat uses in place of the user's.
    return false;
}

void WlrKeystrokeSender::send(PasteKeystroke keystroke)
{
    if (support() != Support::Full)
        return;
    {
        std::lock_guard guard(d->lock);
        d->requests.push_back({Request::Type, 0, keystroke});
    }
    d->connection.wakePipe.wake();
}
