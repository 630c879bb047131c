#include "SettingsFixture.h"
#include "platform/KeySymbols.h"
#include "settings/ShortcutRecorder.h"

#include <QShortcut>
#include <QSignalSpy>
#include <QTest>

namespace {

// Counts the key presses that reach a widget.
class KeyCounter : public QObject
{
public:
    int presses = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress)
            ++presses;
        return false;
    }
};

const QString optionSpace = QStringLiteral("⌥ + Space");
// How the button shows it.
const QString altSpace = QStringLiteral("Alt + Space");

} // namespace

class TestShortcutRecorder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void shortcutText_data();
    void shortcutText();
    void parseShortcutText_data();
    void parseShortcutText();
    void displayText_data();
    void displayText();
    void recordsOneCombination_data();
    void recordsOneCombination();
    void refusesWhatWouldTakeAKeyFromTyping_data();
    void refusesWhatWouldTakeAKeyFromTyping();
    void escapeCancelsAndIsSwallowed();
    void modifierAloneKeepsRecording();
    void otherWindowsAreNotRecorded();
    void windowShortcutsDoNotFire();
    void endsWithoutAKey_data();
    void endsWithoutAKey();

private:
    QAbstractButton* button() { return m_fixture->find<QAbstractButton>(QStringLiteral("shortcutButton")); }
    void startRecording();

    std::unique_ptr<SettingsFixture> m_fixture;
};

void TestShortcutRecorder::init()
{
    m_fixture = std::make_unique<SettingsFixture>();
}

void TestShortcutRecorder::cleanup()
{
    m_fixture.reset();
}

void TestShortcutRecorder::startRecording()
{
    m_fixture->shownView();
    QTest::mouseClick(button(), Qt::LeftButton);
    QVERIFY(m_fixture->view().isRecordingShortcut());
    QCOMPARE(button()->text(), QStringLiteral("录制中..."));
}

void TestShortcutRecorder::shortcutText_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const auto none = Qt::KeyboardModifiers();
    // With Control held, the reported text is a control character.
    QTest::newRow("control shift V") << (Qt::ControlModifier | Qt::ShiftModifier) << int(Qt::Key_V) << "\x16"
                                     << "⌃ + ⇧ + V";
    QTest::newRow("super alt K, fixed order") << (Qt::MetaModifier | Qt::AltModifier) << int(Qt::Key_K) << "k"
                                              << "⌥ + ⌘ + K";
    QTest::newRow("all four") << (Qt::MetaModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier)
                              << int(Qt::Key_1) << "!"
                              << "⌃ + ⌥ + ⇧ + ⌘ + 1";
    QTest::newRow("letter alone, upper case") << none << int(Qt::Key_A) << "a"
                                              << "A";
    QTest::newRow("alt space is a space") << Qt::KeyboardModifiers(Qt::AltModifier) << int(Qt::Key_Space) << " "
                                          << "⌥ +  ";
    QTest::newRow("non-Latin letter") << none << 0x0436 << "ж"
                                      << "Ж";
    QTest::newRow("F1") << none << int(Qt::Key_F1) << ""
                        << "F1";
    QTest::newRow("control return") << Qt::KeyboardModifiers(Qt::ControlModifier) << int(Qt::Key_Return) << "\r"
                                    << "⌃ + Return";
    QTest::newRow("left arrow") << none << int(Qt::Key_Left) << ""
                                << "Left";
    QTest::newRow("delete") << none << int(Qt::Key_Delete) << "\x7f"
                            << "Del";
    QTest::newRow("shift tab") << Qt::KeyboardModifiers(Qt::ShiftModifier) << int(Qt::Key_Backtab) << ""
                               << "⇧ + Tab";
    QTest::newRow("unknown key that types") << none << int(Qt::Key_unknown) << "é"
                                            << "É";
    QTest::newRow("shift alone") << Qt::KeyboardModifiers(Qt::ShiftModifier) << int(Qt::Key_Shift) << ""
                                 << "";
    QTest::newRow("super alone") << Qt::KeyboardModifiers(Qt::MetaModifier) << int(Qt::Key_Super_L) << ""
                                 << "";
    QTest::newRow("dead key") << none << int(Qt::Key_Dead_Acute) << ""
                              << "";
    QTest::newRow("unknown key, no text") << none << int(Qt::Key_unknown) << ""
                                          << "";
}

void TestShortcutRecorder::shortcutText()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(::shortcutText(modifiers, key, text), expected);
}

