#include "app/PasteController.h"
#include "core/PasteRules.h"
#include "platform/Preferences.h"
#include "platform/fakes/FakeKeystrokeSender.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Outcome = PasteController::Outcome;
using TargetKind = PasteRules::TargetKind;

// Pasting into the window the user came from, on a desktop in memory.
class TestPasteController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void kindOfTarget_data();
    void kindOfTarget();
    void keystrokeForTarget_data();
    void keystrokeForTarget();
    void choiceFollowsTheSetting();
    void waitsForFocusThenForRelease();
    void nothingTypedWhenTargetIsLost_data();
    void nothingTypedWhenTargetIsLost();
    void boardPastesIntoTheWindowBeforeIt();
    void pastesWhereTheFocusGoesWhenWindowsAreUnknown();

private:
    // The user in the editor, then in our panel.
    void openPanelOver(const PasteTarget& window);
    Outcome outcome();

    QTemporaryDir m_dir;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<FakeKeystrokeSender> m_desktop;
    std::unique_ptr<PasteController> m_controller;
    std::unique_ptr<QSignalSpy> m_finished;
    const PasteTarget m_editor{11, QStringLiteral("gedit")};
    const PasteTarget m_other{12, QStringLiteral("firefox")};
};

void TestPasteController::init()
{
    m_preferences = std::make_unique<Preferences>(m_dir.filePath(QStringLiteral("prefs.conf")));
    m_preferences->setPasteAfterChoosing(true);
    m_desktop = std::make_unique<FakeKeystrokeSender>();
    m_desktop->windows = {m_editor, m_other};
    m_controller = std::make_unique<PasteController>(*m_desktop, *m_preferences);
    m_controller->setApplicationDirs({m_dir.path()});
    m_finished = std::make_unique<QSignalSpy>(m_controller.get(), &PasteController::finished);
}

void TestPasteController::cleanup()
{
    m_finished.reset();
    m_controller.reset();
    m_desktop.reset();
    m_preferences.reset();
    QFile::remove(m_dir.filePath(QStringLiteral("prefs.conf")));
}

void TestPasteController::openPanelOver(const PasteTarget& window)
{
    m_desktop->focus(window);
    m_controller->panelOpening();
    m_desktop->focus({});
}

Outcome TestPasteController::outcome()
{
    if (m_finished->isEmpty())
        m_finished->wait(5000);
    return m_finished->isEmpty() ? Outcome::Superseded : m_finished->takeFirst().at(0).value<Outcome>();
}

void TestPasteController::kindOfTarget_data()
{
    QTest::addColumn<QString>("appId");
    QTest::addColumn<QString>("desktopEntry");
    QTest::addColumn<TargetKind>("kind");
    QTest::newRow("editor") << "gedit"
                            << "" << TargetKind::Ordinary;
    QTest::newRow("no name") << ""
                             << "" << TargetKind::Ordinary;
    QTest::newRow("X11 class in capitals") << "XTerm"
                                           << "" << TargetKind::Terminal;
    QTest::newRow("app_id") << "org.gnome.Console"
                            << "" << TargetKind::Terminal;
    QTest::newRow("footclient") << "footclient"
                                << "" << TargetKind::Terminal;
    QTest::newRow("a name that only contains one") << "stoplight"
                                                   << "" << TargetKind::Ordinary;
    QTest::newRow("desktop entry of a terminal") << "myterm"
                                                 << "[Desktop Entry]\nName=My\nCategories=System;TerminalEmulator;\n"
                                                 << TargetKind::Terminal;
    QTest::newRow("desktop entry, lower-case name") << "MyTerm"
                                                    << "[Desktop Entry]\nCategories=GTK;System;TerminalEmulator\n"
                                                    << TargetKind::Terminal;
    QTest::newRow("desktop entry of another program") << "myterm"
                                                      << "[Desktop Entry]\nCategories=Utility;TextEditor;\n"
                                                      << TargetKind::Ordinary;
    QTest::newRow("category in another group")
        << "myterm"
        << "[Desktop Entry]\nName=My\n[Desktop Action x]\nCategories=TerminalEmulator;\n"
        << TargetKind::Ordinary;
    QTest::newRow("remote desktop") << "org.remmina.Remmina"
                                    << "" << TargetKind::RemoteViewer;
    QTest::newRow("SPICE viewer") << "remote-viewer"
                                  << "" << TargetKind::RemoteViewer;
    QTest::newRow("VirtualBox") << "VirtualBox Machine"
                                << "" << TargetKind::RemoteViewer;
    QTest::newRow("RDP") << "xfreerdp"
                         << "" << TargetKind::RemoteViewer;
}

