#include "app/TrayController.h"
#include "platform/Preferences.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

namespace {

// How much of the icon's lower right quarter is orange: the pause badge.
int orangePixels(const QIcon& icon)
{
    const QImage image = icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 16; y < 32; ++y) {
        for (int x = 16; x < 32; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200 && c.red() > 200 && c.green() > 100 && c.green() < 190 && c.blue() < 60)
                ++count;
        }
    }
    return count;
}

} // namespace

class TestTrayController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void menuHoldsTheActionsInOrder();
    void actionsAsk();
    void pauseActionWritesAndFollowsTheStore();
    void pausedIconAndTooltip();
    void clicks_data();
    void clicks();
    void trayAtStartIsNoNews();
    void noTrayThenATray();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<TrayController> m_tray;
};

void TestTrayController::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_preferences = std::make_unique<Preferences>(m_dir->filePath(QStringLiteral("prefs.conf")));
    m_tray = std::make_unique<TrayController>(*m_preferences);
}

void TestTrayController::cleanup()
{
    m_tray.reset();
    m_preferences.reset();
    m_dir.reset();
}

void TestTrayController::menuHoldsTheActionsInOrder()
{
    QStringList texts;
    for (QAction* action : m_tray->menu()->actions())
        texts << (action->isSeparator() ? QStringLiteral("--") : action->text());
    QCOMPARE(texts, QStringList({QStringLiteral("打开剪贴板历史"), QStringLiteral("暂停记录"),
                                 QStringLiteral("忽略下一次复制"), QStringLiteral("设置…"), QStringLiteral("--"),
                                 QStringLiteral("退出 Pellamor")}));
    QVERIFY(m_tray->pauseAction()->isCheckable());
    QVERIFY(!m_tray->openAction()->isCheckable());
    QCOMPARE(m_tray->icon()->contextMenu(), m_tray->menu());
}

void TestTrayController::actionsAsk()
{
    QSignalSpy panel(m_tray.get(), &TrayController::panelRequested);
    QSignalSpy settings(m_tray.get(), &TrayController::settingsRequested);
    QSignalSpy quit(m_tray.get(), &TrayController::quitRequested);
    m_tray->settingsAction()->trigger();
    m_tray->quitAction()->trigger();
    QCOMPARE(settings.count(), 1);
    QCOMPARE(quit.count(), 1);
    // The open action is the shell's to interpret (it toggles what the user saw when the menu opened).
    m_tray->openAction()->trigger();
    QCOMPARE(panel.count(), 0);
}

void TestTrayController::pauseActionWritesAndFollowsTheStore()
{
    QVERIFY(!m_tray->pauseAction()->isChecked());
    m_tray->pauseAction()->trigger();
    QVERIFY(m_preferences->monitoringPaused());
    QVERIFY(m_tray->pauseAction()->isChecked());
    m_tray->pauseAction()->trigger();
    QVERIFY(!m_preferences->monitoringPaused());
    QVERIFY(!m_tray->pauseAction()->isChecked());

    // Paused elsewhere (the settings, the panel's capsule): the check mark follows.
    m_preferences->setMonitoringPaused(true);
    QVERIFY(m_tray->pauseAction()->isChecked());

    // Kept across restarts: a new store on the same file, a new tray.
    Preferences reopened(m_preferences->fileName());
    QVERIFY(reopened.monitoringPaused());
    TrayController again(reopened);
    QVERIFY(again.pauseAction()->isChecked());
    QCOMPARE(again.icon()->toolTip(), QStringLiteral("Pellamor（已暂停）"));
}

