#pragma once

#include "platform/ClipboardSnapshot.h"
#include "platform/Pasteboard.h"

#include <QElapsedTimer>
#include <QHash>
#include <QImage>

#include <atomic>

// A clipboard read by a reader thread of our own: every change of the owner is read and prepared there
// (the markers first, then the payload, decoded), and arrives as a snapshot in one queued call; all reads
// answer from the newest completed one, so none of them ever waits on another application.
// The change counter counts completed snapshots and our own writes.
class SnapshotPasteboard : public Pasteboard
{
    Q_OBJECT

public:
    // How long after a write snapshots that the reader took before seeing our own contents are still
    // ignored, should our contents never show up (the display server refused them).
    static constexpr int ownChangeWaitMs = 2000;

    using Pasteboard::Pasteboard;

    // False when the reader could not connect: no change is ever seen then.
    bool isWatching() const { return m_watching; }
    // Changes given up on because the owner did not answer in time or went away mid-transfer.
    qint64 abandonedChanges() const { return m_abandoned; }

    qint64 changeCount() const override { return m_changeCount; }
    // As prepared on the reader thread, with the markers it was given.
    ClipboardContents contents(const QStringList& markers) const override;
    // Lets the values read from the owner go; only the type list and the marker values stay.
    void contentsTaken() override;
    QStringList types() const override { return m_contents.types; }
    QList<QUrl> urls() const override;
    std::optional<QString> string() const override;
    QByteArray data(const QString& type) const override;
    QImage imageData(const QString& type) const override;
    QImage image() const override;
    bool reportsChanges() const override { return m_watching; }
    bool ownWritePending() const override
    {
        return m_awaitingOwn && m_sinceWrite.isValid() && m_sinceWrite.elapsed() < ownChangeWaitMs;
    }

protected:
    struct Contents
    {
        QStringList types;
        QHash<QString, QByteArray> values;
        // What we wrote ourselves; encoded to PNG only if someone asks for the bytes.
        QImage image;
        // What the capture reads, prepared on the reader thread.
        ClipboardContents prepared;
    };

    // Prepares a snapshot on the reader thread and hands it to this object's thread.
    void post(ClipboardSnapshot snapshot);
    void accept(ClipboardSnapshot snapshot, ClipboardContents prepared);
    // Takes the snapshot's contents; true when it is a change (the counter moved).
    bool take(ClipboardSnapshot snapshot, ClipboardContents prepared);
    // Our own write: counted at once, so the counter read right after the write includes it. When
    // awaitOwn is set, snapshots until the reader reports our contents describe the clipboard from
    // before the write and are ignored.
    void wrote(Contents contents, bool awaitOwn);
    // What a write of the text with these formats put on the clipboard.
    static Contents formattedContents(const QString& text, const KeptFormats& formats);
    void setWatching(bool watching) { m_watching = watching; }

private:
    Contents m_contents;
    qint64 m_changeCount = 0;
    qint64 m_abandoned = 0;
    bool m_watching = false;
    bool m_awaitingOwn = false;
    QElapsedTimer m_sinceWrite;
    // Snapshots posted by the reader thread and not yet accepted here.
    std::atomic<int> m_inFlight{0};
    // A change was counted but changed() not yet emitted for it.
    bool m_unreported = false;
};
