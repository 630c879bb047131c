#pragma once

#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <functional>
#include <memory>

// What the reader found on the clipboard after one change of its owner.
struct X11ClipboardSnapshot
{
    // Grows with every ownership change the reader sees, including the ones it drops.
    quint64 serial = 0;
    // The clipboard belongs to this very process: nothing was read, Qt holds the contents.
    bool ownedByUs = false;
    // The contents that were there when the reader started: not a change anyone made while we watched.
    bool initial = false;
    // The owner did not answer in time or went away mid-transfer; nothing of it may be used.
    bool abandoned = false;
    // Target names as the owner offers them, plus "text/plain" when a text target could be read.
    QStringList types;
    // The values read, by type; text of any text target is stored as UTF-8 under "text/plain".
    QHash<QString, QByteArray> values;
};

// Watches the CLIPBOARD selection on a connection and a thread of its own, so that an owner that is slow,
// hung or sends megabytes never holds up the main thread. Each ownership change is read into a snapshot
// and handed to the sink on the reader thread.
class X11ClipboardReader
{
public:
    // The whole change, from the type list to the last value; an owner slower than this is given up on.
    static constexpr int changeBudgetMs = 2000;
    // Per type; anything larger is left out of the snapshot.
    static constexpr qint64 maxTypeBytes = qint64(64) * 1024 * 1024;

    using Sink = std::function<void(X11ClipboardSnapshot)>;

    // valueTypes: targets whose values are read whenever they are offered (the sensitive markers).
    // ownIdBase and ownIdMask describe the resource ids of this process's own X connection, so that our
    // own ownership is recognised without asking anyone.
    X11ClipboardReader(QStringList valueTypes, quint32 ownIdBase, quint32 ownIdMask, Sink sink);
    ~X11ClipboardReader();

    X11ClipboardReader(const X11ClipboardReader&) = delete;
    X11ClipboardReader& operator=(const X11ClipboardReader&) = delete;

    // Connects to the display of DISPLAY and starts watching; false when there is no X server or no XFixes.
    bool start();
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
