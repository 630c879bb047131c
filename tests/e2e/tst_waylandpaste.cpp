// Pasting into foot under a compositor of its own, as an ordinary client: under a headless sway
// (run-under-sway.sh) the wlroots window list and virtual keyboard, under a virtual KWin
// (run-under-kwin.sh) Plasma's window list and fake input, granted through a desktop file. The window list
// names and activates the terminal, and the keyboard types Ctrl+Shift+V into it.
#include "../platform/FakeDataControlCompositor.h"
#include "platform/wayland/KdeKeystrokeSender.h"
#include "platform/wayland/WaylandClipboardReader.h"
#include "platform/wayland/WlrKeystrokeSender.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <functional>
#include <memory>

namespace {
constexpr int waitMs = 10000;

using MakeSender = std::function<std::unique_ptr<WaylandKeystrokeSender>(const QByteArray& displayName)>;

template<typename Sender>
MakeSender makeSender()
{
    return [](const QByteArray& displayName) { return std::make_unique<Sender>(displayName); };
}
} // namespace

Q_DECLARE_METATYPE(MakeSender)

class TestWaylandPaste : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void compositorWithoutTheInterfacesSaysSo_data();
    void compositorWithoutTheInterfacesSaysSo();
    void pastesIntoTheWindowItActivated();

private:
    // A terminal whose input goes to a file named after its app_id in the temporary folder.
    QProcess* startTerminal(const QString& appId);
    QByteArray written(const QString& appId) const;
    // Puts text on the clipboard and waits until the compositor has it.
    void copy(const QByteArray& text);

    // Under KWin rather than sway.
    bool m_kwin = false;
    QTemporaryDir m_dir;
    std::unique_ptr<WaylandKeystrokeSender> m_sender;
    std::unique_ptr<WaylandClipboardReader> m_clipboard;
    std::atomic<int> m_owned{0};
    QList<QProcess*> m_terminals;
};

void TestWaylandPaste::initTestCase()
{
    m_kwin = !qEnvironmentVariableIsEmpty("PELLAMOR_KWIN_DISPLAY");
    if (qEnvironmentVariableIsEmpty("PELLAMOR_SWAY_DISPLAY") && !m_kwin)
        QSKIP("needs a compositor of its own: run under tests/e2e/run-under-sway.sh or run-under-kwin.sh");
    if (QStandardPaths::findExecutable(m_kwin ? QStringLiteral("xterm") : QStringLiteral("foot")).isEmpty())
        QSKIP("the terminal is not installed");
    QVERIFY(m_dir.isValid());
    // As the program names itself; its own windows are never a target.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.pellamor.app"));
    m_sender = m_kwin ? makeSender<KdeKeystrokeSender>()({}) : makeSender<WlrKeystrokeSender>()({});
    QVERIFY2(m_sender->limitation().isEmpty(), qPrintable(m_sender->limitation()));
    QCOMPARE(m_sender->support(), KeystrokeSender::Support::Full);
    m_clipboard = std::make_unique<WaylandClipboardReader>(QStringList(), [this](ClipboardSnapshot snapshot) {
        if (snapshot.ownedByUs)
            ++m_owned;
    });
    QVERIFY(m_clipboard->start());
}

void TestWaylandPaste::compositorWithoutTheInterfacesSaysSo_data()
{
    QTest::addColumn<MakeSender>("make");
    QTest::addColumn<QString>("limitation");
    QTest::newRow("wlroots") << makeSender<WlrKeystrokeSender>()
                             << QStringLiteral("the compositor offers no zwp_virtual_keyboard_manager_v1 and no "
                                               "zwlr_foreign_toplevel_manager_v1");
    // As KWin answers a program its desktop file does not grant them to.
    QTest::newRow("kde") << makeSender<KdeKeystrokeSender>()
                         << QStringLiteral("the compositor offers no org_kde_kwin_fake_input and no "
                                           "org_kde_plasma_window_management (KWin grants them through the "
                                           "desktop file)");
}

void TestWaylandPaste::compositorWithoutTheInterfacesSaysSo()
{
    QFETCH(MakeSender, make);
    QFETCH(QString, limitation);
    // As on GNOME: a seat and a clipboard, but no window list and no way to type.
    FakeDataControlCompositor compositor({});
    QVERIFY(compositor.isListening());
    const std::unique_ptr<WaylandKeystrokeSender> sender = make(compositor.displayName());
    QCOMPARE(sender->support(), KeystrokeSender::Support::None);
    QCOMPARE(sender->limitation(), limitation);
    QVERIFY(!sender->focusedWindow().isValid());
    sender->send(PasteKeystroke::CtrlV);
}

