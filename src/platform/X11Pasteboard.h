#pragma once

#include "Pasteboard.h"
#include "X11ClipboardReader.h"

#include <QElapsedTimer>

#include <memory>

class QClipboard;

// The X11 clipboard without ever waiting on its owner in the main thread: a reader thread of our own
// reads every ownership change into a snapshot, and all reads answer from the newest completed snapshot.
// The change counter counts completed snapshots and our own writes. Writes go through QClipboard, which
// serves other applications' requests for what we wrote.
class X11Pasteboard : public Pasteboard
{
    Q_OBJECT

public:
    // How long after a write snapshots that the reader took before seeing our ownership are still ignored,
    // should Qt's ownership never show up (the server refused it).
    static constexpr int ownChangeWaitMs = 2000;

    // valueTypes: targets whose values are read whenever they are offered (the sensitive markers).
    X11Pasteboard(QClipboard* clipboard, const QStringList& valueTypes, QObject* parent = nullptr);
    ~X11Pasteboard() override;

    // False when the reader could not connect (no X server, no XFixes): no change is ever seen then.
    bool isWatching() const { return m_watching; }
    // Changes given up on because the owner did not answer in time or went away mid-transfer.
    qint64 abandonedChanges() const { return m_abandoned; }

    qint64 changeCount() const override { return m_changeCount; }
    QStringList types() const override { return m_contents.types; }
    QList<QUrl> urls() const override;
    std::optional<QString> string() const override;
    QByteArray data(const QString& type) const override;
    QImage image() const override;

    void clearContents() override;
    void writeString(const QString& text) override;
    void writeImage(const QImage& image) override;

Q_SIGNALS:
    // A change was given up on (see abandonedChanges()).
    void changeAbandoned();

private:
    struct Contents
    {
        QStringList types;
        QHash<QString, QByteArray> values;
        // What we wrote ourselves; encoded to PNG only if someone asks for the bytes.
        QImage image;
    };

    void accept(X11ClipboardSnapshot snapshot);
    void wrote(Contents contents);

    QClipboard* m_clipboard;
    Contents m_contents;
    qint64 m_changeCount = 0;
    qint64 m_abandoned = 0;
    bool m_watching = false;
    bool m_awaitingOwn = false;
    QElapsedTimer m_sinceWrite;
    std::unique_ptr<X11ClipboardReader> m_reader;
};
