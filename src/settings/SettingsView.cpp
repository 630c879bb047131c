#include "SettingsView.h"

#include "ConfirmClearDialog.h"
#include "CountPicker.h"
#include "HistoryExport.h"
#include "RuleListEditor.h"
#include "SectionBox.h"
#include "SegmentedPicker.h"
#include "SettingsClickableRow.h"
#include "SettingsWidgets.h"
#include "ShortcutRecorder.h"
#include "ToggleSwitch.h"
#include "core/AutoClear.h"
#include "core/EntryIntents.h"
#include "core/HistoryModel.h"
#include "core/StandardOutput.h"
#include "platform/Preferences.h"
#include "platform/freedesktop/PortalFileChooser.h"
#include "platform/freedesktop/SchemeHandlers.h"
#include "ui/Theme.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

namespace {

using Key = Preferences::Key;

QLabel* rowLabel(const QString& text, QWidget* parent)
{
    return new SettingsLabel(
        text, pixelFont(12), [] { return Theme::palette().primary; }, parent);
}

// A label at the left, the control at the right.
QWidget* controlRow(QWidget* label, QWidget* control, const QMargins& margins, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(margins);
    layout->setSpacing(8);
    layout->addWidget(label);
    layout->addStretch(1);
    layout->addWidget(control, 0, Qt::AlignVCenter);
    return row;
}

// A column with no spacing of its own, for sections whose rows bring their own margins.
QWidget* tightColumn(QWidget* parent, QVBoxLayout** layout)
{
    auto* column = new QWidget(parent);
    *layout = new QVBoxLayout(column);
    (*layout)->setContentsMargins(0, 0, 0, 0);
    (*layout)->setSpacing(0);
    return column;
}

} // namespace

const QString SettingsView::versionText = QStringLiteral("1.0.1 (Beta)");
const QString SettingsView::supportAddress = QStringLiteral("support@pellamor.example");

SettingsView::SettingsView(const HistoryModel& history, EntryIntents& intents, Preferences& preferences,
                           QWidget* parent)
    : QWidget(parent)
    , m_history(history)
    , m_intents(intents)
    , m_preferences(preferences)
{
    setObjectName(QStringLiteral("settingsView"));
    setFixedSize(panelWidth, panelHeight);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);

    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setObjectName(QStringLiteral("settingsScroll"));
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    // It scrolls by wheel and touchpad; no scroll bars are drawn.
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    outer->addWidget(m_scrollArea);

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("settingsContent"));
    content->setAutoFillBackground(false);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(0);

    auto* title = new SettingsLabel(
        QStringLiteral("设置"), pixelFont(14, QFont::DemiBold), [] { return Theme::palette().primary; }, content);
    title->setObjectName(QStringLiteral("settingsTitle"));
    title->setAlignment(Qt::AlignHCenter);
    title->setContentsMargins(0, 8, 0, 0);
    column->addWidget(title);
    // The first section sits closer to the title than the sections to each other.
    column->addSpacing(8);
    const QList<QWidget*> sections = {buildGeneralSection(), buildPrivacySection(), buildDataSection(),
                                      buildAboutSection()};
    for (qsizetype i = 0; i < sections.size(); ++i) {
        if (i > 0)
            column->addSpacing(16);
        sections[i]->setParent(content);
        column->addWidget(sections[i]);
    }
    column->addStretch(1);
    m_scrollArea->setWidget(content);
    // The scroll area paints its widget with the toolkit's own background unless told otherwise.
    content->setAutoFillBackground(false);

    m_recorder = new ShortcutRecorder(this);
    connect(m_shortcutButton, &QAbstractButton::clicked, this,
            [this] { m_recorder->setRecording(!m_recorder->isRecording()); });
    connect(m_recorder, &ShortcutRecorder::recordingChanged, m_shortcutButton, &ShortcutButton::setRecording);
    connect(m_recorder, &ShortcutRecorder::recorded, this, [this](const QString& text) {
        m_shortcutRefusal.clear();
        m_preferences.setShortcutKey(text);
        showShortcutLine();
    });
    connect(m_recorder, &ShortcutRecorder::refused, this, [this](const QString& reason) {
        m_shortcutRefusal = reason;
        showShortcutLine();
    });
    connect(m_recorder, &ShortcutRecorder::recordingChanged, this, [this](bool recording) {
        // A new try: the last refusal has been read.
        if (recording) {
            m_shortcutRefusal.clear();
            showShortcutLine();
        }
    });

    connect(&m_preferences, &Preferences::changed, this, &SettingsView::refreshControls);
    connect(&Theme::instance(), &Theme::changed, this, &SettingsView::applyTheme);
    applyTheme();
    refreshControls();
}