void TestShortcutRecorder::parseShortcutText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("combination"); // 0: names no key
    QTest::newRow("default") << "⌥ + Space" << (Qt::ALT | Qt::Key_Space).toCombined();
    QTest::newRow("recorded alt space") << "⌥ +  " << (Qt::ALT | Qt::Key_Space).toCombined();
    QTest::newRow("control shift V") << "⌃ + ⇧ + V" << (Qt::CTRL | Qt::SHIFT | Qt::Key_V).toCombined();
    QTest::newRow("all four") << "⌃ + ⌥ + ⇧ + ⌘ + 1"
                              << (Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::META | Qt::Key_1).toCombined();
    QTest::newRow("super F2") << "⌘ + F2" << (Qt::META | Qt::Key_F2).toCombined();
    QTest::newRow("function key alone") << "F12" << QKeyCombination(Qt::Key_F12).toCombined();
    QTest::newRow("plus is a key") << "⌃ + +" << (Qt::CTRL | Qt::Key_Plus).toCombined();
    QTest::newRow("named keys") << "⌃ + Return" << (Qt::CTRL | Qt::Key_Return).toCombined();
    QTest::newRow("arrow") << "⇧ + Left" << (Qt::SHIFT | Qt::Key_Left).toCombined();
    QTest::newRow("hand-typed lower case") << "⌥ + v" << (Qt::ALT | Qt::Key_V).toCombined();
    QTest::newRow("non-Latin letter") << "Ж" << QKeyCombination(Qt::Key(0x0416)).toCombined();
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("modifier without key") << "⌥ + " << 0;
    QTest::newRow("modifier symbol alone") << "⌥" << 0;
    QTest::newRow("modifier symbol as key") << "⌥ + ⌃" << 0;
    QTest::newRow("unknown name") << "⌥ + Sapce" << 0;
    QTest::newRow("modifier name as key") << "⌥ + Shift" << 0;
    QTest::newRow("two keys") << "⌥ + A, B" << 0;
    QTest::newRow("other spelling") << "Alt+Space" << 0;
    QTest::newRow("control character") << "⌃ + \x16" << 0;
    QTest::newRow("recording text") << "录制中..." << 0;
}

void TestShortcutRecorder::parseShortcutText()
{
    QFETCH(QString, text);
    QFETCH(int, combination);
    const std::optional<QKeyCombination> parsed = ::parseShortcutText(text);
    QCOMPARE(parsed ? parsed->toCombined() : 0, combination);
    // What the recorder writes reads back as the same combination.
    if (parsed) {
        const QString written = ::shortcutText(parsed->keyboardModifiers(), parsed->key(), QString());
        QCOMPARE(::parseShortcutText(written), parsed);
    }
}

void TestShortcutRecorder::displayText_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("default") << "⌥ + Space"
                             << "Alt + Space";
    QTest::newRow("recorded alt space") << "⌥ +  "
                                        << "Alt + Space";
    QTest::newRow("shift super V") << "⇧ + ⌘ + V"
                                   << "Shift + Super + V";
    QTest::newRow("control shift V") << "⌃ + ⇧ + V"
                                     << "Ctrl + Shift + V";
    QTest::newRow("all four") << "⌃ + ⌥ + ⇧ + ⌘ + F2"
                              << "Ctrl + Alt + Shift + Super + F2";
    QTest::newRow("plus is a key") << "⌃ + +"
                                   << "Ctrl + +";
    QTest::newRow("function key alone") << "F12"
                                        << "F12";
    QTest::newRow("unreadable, as stored") << "⌥ + "
                                           << "⌥ + ";
}

void TestShortcutRecorder::displayText()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QCOMPARE(shortcutDisplayText(stored), shown);
    m_fixture->preferences.setShortcutKey(stored);
    m_fixture->shownView();
    QCOMPARE(button()->text(), shown);
}

void TestShortcutRecorder::recordsOneCombination_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("shown");
    QTest::newRow("control shift V") << int(Qt::Key_V) << (Qt::ControlModifier | Qt::ShiftModifier) << "⌃ + ⇧ + V"
                                     << "Ctrl + Shift + V";
    QTest::newRow("super V") << int(Qt::Key_V) << Qt::KeyboardModifiers(Qt::MetaModifier) << "⌘ + V"
                             << "Super + V";
    QTest::newRow("super alt F9") << int(Qt::Key_F9) << (Qt::MetaModifier | Qt::AltModifier) << "⌥ + ⌘ + F9"
                                  << "Alt + Super + F9";
    QTest::newRow("function key alone") << int(Qt::Key_F5) << Qt::KeyboardModifiers() << "F5"
                                        << "F5";
}

void TestShortcutRecorder::recordsOneCombination()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, expected);
    QFETCH(QString, shown);
    startRecording();
    QCOMPARE(m_fixture->preferences.shortcutKey(), optionSpace);
    QTest::keyClick(&m_fixture->view(), Qt::Key(key), modifiers);
    QCOMPARE(m_fixture->preferences.shortcutKey(), expected);
    QVERIFY(!m_fixture->view().isRecordingShortcut());
    QCOMPARE(button()->text(), shown);
    // Nothing listens any more.
    QTest::keyClick(&m_fixture->view(), Qt::Key_B, Qt::ControlModifier);
    QCOMPARE(m_fixture->preferences.shortcutKey(), expected);
}

