#pragma once

#include "platform/Preferences.h"

#include <QObject>

class LoginItem;
class SettingsView;

// Keeps the desktop's autostart entry and the launchAtLogin preference in step. The entry is the
// truth: while the settings panel is shown, the preference is read from it when the panel comes up, and
// every change of the stored value (whoever writes it) registers or removes the entry; a failure is
// printed and the preference corrected from the entry. While the panel is hidden nothing reaches the
// entry.
class LaunchAtLoginController : public QObject
{
    Q_OBJECT

public:
    LaunchAtLoginController(Preferences& preferences, LoginItem& loginItem, QObject* parent = nullptr);

    // Follows the panel's showing and hiding and its "强制关闭所有自启动项" row.
    void attach(SettingsView& settings);

    void panelShown();
    void panelHidden();
    // Removes the entry whatever the switch shows; on success the preference turns off.
    void reset();

private:
    void onPreferenceChanged(Preferences::Key key);
    void sync(bool on);

    Preferences& m_preferences;
    LoginItem& m_loginItem;
    // The stored value last seen, so only real changes reach the entry.
    bool m_launchAtLogin = false;
    bool m_shown = false;
};
