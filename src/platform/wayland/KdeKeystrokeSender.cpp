#include "platform/wayland/KdeKeystrokeSender.h"

#include "kde-fake-input-client-protocol.h"
#include "kde-plasma-window-management-client-protocol.h"

#include <cstring>
#include <map>
#include <wayland-client.h>

namespace {

const char* const fakeInputName = "org_kde_kwin_fake_input";
const char* const windowManagementName = "org_kde_plasma_window_management";
// keyboard_key came with version 4 of fake input.
constexpr uint32_t fakeInputKeyVersion = 4;
// The newest window list this client knows every event of.
constexpr uint32_t windowManagementVersion = 16;
// Windows are named by uuid from here on, and only then (`window` still comes, for the old clients).
constexpr uint32_t windowUuidVersion = 13;
// Window objects have a destructor request, and say when their first state is all sent.
constexpr uint32_t windowDestroyVersion = 4;

// Stands for any listener entry whose event is of no interest.
struct Ignore
{
    template<typename... Args>
    using Handler = void (*)(Args...);

    template<typename... Args>
    operator Handler<Args...>() const
    {
        return [](Args...) {};
    }
};
constexpr Ignore ignore;

struct PlasmaWindow
{
    quint64 number = 0;
    QString appId;
    bool active = false;
    // When it was last activated, to tell the newest when several say they are.
    quint64 activatedAt = 0;
    // Its first state is all in: before that the window is not listed.
    bool ready = false;
};

} // namespace

struct KdeKeystrokeSender::Impl
{
    KdeKeystrokeSender* q = nullptr;
    org_kde_kwin_fake_input* fakeInput = nullptr;
    org_kde_plasma_window_management* windowManagement = nullptr;
    uint32_t fakeInputGlobal = 0;
    uint32_t fakeInputVersion = 0;
    uint32_t windowManagementGlobal = 0;
    uint32_t boundVersion = 0;

    std::map<org_kde_plasma_window*, PlasmaWindow> windows;
    quint64 nextNumber = 1;
    quint64 activations = 0;

    void publish();
    void track(org_kde_plasma_window* window);
    void destroy(org_kde_plasma_window* window) const;

    static void windowCreated(void* data, org_kde_plasma_window_management*, uint32_t id);
    static void windowWithUuidCreated(void* data, org_kde_plasma_window_management*, uint32_t, const char* uuid);
    static void appIdChanged(void* data, org_kde_plasma_window* window, const char* appId);
    static void stateChanged(void* data, org_kde_plasma_window* window, uint32_t flags);
    static void unmapped(void* data, org_kde_plasma_window* window);
    static void initialState(void* data, org_kde_plasma_window* window);
};

void KdeKeystrokeSender::Impl::windowCreated(void* data, org_kde_plasma_window_management* manager, uint32_t id)
{
    auto* self = static_cast<Impl*>(data);
    if (self->boundVersion < windowUuidVersion)
        self->track(org_kde_plasma_window_management_get_window(manager, id));
}

void KdeKeystrokeSender::Impl::windowWithUuidCreated(void* data, org_kde_plasma_window_management* manager, uint32_t,
                                                     const char* uuid)
{
    auto* self = static_cast<Impl*>(data);
    if (uuid)
        self->track(org_kde_plasma_window_management_get_window_by_uuid(manager, uuid));
}

void KdeKeystrokeSender::Impl::track(org_kde_plasma_window* window)
{
    PlasmaWindow tracked;
    tracked.number = nextNumber++;
    // Before version 4 nothing says when the first state is in: it comes at once, and each event counts.
    tracked.ready = boundVersion < windowDestroyVersion;
    windows.emplace(window, tracked);
    static const org_kde_plasma_window_listener listener{
        .title_changed = ignore,
        .app_id_changed = appIdChanged,
        .state_changed = stateChanged,
        .virtual_desktop_changed = ignore,
        .themed_icon_name_changed = ignore,
        .unmapped = unmapped,
        .initial_state = initialState,
        .parent_window = ignore,
        .geometry = ignore,
        .icon_changed = ignore,
        .pid_changed = ignore,
        .virtual_desktop_entered = ignore,
        .virtual_desktop_left = ignore,
        .application_menu = ignore,
        .activity_entered = ignore,
        .activity_left = ignore,
        .resource_name_changed = ignore,
    };
    org_kde_plasma_window_add_listener(window, &listener, this);
}

void KdeKeystrokeSender::Impl::destroy(org_kde_plasma_window* window) const
{
    if (boundVersion >= windowDestroyVersion)
        org_kde_plasma_window_destroy(window);
    else
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(window));
}

void KdeKeystrokeSender::Impl::appIdChanged(void* data, org_kde_plasma_window* window, const char* appId)
{
    auto* self = static_cast<Impl*>(data);
    const auto found = self->windows.find(window);
    if (found == self->windows.end())
        return;
    found->second.appId = QString::fromUtf8(appId ? appId : "");
    if (found->second.ready)
        self->publish();
}

