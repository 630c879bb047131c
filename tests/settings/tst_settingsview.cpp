#include "SettingsFixture.h"
#include "settings/ConfirmClearDialog.h"
#include "settings/CountPicker.h"
#include "settings/RuleListEditor.h"
#include "settings/SegmentedPicker.h"
#include "settings/SettingsClickableRow.h"
#include "settings/ToggleSwitch.h"
#include "ui/Theme.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <algorithm>

class TestSettingsView : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    // Stands in for the user's mail program.
    void openMail(const QUrl& url) { m_mailed << url; }

private Q_SLOTS:
    void init();
    void cleanup();

    void controlsWriteTheirKeys_data();
    void controlsWriteTheirKeys();
    void controlsFollowTheStore();
    void unknownStoredValueHighlightsNothing_data();
    void unknownStoredValueHighlightsNothing();
    void chosenCountIsWhiteOnBlue();
    void clearAsksFirst_data();
    void clearAsksFirst();
    void autoClearAsksBeforeRemoving_data();
    void autoClearAsksBeforeRemoving();
    void rowsReachShellAndMail();
    void hoverTintsClickableRow();
    void ruleListsAreEdited();

private:
    QString stored(const QString& key) const;

    std::unique_ptr<SettingsFixture> m_fixture;
    QList<QUrl> m_mailed;
};

void TestSettingsView::init()
{
    m_fixture = std::make_unique<SettingsFixture>();
    m_mailed.clear();
}

void TestSettingsView::cleanup()
{
    m_fixture.reset();
}

QString TestSettingsView::stored(const QString& key) const
{
    // Straight from the file, as any other reader of the store would see it.
    return QSettings(m_fixture->preferences.fileName(), QSettings::IniFormat).value(key).toString();
}

void TestSettingsView::controlsWriteTheirKeys_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    // One option of each control: a picker writes each of its options the same way.
    const char* const rows[][4] = {
        {"launch at login", "launchAtLoginSwitch", "launchAtLogin", "true"},
        {"desktop widget", "desktopWidgetSwitch", "showDesktopWidget", "true"},
        {"paste after choosing", "pasteAfterChoosingSwitch", "pasteAfterChoosing", "true"},
        {"sensitive filter, on by default", "ignoreSensitiveSwitch", "ignoreSensitive", "false"},
        {"restore an empty clipboard", "restoreEmptyClipboardSwitch", "restoreEmptyClipboard", "true"},
        {"theme dark", "themeOption2", "themePreference", "2"},
        {"20 entries", "countOption20", "displayCount", "20"},
        {"clean up after 7 days", "autoClearOption2", "autoClearPreference", "2"},
    };
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString::fromLatin1(row[1]) << QString::fromLatin1(row[2])
                              << QString::fromLatin1(row[3]);
}

void TestSettingsView::controlsWriteTheirKeys()
{
    QFETCH(QString, control);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    m_fixture->shownView();
    QSignalSpy changed(&m_fixture->preferences, &Preferences::changed);
    m_fixture->click(control);
    QVERIFY(std::any_of(changed.cbegin(), changed.cend(), [&](const QVariantList& arguments) {
        return QLatin1String(Preferences::keyName(arguments.first().value<Preferences::Key>())) == key;
    }));
    QCOMPARE(stored(key), expected);
}

void TestSettingsView::controlsFollowTheStore()
{
    m_fixture->shownView();
    Preferences& preferences = m_fixture->preferences;
    preferences.setShowDesktopWidget(true);
    preferences.setIgnoreSensitive(false);
    preferences.setThemePreference(Preferences::Appearance::Dark);
    preferences.setDisplayCount(20);
    preferences.setAutoClearPreference(Preferences::AutoClear::OneDay);
    preferences.setShortcutKey(QStringLiteral("⌃ + K"));

    QVERIFY(m_fixture->find<ToggleSwitch>(QStringLiteral("desktopWidgetSwitch"))->isOn());
    QVERIFY(!m_fixture->find<ToggleSwitch>(QStringLiteral("ignoreSensitiveSwitch"))->isOn());
    QCOMPARE(m_fixture->find<SegmentedPicker>(QStringLiteral("themePicker"))->highlightedValue(), 2);
    QCOMPARE(m_fixture->find<CountPicker>(QStringLiteral("countPicker"))->highlightedOption(), 20);
    QCOMPARE(m_fixture->find<SegmentedPicker>(QStringLiteral("autoClearPicker"))->highlightedValue(), 1);
    QCOMPARE(m_fixture->find<QAbstractButton>(QStringLiteral("shortcutButton"))->text(), QStringLiteral("Ctrl + K"));
    // A switch moves to where the store says with its spring.
    auto* widgetSwitch = m_fixture->find<ToggleSwitch>(QStringLiteral("desktopWidgetSwitch"));
    QTRY_COMPARE(widgetSwitch->position(), 1.0);
}

