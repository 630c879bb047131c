#include "../StdoutCapture.h"
#include "../settings/SettingsFixture.h"
#include "app/LaunchAtLoginController.h"
#include "settings/ToggleSwitch.h"

#include <QTest>

using Status = LoginItem::Status;
Q_DECLARE_METATYPE(LoginItem::Status)

// The launch-at-login switch against a scripted login item: the desktop's registration is the truth,
// the stored value follows it, and only real changes of the stored value reach the login item.
class TestLaunchAtLogin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void showingTakesTheDesktopsWord_data();
    void showingTakesTheDesktopsWord();
    void onWhileEnabledDoesNotRegister();
    void failedRegisterTurnsTheSwitchBack_data();
    void failedRegisterTurnsTheSwitchBack();
    void offUnregistersWithoutAsking();
    void reset_data();
    void reset();
    void followsWritesFromElsewhereOnlyWhileShown();

private:
    void clickSwitch() { m_fixture->click(QStringLiteral("launchAtLoginSwitch")); }
    bool stored() const { return m_fixture->preferences.launchAtLogin(); }

    std::unique_ptr<SettingsFixture> m_fixture;
    std::unique_ptr<LaunchAtLoginController> m_controller;
};

void TestLaunchAtLogin::init()
{
    m_fixture = std::make_unique<SettingsFixture>();
    m_fixture->made = [this](SettingsView& view) {
        m_controller = std::make_unique<LaunchAtLoginController>(m_fixture->preferences, m_fixture->loginItem);
        m_controller->attach(view);
    };
}

void TestLaunchAtLogin::cleanup()
{
    m_controller.reset();
    m_fixture.reset();
}

void TestLaunchAtLogin::showingTakesTheDesktopsWord_data()
{
    QTest::addColumn<Status>("status");
    QTest::addColumn<bool>("before");
    QTest::addColumn<bool>("after");
    QTest::addColumn<int>("registers");
    QTest::addColumn<int>("unregisters");
    QTest::newRow("enabled, stored off") << Status::Enabled << false << true << 0 << 0;
    QTest::newRow("enabled, stored on") << Status::Enabled << true << true << 0 << 0;
    // Removed in the desktop's own settings: the switch goes off, which runs the switch-off step.
    QTest::newRow("not registered, stored on") << Status::NotRegistered << true << false << 0 << 1;
    QTest::newRow("requires approval counts as off") << Status::RequiresApproval << true << false << 0 << 1;
    QTest::newRow("not found, stored off") << Status::NotFound << false << false << 0 << 0;
}

void TestLaunchAtLogin::showingTakesTheDesktopsWord()
{
    QFETCH(Status, status);
    QFETCH(bool, before);
    QFETCH(bool, after);
    QFETCH(int, registers);
    QFETCH(int, unregisters);
    m_fixture->preferences.setLaunchAtLogin(before);
    m_fixture->loginItem.setStatus(status);
    m_fixture->view();
    QCOMPARE(m_fixture->loginItem.statusCalls(), 0);
    m_fixture->shownView();
    QCOMPARE(stored(), after);
    QCOMPARE(m_fixture->find<ToggleSwitch>(QStringLiteral("launchAtLoginSwitch"))->isOn(), after);
    QCOMPARE(m_fixture->loginItem.registerCalls(), registers);
    QCOMPARE(m_fixture->loginItem.unregisterCalls(), unregisters);
}

void TestLaunchAtLogin::onWhileEnabledDoesNotRegister()
{
    m_fixture->shownView();
    QVERIFY(!stored());
    // Enabled meanwhile by other means.
    m_fixture->loginItem.setStatus(Status::Enabled);
    StdoutCapture output;
    clickSwitch();
    QVERIFY(stored());
    QCOMPARE(m_fixture->loginItem.registerCalls(), 0);
    QCOMPARE(output.text(), QByteArray());
}

void TestLaunchAtLogin::failedRegisterTurnsTheSwitchBack_data()
{
    QTest::addColumn<bool>("unregisterFails");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("unregister succeeds") << false
                                         << QByteArray("Failed to sync launch at login: no autostart folder\n");
    QTest::newRow("unregister fails too") << true
                                          << QByteArray("Failed to sync launch at login: no autostart folder\n"
                                                        "Failed to sync launch at login: read-only\n");
}

