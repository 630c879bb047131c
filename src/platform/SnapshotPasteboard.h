#pragma once

#include "ClipboardSnapshot.h"
#include "Pasteboard.h"

#include <QElapsedTimer>
#include <QHash>
#include <QImage>

// A clipboard read by a reader thread of our own: every change of the owner arrives as a snapshot, and
// all reads answer from the newest completed one, so none of them ever waits on another application.
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
    QStringList types() const override { return m_contents.types; }
    QList<QUrl> urls() const override;
    std::optional<QString> string() const override;
    QByteArray data(const QString& type) const override;
    QImage imageData(const QString& type) const override;
    QImage image() const override;

Q_SIGNALS:
    // A change was given up on (see abandonedChanges()).
    void changeAbandoned();

protected:
    struct Contents
    {
        QStringList types;
        QHash<QString, QByteArray> values;
        // What we wrote ourselves; encoded to PNG only if someone asks for the bytes.
        QImage image;
        // The first image value that decodes, decoded on the reader thread; its type.
        QImage decoded;
        QString decodedType;
    };

    // valueTypes plus the markers every desktop's password managers set.
    static QStringList markerTypes(const QStringList& valueTypes);
    // Hands a snapshot from the reader thread to this object's thread, with its image decoded there.
    void post(ClipboardSnapshot snapshot);
    void accept(ClipboardSnapshot snapshot, QImage decoded, const QString& decodedType);
    // Our own write: counted at once, so the counter read right after the write includes it. When
    // awaitOwn is set, snapshots until the reader reports our contents describe the clipboard from
    // before the write and are ignored.
    void wrote(Contents contents, bool awaitOwn);
    void setWatching(bool watching) { m_watching = watching; }

private:
    Contents m_contents;
    qint64 m_changeCount = 0;
    qint64 m_abandoned = 0;
    bool m_watching = false;
    bool m_awaitingOwn = false;
    QElapsedTimer m_sinceWrite;
};