void TestSettingsView::unknownStoredValueHighlightsNothing_data()
{
    QTest::addColumn<Preferences::Key>("key");
    QTest::addColumn<int>("unknown");
    QTest::addColumn<QString>("option");
    QTest::addColumn<int>("chosen");
    QTest::newRow("15 entries") << Preferences::Key::DisplayCount << 15 << "countOption6" << 6;
    QTest::newRow("theme 5") << Preferences::Key::ThemePreference << 5 << "themeOption0" << 0;
    QTest::newRow("clean-up -1") << Preferences::Key::AutoClearPreference << -1 << "autoClearOption0" << 0;
}

void TestSettingsView::unknownStoredValueHighlightsNothing()
{
    QFETCH(Preferences::Key, key);
    QFETCH(int, unknown);
    QFETCH(QString, option);
    QFETCH(int, chosen);
    Preferences& preferences = m_fixture->preferences;
    const auto highlighted = [&]() -> std::optional<int> {
        if (key == Preferences::Key::DisplayCount)
            return m_fixture->find<CountPicker>(QStringLiteral("countPicker"))->highlightedOption();
        const QString picker = key == Preferences::Key::ThemePreference ? QStringLiteral("themePicker")
                                                                        : QStringLiteral("autoClearPicker");
        return m_fixture->find<SegmentedPicker>(picker)->highlightedValue();
    };
    const auto write = [&](int value) { preferences.setValue(key, value); };

    // Stored before the panel exists, and written while it is open.
    write(unknown);
    m_fixture->shownView();
    QCOMPARE(highlighted(), std::nullopt);
    m_fixture->click(option);
    QCOMPARE(stored(QString::fromLatin1(Preferences::keyName(key))), QString::number(chosen));
    QCOMPARE(highlighted(), chosen);
    write(unknown);
    QCOMPARE(highlighted(), std::nullopt);
}

void TestSettingsView::chosenCountIsWhiteOnBlue()
{
    m_fixture->shownView();
    m_fixture->click(QStringLiteral("countOption10"));
    auto* chosen = m_fixture->find<CountOption>(QStringLiteral("countOption10"));
    auto* other = m_fixture->find<CountOption>(QStringLiteral("countOption6"));
    const QColor blue = Theme::palette().blue;
    // Above the text, inside the face.
    QTRY_COMPARE(chosen->grab().toImage().pixelColor(chosen->width() / 2, 4), blue);
    QVERIFY(other->grab().toImage().pixelColor(other->width() / 2, 4) != blue);
    const QImage face = chosen->grab().toImage();
    bool whiteText = false;
    for (int y = 0; y < face.height() && !whiteText; ++y) {
        for (int x = 0; x < face.width() && !whiteText; ++x) {
            const QColor pixel = face.pixelColor(x, y);
            whiteText = pixel.red() > 240 && pixel.green() > 240 && pixel.blue() > 240;
        }
    }
    QVERIFY(whiteText);
}

void TestSettingsView::clearAsksFirst_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("remaining");
    QTest::newRow("cancel") << "cancelClearButton" << 8;
    QTest::newRow("escape") << "escape" << 8;
    QTest::newRow("clear") << "confirmClearButton" << 3;
}

