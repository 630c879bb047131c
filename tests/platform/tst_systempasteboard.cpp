#include "FakeDataControlCompositor.h"
#include "platform/QtPasteboard.h"
#include "platform/SystemPasteboard.h"
#include "platform/wayland/WaylandPasteboard.h"

#include <QGuiApplication>
#include <QTest>

// Which clipboard and which Qt platform the program picks for the session it finds, against a compositor
// inside the test process.
class TestSystemPasteboard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void x11SessionIsLeftAlone();
    void compositorWithoutDataControlIsReportedOnce_data();
    void compositorWithoutDataControlIsReportedOnce();
    void dataControlIsUsedAndRunsWindowsThroughXWayland();

private:
    static void setEnv(const char* name, const QByteArray& value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

    QByteArray m_wayland;
    QByteArray m_display;
    QByteArray m_platform;
};

void TestSystemPasteboard::init()
{
    // Null when unset, so that cleanup() can tell unset from empty.
    const auto read = [](const char* name) { return qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray(); };
    m_wayland = read("WAYLAND_DISPLAY");
    m_display = read("DISPLAY");
    m_platform = read("QT_QPA_PLATFORM");
}

void TestSystemPasteboard::cleanup()
{
    setEnv("WAYLAND_DISPLAY", m_wayland);
    setEnv("DISPLAY", m_display);
    setEnv("QT_QPA_PLATFORM", m_platform);
}

void TestSystemPasteboard::x11SessionIsLeftAlone()
{
    qunsetenv("WAYLAND_DISPLAY");
    qputenv("DISPLAY", ":0");
    qunsetenv("QT_QPA_PLATFORM");
    QCOMPARE(SystemPasteboard::choosePlatform(), QString());
    QVERIFY(!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));
    // The tests run offscreen: neither X11 nor Wayland is there to read.
    const auto pasteboard = SystemPasteboard::create(QGuiApplication::clipboard(), {});
    QVERIFY(dynamic_cast<QtPasteboard*>(pasteboard.get()));
}

void TestSystemPasteboard::compositorWithoutDataControlIsReportedOnce_data()
{
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("chosenPlatform");
    QTest::addColumn<QByteArray>("platformAfter");
    QTest::addColumn<QString>("ending");

    const QString throughXWayland = QStringLiteral("it watches it through XWayland (QT_QPA_PLATFORM=xcb) instead.");
    const QString onlyWithFocus = QStringLiteral("it sees changes only while one of its windows has focus. Run it "
                                                 "under XWayland (QT_QPA_PLATFORM=xcb) to watch the clipboard at "
                                                 "all times.");
    QTest::newRow("XWayland, no platform chosen")
        << QByteArray(":0") << QByteArray() << QByteArray("xcb") << throughXWayland;
    QTest::newRow("no XWayland") << QByteArray() << QByteArray() << QByteArray() << onlyWithFocus;
    QTest::newRow("Wayland chosen by the user")
        << QByteArray(":0") << QByteArray("wayland") << QByteArray("wayland") << onlyWithFocus;
}

void TestSystemPasteboard::compositorWithoutDataControlIsReportedOnce()
{
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, chosenPlatform);
    QFETCH(QByteArray, platformAfter);
    QFETCH(QString, ending);

    FakeDataControlCompositor compositor({true, false, 0});
    QVERIFY(compositor.isListening());
    qputenv("WAYLAND_DISPLAY", compositor.displayName());
    setEnv("DISPLAY", display);
    setEnv("QT_QPA_PLATFORM", chosenPlatform);

    const QString note = SystemPasteboard::choosePlatform();
    QVERIFY2(note.startsWith(QStringLiteral("Pellamor cannot watch the clipboard on this Wayland compositor, which "
                                            "offers no data-control interface; ")),
             qPrintable(note));
    QVERIFY2(note.endsWith(ending), qPrintable(note));
    QVERIFY(!note.contains(u'\n'));
    QCOMPARE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ? qgetenv("QT_QPA_PLATFORM") : QByteArray(), platformAfter);

    const auto pasteboard = SystemPasteboard::create(QGuiApplication::clipboard(), {});
    QVERIFY(dynamic_cast<QtPasteboard*>(pasteboard.get()));
}

void TestSystemPasteboard::dataControlIsUsedAndRunsWindowsThroughXWayland()
{
    FakeDataControlCompositor compositor({true, false, 2});
    QVERIFY(compositor.isListening());
    qputenv("WAYLAND_DISPLAY", compositor.displayName());
    qputenv("DISPLAY", ":0");
    qunsetenv("QT_QPA_PLATFORM");

    QCOMPARE(SystemPasteboard::choosePlatform(), QString());
    QCOMPARE(qgetenv("QT_QPA_PLATFORM"), QByteArray("xcb"));

    const auto pasteboard = SystemPasteboard::create(QGuiApplication::clipboard(), {});
    const auto* wayland = dynamic_cast<WaylandPasteboard*>(pasteboard.get());
    QVERIFY(wayland);
    QVERIFY(wayland->isWatching());
    QCOMPARE(wayland->protocol(), WaylandClipboardReader::Protocol::Wlr);
}

QTEST_MAIN(TestSystemPasteboard)
#include "tst_systempasteboard.moc"