void KdeKeystrokeSender::Impl::stateChanged(void* data, org_kde_plasma_window* window, uint32_t flags)
{
    auto* self = static_cast<Impl*>(data);
    const auto found = self->windows.find(window);
    if (found == self->windows.end())
        return;
    PlasmaWindow& tracked = found->second;
    const bool active = flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE;
    if (active && !tracked.active)
        tracked.activatedAt = ++self->activations;
    tracked.active = active;
    if (tracked.ready)
        self->publish();
}

void KdeKeystrokeSender::Impl::unmapped(void* data, org_kde_plasma_window* window)
{
    auto* self = static_cast<Impl*>(data);
    if (self->windows.erase(window) == 0)
        return;
    self->destroy(window);
    self->publish();
}

void KdeKeystrokeSender::Impl::initialState(void* data, org_kde_plasma_window* window)
{
    auto* self = static_cast<Impl*>(data);
    if (const auto found = self->windows.find(window); found != self->windows.end()) {
        found->second.ready = true;
        self->publish();
    }
}

void KdeKeystrokeSender::Impl::publish()
{
    std::vector<ListedWindow> listed;
    for (const auto& [handle, window] : windows) {
        if (window.ready)
            listed.push_back({window.number, window.appId, window.active, window.activatedAt});
    }
    q->publish(listed);
}

KdeKeystrokeSender::KdeKeystrokeSender(const QByteArray& displayName, QObject* parent)
    : WaylandKeystrokeSender(parent)
    , d(std::make_unique<Impl>())
{
    d->q = this;
    start(displayName);
}

KdeKeystrokeSender::~KdeKeystrokeSender()
{
    stop();
}

void KdeKeystrokeSender::announceGlobal(uint32_t name, const char* interface, uint32_t version)
{
    if (std::strcmp(interface, fakeInputName) == 0) {
        d->fakeInputGlobal = name;
        d->fakeInputVersion = version;
    } else if (std::strcmp(interface, windowManagementName) == 0) {
        d->windowManagementGlobal = name;
        d->boundVersion = std::min(version, windowManagementVersion);
    }
}

bool KdeKeystrokeSender::bindGlobals()
{
    QStringList missing;
    if (d->fakeInputGlobal == 0)
        missing << QString::fromLatin1(fakeInputName);
    if (d->windowManagementGlobal == 0)
        missing << QString::fromLatin1(windowManagementName);
    if (!missing.isEmpty()) {
        // KWin announces them to the programs it grants them to, and to no other.
        m_limitation = QStringLiteral("the compositor offers no %1 (KWin grants them through the desktop file)")
                           .arg(missing.join(QStringLiteral(" and no ")));
        return false;
    }
    if (d->fakeInputVersion < fakeInputKeyVersion) {
        m_limitation = QStringLiteral("the compositor's %1 is too old to type keys").arg(QLatin1String(fakeInputName));
        return false;
    }

    wl_registry* registry = m_connection.registry;
    d->fakeInput = static_cast<org_kde_kwin_fake_input*>(
        wl_registry_bind(registry, d->fakeInputGlobal, &org_kde_kwin_fake_input_interface, fakeInputKeyVersion));
    // KWin ignores the keys of a client that has not said who it is and why.
    org_kde_kwin_fake_input_authenticate(d->fakeInput, "Pellamor", "选择后粘贴到原窗口");
    d->windowManagement = static_cast<org_kde_plasma_window_management*>(wl_registry_bind(
        registry, d->windowManagementGlobal, &org_kde_plasma_window_management_interface, d->boundVersion));
    static const org_kde_plasma_window_management_listener managerListener{
        .show_desktop_changed = ignore,
        .window = Impl::windowCreated,
        .stacking_order_changed = ignore,
        .stacking_order_uuid_changed = ignore,
        .window_with_uuid = Impl::windowWithUuidCreated,
    };
    org_kde_plasma_window_management_add_listener(d->windowManagement, &managerListener, d.get());

    // The first brings in the windows, the second their state.
    if (wl_display_roundtrip(m_connection.display) < 0 || wl_display_roundtrip(m_connection.display) < 0) {
        m_limitation = QStringLiteral("the compositor refused fake input or the window list");
        return false;
    }
    return true;
}

void KdeKeystrokeSender::activateWindow(quint64 number)
{
    for (const auto& [handle, window] : d->windows) {
        if (window.number == number) {
            // A minimised window comes back too.
            org_kde_plasma_window_set_state(handle,
                                            ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE |
                                                ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED,
                                            ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE);
            return;
        }
    }
}

void KdeKeystrokeSender::typeKeystroke(PasteKeystroke keystroke)
{
    typePaste(keystroke, [this](PasteKey key, bool pressed) {
        const uint32_t code = key == PasteKey::Control ? keyLeftCtrl : key == PasteKey::Shift ? keyLeftShift : keyV;
        org_kde_kwin_fake_input_keyboard_key(d->fakeInput, code,
                                             pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    });
}

void KdeKeystrokeSender::forgetWindows()
{
    for (const auto& [handle, window] : d->windows)
        d->destroy(handle);
    d->windows.clear();
}

void KdeKeystrokeSender::destroyGlobals()
{
    if (d->windowManagement)
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(d->windowManagement));
    d->windowManagement = nullptr;
    if (d->fakeInput)
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(d->fakeInput));
    d->fakeInput = nullptr;
}