void TestTrayController::pausedIconAndTooltip()
{
    QCOMPARE(m_tray->icon()->toolTip(), QStringLiteral("Pellamor"));
    QCOMPARE(orangePixels(m_tray->icon()->icon()), 0);
    m_preferences->setMonitoringPaused(true);
    QCOMPARE(m_tray->icon()->toolTip(), QStringLiteral("Pellamor（已暂停）"));
    QVERIFY2(orangePixels(m_tray->icon()->icon()) > 20, "the paused icon has no pause badge");
    // Every size carries the badge.
    for (int side : {16, 24, 48}) {
        const QImage image = TrayController::statusIcon(true).pixmap(side, side).toImage();
        QCOMPARE(image.size(), QSize(side, side));
        QVERIFY(image != TrayController::statusIcon(false).pixmap(side, side).toImage());
    }
    m_preferences->setMonitoringPaused(false);
    QCOMPARE(m_tray->icon()->toolTip(), QStringLiteral("Pellamor"));
    QCOMPARE(orangePixels(m_tray->icon()->icon()), 0);

    // Asking to ignore the next copy arms nothing by itself: the monitor answers.
    QSignalSpy asked(m_tray.get(), &TrayController::ignoreNextRequested);
    m_tray->ignoreNextAction()->trigger();
    QCOMPARE(asked.count(), 1);
    QVERIFY(!m_tray->ignoreNextAction()->isChecked());
    m_tray->setIgnoringNext(true);
    QCOMPARE(m_tray->icon()->toolTip(), QStringLiteral("Pellamor（将忽略下一次复制）"));
    QVERIFY(m_tray->ignoreNextAction()->isChecked());
    m_tray->setIgnoringNext(false);
    QCOMPARE(m_tray->icon()->toolTip(), QStringLiteral("Pellamor"));
}

void TestTrayController::clicks_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<int>("panelRequests");
    QTest::newRow("left click") << int(QSystemTrayIcon::Trigger) << 1;
    QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << 1;
    QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << 0;
    QTest::newRow("right click: the menu opens by itself") << int(QSystemTrayIcon::Context) << 0;
}

void TestTrayController::clicks()
{
    QFETCH(int, reason);
    QFETCH(int, panelRequests);
    QSignalSpy panel(m_tray.get(), &TrayController::panelRequested);
    Q_EMIT m_tray->icon()->activated(QSystemTrayIcon::ActivationReason(reason));
    QCOMPARE(panel.count(), panelRequests);
}

void TestTrayController::trayAtStartIsNoNews()
{
    m_tray->trayProbe = [] { return true; };
    QSignalSpy noTray(m_tray.get(), &TrayController::noTrayFound);
    QSignalSpy appeared(m_tray.get(), &TrayController::trayAppeared);
    m_tray->show(60);
    QVERIFY(m_tray->hasTray());
    QTest::qWait(150);
    QCOMPARE(noTray.count(), 0);
    QCOMPARE(appeared.count(), 0);
}

void TestTrayController::noTrayThenATray()
{
    bool tray = false;
    int probes = 0;
    m_tray->trayProbe = [&] {
        ++probes;
        return tray;
    };
    QSignalSpy noTray(m_tray.get(), &TrayController::noTrayFound);
    QSignalSpy appeared(m_tray.get(), &TrayController::trayAppeared);
    QElapsedTimer clock;
    clock.start();
    m_tray->show(120);
    QVERIFY(!m_tray->hasTray());
    // A tray has the whole grace period to turn up.
    QTest::qWait(60);
    QCOMPARE(noTray.count(), 0);
    QVERIFY(noTray.wait(2000));
    QVERIFY(clock.elapsed() >= 120);
    QTest::qWait(200);
    QCOMPARE(noTray.count(), 1);
    QCOMPARE(appeared.count(), 0);

    tray = true;
    QVERIFY(appeared.wait(2000));
    QVERIFY(m_tray->hasTray());
    // Found: no more looking.
    const int probesThen = probes;
    QTest::qWait(300);
    QCOMPARE(probes, probesThen);
    QCOMPARE(appeared.count(), 1);
}

QTEST_MAIN(TestTrayController)
#include "tst_traycontroller.moc"
