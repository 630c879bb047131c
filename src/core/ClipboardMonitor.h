#pragma once

#include "ClipboardItem.h"
#include "HistoryModel.h"
#include "platform/ClipboardSnapshot.h"

#include <QImage>
#include <QObject>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>

class Pasteboard;
class Preferences;

// Watches the clipboard and hands what it captures to the history. Runs its poll step whenever the clipboard
// reports a change (and, for a clipboard that cannot report every change, twice a second), and puts entries
// back on the clipboard without capturing them again. Everything runs on the main thread.
class ClipboardMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxFileUrls = ClipboardReading::maxFileUrls;
    static constexpr int pollIntervalMs = 500;
    // How long an emptied clipboard may stay empty before the newest entry is offered again.
    static constexpr int restoreDelayMs = 200;

    // What one change of the clipboard adds to the history.
    struct Capture
    {
        // Marked as a secret while the filter is on: the change is passed over and nothing else runs.
        bool skipped = false;
        // One image entry each, added in this order.
        QList<QImage> images;
        // A text entry, when there is no image.
        std::optional<QString> text;
        // The text is the first entry's own (the duplicate rule): its kept formats are replaced.
        QUuid repeated;
    };
    // The capture rules over one change's contents, in their order: the markers, the files' images, the
    // clipboard's image, the text and the duplicate rule, which compares with newest (the first entry).
    static Capture captureFrom(const ClipboardContents& contents, bool ignoreSensitive, const ClipboardItem* newest);

    // Whatever is on the clipboard now is never captured.
    ClipboardMonitor(HistoryModel& history, Pasteboard& pasteboard, Preferences& preferences,
                     QObject* parent = nullptr);

    HistoryModel& history() const { return m_history; }
    // The history's entries, for the tests that watch captures arrive.
    ClipboardItems items() const { return m_history.items(); }
    qint64 lastChangeCount() const { return m_lastChangeCount; }
    bool isMonitoring() const { return m_monitoring; }
    // Whether the 0.5 s poll runs: only for a clipboard that does not report every change itself.
    bool isPolling() const { return m_timer.isActive(); }

    // Runs the clean-up, then captures every later change.
    void startMonitoring();
    void stopMonitoring();

    // One poll step.
    void checkClipboard();
    // The next change of the clipboard is passed over, as while paused; the ones after it are captured.
    void ignoreNextChange();
    bool isIgnoringNextChange() const { return m_ignoreNextChange; }

    // How many changes each of the user's rules passed over since the program started.
    qint64 skippedCount(SkippedBy rule) const { return m_skipped[std::size_t(rule)]; }
    // The ignore patterns that ran out of time on some text since they were last edited.
    const QStringList& slowPatterns() const { return m_slowPatterns; }
    // The ignore patterns that do not compile.
    QStringList invalidPatterns() const;

    // Puts the entry back on the clipboard without capturing it again; the history is unchanged. A text
    // entry is offered with the formats it keeps, unless plainText asks for its text alone.
    void copyToClipboard(const ClipboardItem& item, bool plainText = false);
    // Removes unpinned entries older than the clean-up period of the preferences.
    void enforceAutoClear();

    static const QStringList& sensitiveMarkerTypes();
    static const QStringList& imageFileExtensions();

Q_SIGNALS:
    void ignoringNextChangeChanged(bool armed);
    // A rule skipped a change, or a pattern turned out slow.
    void rulesReportChanged();

private:
    // Builds the rules anew when their settings changed since the last call.
    void applyRules();

    HistoryModel& m_history;
    Pasteboard& m_pasteboard;
    Preferences& m_preferences;
    QTimer m_timer;
    QTimer m_restoreTimer;
    qint64 m_lastChangeCount = 0;
    bool m_monitoring = false;
    // Inside copyToClipboard: the changes of our own write are not captured.
    bool m_writingBack = false;
    bool m_ignoreNextChange = false;
    std::array<qint64, 3> m_skipped{};
    QStringList m_slowPatterns;
    QStringList m_ruleApplications;
    QStringList m_rulePatterns;
    std::shared_ptr<const CaptureRules> m_rules;
    QMetaObject::Connection m_changeConnection;
};