SettingsView::~SettingsView() = default;

QWidget* SettingsView::buildGeneralSection()
{
    auto* section = new SectionBox(QStringLiteral("通用"));
    section->setObjectName(QStringLiteral("generalSection"));
    QWidget* box = section->box();
    const QMargins none(0, 0, 0, 0);

    m_launchSwitch = new ToggleSwitch(box);
    m_launchSwitch->setObjectName(QStringLiteral("launchAtLoginSwitch"));
    connect(m_launchSwitch, &ToggleSwitch::toggleRequested, this,
            [this](bool on) { m_preferences.setLaunchAtLogin(on); });
    section->addWidget(controlRow(rowLabel(QStringLiteral("开机自动启动"), box), m_launchSwitch, none, box));
    section->addWidget(new SettingsDivider(4, box));

    auto* widgetText = new QWidget(box);
    auto* widgetTextColumn = new QVBoxLayout(widgetText);
    widgetTextColumn->setContentsMargins(0, 0, 0, 0);
    widgetTextColumn->setSpacing(2);
    widgetTextColumn->addWidget(rowLabel(QStringLiteral("显示桌面交互看板"), widgetText));
    auto* description = new SettingsLabel(
        QStringLiteral("在桌面上显示一个磨砂玻璃质感的悬浮窗，支持直接拖拽。"), pixelFont(10),
        [] { return Theme::palette().secondary; }, widgetText);
    description->setWordWrap(true);
    widgetTextColumn->addWidget(description);
    widgetText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_desktopWidgetSwitch = new ToggleSwitch(box);
    m_desktopWidgetSwitch->setObjectName(QStringLiteral("desktopWidgetSwitch"));
    connect(m_desktopWidgetSwitch, &ToggleSwitch::toggleRequested, this,
            [this](bool on) { m_preferences.setShowDesktopWidget(on); });
    section->addWidget(controlRow(widgetText, m_desktopWidgetSwitch, none, box));
    section->addWidget(new SettingsDivider(4, box));

    auto* pasteText = new QWidget(box);
    auto* pasteTextColumn = new QVBoxLayout(pasteText);
    pasteTextColumn->setContentsMargins(0, 0, 0, 0);
    pasteTextColumn->setSpacing(2);
    pasteTextColumn->addWidget(rowLabel(QStringLiteral("选择后粘贴到原窗口"), pasteText));
    // What this desktop does not allow; shown only then.
    m_pasteNote = new SettingsLabel(
        QString(), pixelFont(10), [] { return Theme::palette().secondary; }, pasteText);
    m_pasteNote->setObjectName(QStringLiteral("pasteAfterChoosingNote"));
    m_pasteNote->hide();
    pasteTextColumn->addWidget(m_pasteNote);
    pasteText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_pasteSwitch = new ToggleSwitch(box);
    m_pasteSwitch->setObjectName(QStringLiteral("pasteAfterChoosingSwitch"));
    connect(m_pasteSwitch, &ToggleSwitch::toggleRequested, this,
            [this](bool on) { m_preferences.setPasteAfterChoosing(on); });
    section->addWidget(controlRow(pasteText, m_pasteSwitch, none, box));
    section->addWidget(new SettingsDivider(4, box));

    m_shortcutButton = new ShortcutButton(box);
    m_shortcutButton->setObjectName(QStringLiteral("shortcutButton"));
    auto* shortcutText = new QWidget(box);
    auto* shortcutTextColumn = new QVBoxLayout(shortcutText);
    shortcutTextColumn->setContentsMargins(0, 0, 0, 0);
    shortcutTextColumn->setSpacing(2);
    shortcutTextColumn->addWidget(rowLabel(QStringLiteral("全局快捷键"), shortcutText));
    m_shortcutProblem = new SettingsLabel(
        QString(), pixelFont(10), [] { return Theme::palette().secondary; }, shortcutText);
    m_shortcutProblem->setObjectName(QStringLiteral("shortcutProblem"));
    m_shortcutProblem->setWordWrap(true);
    m_shortcutProblem->hide();
    shortcutTextColumn->addWidget(m_shortcutProblem);
    shortcutText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    section->addWidget(controlRow(shortcutText, m_shortcutButton, none, box));
    section->addWidget(new SettingsDivider(4, box));

    m_themePicker =
        new SegmentedPicker({{QStringLiteral("跟随系统"), 0}, {QStringLiteral("浅色"), 1}, {QStringLiteral("深色"), 2}},
                            156, QStringLiteral("themeOption"), box);
    m_themePicker->setObjectName(QStringLiteral("themePicker"));
    connect(m_themePicker, &SegmentedPicker::valueChosen, this,
            [this](int value) { m_preferences.setThemePreference(Preferences::Appearance(value)); });
    section->addWidget(controlRow(rowLabel(QStringLiteral("主题颜色"), box), m_themePicker, none, box));
    section->addWidget(new SettingsDivider(4, box));

    m_countPicker = new CountPicker({6, 10, 20}, box);
    m_countPicker->setObjectName(QStringLiteral("countPicker"));
    connect(m_countPicker, &CountPicker::optionChosen, this,
            [this](int value) { m_preferences.setDisplayCount(value); });
    // The picker keeps its 195; its label wraps into the room left.
    QLabel* countLabel = rowLabel(QStringLiteral("显示内容条数"), box);
    countLabel->setWordWrap(true);
    section->addWidget(controlRow(countLabel, m_countPicker, none, box));
    return section;
}