void TestShortcutRecorder::refusesWhatWouldTakeAKeyFromTyping_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("letter") << int(Qt::Key_A) << Qt::KeyboardModifiers();
    QTest::newRow("shift and a letter") << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("space bar") << int(Qt::Key_Space) << Qt::KeyboardModifiers();
    QTest::newRow("return") << int(Qt::Key_Return) << Qt::KeyboardModifiers();
    QTest::newRow("shift and a function key") << int(Qt::Key_F5) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("F25 is no function key of the rule") << int(Qt::Key_F25) << Qt::KeyboardModifiers();
}

void TestShortcutRecorder::refusesWhatWouldTakeAKeyFromTyping()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    SettingsView& view = m_fixture->view();
    startRecording();
    KeyCounter counter;
    view.installEventFilter(&counter);
    QTest::keyClick(&view, Qt::Key(key), modifiers);
    // Refused and explained; the recorder waits for a combination it can take. Only the press of a
    // modifier key itself passes on.
    QCOMPARE(counter.presses, modifiers == Qt::NoModifier ? 0 : 1);
    QVERIFY(view.isRecordingShortcut());
    QCOMPARE(m_fixture->preferences.shortcutKey(), optionSpace);
    QCOMPARE(view.shortcutProblem(), QStringLiteral("快捷键需要包含 Ctrl、Alt 或 Super"));
    QTest::keyClick(&view, Qt::Key(key), modifiers | Qt::AltModifier);
    QVERIFY(!view.isRecordingShortcut());
    QVERIFY(m_fixture->preferences.shortcutKey().startsWith(QStringLiteral("⌥ + ")));
    QCOMPARE(view.shortcutProblem(), QString());
}

void TestShortcutRecorder::escapeCancelsAndIsSwallowed()
{
    m_fixture->preferences.setShortcutKey(QStringLiteral("⌃ + K"));
    startRecording();
    KeyCounter counter;
    m_fixture->view().installEventFilter(&counter);
    QTest::keyClick(&m_fixture->view(), Qt::Key_Escape);
    QVERIFY(!m_fixture->view().isRecordingShortcut());
    QCOMPARE(counter.presses, 0);
    QCOMPARE(m_fixture->preferences.shortcutKey(), QStringLiteral("⌃ + K"));
    QCOMPARE(button()->text(), QStringLiteral("Ctrl + K"));
}

void TestShortcutRecorder::modifierAloneKeepsRecording()
{
    startRecording();
    KeyCounter counter;
    m_fixture->view().installEventFilter(&counter);
    QTest::keyClick(&m_fixture->view(), Qt::Key_Shift);
    QVERIFY(m_fixture->view().isRecordingShortcut());
    // Passed on unchanged.
    QCOMPARE(counter.presses, 1);
    QTest::keyClick(&m_fixture->view(), Qt::Key_F5, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(m_fixture->preferences.shortcutKey(), QStringLiteral("⌃ + ⇧ + F5"));
}

void TestShortcutRecorder::otherWindowsAreNotRecorded()
{
    startRecording();
    QWidget other;
    KeyCounter counter;
    other.installEventFilter(&counter);
    QTest::keyClick(&other, Qt::Key_A);
    QCOMPARE(counter.presses, 1);
    QVERIFY(m_fixture->view().isRecordingShortcut());
    QCOMPARE(m_fixture->preferences.shortcutKey(), optionSpace);
}

void TestShortcutRecorder::windowShortcutsDoNotFire()
{
    SettingsView& view = m_fixture->shownView();
    QShortcut shortcut(QKeySequence(Qt::CTRL | Qt::Key_K), &view);
    QSignalSpy activated(&shortcut, &QShortcut::activated);
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    // The shortcut is live before recording...
    QTest::keyClick(&view, Qt::Key_K, Qt::ControlModifier);
    QCOMPARE(activated.size(), 1);
    // ...and the recorder takes the combination while recording.
    startRecording();
    QTest::keyClick(&view, Qt::Key_K, Qt::ControlModifier);
    QCOMPARE(activated.size(), 1);
    QCOMPARE(m_fixture->preferences.shortcutKey(), QStringLiteral("⌃ + K"));
}

void TestShortcutRecorder::endsWithoutAKey_data()
{
    QTest::addColumn<bool>("hide");
    QTest::newRow("second click") << false;
    QTest::newRow("panel hidden") << true;
}

void TestShortcutRecorder::endsWithoutAKey()
{
    QFETCH(bool, hide);
    startRecording();
    if (hide)
        m_fixture->view().hide();
    else
        QTest::mouseClick(button(), Qt::LeftButton);
    QVERIFY(!m_fixture->view().isRecordingShortcut());
    QCOMPARE(button()->text(), altSpace);
    // Nothing listens any more.
    QTest::keyClick(&m_fixture->view(), Qt::Key_B);
    QCOMPARE(m_fixture->preferences.shortcutKey(), optionSpace);
}

QTEST_MAIN(TestShortcutRecorder)
#include "tst_shortcutrecorder.moc"