void TestSettingsView::clearAsksFirst()
{
    QFETCH(QString, answer);
    QFETCH(int, remaining);
    ClipboardItems items;
    const QDateTime now = ClipboardItem::currentMoment();
    for (int i = 0; i < 3; ++i)
        items << PanelFixture::text(QStringLiteral("pinned %1").arg(i), now.addSecs(-10 - i), true);
    for (int i = 0; i < 5; ++i)
        items << PanelFixture::text(QStringLiteral("plain %1").arg(i), now.addSecs(-i));
    m_fixture->setHistory(items);
    SettingsView& view = m_fixture->shownView();

    // The click returns with the question still open: nothing waits in a nested event loop.
    m_fixture->click(QStringLiteral("clearRow"));
    QVERIFY(view.isShowingClearConfirm());
    ConfirmClearDialog* dialog = view.clearConfirmation();
    QCOMPARE(dialog->windowModality(), Qt::WindowModal);
    QCOMPARE(m_fixture->monitor->items().size(), 8);
    // It says what goes, and that it can be taken back.
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("confirmMessage"))->text(),
             QStringLiteral("将清除 5 条未置顶记录，8 秒内可撤销。"));
    // A second click does not stack another question.
    m_fixture->click(QStringLiteral("clearRow"));
    QCOMPARE(view.findChildren<ConfirmClearDialog*>().size(), 1);

    if (answer == u"escape")
        QTest::keyClick(dialog, Qt::Key_Escape);
    else
        QTest::mouseClick(dialog->findChild<QPushButton*>(answer), Qt::LeftButton);
    QVERIFY(!view.isShowingClearConfirm());
    QCOMPARE(m_fixture->monitor->items().size(), remaining);
    if (remaining == 3) {
        for (const ClipboardItem& item : m_fixture->monitor->items())
            QVERIFY(item.isPinned);
    }
}

void TestSettingsView::autoClearAsksBeforeRemoving_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("stored");
    QTest::newRow("1 day, cancelled") << "autoClearOption1"
                                      << "cancelClearButton"
                                      << "将删除 5 条记录（超过 1 天的未置顶记录）。" << 0;
    QTest::newRow("1 day, escape") << "autoClearOption1"
                                   << "escape"
                                   << "将删除 5 条记录（超过 1 天的未置顶记录）。" << 0;
    QTest::newRow("7 days, agreed") << "autoClearOption2"
                                    << "confirmClearButton"
                                    << "将删除 3 条记录（超过 7 天的未置顶记录）。" << 2;
}

void TestSettingsView::autoClearAsksBeforeRemoving()
{
    QFETCH(QString, option);
    QFETCH(QString, answer);
    QFETCH(QString, message);
    QFETCH(int, stored);
    const QDateTime now = ClipboardItem::currentMoment();
    const qint64 day = 86400;
    ClipboardItems items;
    items << PanelFixture::text(QStringLiteral("pinned long ago"), now.addSecs(-30 * day), true);
    items << PanelFixture::text(QStringLiteral("now"), now.addSecs(-60));
    for (int i = 0; i < 2; ++i)
        items << PanelFixture::text(QStringLiteral("3 days %1").arg(i), now.addSecs(-3 * day - i));
    for (int i = 0; i < 3; ++i)
        items << PanelFixture::text(QStringLiteral("10 days %1").arg(i), now.addSecs(-10 * day - i));
    m_fixture->setHistory(items);
    SettingsView& view = m_fixture->shownView();
    auto* picker = m_fixture->find<SegmentedPicker>(QStringLiteral("autoClearPicker"));

    m_fixture->click(option);
    ConfirmClearDialog* dialog = view.autoClearConfirmation();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("confirmMessage"))->text(), message);
    // Asked, not yet chosen.
    QCOMPARE(int(m_fixture->preferences.autoClearPreference()), 0);
    QCOMPARE(picker->highlightedValue(), 0);
    if (answer == u"escape")
        QTest::keyClick(dialog, Qt::Key_Escape);
    else
        QTest::mouseClick(dialog->findChild<QPushButton*>(answer), Qt::LeftButton);
    QTRY_VERIFY(!view.autoClearConfirmation());
    QCOMPARE(int(m_fixture->preferences.autoClearPreference()), stored);
    QCOMPARE(picker->highlightedValue(), stored);
    // The clean-up itself runs at its usual times, not here.
    QCOMPARE(m_fixture->monitor->items().size(), 7);
    // The period in force asks nothing when chosen again.
    if (stored != 0) {
        m_fixture->click(option);
        QVERIFY(!view.autoClearConfirmation());
    }
    // A period that would remove nothing is taken without asking.
    m_fixture->click(QStringLiteral("autoClearOption0"));
    QVERIFY(!view.autoClearConfirmation());
    QCOMPARE(int(m_fixture->preferences.autoClearPreference()), 0);
}