QWidget* SettingsView::buildPrivacySection()
{
    auto* section = new SectionBox(QStringLiteral("隐私与订阅"));
    section->setObjectName(QStringLiteral("privacySection"));
    QWidget* box = section->box();
    m_sensitiveSwitch = new ToggleSwitch(box);
    m_sensitiveSwitch->setObjectName(QStringLiteral("ignoreSensitiveSwitch"));
    connect(m_sensitiveSwitch, &ToggleSwitch::toggleRequested, this,
            [this](bool on) { m_preferences.setIgnoreSensitive(on); });
    section->addWidget(controlRow(rowLabel(QStringLiteral("忽略密码、验证码等敏感内容"), box), m_sensitiveSwitch,
                                  QMargins(8, 6, 8, 6), box));
    section->addWidget(new SettingsDivider(4, box));
    // The user's own rules: a row that opens the list, and under it what the rule skipped so far.
    const auto ruleRow = [this, box, section](const QString& title, const QString& name, Preferences::Key key,
                                              QLabel*& note) {
        auto* row = new SettingsClickableRow(title, {}, false, box);
        row->setObjectName(name);
        connect(row, &QAbstractButton::clicked, this, [this, key] { openRuleEditor(key); });
        section->addWidget(row);
        note = new SettingsLabel(
            QString(), pixelFont(10), [] { return Theme::palette().secondary; }, box);
        note->setObjectName(name + QStringLiteral("Note"));
        note->setWordWrap(true);
        note->setContentsMargins(8, 0, 8, 4);
        section->addWidget(note);
        section->addWidget(new SettingsDivider(4, box));
    };
    ruleRow(QStringLiteral("不记录以下应用"), QStringLiteral("excludedApplicationsRow"), Key::ExcludedApplications,
            m_applicationsNote);
    ruleRow(QStringLiteral("忽略匹配的文字"), QStringLiteral("ignorePatternsRow"), Key::IgnorePatterns, m_patternsNote);
    m_restoreSwitch = new ToggleSwitch(box);
    m_restoreSwitch->setObjectName(QStringLiteral("restoreEmptyClipboardSwitch"));
    connect(m_restoreSwitch, &ToggleSwitch::toggleRequested, this,
            [this](bool on) { m_preferences.setRestoreEmptyClipboard(on); });
    section->addWidget(controlRow(rowLabel(QStringLiteral("剪贴板清空时恢复最近一条"), box), m_restoreSwitch,
                                  QMargins(8, 6, 8, 6), box));
    section->addWidget(new SettingsDivider(4, box));
    m_pauseSwitch = new ToggleSwitch(box);
    m_pauseSwitch->setObjectName(QStringLiteral("monitoringPausedSwitch"));
    connect(m_pauseSwitch, &ToggleSwitch::toggleRequested, this,
            [this](bool on) { m_preferences.setMonitoringPaused(on); });
    section->addWidget(controlRow(rowLabel(QStringLiteral("暂停记录"), box), m_pauseSwitch, QMargins(8, 6, 8, 6), box));
    section->addWidget(new SettingsDivider(4, box));
    auto* ocrText = new QWidget(box);
    auto* ocrTextColumn = new QVBoxLayout(ocrText);
    ocrTextColumn->setContentsMargins(0, 0, 0, 0);
    ocrTextColumn->setSpacing(2);
    ocrTextColumn->addWidget(rowLabel(QStringLiteral("识别图片中的文字（仅在本机处理）"), ocrText));
    // Why the switch cannot be turned on here; shown only then.
    m_imageTextReason = new SettingsLabel(
        QString(), pixelFont(10), [] { return Theme::palette().secondary; }, ocrText);
    m_imageTextReason->setObjectName(QStringLiteral("recognizeImageTextReason"));
    m_imageTextReason->setWordWrap(true);
    m_imageTextReason->hide();
    ocrTextColumn->addWidget(m_imageTextReason);
    ocrText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_imageTextSwitch = new ToggleSwitch(box);
    m_imageTextSwitch->setObjectName(QStringLiteral("recognizeImageTextSwitch"));
    connect(m_imageTextSwitch, &ToggleSwitch::toggleRequested, this,
            [this](bool on) { m_preferences.setRecognizeImageText(on); });
    section->addWidget(controlRow(ocrText, m_imageTextSwitch, QMargins(8, 6, 8, 6), box));
    return section;
}

