#include "platform/wayland/WlrKeystrokeSender.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

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

} // namespace

struct WlrKeystrokeSender::Impl
{
    WlrKeystrokeSender* q = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboardManager = nullptr;
    zwp_virtual_keyboard_v1* keyboard = nullptr;
    zwlr_foreign_toplevel_manager_v1* toplevelManager = nullptr;
    uint32_t seatName = 0;
    uint32_t keyboardManagerGlobal = 0;
    uint32_t toplevelManagerGlobal = 0;
    uint32_t toplevelManagerVersion = 0;

    std::map<zwlr_foreign_toplevel_handle_v1*, Toplevel> toplevels;
    quint64 nextNumber = 1;
    quint64 activations = 0;

    void publish();

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
    // The compositor no longer tells us about windows.
    auto* self = static_cast<Impl*>(data);
    zwlr_foreign_toplevel_manager_v1_destroy(manager);
    self->toplevelManager = nullptr;
    self->q->giveUp();
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
    std::vector<ListedWindow> listed;
    for (const auto& [handle, toplevel] : toplevels)
        listed.push_back({toplevel.number, toplevel.appId, toplevel.activated, toplevel.activatedAt});
    q->publish(listed);
}

WlrKeystrokeSender::WlrKeystrokeSender(const QByteArray& displayName, QObject* parent)
    : WaylandKeystrokeSender(parent)
    , d(std::make_unique<Impl>())
{
    d->q = this;
    start(displayName);
}

WlrKeystrokeSender::~WlrKeystrokeSender()
{
    stop();
}

void WlrKeystrokeSender::announceGlobal(uint32_t name, const char* interface, uint32_t version)
{
    if (std::strcmp(interface, keyboardManagerName) == 0) {
        d->keyboardManagerGlobal = name;
    } else if (std::strcmp(interface, toplevelManagerName) == 0) {
        d->toplevelManagerGlobal = name;
        d->toplevelManagerVersion = version;
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && d->seatName == 0) {
        d->seatName = name;
    }
}

bool WlrKeystrokeSender::bindGlobals()
{
    QStringList missing;
    if (d->keyboardManagerGlobal == 0)
        missing << QString::fromLatin1(keyboardManagerName);
    if (d->toplevelManagerGlobal == 0)
        missing << QString::fromLatin1(toplevelManagerName);
    if (d->seatName == 0)
        missing << QStringLiteral("seat");
    if (!missing.isEmpty()) {
        m_limitation = QStringLiteral("the compositor offers no %1").arg(missing.join(QStringLiteral(" and no ")));
        return false;
    }

    wl_registry* registry = m_connection.registry;
    m_connection.seat = static_cast<wl_seat*>(wl_registry_bind(registry, d->seatName, &wl_seat_interface, 1));
    d->keyboardManager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(registry, d->keyboardManagerGlobal, &zwp_virtual_keyboard_manager_v1_interface, 1));
    d->toplevelManager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        wl_registry_bind(registry, d->toplevelManagerGlobal, &zwlr_foreign_toplevel_manager_v1_interface,
                         std::min<uint32_t>(d->toplevelManagerVersion, 3)));
    static const zwlr_foreign_toplevel_manager_v1_listener managerListener{Impl::toplevelCreated,
                                                                           Impl::managerFinished};
    zwlr_foreign_toplevel_manager_v1_add_listener(d->toplevelManager, &managerListener, d.get());

    // One keyboard for the life of the connection: sway drops keys of keyboards made just before they type.
    d->keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(d->keyboardManager, m_connection.seat);
    const int keymap = keymapFile();
    if (keymap < 0) {
        m_limitation =
            QStringLiteral("the keyboard map could not be written: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    zwp_virtual_keyboard_v1_keymap(d->keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, keymap, sizeof keymapText);
    // The request holds its own copy of the descriptor.
    ::close(keymap);

    // Brings in every window with its state, and any refusal of the keyboard.
    if (wl_display_roundtrip(m_connection.display) < 0 || !d->toplevelManager) {
        m_limitation = QStringLiteral("the compositor refused a virtual keyboard or the window list");
        return false;
    }
    return true;
}

void WlrKeystrokeSender::activateWindow(quint64 number)
{
    for (const auto& [handle, toplevel] : d->toplevels) {
        if (toplevel.number == number) {
            zwlr_foreign_toplevel_handle_v1_activate(handle, m_connection.seat);
            return;
        }
    }
}

void WlrKeystrokeSender::typeKeystroke(PasteKeystroke keystroke)
{
    zwp_virtual_keyboard_v1* keyboard = d->keyboard;
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

void WlrKeystrokeSender::forgetWindows()
{
    for (const auto& [handle, toplevel] : d->toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
    d->toplevels.clear();
}

void WlrKeystrokeSender::destroyGlobals()
{
    destroyProxy(d->toplevelManager, zwlr_foreign_toplevel_manager_v1_destroy);
    destroyProxy(d->keyboard, zwp_virtual_keyboard_v1_destroy);
    destroyProxy(d->keyboardManager, zwp_virtual_keyboard_manager_v1_destroy);
}
