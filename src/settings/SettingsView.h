#pragma once

#include "platform/Preferences.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>

class EntryIntents;
class HistoryModel;
class ConfirmClearDialog;
class CountPicker;
class PortalFileChooser;
class QFileDialog;
class QLabel;
class QScrollArea;
class RuleListEditor;
class SegmentedPicker;
class SettingsClickableRow;
class ShortcutButton;
class ShortcutRecorder;
class ToggleSwitch;

// The settings panel inside the settings popover: a fixed 320 x 480 scrolling column of four sections.
// Every control shows the stored preference and writes it the moment it is used; the rest of the
// program reacts to the store, never to this view. The shell keeps the desktop's autostart entry in step
// with the launch-at-login switch while the panel is shown (shown() and hidden() tell when).
class SettingsView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int panelWidth = 320;
    static constexpr int panelHeight = 480;
    static const QString versionText;
    static const QString supportAddress;

    // The settings read the history; a confirmed clear goes out on `intents`.
    SettingsView(const HistoryModel& history, EntryIntents& intents, Preferences& preferences,
                 QWidget* parent = nullptr);
    ~SettingsView() override;

    bool isRecordingShortcut() const;
    bool isShowingClearConfirm() const;
    ConfirmClearDialog* clearConfirmation() const;
    // The question before a new clean-up period that would remove entries; null when none is open.
    ConfirmClearDialog* autoClearConfirmation() const;
    ConfirmClearDialog* supportAddressDialog() const;
    QScrollArea* scrollArea() const { return m_scrollArea; }

    // Asks where to save the whole history as text (without waiting for the answer), then writes it.
    void exportToTXT();
    // When set, called with the suggested file name instead of showing the save dialog; its answer is
    // the chosen path, empty for a cancelled dialog. Tests answer through it.
    std::function<QString(const QString& suggestedFileName)> exportPathChooser;

    // Whether a mail program would open the "反馈与支持" link; without one the address is shown to copy.
    // The desktop's default applications are looked at unless a test answers here.
    std::function<bool()> mailProgramFound;

    // The line under the shortcut row: why the shortcut is not bound; empty (and hidden) while it is.
    // A combination the recorder refused is explained there instead until the next recording.
    void setShortcutProblem(const QString& problem);
    QString shortcutProblem() const;
    // Where text recognition cannot run on this machine, its switch is disabled and shows why.
    void setImageTextUnavailableReason(const QString& reason);
    // What pasting after a choice can reach on this desktop: a note under its switch (none while it
    // reaches every window), and the switch disabled where it reaches none.
    void setPasteLimitation(const QString& note, bool available);
    // Which applications this desktop lets the excluded-applications rule tell apart, under its row; empty
    // where it tells them all.
    void setApplicationIdentityNote(const QString& note);
    // What the user's capture rules skipped since the program started, and the patterns that ran slow.
    void setRuleReport(qint64 applicationSkips, qint64 patternSkips, const QStringList& slowPatterns);
    // The editor of the excluded applications or of the ignore patterns, made when its row is clicked;
    // null before.
    RuleListEditor* ruleEditor(Preferences::Key key) const;

Q_SIGNALS:
    void shown();
    void hidden();
    // The "强制关闭所有自启动项" row.
    void loginItemResetRequested();
    void privacyPolicyRequested();
    void quitRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* buildGeneralSection();
    QWidget* buildPrivacySection();
    QWidget* buildDataSection();
    QWidget* buildAboutSection();

    void applyTheme();
    void refreshControls();
    void showClearConfirmation();
    void chooseAutoClear(int value);
    void showShortcutLine();
    void finishExport(const QString& path);
    void showExportDialog(const QString& suggested, const QString& folder);
    void openSupportMail();
    void openRuleEditor(Preferences::Key key);
    void showRuleNotes();

    const HistoryModel& m_history;
    EntryIntents& m_intents;
    Preferences& m_preferences;

    QScrollArea* m_scrollArea = nullptr;
    ToggleSwitch* m_launchSwitch = nullptr;
    ToggleSwitch* m_desktopWidgetSwitch = nullptr;
    ToggleSwitch* m_pasteSwitch = nullptr;
    QLabel* m_pasteNote = nullptr;
    ToggleSwitch* m_sensitiveSwitch = nullptr;
    ToggleSwitch* m_pauseSwitch = nullptr;
    ToggleSwitch* m_restoreSwitch = nullptr;
    QLabel* m_applicationsNote = nullptr;
    QString m_identityNote;
    QLabel* m_patternsNote = nullptr;
    QPointer<RuleListEditor> m_applicationsEditor;
    QPointer<RuleListEditor> m_patternsEditor;
    qint64 m_applicationSkips = 0;
    qint64 m_patternSkips = 0;
    QStringList m_slowPatterns;
    ToggleSwitch* m_imageTextSwitch = nullptr;
    QLabel* m_imageTextReason = nullptr;
    ShortcutButton* m_shortcutButton = nullptr;
    QLabel* m_shortcutProblem = nullptr;
    QString m_bindProblem;
    QString m_shortcutRefusal;
    ShortcutRecorder* m_recorder = nullptr;
    SegmentedPicker* m_themePicker = nullptr;
    CountPicker* m_countPicker = nullptr;
    SegmentedPicker* m_autoClearPicker = nullptr;
    QPointer<ConfirmClearDialog> m_confirm;
    QPointer<ConfirmClearDialog> m_autoClearConfirm;
    QPointer<ConfirmClearDialog> m_supportAddress;
    QPointer<QFileDialog> m_exportDialog;
    QPointer<PortalFileChooser> m_exportPortal;
};