QWidget* SettingsView::buildDataSection()
{
    auto* section = new SectionBox(QStringLiteral("数据"));
    section->setObjectName(QStringLiteral("dataSection"));
    QVBoxLayout* layout = nullptr;
    QWidget* column = tightColumn(section->box(), &layout);

    m_autoClearPicker =
        new SegmentedPicker({{QStringLiteral("从不"), 0}, {QStringLiteral("1 天"), 1}, {QStringLiteral("7 天"), 2}},
                            140, QStringLiteral("autoClearOption"), column);
    m_autoClearPicker->setObjectName(QStringLiteral("autoClearPicker"));
    connect(m_autoClearPicker, &SegmentedPicker::valueChosen, this, &SettingsView::chooseAutoClear);
    layout->addWidget(
        controlRow(rowLabel(QStringLiteral("自动清理"), column), m_autoClearPicker, QMargins(8, 6, 8, 6), column));
    layout->addWidget(new SettingsDivider(4, column));

    auto* clear = new SettingsClickableRow(QStringLiteral("一键清空所有历史"), QStringLiteral("trash"), true, column);
    clear->setObjectName(QStringLiteral("clearRow"));
    connect(clear, &QAbstractButton::clicked, this, &SettingsView::showClearConfirmation);
    layout->addWidget(clear);
    layout->addWidget(new SettingsDivider(4, column));

    auto* exportRow = new SettingsClickableRow(QStringLiteral("导出记录为 TXT 格式"),
                                               QStringLiteral("square.and.arrow.up"), false, column);
    exportRow->setObjectName(QStringLiteral("exportRow"));
    connect(exportRow, &QAbstractButton::clicked, this, &SettingsView::exportToTXT);
    layout->addWidget(exportRow);
    layout->addWidget(new SettingsDivider(4, column));

    auto* reset = new SettingsClickableRow(QStringLiteral("强制关闭所有自启动项"),
                                           QStringLiteral("arrow.counterclockwise.circle"), false, column);
    reset->setObjectName(QStringLiteral("resetRow"));
    connect(reset, &QAbstractButton::clicked, this, &SettingsView::loginItemResetRequested);
    layout->addWidget(reset);

    section->addWidget(column);
    return section;
}