void TestPasteController::kindOfTarget()
{
    QFETCH(QString, appId);
    QFETCH(QString, desktopEntry);
    QFETCH(TargetKind, kind);
    QTemporaryDir applications;
    if (!desktopEntry.isEmpty()) {
        QFile file(applications.filePath(appId.toLower() + QStringLiteral(".desktop")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(desktopEntry.toUtf8());
    }
    QCOMPARE(PasteRules::kindOf(appId, {applications.path()}), kind);
}

void TestPasteController::keystrokeForTarget_data()
{
    QTest::addColumn<QString>("appId");
    QTest::addColumn<QList<PasteKeystroke>>("sent");
    QTest::addColumn<Outcome>("outcome");
    QTest::newRow("editor") << "gedit" << QList{PasteKeystroke::CtrlV} << Outcome::Pasted;
    QTest::newRow("terminal") << "kitty" << QList{PasteKeystroke::CtrlShiftV} << Outcome::Pasted;
    QTest::newRow("virtual machine") << "virt-manager" << QList<PasteKeystroke>{} << Outcome::CopiedOnly;
}

void TestPasteController::keystrokeForTarget()
{
    QFETCH(QString, appId);
    QFETCH(QList<PasteKeystroke>, sent);
    QFETCH(Outcome, outcome);
    const PasteTarget window{21, appId};
    m_desktop->windows << window;
    openPanelOver(window);
    QSignalSpy close(m_controller.get(), &PasteController::closePanelRequested);
    m_controller->entryChosen({});
    QCOMPARE(this->outcome(), outcome);
    QCOMPARE(close.count(), 1);
    QCOMPARE(m_desktop->activated, QList{window});
    QList<PasteKeystroke> keystrokes;
    for (const auto& [keystroke, focused] : m_desktop->sent) {
        QCOMPARE(focused, window);
        keystrokes << keystroke;
    }
    QCOMPARE(keystrokes, sent);
}

void TestPasteController::choiceFollowsTheSetting()
{
    openPanelOver(m_editor);
    m_preferences->setPasteAfterChoosing(false);
    QSignalSpy close(m_controller.get(), &PasteController::closePanelRequested);
    m_controller->entryChosen({});
    QVERIFY(m_finished->isEmpty());
    QVERIFY(close.isEmpty());
    QVERIFY(m_desktop->activated.isEmpty());
    // Paste once does not ask the setting.
    m_controller->pasteOnce();
    QCOMPARE(outcome(), Outcome::Pasted);
    QCOMPARE(m_desktop->sent.size(), 1);
    // A desktop that cannot type into other windows is not pretended to.
    m_desktop->supported = KeystrokeSender::Support::None;
    m_controller->pasteOnce();
    QCOMPARE(outcome(), Outcome::Unsupported);
    QCOMPARE(m_desktop->sent.size(), 1);
}

void TestPasteController::waitsForFocusThenForRelease()
{
    openPanelOver(m_editor);
    m_desktop->focusOnActivate = false;
    m_desktop->held = true;
    m_controller->entryChosen({});
    QCOMPARE(m_desktop->activated, QList{m_editor});
    // The window manager passes the focus through another window first.
    m_desktop->focus(m_other);
    m_desktop->focus(m_editor);
    QVERIFY(m_controller->isPasting());
    QVERIFY(m_desktop->sent.isEmpty());
    m_desktop->held = false;
    QCOMPARE(outcome(), Outcome::Pasted);
    QCOMPARE(m_desktop->sent.size(), 1);
    QCOMPARE(m_desktop->sent.first().second, m_editor);
}

void TestPasteController::nothingTypedWhenTargetIsLost_data()
{
    QTest::addColumn<bool>("closedBeforeChoice");
    QTest::addColumn<bool>("otherTakesFocus");
    QTest::addColumn<bool>("closedWhileHeld");
    QTest::addColumn<Outcome>("outcome");
    QTest::newRow("closed while the panel was open") << true << false << false << Outcome::TargetGone;
    QTest::newRow("another window took the focus") << false << true << false << Outcome::FocusLost;
    QTest::newRow("closed while a modifier was held") << false << false << true << Outcome::TargetGone;
}

void TestPasteController::nothingTypedWhenTargetIsLost()
{
    QFETCH(bool, closedBeforeChoice);
    QFETCH(bool, otherTakesFocus);
    QFETCH(bool, closedWhileHeld);
    QFETCH(Outcome, outcome);
    openPanelOver(m_editor);
    if (closedBeforeChoice)
        m_desktop->windows.removeAll(m_editor);
    m_desktop->held = true;
    m_controller->entryChosen({});
    if (otherTakesFocus)
        m_desktop->focus(m_other);
    if (closedWhileHeld) {
        m_desktop->windows.removeAll(m_editor);
        m_desktop->held = false;
    }
    QCOMPARE(this->outcome(), outcome);
    m_desktop->held = false;
    QVERIFY(m_desktop->sent.isEmpty());
    QVERIFY(!m_controller->isPasting());
}

void TestPasteController::boardPastesIntoTheWindowBeforeIt()
{
    // No window had the focus yet: nothing to paste into.
    m_controller->entryChosen({});
    QCOMPARE(outcome(), Outcome::NoTarget);
    // The editor, then a click on the board, which is ours.
    m_desktop->focus(m_other);
    m_desktop->focus(m_editor);
    m_desktop->focus({});
    m_controller->entryChosen({});
    QCOMPARE(outcome(), Outcome::Pasted);
    QCOMPARE(m_desktop->activated, QList{m_editor});
    QCOMPARE(m_desktop->sent.first().second, m_editor);
}

void TestPasteController::pastesWhereTheFocusGoesWhenWindowsAreUnknown()
{
    // A desktop portal types into whatever has the focus and names no window: the paste waits until
    // our panel has let go of the focus.
    bool ours = true;
    m_controller->setOwnFocus([&ours] { return ours; });
    m_desktop->windowsKnown = false;
    m_desktop->focus(m_editor);
    m_desktop->held = true;
    QSignalSpy close(m_controller.get(), &PasteController::closePanelRequested);
    m_controller->entryChosen({});
    QCOMPARE(close.size(), 1);
    QVERIFY(m_controller->isPasting());
    ours = false;
    m_controller->ownFocusChanged();
    QVERIFY(m_desktop->sent.isEmpty());
    m_desktop->held = false;
    QCOMPARE(outcome(), Outcome::Pasted);
    QCOMPARE(m_desktop->sent.size(), 1);
    QCOMPARE(m_desktop->sent.first().first, PasteKeystroke::CtrlV);
    QVERIFY(m_desktop->activated.isEmpty());
    // Back in ours before the keystroke: nothing typed.
    m_desktop->held = true;
    m_controller->pasteOnce();
    ours = true;
    m_desktop->held = false;
    QCOMPARE(outcome(), Outcome::FocusLost);
    QCOMPARE(m_desktop->sent.size(), 1);
}

QTEST_GUILESS_MAIN(TestPasteController)
#include "tst_pastecontroller.moc"
