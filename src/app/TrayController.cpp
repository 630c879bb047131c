#include "TrayController.h"

#include "platform/Preferences.h"
#include "ui/SymbolIcon.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>

namespace {

// Two white bars in an orange disc with a dark rim, in the lower right corner of the icon.
void paintPauseBadge(QPainter& painter, int side)
{
    const qreal diameter = side * 0.56;
    const QRectF disc(side - diameter, side - diameter, diameter, diameter);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 0, 0, 140), qMax(1.0, side / 24.0)));
    painter.setBrush(QColor(255, 149, 0));
    painter.drawEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5));
    const qreal barWidth = qMax(1.0, diameter * 0.16);
    const qreal barHeight = diameter * 0.46;
    const qreal gap = qMax(1.0, diameter * 0.14);
    const QPointF centre = disc.center();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(centre.x() - gap / 2 - barWidth, centre.y() - barHeight / 2, barWidth, barHeight));
    painter.drawRect(QRectF(centre.x() + gap / 2, centre.y() - barHeight / 2, barWidth, barHeight));
}

} // namespace

TrayController::TrayController(Preferences& preferences, QObject* parent)
    : QObject(parent)
    , m_preferences(preferences)
{
    trayProbe = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

    m_menu = new QMenu;
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    m_openAction = m_menu->addAction(QStringLiteral("打开剪贴板历史"));
    m_pauseAction = m_menu->addAction(QStringLiteral("暂停记录"));
    m_pauseAction->setCheckable(true);
    m_ignoreNextAction = m_menu->addAction(QStringLiteral("忽略下一次复制"));
    m_ignoreNextAction->setCheckable(true);
    m_settingsAction = m_menu->addAction(QStringLiteral("设置…"));
    m_menu->addSeparator();
    m_quitAction = m_menu->addAction(QStringLiteral("退出 Pellamor"));
    // The action only asks; its check mark follows the stored value.
    connect(m_pauseAction, &QAction::triggered, this,
            [this](bool checked) { m_preferences.setMonitoringPaused(checked); });
    connect(m_ignoreNextAction, &QAction::triggered, this, [this] {
        // The check mark follows the monitor, which says when the copy has been passed over.
        m_ignoreNextAction->setChecked(m_ignoringNext);
        Q_EMIT ignoreNextRequested();
    });
    connect(m_settingsAction, &QAction::triggered, this, &TrayController::settingsRequested);
    connect(m_quitAction, &QAction::triggered, this, &TrayController::quitRequested);
    connect(m_menu, &QMenu::aboutToShow, this, &TrayController::menuAboutToShow);

    m_icon = new QSystemTrayIcon(this);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // The context menu opens by itself; a middle click does nothing.
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            Q_EMIT panelRequested();
    });
    connect(&m_preferences, &Preferences::changed, this, [this](Preferences::Key key) {
        if (key == Preferences::Key::MonitoringPaused)
            refreshPause();
    });
    refreshPause();

    connect(&m_probeTimer, &QTimer::timeout, this, &TrayController::probe);
}

TrayController::~TrayController()
{
    delete m_icon;
    delete m_menu;
}

QIcon TrayController::statusIcon(bool paused)
{
    // Monochrome, light glyph with a dark rim: readable on light and dark panels alike. Paused, it is
    // dimmed and carries a pause badge.
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setOpacity(paused ? 0.5 : 1.0);
        const qreal points = side / 1.5;
        for (const QPointF offset : {QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1)}) {
            SymbolIcon::paint(painter, QRectF(offset, QSizeF(side, side)), QStringLiteral("list.clipboard.fill"),
                              QColor(0, 0, 0, 110), points, QFont::Medium);
        }
        SymbolIcon::paint(painter, QRectF(0, 0, side, side), QStringLiteral("list.clipboard.fill"),
                          QColor(245, 245, 245), points, QFont::Medium);
        painter.setOpacity(1.0);
        if (paused)
            paintPauseBadge(painter, side);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QString TrayController::toolTip(bool paused, bool ignoringNext)
{
    if (paused)
        return QStringLiteral("Pellamor（已暂停）");
    return ignoringNext ? QStringLiteral("Pellamor（将忽略下一次复制）") : QStringLiteral("Pellamor");
}

void TrayController::setIgnoringNext(bool armed)
{
    m_ignoringNext = armed;
    m_ignoreNextAction->setChecked(armed);
    m_icon->setToolTip(toolTip(m_preferences.monitoringPaused(), armed));
}

void TrayController::refreshPause()
{
    const bool paused = m_preferences.monitoringPaused();
    m_pauseAction->setChecked(paused);
    m_icon->setIcon(statusIcon(paused));
    m_icon->setToolTip(toolTip(paused, m_ignoringNext));
}

void TrayController::show(int graceMs)
{
    // Shown even while no tray exists: the icon docks once a tray does.
    m_icon->show();
    m_hasTray = trayProbe();
    if (m_hasTray)
        return;
    m_graceMs = graceMs;
    m_waitedMs = 0;
    m_probeTimer.start(qBound(10, graceMs / 6, trayProbeMs));
}

void TrayController::probe()
{
    if (trayProbe()) {
        m_hasTray = true;
        m_probeTimer.stop();
        if (m_reportedNoTray)
            Q_EMIT trayAppeared();
        return;
    }
    m_waitedMs += m_probeTimer.interval();
    if (!m_reportedNoTray && m_waitedMs >= m_graceMs) {
        m_reportedNoTray = true;
        // From now on a tray is rare news: look less often.
        m_probeTimer.setInterval(m_probeTimer.interval() * 4);
        Q_EMIT noTrayFound();
    }
}