void TestSettingsView::rowsReachShellAndMail()
{
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), this, "openMail");
    SettingsView& view = m_fixture->shownView();
    view.mailProgramFound = [] { return true; };
    QSignalSpy privacy(&view, &SettingsView::privacyPolicyRequested);
    QSignalSpy quit(&view, &SettingsView::quitRequested);
    m_fixture->click(QStringLiteral("privacyRow"));
    m_fixture->click(QStringLiteral("feedbackRow"));
    QCOMPARE(privacy.size(), 1);
    QCOMPARE(quit.size(), 0);
    QCOMPARE(m_mailed, QList<QUrl>{QUrl(QStringLiteral("mailto:support@pellamor.example"))});
    m_fixture->click(QStringLiteral("quitRow"));
    QCOMPARE(quit.size(), 1);

    // Without a mail program the address is shown, to copy.
    view.mailProgramFound = [] { return false; };
    m_fixture->click(QStringLiteral("feedbackRow"));
    QCOMPARE(m_mailed.size(), 1);
    ConfirmClearDialog* dialog = view.supportAddressDialog();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("confirmMessage"))->text(), SettingsView::supportAddress);
    QCOMPARE(dialog->clearButton()->text(), QStringLiteral("复制"));
    QTest::mouseClick(dialog->clearButton(), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), SettingsView::supportAddress);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
}

void TestSettingsView::hoverTintsClickableRow()
{
    m_fixture->shownView();
    auto* row = m_fixture->find<SettingsClickableRow>(QStringLiteral("exportRow"));
    const QPoint edge(3, row->height() / 2);
    const QColor plain = row->grab().toImage().pixelColor(edge);
    QEnterEvent enter{QPointF(edge), QPointF(edge), QPointF(row->mapToGlobal(edge))};
    QApplication::sendEvent(row, &enter);
    QVERIFY(row->isHoveredRow());
    QVERIFY(row->grab().toImage().pixelColor(edge) != plain);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(row, &leave);
    QCOMPARE(row->grab().toImage().pixelColor(edge), plain);
}

void TestSettingsView::ruleListsAreEdited()
{
    m_fixture->shownView();
    Preferences& preferences = m_fixture->preferences;
    m_fixture->click(QStringLiteral("excludedApplicationsRow"));
    RuleListEditor* applications = m_fixture->view().ruleEditor(Preferences::Key::ExcludedApplications);
    QVERIFY(applications && applications->isVisible());
    // The password managers are listed until the user edits the list; one removed stays removed.
    QCOMPARE(applications->list()->count(), 6);
    applications->list()->setCurrentRow(0);
    QTest::mouseClick(applications->findChild<QPushButton*>(QStringLiteral("ruleRemove")), Qt::LeftButton);
    QTest::keyClicks(applications->input(), QStringLiteral(" XTerm "));
    QTest::keyClick(applications->input(), Qt::Key_Return);
    QCOMPARE(preferences.excludedApplications().size(), 6);
    QVERIFY(!preferences.excludedApplications().contains(QStringLiteral("KeePassXC")));
    QCOMPARE(preferences.excludedApplications().last(), QStringLiteral("XTerm"));

    m_fixture->click(QStringLiteral("ignorePatternsRow"));
    RuleListEditor* patterns = m_fixture->view().ruleEditor(Preferences::Key::IgnorePatterns);
    QVERIFY(patterns && patterns->isVisible());
    QTest::mouseClick(patterns->findChild<QPushButton*>(QStringLiteral("rulePreset0")), Qt::LeftButton);
    QTest::mouseClick(patterns->findChild<QPushButton*>(QStringLiteral("rulePreset0")), Qt::LeftButton);
    QTest::keyClicks(patterns->input(), QStringLiteral("(unclosed"));
    QTest::keyClick(patterns->input(), Qt::Key_Return);
    QCOMPARE(preferences.ignorePatterns(),
             (QStringList{QStringLiteral("^\\s*\\d{6,8}\\s*$"), QStringLiteral("(unclosed")}));
    QCOMPARE(patterns->list()->item(1)->foreground().color(), Theme::palette().red);
    m_fixture->view().setRuleReport(0, 3, {QStringLiteral("^\\s*\\d{6,8}\\s*$")});
    QVERIFY(patterns->list()->item(0)->text().startsWith(u'⚠'));
    QCOMPARE(m_fixture->find<QLabel>(QStringLiteral("ignorePatternsRowNote"))->text(),
             QStringLiteral("已跳过 3 次 · 1 条无效，已忽略 · ⚠ 1 条匹配太慢"));
}

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