void TestWaylandPaste::cleanup()
{
    for (QProcess* terminal : std::as_const(m_terminals)) {
        terminal->kill();
        terminal->waitForFinished();
        delete terminal;
    }
    m_terminals.clear();
}

QProcess* TestWaylandPaste::startTerminal(const QString& appId)
{
    auto* terminal = new QProcess;
    m_terminals << terminal;
    terminal->setWorkingDirectory(m_dir.path());
    terminal->setStandardOutputFile(QProcess::nullDevice());
    terminal->setStandardErrorFile(QProcess::nullDevice());
    const QStringList command{QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("cat > ") + appId};
    if (m_kwin) {
        // foot divides by the virtual output's physical size, which is 0: an xterm on XWayland, whose class
        // KWin's window list gives as the app_id, and which pastes the clipboard with Ctrl+Shift+V as foot.
        terminal->start(QStringLiteral("xterm"),
                        QStringList{QStringLiteral("-class"), appId, QStringLiteral("-xrm"),
                                    QStringLiteral("*VT100.translations: #override Shift Ctrl <Key>V: "
                                                   "insert-selection(CLIPBOARD)"),
                                    QStringLiteral("-e")} +
                            command);
    } else {
        terminal->start(QStringLiteral("foot"), QStringList{QStringLiteral("--app-id"), appId} + command);
    }
    return terminal;
}

QByteArray TestWaylandPaste::written(const QString& appId) const
{
    QFile file(m_dir.filePath(appId));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestWaylandPaste::copy(const QByteArray& text)
{
    const int before = m_owned.load();
    m_clipboard->publish({{QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("text/plain")},
                          [text](const QString&) { return text; }});
    QTRY_VERIFY_WITH_TIMEOUT(m_owned.load() > before, waitMs);
}

void TestWaylandPaste::pastesIntoTheWindowItActivated()
{
    QSignalSpy focus(m_sender.get(), &KeystrokeSender::focusChanged);
    startTerminal(QStringLiteral("first"));
    QTRY_COMPARE_WITH_TIMEOUT(m_sender->focusedWindow().appId, QStringLiteral("first"), waitMs);
    const PasteTarget first = m_sender->focusedWindow();
    QVERIFY(m_sender->exists(first));
    QTRY_VERIFY(!focus.isEmpty() && focus.last().at(0).value<PasteTarget>() == first);

    // Another window takes the focus; the paste goes back to the first one.
    QProcess* second = startTerminal(QStringLiteral("second"));
    QTRY_COMPARE_WITH_TIMEOUT(m_sender->focusedWindow().appId, QStringLiteral("second"), waitMs);
    const PasteTarget other = m_sender->focusedWindow();
    QVERIFY(other.handle != first.handle);
    // Our own window is never the focused one, even when it has the keyboard.
    const QString own = QStringLiteral("com.pellamor.app");
    startTerminal(own);
    QTRY_VERIFY_WITH_TIMEOUT(!m_sender->focusedWindow().isValid(), waitMs);
    copy("ours\n");
    m_sender->send(PasteKeystroke::CtrlShiftV);
    QTRY_COMPARE_WITH_TIMEOUT(written(own), QByteArray("ours\n"), waitMs);
    QVERIFY(!m_sender->focusedWindow().isValid());
    for (const QList<QVariant>& signal : std::as_const(focus))
        QVERIFY(signal.at(0).value<PasteTarget>().appId != own);

    m_sender->activate(first);
    QTRY_COMPARE_WITH_TIMEOUT(m_sender->focusedWindow(), first, waitMs);

    // One keyboard for every paste: each of ten in a row arrives, in order.
    QByteArray expected;
    for (int i = 1; i <= 10; ++i) {
        const QByteArray line = "paste " + QByteArray::number(i) + " 你好\n";
        copy(line);
        m_sender->send(PasteKeystroke::CtrlShiftV);
        expected += line;
        QTRY_COMPARE_WITH_TIMEOUT(written(QStringLiteral("first")), expected, waitMs);
    }
    QCOMPARE(written(QStringLiteral("second")), QByteArray());

    second->kill();
    QTRY_VERIFY_WITH_TIMEOUT(!m_sender->exists(other), waitMs);
    QVERIFY(m_sender->exists(first));
}

QTEST_GUILESS_MAIN(TestWaylandPaste)
#include "tst_waylandpaste.moc"
