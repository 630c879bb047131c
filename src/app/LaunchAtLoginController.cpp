#include "LaunchAtLoginController.h"

#include "core/StandardOutput.h"
#include "platform/LoginItem.h"
#include "platform/Preferences.h"
#include "settings/SettingsView.h"

LaunchAtLoginController::LaunchAtLoginController(Preferences& preferences, LoginItem& loginItem, QObject* parent)
    : QObject(parent)
    , m_preferences(preferences)
    , m_loginItem(loginItem)
    , m_launchAtLogin(preferences.launchAtLogin())
{
    connect(&m_preferences, &Preferences::changed, this, &LaunchAtLoginController::onPreferenceChanged);
}

void LaunchAtLoginController::attach(SettingsView& settings)
{
    connect(&settings, &SettingsView::shown, this, &LaunchAtLoginController::panelShown);
    connect(&settings, &SettingsView::hidden, this, &LaunchAtLoginController::panelHidden);
    connect(&settings, &SettingsView::loginItemResetRequested, this, &LaunchAtLoginController::reset);
}

void LaunchAtLoginController::panelShown()
{
    m_shown = true;
    m_launchAtLogin = m_preferences.launchAtLogin();
    // The user may have changed the autostart entry outside Pellamor since the panel was last open.
    m_preferences.setLaunchAtLogin(m_loginItem.status() == LoginItem::Status::Enabled);
}

void LaunchAtLoginController::panelHidden()
{
    m_shown = false;
}

void LaunchAtLoginController::onPreferenceChanged(Preferences::Key key)
{
    if (key != Preferences::Key::LaunchAtLogin)
        return;
    const bool on = m_preferences.launchAtLogin();
    // Every write is announced, but only a change of the value means anything to the entry.
    if (on == m_launchAtLogin)
        return;
    m_launchAtLogin = on;
    if (m_shown)
        sync(on);
}

void LaunchAtLoginController::sync(bool on)
{
    LoginItem::Result result;
    if (on) {
        if (m_loginItem.status() == LoginItem::Status::Enabled)
            return;
        result = m_loginItem.registerItem();
    } else {
        // Whatever the status says: removing an entry that is not there costs nothing.
        result = m_loginItem.unregisterItem();
    }
    if (result)
        return;
    printLine(QStringLiteral("Failed to sync launch at login: ") + result.errorDescription);
    // The switch shows what the desktop will really do. Writing it may run this step once more, for the
    // opposite value; that one ends at the latest when the value stops changing.
    m_preferences.setLaunchAtLogin(m_loginItem.status() == LoginItem::Status::Enabled);
}

void LaunchAtLoginController::reset()
{
    const LoginItem::Result result = m_loginItem.unregisterItem();
    if (!result) {
        printLine(QStringLiteral("Reset failed: ") + result.errorDescription);
        return;
    }
    m_preferences.setLaunchAtLogin(false);
}
