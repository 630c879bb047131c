#pragma once

#include "platform/CaptureRules.h"
#include "platform/ClipboardSnapshot.h"

#include <functional>
#include <memory>

// Watches the CLIPBOARD selection on a connection and a thread of its own, so that an owner that is slow,
// hung or sends megabytes never holds up the main thread. Each ownership change is read into a snapshot
// and handed to the sink on the reader thread.
class X11ClipboardReader
{
public:
    static constexpr int changeBudgetMs = ClipboardReading::changeBudgetMs;
    static constexpr qint64 maxTypeBytes = ClipboardReading::maxTypeBytes;

    using Sink = std::function<void(ClipboardSnapshot)>;

    // markers: the types that mark contents as a secret.
    // ownIdBase and ownIdMask describe the resource ids of this process's own X connection, so that our
    // own ownership is recognised without asking anyone.
    X11ClipboardReader(QStringList markers, quint32 ownIdBase, quint32 ownIdMask, Sink sink);
    ~X11ClipboardReader();

    X11ClipboardReader(const X11ClipboardReader&) = delete;
    X11ClipboardReader& operator=(const X11ClipboardReader&) = delete;

    // Connects to the display of DISPLAY and starts watching; false when there is no X server or no XFixes.
    bool start();
    void stop();
    // Whether a change marked as a secret (see ClipboardReading::isSecret) is withheld: then only its type
    // list and marker values are ever asked for. On by default; callable from any thread.
    void setIgnoreSensitive(bool on);
    // Whether every change is withheld (capture is paused): then nothing of it is asked for, not even its
    // type list. Off by default; callable from any thread.
    void setPaused(bool on);
    // The user's rules, judged for every later change; callable from any thread.
    void setCaptureRules(std::shared_ptr<const CaptureRules> rules);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
