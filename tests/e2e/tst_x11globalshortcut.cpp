// The global shortcut against a real X server (run under run-under-xvfb.sh), with xdotool pressing keys
// as the user would.
#include "platform/x11/X11GlobalShortcut.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace {

using Status = GlobalShortcut::Status;

bool press(const QString& keys)
{
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), keys}) == 0;
}

} // namespace

class TestX11GlobalShortcut : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void pressedAnywhereWhateverTheLocks();
    void takenKeysAndReleasedKeys();
    void keysTheKeyboardLacks();
};

void TestX11GlobalShortcut::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("xdotool is not installed");
}

void TestX11GlobalShortcut::pressedAnywhereWhateverTheLocks()
{
    X11GlobalShortcut shortcut;
    QVERIFY(shortcut.isConnected());
    QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
    shortcut.bind(Qt::ALT | Qt::Key_Space);
    QCOMPARE(shortcut.status(), Status::Pending);
    QTRY_COMPARE(shortcut.status(), Status::Bound);

    int expected = 0;
    for (const QString& lock : {QString(), QStringLiteral("Caps_Lock"), QStringLiteral("Num_Lock")}) {
        if (!lock.isEmpty())
            QVERIFY(press(lock));
        QVERIFY(press(QStringLiteral("alt+space")));
        ++expected;
        QTRY_COMPARE_WITH_TIMEOUT(activated.size(), expected, 15000);
    }
    QVERIFY(press(QStringLiteral("Caps_Lock")));
    QVERIFY(press(QStringLiteral("Num_Lock")));
    // Other combinations of the same key are not ours.
    QVERIFY(press(QStringLiteral("space")));
    QVERIFY(press(QStringLiteral("ctrl+alt+space")));
    QTest::qWait(200);
    QCOMPARE(activated.size(), expected);

    // A new combination replaces the old one.
    shortcut.bind(Qt::META | Qt::Key_F2);
    QTRY_COMPARE(shortcut.status(), Status::Bound);
    QVERIFY(press(QStringLiteral("alt+space")));
    QVERIFY(press(QStringLiteral("super+F2")));
    QTRY_COMPARE_WITH_TIMEOUT(activated.size(), expected + 1, 15000);
    QTest::qWait(200);
    QCOMPARE(activated.size(), expected + 1);
}

void TestX11GlobalShortcut::takenKeysAndReleasedKeys()
{
    auto first = std::make_unique<X11GlobalShortcut>();
    first->bind(Qt::CTRL | Qt::SHIFT | Qt::Key_V);
    QTRY_COMPARE(first->status(), Status::Bound);
    // Another client holds it: BadAccess, and nothing half-grabbed stays behind.
    X11GlobalShortcut second;
    second.bind(Qt::CTRL | Qt::SHIFT | Qt::Key_V);
    QTRY_COMPARE(second.status(), Status::Taken);
    QSignalSpy firstActivated(first.get(), &GlobalShortcut::activated);
    QVERIFY(press(QStringLiteral("ctrl+shift+v")));
    QTRY_COMPARE_WITH_TIMEOUT(firstActivated.size(), 1, 15000);

    first->unbind();
    QTRY_COMPARE(first->status(), Status::Unbound);
    second.bind(Qt::CTRL | Qt::SHIFT | Qt::Key_V);
    QTRY_COMPARE(second.status(), Status::Bound);
    second.unbind();
    QTRY_COMPARE(second.status(), Status::Unbound);

    // Ending the program gives the key back.
    first->bind(Qt::CTRL | Qt::SHIFT | Qt::Key_V);
    QTRY_COMPARE(first->status(), Status::Bound);
    first.reset();
    second.bind(Qt::CTRL | Qt::SHIFT | Qt::Key_V);
    QTRY_COMPARE(second.status(), Status::Bound);
}

void TestX11GlobalShortcut::keysTheKeyboardLacks()
{
    X11GlobalShortcut shortcut;
    shortcut.bind(Qt::ALT | Qt::Key(0x0416)); // Ж: not on the server's US keyboard
    QTRY_COMPARE(shortcut.status(), Status::NoSuchKey);
    shortcut.bind(Qt::ALT | Qt::Key_unknown);
    QTRY_COMPARE(shortcut.status(), Status::NoSuchKey);
}

QTEST_GUILESS_MAIN(TestX11GlobalShortcut)
#include "tst_x11globalshortcut.moc"
