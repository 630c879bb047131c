#include "platform/Preferences.h"
#include "platform/freedesktop/AutostartLoginItem.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestPreferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void everyKeyRoundTrips_data();
    void everyKeyRoundTrips();
    void everyWriteIsAnnounced();
    void handEditedValues_data();
    void handEditedValues();
    void defaultLocation_data();
    void defaultLocation();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void TestPreferences::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_file = m_dir->filePath(QStringLiteral("Pellamor.conf"));
}

void TestPreferences::everyKeyRoundTrips_data()
{
    QTest::addColumn<Preferences::Key>("key");
    QTest::addColumn<QVariant>("other");
    QTest::addColumn<QString>("storedText");
    // A value other than the default for every key, and how it stands in the file: the same text earlier
    // versions wrote, so a store written by one is read unchanged by the other.
    for (const Preferences::Setting& setting : Preferences::settings) {
        const QVariant fallback = setting.defaultValue();
        QVariant other;
        switch (setting.type) {
        case Preferences::Type::Bool:
            other = !fallback.toBool();
            break;
        case Preferences::Type::Int:
            other = setting.highest < 100 ? setting.highest : 20;
            break;
        case Preferences::Type::Text:
            other = QStringLiteral("⌃ + ⇧ + V");
            break;
        case Preferences::Type::List:
            other = QStringList{QStringLiteral("XTerm"), QStringLiteral("^\\d{6}$")};
            break;
        }
        QTest::newRow(setting.name) << setting.key << other
                                    << (other.typeId() == QMetaType::QStringList ? other.toStringList().join(u", ")
                                                                                 : other.toString());
    }
}

void TestPreferences::everyKeyRoundTrips()
{
    QFETCH(Preferences::Key, key);
    QFETCH(QVariant, other);
    QFETCH(QString, storedText);
    // The key table is in the order of the keys.
    QCOMPARE(Preferences::setting(key).key, key);
    const QVariant fallback = Preferences::defaultValue(key);
    {
        Preferences preferences(m_file);
        QCOMPARE(preferences.value(key), fallback);
        QVERIFY(!QFile::exists(m_file));
        preferences.setValue(key, other);
    }
    const QVariant stored =
        QSettings(m_file, QSettings::IniFormat).value(QString::fromLatin1(Preferences::keyName(key)));
    QCOMPARE(stored.typeId() == QMetaType::QStringList ? stored.toStringList().join(u", ") : stored.toString(),
             storedText);
    Preferences reopened(m_file);
    QCOMPARE(reopened.value(key), other);
    // A second handle on the same store sees a write at once: nothing is cached.
    Preferences writer(m_file);
    writer.setValue(key, fallback);
    QCOMPARE(reopened.value(key), fallback);
}

void TestPreferences::everyWriteIsAnnounced()
{
    Preferences preferences(m_file);
    QSignalSpy spy(&preferences, &Preferences::changed);
    preferences.setAutoClearPreference(Preferences::AutoClear::Never);
    preferences.setAutoClearPreference(Preferences::AutoClear::Never);
    preferences.setWidgetLocked(true);
    preferences.setShortcutKey(QStringLiteral("⌃ + ⇧ + V"));
    preferences.remove(Preferences::Key::ShortcutKey);
    QCOMPARE(spy.count(), 5);
    QCOMPARE(spy.at(0).at(0).value<Preferences::Key>(), Preferences::Key::AutoClearPreference);
    QCOMPARE(spy.at(2).at(0).value<Preferences::Key>(), Preferences::Key::WidgetLocked);
    QCOMPARE(preferences.shortcutKey(), QStringLiteral("⌥ + Space"));
}

void TestPreferences::handEditedValues_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("displayCount");
    QTest::addColumn<int>("theme");
    QTest::addColumn<int>("autoClear");
    QTest::addColumn<bool>("ignoreSensitive");
    QTest::newRow("zero") << QByteArray("displayCount=0") << 6 << 0 << 0 << true;
    QTest::newRow("negative") << QByteArray("displayCount=-4") << 6 << 0 << 0 << true;
    QTest::newRow("unknown count") << QByteArray("displayCount=7") << 7 << 0 << 0 << true;
    QTest::newRow("not a number") << QByteArray("displayCount=many") << 6 << 0 << 0 << true;
    QTest::newRow("theme 3") << QByteArray("themePreference=3") << 6 << 0 << 0 << true;
    QTest::newRow("theme dark") << QByteArray("themePreference=2") << 6 << 2 << 0 << true;
    QTest::newRow("clean-up -1") << QByteArray("autoClearPreference=-1") << 6 << 0 << 0 << true;
    QTest::newRow("clean-up 7 days") << QByteArray("autoClearPreference=2") << 6 << 0 << 2 << true;
    QTest::newRow("filter off") << QByteArray("ignoreSensitive=false") << 6 << 0 << 0 << false;
    QTest::newRow("filter garbage") << QByteArray("ignoreSensitive=maybe") << 6 << 0 << 0 << true;
}

void TestPreferences::handEditedValues()
{
    QFETCH(QByteArray, line);
    QFETCH(int, displayCount);
    QFETCH(int, theme);
    QFETCH(int, autoClear);
    QFETCH(bool, ignoreSensitive);
    {
        QFile file(m_file);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\n" + line + "\n");
    }
    Preferences preferences(m_file);
    QCOMPARE(preferences.displayCount(), displayCount);
    QCOMPARE(int(preferences.themePreference()), theme);
    QCOMPARE(int(preferences.autoClearPreference()), autoClear);
    QCOMPARE(preferences.ignoreSensitive(), ignoreSensitive);
}

void TestPreferences::defaultLocation_data()
{
    QTest::addColumn<QByteArray>("configHome");
    QTest::addColumn<QString>("expectedFolder");
    QTest::newRow("absolute") << QByteArray("@/xdg") << QStringLiteral("xdg");
    QTest::newRow("unset") << QByteArray() << QStringLiteral("home/.config");
    // Relative values are ignored, not taken relative to the current folder.
    QTest::newRow("relative") << QByteArray("rel/config") << QStringLiteral("home/.config");
    QTest::newRow("dot relative") << QByteArray("./config") << QStringLiteral("home/.config");
}

void TestPreferences::defaultLocation()
{
    QFETCH(QByteArray, configHome);
    QFETCH(QString, expectedFolder);
    const QByteArray savedHome = qgetenv("HOME");
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    const QString savedCurrent = QDir::currentPath();
    qputenv("HOME", m_dir->filePath(QStringLiteral("home")).toUtf8());
    if (configHome.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", configHome.replace('@', m_dir->path().toUtf8()));
    QDir::setCurrent(m_dir->path());
    const auto restore = qScopeGuard([&] {
        QDir::setCurrent(savedCurrent);
        qputenv("HOME", savedHome);
        qputenv("XDG_CONFIG_HOME", savedConfig);
    });

    const QString folder = m_dir->filePath(expectedFolder);
    QCOMPARE(AutostartLoginItem::defaultConfigFolder(), folder);
    Preferences preferences;
    QCOMPARE(preferences.fileName(), folder + QStringLiteral("/Pellamor/Pellamor.conf"));
    preferences.setWidgetPinned(true);
    QVERIFY(QFile::exists(preferences.fileName()));
}

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