QWidget* SettingsView::buildAboutSection()
{
    auto* section = new SectionBox(QStringLiteral("关于"));
    section->setObjectName(QStringLiteral("aboutSection"));
    QWidget* box = section->box();

    auto* version = new SettingsLabel(
        versionText, pixelFont(12), [] { return Theme::palette().secondary; }, box);
    version->setObjectName(QStringLiteral("versionLabel"));
    section->addWidget(controlRow(rowLabel(QStringLiteral("当前版本"), box), version, QMargins(8, 4, 8, 4), box));
    section->addWidget(new SettingsDivider(2, box));

    auto* feedback = new SettingsClickableRow(QStringLiteral("反馈与支持"), QStringLiteral("envelope"), false, box);
    feedback->setObjectName(QStringLiteral("feedbackRow"));
    connect(feedback, &QAbstractButton::clicked, this, &SettingsView::openSupportMail);
    section->addWidget(feedback);
    section->addWidget(new SettingsDivider(2, box));

    auto* privacy =
        new SettingsClickableRow(QStringLiteral("隐私政策与服务条款"), QStringLiteral("doc.text"), false, box);
    privacy->setObjectName(QStringLiteral("privacyRow"));
    connect(privacy, &QAbstractButton::clicked, this, &SettingsView::privacyPolicyRequested);
    section->addWidget(privacy);
    section->addWidget(new SettingsDivider(2, box));

    auto* quit = new SettingsClickableRow(QStringLiteral("彻底退出 Pellamor"), QStringLiteral("power"), true, box);
    quit->setObjectName(QStringLiteral("quitRow"));
    connect(quit, &QAbstractButton::clicked, this, &SettingsView::quitRequested);
    section->addWidget(quit);
    return section;
}

void SettingsView::setShortcutProblem(const QString& problem)
{
    m_bindProblem = problem;
    showShortcutLine();
}

void SettingsView::showShortcutLine()
{
    const QString line = m_shortcutRefusal.isEmpty() ? m_bindProblem : m_shortcutRefusal;
    m_shortcutProblem->setText(line);
    m_shortcutProblem->setVisible(!line.isEmpty());
}

QString SettingsView::shortcutProblem() const
{
    return m_shortcutProblem->isHidden() ? QString() : m_shortcutProblem->text();
}

bool SettingsView::isRecordingShortcut() const
{
    return m_recorder->isRecording();
}

ConfirmClearDialog* SettingsView::clearConfirmation() const
{
    return m_confirm;
}

ConfirmClearDialog* SettingsView::supportAddressDialog() const
{
    return m_supportAddress;
}

ConfirmClearDialog* SettingsView::autoClearConfirmation() const
{
    return m_autoClearConfirm;
}

bool SettingsView::isShowingClearConfirm() const
{
    return m_confirm && m_confirm->isVisible();
}

void SettingsView::setImageTextUnavailableReason(const QString& reason)
{
    m_imageTextSwitch->setEnabled(reason.isEmpty());
    m_imageTextSwitch->setToolTip(reason);
    m_imageTextReason->setText(reason);
    m_imageTextReason->setVisible(!reason.isEmpty());
    refreshControls();
}

void SettingsView::setPasteLimitation(const QString& note, bool available)
{
    m_pasteSwitch->setEnabled(available);
    m_pasteNote->setText(note);
    m_pasteNote->setVisible(!note.isEmpty());
    refreshControls();
}

void SettingsView::setApplicationIdentityNote(const QString& note)
{
    m_identityNote = note;
    showRuleNotes();
}

void SettingsView::setRuleReport(qint64 applicationSkips, qint64 patternSkips, const QStringList& slowPatterns)
{
    m_applicationSkips = applicationSkips;
    m_patternSkips = patternSkips;
    m_slowPatterns = slowPatterns;
    if (m_patternsEditor)
        m_patternsEditor->setSlowPatterns(slowPatterns);
    showRuleNotes();
}

