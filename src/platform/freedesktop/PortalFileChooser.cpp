#include "platform/freedesktop/PortalFileChooser.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QUrl>
#include <QUuid>
#include <QWindow>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString fileChooser = QStringLiteral("org.freedesktop.portal.FileChooser");

} // namespace

PortalFileChooser::PortalFileChooser(QObject* parent)
    : QObject(parent)
{}

void PortalFileChooser::saveFile(QWindow* parent, const QString& title, const QString& suggestedName,
                                 const QString& folder)
{
    m_title = title;
    m_suggestedName = suggestedName;
    m_folder = folder;
    // The portal places its dialog over our window where it can name it (X11); elsewhere it centres it.
    m_parentWindow = parent && QGuiApplication::platformName() == QLatin1String("xcb")
                         ? QStringLiteral("x11:") + QString::number(parent->winId(), 16)
                         : QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        finishUnavailable();
        return;
    }
    // A portal without a file-chooser backend has no such interface: its version cannot be read.
    QDBusMessage versionQuery = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    versionQuery << fileChooser << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(versionQuery, answerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (call->isError())
            finishUnavailable();
        else
            askToSave();
    });
}

void PortalFileChooser::askToSave()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The request object's path is known before the call, so its answer cannot be missed.
    const QString token = QStringLiteral("pellamor") + QUuid::createUuid().toString(QUuid::Id128);
    QString sender = bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    m_requestPath = portalPath + QStringLiteral("/request/") + sender + u'/' + token;
    bus.connect(portalService, m_requestPath, QStringLiteral("org.freedesktop.portal.Request"),
                QStringLiteral("Response"), this, SLOT(handleResponse(uint, QVariantMap)));

    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("modal"), false);
    options.insert(QStringLiteral("current_name"), m_suggestedName);
    if (!m_folder.isEmpty()) {
        QByteArray folder = m_folder.toUtf8();
        folder.append('\0');
        options.insert(QStringLiteral("current_folder"), folder);
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, fileChooser, QStringLiteral("SaveFile"));
    call << m_parentWindow << m_title << options;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, answerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* pending) {
        pending->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *pending;
        if (reply.isError())
            finishUnavailable();
    });
}

void PortalFileChooser::handleResponse(uint response, const QVariantMap& results)
{
    if (m_done)
        return;
    QDBusConnection::sessionBus().disconnect(portalService, m_requestPath,
                                             QStringLiteral("org.freedesktop.portal.Request"),
                                             QStringLiteral("Response"), this, SLOT(handleResponse(uint, QVariantMap)));
    m_done = true;
    // 0: chosen, 1: cancelled by the user, 2: ended some other way.
    if (response == 1) {
        Q_EMIT cancelled();
        return;
    }
    const QStringList uris = results.value(QStringLiteral("uris")).toStringList();
    const QUrl url(uris.value(0));
    if (response != 0 || !url.isLocalFile()) {
        m_done = false;
        finishUnavailable();
        return;
    }
    Q_EMIT chosen(url.toLocalFile());
}

void PortalFileChooser::finishUnavailable()
{
    if (m_done)
        return;
    m_done = true;
    Q_EMIT unavailable();
}
