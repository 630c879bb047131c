#include "platform/freedesktop/AutostartLoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Status = LoginItem::Status;
Q_DECLARE_METATYPE(LoginItem::Status)

class TestAutostartLoginItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void registerWritesTheEntry();
    void execQuoting_data();
    void execQuoting();
    void status_data();
    void status();
    void unregister();
    void registerFailureIsReported();
    void defaultsFollowTheEnvironment();

private:
    // An executable file named `name` in the temporary folder.
    QString program(const QString& name);
    QString entryPath() const { return m_dir->filePath(QStringLiteral("config/autostart/pellamor.desktop")); }
    QString configFolder() const { return m_dir->filePath(QStringLiteral("config")); }
    QByteArray entry() const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestAutostartLoginItem::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestAutostartLoginItem::program(const QString& name)
{
    const QString path = m_dir->filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n") < 0)
        qFatal("cannot create %s", qPrintable(path));
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

QByteArray TestAutostartLoginItem::entry() const
{
    QFile file(entryPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestAutostartLoginItem::registerWritesTheEntry()
{
    const QString path = program(QStringLiteral("My Apps/pellamor"));
    AutostartLoginItem item(configFolder(), path);
    QCOMPARE(item.status(), Status::NotRegistered);
    const LoginItem::Result result = item.registerItem();
    QVERIFY2(result.ok, qPrintable(result.errorDescription));
    QCOMPARE(entry(), QByteArray("[Desktop Entry]\n"
                                 "Type=Application\n"
                                 "Name=Pellamor\n"
                                 "Exec=\"") +
                          path.toUtf8() +
                          QByteArray("\"\n"
                                     "Icon=com.pellamor.app\n"
                                     "X-GNOME-Autostart-enabled=true\n"
                                     "NoDisplay=false\n"));
    QCOMPARE(item.status(), Status::Enabled);
    // Written aside and moved into place: nothing else is left in the folder.
    QCOMPARE(QDir(QFileInfo(entryPath()).absolutePath()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("pellamor.desktop")});
    // Registering again replaces the entry rather than failing.
    QVERIFY(item.registerItem().ok);
}

void TestAutostartLoginItem::execQuoting_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << "pellamor"
                           << "pellamor";
    QTest::newRow("spaces") << "Pellamor Beta/pellamor app"
                            << "Pellamor Beta/pellamor app";
    // The string escapes apply before the quoting ones: an escaped character takes two backslashes in
    // the file, a backslash four.
    QTest::newRow("dollar and backtick") << "a$b`c"
                                         << R"(a\\$b\\`c)";
    QTest::newRow("double quote") << R"(say "hi")"
                                  << R"(say \\"hi\\")";
    QTest::newRow("backslash") << R"(back\slash)"
                               << R"(back\\\\slash)";
    QTest::newRow("percent is not a field code") << "100%"
                                                 << "100%%";
}

void TestAutostartLoginItem::execQuoting()
{
    QFETCH(QString, name);
    QFETCH(QString, quoted);
    const QString path = program(name);
    const QString folder = m_dir->path() + u'/';
    QCOMPARE(AutostartLoginItem::execValue(path), u'"' + folder + quoted + u'"');
    // What is written is read back as the same program.
    AutostartLoginItem item(configFolder(), path);
    QVERIFY(item.registerItem().ok);
    QCOMPARE(item.status(), Status::Enabled);
}

void TestAutostartLoginItem::status_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Status>("expected");
    // PROGRAM stands for the quoted path of an existing executable, MISSING for one that is not there.
    QTest::newRow("plain entry") << QByteArray("[Desktop Entry]\nType=Application\nExec=PROGRAM\n") << Status::Enabled;
    QTest::newRow("Hidden=true is deleted")
        << QByteArray("[Desktop Entry]\nExec=PROGRAM\nHidden=true\n") << Status::NotRegistered;
    QTest::newRow("Hidden=false") << QByteArray("[Desktop Entry]\nExec=PROGRAM\nHidden=false\n") << Status::Enabled;
    QTest::newRow("switched off in GNOME")
        << QByteArray("[Desktop Entry]\nExec=PROGRAM\nX-GNOME-Autostart-enabled=false\n") << Status::NotRegistered;
    QTest::newRow("keys of another group")
        << QByteArray("[Desktop Entry]\nExec=PROGRAM\n[Desktop Action x]\nHidden=true\n") << Status::Enabled;
    QTest::newRow("program gone") << QByteArray("[Desktop Entry]\nExec=MISSING\n") << Status::NotFound;
    QTest::newRow("program by name on the PATH") << QByteArray("[Desktop Entry]\nExec=sh -c true\n") << Status::Enabled;
}

void TestAutostartLoginItem::status()
{
    QFETCH(QByteArray, content);
    QFETCH(Status, expected);
    const QString path = program(QStringLiteral("pellamor"));
    content.replace("PROGRAM", AutostartLoginItem::execValue(path).toUtf8());
    content.replace("MISSING",
                    AutostartLoginItem::execValue(m_dir->filePath(QStringLiteral("gone/pellamor"))).toUtf8());
    QDir().mkpath(QFileInfo(entryPath()).absolutePath());
    QFile file(entryPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
    file.close();
    QCOMPARE(AutostartLoginItem(configFolder(), path).status(), expected);
}

void TestAutostartLoginItem::unregister()
{
    AutostartLoginItem item(configFolder(), program(QStringLiteral("pellamor")));
    // Nothing to remove is not a failure.
    QVERIFY(item.unregisterItem().ok);
    QVERIFY(item.registerItem().ok);
    QVERIFY(item.unregisterItem().ok);
    QVERIFY(!QFile::exists(entryPath()));
    QCOMPARE(item.status(), Status::NotRegistered);
}

void TestAutostartLoginItem::registerFailureIsReported()
{
    // A file where the configuration folder should be.
    QFile blocker(configFolder());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    AutostartLoginItem item(configFolder(), program(QStringLiteral("pellamor")));
    const LoginItem::Result result = item.registerItem();
    QVERIFY(!result.ok);
    QVERIFY(!result.errorDescription.isEmpty());
    QCOMPARE(item.status(), Status::NotRegistered);
}

void TestAutostartLoginItem::defaultsFollowTheEnvironment()
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", configFolder().toUtf8());
    AutostartLoginItem item;
    QCOMPARE(item.fileName(), entryPath());
    QCOMPARE(item.program(), QCoreApplication::applicationFilePath());
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
}

QTEST_GUILESS_MAIN(TestAutostartLoginItem)
#include "tst_autostartloginitem.moc"