RuleListEditor* SettingsView::ruleEditor(Preferences::Key key) const
{
    return key == Key::IgnorePatterns ? m_patternsEditor.data() : m_applicationsEditor.data();
}

void SettingsView::openRuleEditor(Preferences::Key key)
{
    QPointer<RuleListEditor>& editor = key == Key::IgnorePatterns ? m_patternsEditor : m_applicationsEditor;
    if (!editor) {
        editor = new RuleListEditor(m_preferences, key, this);
        editor->setAttribute(Qt::WA_DeleteOnClose);
        if (key == Key::IgnorePatterns)
            editor->setSlowPatterns(m_slowPatterns);
    }
    editor->show();
    editor->raise();
    editor->activateWindow();
}

void SettingsView::showRuleNotes()
{
    const auto skipped = [](qint64 count) { return QStringLiteral("已跳过 %1 次").arg(count); };
    QStringList applications = {skipped(m_applicationSkips)};
    if (!m_identityNote.isEmpty())
        applications << m_identityNote;
    m_applicationsNote->setText(applications.join(QStringLiteral(" · ")));

    QStringList patterns = {skipped(m_patternSkips)};
    qsizetype invalid = 0;
    qsizetype slow = 0;
    for (const QString& pattern : m_preferences.ignorePatterns()) {
        if (!QRegularExpression(pattern).isValid())
            ++invalid;
        else if (m_slowPatterns.contains(pattern))
            ++slow;
    }
    if (invalid > 0)
        patterns << QStringLiteral("%1 条无效，已忽略").arg(invalid);
    if (slow > 0)
        patterns << QStringLiteral("⚠ %1 条匹配太慢").arg(slow);
    m_patternsNote->setText(patterns.join(QStringLiteral(" · ")));
}

void SettingsView::refreshControls()
{
    m_launchSwitch->setOn(m_preferences.launchAtLogin());
    m_desktopWidgetSwitch->setOn(m_preferences.showDesktopWidget());
    m_pasteSwitch->setOn(m_preferences.pasteAfterChoosing() && m_pasteSwitch->isEnabled());
    m_sensitiveSwitch->setOn(m_preferences.ignoreSensitive());
    m_pauseSwitch->setOn(m_preferences.monitoringPaused());
    m_restoreSwitch->setOn(m_preferences.restoreEmptyClipboard());
    showRuleNotes();
    m_imageTextSwitch->setOn(m_preferences.recognizeImageText() && m_imageTextSwitch->isEnabled());
    m_shortcutButton->setShortcut(m_preferences.shortcutKey());
    // The raw stored numbers: a value that is none of the choices highlights none of them.
    m_themePicker->setSelection(m_preferences.storedNumber(Key::ThemePreference));
    m_countPicker->setSelection(m_preferences.displayCount());
    m_autoClearPicker->setSelection(m_preferences.storedNumber(Key::AutoClearPreference));
}

void SettingsView::showClearConfirmation()
{
    if (m_confirm) {
        m_confirm->raise();
        m_confirm->activateWindow();
        return;
    }
    m_confirm = ConfirmClearDialog::clearAll(this, m_history.items());
    connect(m_confirm, &QDialog::accepted, &m_intents, &EntryIntents::clearRequested);
    m_confirm->present();
}

void SettingsView::chooseAutoClear(int value)
{
    const auto choice = Preferences::AutoClear(value);
    // The period in force already had its say; only a new one asks.
    const bool inForce = m_preferences.storedNumber(Key::AutoClearPreference) == value;
    const qsizetype removed =
        inForce ? 0
                : expiredCount(m_history.items(), Preferences::maxAgeSeconds(choice), QDateTime::currentDateTimeUtc());
    if (removed == 0) {
        m_preferences.setAutoClearPreference(choice);
        return;
    }
    // Nothing is chosen until the user agrees; the picker keeps showing the period in force.
    delete m_autoClearConfirm;
    const QString period = choice == Preferences::AutoClear::OneDay ? QStringLiteral("1 天") : QStringLiteral("7 天");
    m_autoClearConfirm = ConfirmClearDialog::autoClear(this, removed, period);
    connect(m_autoClearConfirm, &QDialog::accepted, this,
            [this, choice] { m_preferences.setAutoClearPreference(choice); });
    connect(m_autoClearConfirm, &QDialog::rejected, this, &SettingsView::refreshControls);
    m_autoClearConfirm->present();
}