void TestLaunchAtLogin::failedRegisterTurnsTheSwitchBack()
{
    QFETCH(bool, unregisterFails);
    QFETCH(QByteArray, expected);
    m_fixture->shownView();
    m_fixture->loginItem.failRegister(QStringLiteral("no autostart folder"));
    if (unregisterFails)
        m_fixture->loginItem.failUnregister(QStringLiteral("read-only"));
    StdoutCapture output;
    clickSwitch();
    QCOMPARE(output.text(), expected);
    QVERIFY(!stored());
    QVERIFY(!m_fixture->find<ToggleSwitch>(QStringLiteral("launchAtLoginSwitch"))->isOn());
    QCOMPARE(m_fixture->loginItem.registerCalls(), 1);
    QCOMPARE(m_fixture->loginItem.unregisterCalls(), 1);
}

void TestLaunchAtLogin::offUnregistersWithoutAsking()
{
    m_fixture->loginItem.setStatus(Status::Enabled);
    m_fixture->shownView();
    QVERIFY(stored());
    // Gone behind the panel's back; the switch still shows on.
    m_fixture->loginItem.setStatus(Status::NotRegistered);
    m_fixture->loginItem.failUnregister(QStringLiteral("nothing to remove"));
    const int statusCalls = m_fixture->loginItem.statusCalls();
    StdoutCapture output;
    clickSwitch();
    QCOMPARE(m_fixture->loginItem.unregisterCalls(), 1);
    QCOMPARE(output.text(), QByteArray("Failed to sync launch at login: nothing to remove\n"));
    QVERIFY(!stored());
    // Only the correction after the failure looked at the status.
    QCOMPARE(m_fixture->loginItem.statusCalls(), statusCalls + 1);
}

void TestLaunchAtLogin::reset_data()
{
    QTest::addColumn<bool>("fails");
    QTest::addColumn<bool>("after");
    QTest::addColumn<int>("unregisters");
    QTest::addColumn<QByteArray>("expected");
    // The reset, then the switch-off step run by the change of the value.
    QTest::newRow("succeeds") << false << false << 2 << QByteArray();
    QTest::newRow("fails") << true << true << 1 << QByteArray("Reset failed: permission denied\n");
}

void TestLaunchAtLogin::reset()
{
    QFETCH(bool, fails);
    QFETCH(bool, after);
    QFETCH(int, unregisters);
    QFETCH(QByteArray, expected);
    m_fixture->loginItem.setStatus(Status::Enabled);
    m_fixture->shownView();
    QVERIFY(stored());
    if (fails)
        m_fixture->loginItem.failUnregister(QStringLiteral("permission denied"));
    const int statusCalls = m_fixture->loginItem.statusCalls();
    StdoutCapture output;
    m_fixture->click(QStringLiteral("resetRow"));
    QCOMPARE(output.text(), expected);
    QCOMPARE(stored(), after);
    QCOMPARE(m_fixture->loginItem.unregisterCalls(), unregisters);
    // A failed reset is not corrected from the status.
    QCOMPARE(m_fixture->loginItem.statusCalls(), statusCalls);
}

void TestLaunchAtLogin::followsWritesFromElsewhereOnlyWhileShown()
{
    SettingsView& view = m_fixture->shownView();
    m_fixture->preferences.setLaunchAtLogin(true);
    QCOMPARE(m_fixture->loginItem.registerCalls(), 1);
    QCOMPARE(m_fixture->loginItem.status(), Status::Enabled);
    // Writing what is already stored changes nothing.
    m_fixture->preferences.setLaunchAtLogin(true);
    QCOMPARE(m_fixture->loginItem.registerCalls(), 1);

    view.hide();
    m_fixture->preferences.setLaunchAtLogin(false);
    QCOMPARE(m_fixture->loginItem.unregisterCalls(), 0);
    QVERIFY(!m_fixture->find<ToggleSwitch>(QStringLiteral("launchAtLoginSwitch"))->isOn());
    // Shown again, the desktop's word wins over the value written while hidden.
    view.show();
    QVERIFY(stored());
    QCOMPARE(m_fixture->loginItem.unregisterCalls(), 0);
}

QTEST_MAIN(TestLaunchAtLogin)
#include "tst_launchatlogin.moc"
