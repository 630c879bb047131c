#pragma once

#include "ImageTextStore.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class HistoryModel;
class Preferences;
class StorageManager;
class TextRecognizer;

// Reads the text in image entries while the preference recognizeImageText is on, so the search can
// find them by it. The reading runs on a thread of its own at the lowest priority, one image at a time,
// newest entries first, and waits until the history has been quiet for a moment (a capture and its
// save are done), and while the machine runs on its battery (asked only when an image is about to be
// read: the next change of the history tries again). The engine is released after a minute without work. Entries that
// leave the history take their text with them; turning the preference off deletes all text.
class ImageTextIndex : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultReleaseDelayMs = 60'000;
    static constexpr int defaultSettleDelayMs = 1'500;

    ImageTextIndex(HistoryModel& history, StorageManager& storage, Preferences& preferences, TextRecognizer& recognizer,
                   QObject* parent = nullptr);
    // Stops a running recognition and waits for the thread.
    ~ImageTextIndex() override;

    // Why recognition cannot run on this machine; empty when it can.
    QString unavailableReason() const { return m_unavailableReason; }
    // The preference is on and recognition can run.
    bool isEnabled() const { return m_enabled; }
    // The text read from this image; empty when there is none or the preference is off.
    QString textOf(const QString& imageName) const;
    // Images waiting or being read.
    int pendingCount() const { return int(m_queue.size()) + (m_running ? 1 : 0); }
    // A write of the text file is queued or under way.
    bool isSaving() const { return m_savesInFlight->load() > 0; }

    void setReleaseDelay(int ms);
    void setSettleDelay(int ms) { m_settle.setInterval(ms); }
    // How the index learns that the machine runs on its battery; PowerSupply::onBattery() by default.
    void setOnBattery(std::function<bool()> check) { m_onBattery = std::move(check); }
    const ImageTextStore& store() const { return m_store; }

Q_SIGNALS:
    // The text of this image changed; an empty name: of every image.
    void textChanged(const QString& imageName);
    // Every image of the history has been read.
    void idle();

private:
    void applyPreference();
    void historyChanged();
    void queueMissing();
    void startNext();
    void finished(quint64 generation, const QString& name, const QByteArray& hash, const QString& text, bool read);
    void saveLater();

    HistoryModel& m_history;
    StorageManager& m_storage;
    Preferences& m_preferences;
    TextRecognizer& m_recognizer;
    QString m_unavailableReason;
    ImageTextStore m_store;
    bool m_enabled = false;

    QList<QString> m_queue;
    // Images whose file could not be read, not tried again in this run.
    QSet<QString> m_unreadable;
    bool m_running = false;
    quint64 m_generation = 0;
    std::shared_ptr<std::atomic_bool> m_cancel;
    std::shared_ptr<std::atomic_bool> m_savePending;
    std::shared_ptr<std::atomic_int> m_savesInFlight;
    QTimer m_settle;
    std::function<bool()> m_onBattery;

    QThread m_thread;
    // Lives on m_thread; owns the release timer.
    QObject* m_context = nullptr;
    QTimer* m_releaseTimer = nullptr;
};