void SettingsView::exportToTXT()
{
    const QString suggested = exportFileName(QDateTime::currentDateTime());
    if (exportPathChooser) {
        const QString path = exportPathChooser(suggested);
        if (!path.isEmpty())
            finishExport(path);
        return;
    }
    if (m_exportDialog) {
        m_exportDialog->raise();
        m_exportDialog->activateWindow();
        return;
    }
    if (m_exportPortal)
        return;
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    // The desktop's own file chooser where the session offers one through its portal; Qt's otherwise.
    auto* portal = new PortalFileChooser(this);
    m_exportPortal = portal;
    connect(portal, &PortalFileChooser::chosen, this, [this, portal](const QString& path) {
        portal->deleteLater();
        finishExport(path);
    });
    connect(portal, &PortalFileChooser::cancelled, portal, &QObject::deleteLater);
    connect(portal, &PortalFileChooser::unavailable, this, [this, portal, suggested, folder] {
        portal->deleteLater();
        showExportDialog(suggested, folder);
    });
    portal->saveFile(window()->windowHandle(), QStringLiteral("导出剪贴板记录"), suggested, folder);
}

void SettingsView::showExportDialog(const QString& suggested, const QString& folder)
{
    auto* dialog = new QFileDialog(window(), QStringLiteral("导出剪贴板记录"));
    dialog->setObjectName(QStringLiteral("exportDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // Qt's own dialog in the program's light or dark theme.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setPalette(Theme::palette().widgetPalette());
    // Where a save dialog asks for the folder, it says what it is asking for.
    dialog->setLabelText(QFileDialog::LookIn, QStringLiteral("请选择保存位置"));
    dialog->setMimeTypeFilters({QStringLiteral("text/plain")});
    dialog->setDefaultSuffix(QStringLiteral("txt"));
    dialog->setDirectory(folder);
    dialog->selectFile(suggested);
    connect(dialog, &QFileDialog::finished, this, [this, dialog](int result) {
        if (result != QDialog::Accepted)
            return;
        const QString path = dialog->selectedFiles().value(0);
        if (!path.isEmpty())
            finishExport(path);
    });
    m_exportDialog = dialog;
    dialog->open();
}

void SettingsView::finishExport(const QString& path)
{
    // The history as it is now: entries copied while the dialog was open are in the file.
    const QByteArray bytes = exportText(m_history.items(), QLocale());
    QString error;
    if (!writeExportFile(path, bytes, &error))
        printLine(QStringLiteral("Export failed: ") + error);
}

void SettingsView::openSupportMail()
{
    const QUrl url(QStringLiteral("mailto:") + supportAddress);
    if (!url.isValid())
        return;
    const bool found = mailProgramFound ? mailProgramFound() : hasSchemeHandler(QStringLiteral("mailto"));
    if (found && QDesktopServices::openUrl(url))
        return;
    if (m_supportAddress) {
        m_supportAddress->raise();
        m_supportAddress->activateWindow();
        return;
    }
    m_supportAddress = ConfirmClearDialog::supportAddress(this, supportAddress);
    connect(m_supportAddress, &QDialog::accepted, this,
            [] { QGuiApplication::clipboard()->setText(SettingsView::supportAddress); });
    m_supportAddress->present();
}

void SettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refreshControls();
    Q_EMIT shown();
    m_recorder->setRecording(false);
}

void SettingsView::hideEvent(QHideEvent* event)
{
    m_recorder->setRecording(false);
    QWidget::hideEvent(event);
    Q_EMIT hidden();
}

void SettingsView::applyTheme()
{
    const ThemePalette& theme = Theme::palette();
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, theme.controlBackground);
    palette.setColor(QPalette::Base, theme.controlBackground);
    palette.setColor(QPalette::WindowText, theme.primary);
    setPalette(palette);
    update();
}

void SettingsView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::palette().controlBackground);
}
