#include "platform/wayland/WaylandKeystrokeSender.h"

#include <QGuiApplication>

#include <wayland-client.h>

WaylandKeystrokeSender::WaylandKeystrokeSender(QObject* parent)
    : KeystrokeSender(parent)
{
    for (const QString& own : {QGuiApplication::desktopFileName(), QCoreApplication::applicationName()}) {
        if (!own.isEmpty())
            m_ownAppIds.append(own);
    }
}

WaylandKeystrokeSender::~WaylandKeystrokeSender()
{
    stop();
}

void WaylandKeystrokeSender::start(const QByteArray& displayName)
{
    const auto opened = [&] {
        if (!m_connection.connect(displayName)) {
            m_limitation = QStringLiteral("there is no Wayland compositor to connect to");
            return false;
        }
        static const wl_registry_listener listener{
            [](void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version) {
                static_cast<WaylandKeystrokeSender*>(data)->announceGlobal(name, interface, version);
            },
            [](void*, wl_registry*, uint32_t) {}};
        if (!m_connection.listGlobals(&listener, this)) {
            m_limitation = QStringLiteral("the Wayland compositor closed the connection");
            return false;
        }
        if (!bindGlobals())
            return false;
        if (!m_connection.wakePipe.open()) {
            m_limitation = QStringLiteral("no pipe for the compositor thread");
            return false;
        }
        return true;
    };
    if (!opened()) {
        stop();
        return;
    }
    m_support = Support::Full;
    // From here on a change of the active window is news.
    m_announcing = true;
    m_thread = std::thread([this] { run(); });
}

void WaylandKeystrokeSender::stop()
{
    if (m_thread.joinable()) {
        m_stopping = true;
        m_connection.wakePipe.wake();
        m_thread.join();
    }
    if (!m_connection.display)
        return;
    forgetWindows();
    destroyGlobals();
    m_connection.close();
}

void WaylandKeystrokeSender::publish(const std::vector<ListedWindow>& listed)
{
    QHash<quint64, QString> windows;
    const ListedWindow* newest = nullptr;
    for (const ListedWindow& window : listed) {
        windows.insert(window.number, window.appId);
        if (window.active && (!newest || window.activatedAt > newest->activatedAt))
            newest = &window;
    }
    const PasteTarget active = newest ? PasteTarget{newest->number, newest->appId} : PasteTarget();
    const PasteTarget now = m_ownAppIds.contains(active.appId, Qt::CaseInsensitive) ? PasteTarget() : active;
    {
        std::lock_guard guard(m_lock);
        m_windows = std::move(windows);
        m_focused = now;
    }
    if (m_announcing && now != m_announced) {
        QMetaObject::invokeMethod(
            this, [this, now] { Q_EMIT focusChanged(now); }, Qt::QueuedConnection);
    }
    m_announced = now;
}

void WaylandKeystrokeSender::serve()
{
    std::vector<Request> pending;
    {
        std::lock_guard guard(m_lock);
        pending.swap(m_requests);
    }
    for (const Request& request : pending) {
        if (request.kind == Request::Type)
            typeKeystroke(request.keystroke);
        else
            activateWindow(request.number);
    }
}

void WaylandKeystrokeSender::loseConnection()
{
    m_lost = true;
    forgetWindows();
    publish({});
}

void WaylandKeystrokeSender::run()
{
    while (!m_stopping.load() && !m_lost.load()) {
        // The wait sends the requests first, so a keystroke never sits in the buffer.
        const WaylandConnection::Round round = m_connection.wait();
        if (round.broken)
            return loseConnection();
        if (round.woken)
            serve();
    }
    if (m_lost.load())
        loseConnection();
}

void WaylandKeystrokeSender::request(const Request& request)
{
    {
        std::lock_guard guard(m_lock);
        m_requests.push_back(request);
    }
    m_connection.wakePipe.wake();
}

KeystrokeSender::Support WaylandKeystrokeSender::support() const
{
    return m_lost.load() ? Support::None : m_support;
}

QString WaylandKeystrokeSender::limitation() const
{
    if (m_support == Support::Full && m_lost.load())
        return QStringLiteral("the connection to the Wayland compositor was lost");
    return m_limitation;
}

PasteTarget WaylandKeystrokeSender::focusedWindow() const
{
    std::lock_guard guard(m_lock);
    return m_focused;
}

bool WaylandKeystrokeSender::exists(const PasteTarget& target) const
{
    std::lock_guard guard(m_lock);
    return target.isValid() && m_windows.contains(target.handle);
}

void WaylandKeystrokeSender::activate(const PasteTarget& target)
{
    if (support() != Support::Full || !target.isValid())
        return;
    request({Request::Activate, target.handle, PasteKeystroke::CtrlV});
    // The compositor says nothing when the window is active already; the caller waits for this signal.
    const PasteTarget focused = focusedWindow();
    if (focused.handle == target.handle) {
        QMetaObject::invokeMethod(
            this, [this, focused] { Q_EMIT focusChanged(focused); }, Qt::QueuedConnection);
    }
}

bool WaylandKeystrokeSender::modifiersHeld() const
{
    // The compositor tells a client the modifiers only while one of its surfaces has the keyboard focus,
    // and ours have none when this is asked. The caller waits for the target's focus before typing, and
    // the keystroke presses its own modifiers.
    return false;
}

void WaylandKeystrokeSender::send(PasteKeystroke keystroke)
{
    if (support() == Support::Full)
        request({Request::Type, 0, keystroke});
}
