#pragma once

#include "platform/CaptureRules.h"
#include "platform/ClipboardSnapshot.h"

#include <functional>
#include <memory>

// What this process puts on the clipboard: the types it offers and, asked for one of them, its bytes.
struct ClipboardOffer
{
    QStringList types;
    // Called on the reader thread, at most once per type and published offer.
    std::function<QByteArray(const QString& type)> bytes;
};

// Watches and sets the clipboard of a Wayland seat through the compositor's data-control interface
// (ext-data-control-v1, or the older zwlr_data_control_manager_v1), which needs no window and no focus.
// It has a connection and a thread of its own: every change is read into a snapshot there and handed to
// the sink on that thread, and what we publish is served from there, so a slow or hung client never
// holds up the main thread.
class WaylandClipboardReader
{
public:
    static constexpr int changeBudgetMs = ClipboardReading::changeBudgetMs;
    static constexpr qint64 maxTypeBytes = ClipboardReading::maxTypeBytes;
    // How long a client pasting from us gets for the whole transfer.
    static constexpr int sendBudgetMs = 5000;
    // Offered along with our own contents, so that they are known when the compositor hands them back.
    static constexpr const char* ownMarkerType = "application/x-pellamor-owned";

    enum class Protocol { None, Ext, Wlr };

    using Sink = std::function<void(ClipboardSnapshot)>;

    // Which data-control interface the compositor offers (the ext one when it offers both); None also
    // when there is no compositor to connect to or it has no seat. displayName empty: WAYLAND_DISPLAY.
    static Protocol offeredProtocol(const QByteArray& displayName = {});

    // markers: the types that mark contents as a secret. budgetMs: how long one change may take to read.
    WaylandClipboardReader(QStringList markers, Sink sink, QByteArray displayName = {}, int budgetMs = changeBudgetMs);
    ~WaylandClipboardReader();

    WaylandClipboardReader(const WaylandClipboardReader&) = delete;
    WaylandClipboardReader& operator=(const WaylandClipboardReader&) = delete;

    // Connects and starts watching; false when there is no compositor, no seat or no data-control.
    bool start();
    void stop();
    // The interface in use once started.
    Protocol protocol() const;
    // Whether a change marked as a secret (see ClipboardReading::isSecret) is withheld: then only its type
    // list and marker values are ever asked for. On by default; callable from any thread.
    void setIgnoreSensitive(bool on);
    // Whether every change is withheld (capture is paused): then nothing of it is received. Off by default;
    // callable from any thread.
    void setPaused(bool on);
    // The user's rules, judged for every later change; callable from any thread.
    void setCaptureRules(std::shared_ptr<const CaptureRules> rules);
    // Names the application whose window is active, asked on the reader thread at every change: data
    // control says nothing about who set the selection, so the compositor's own window list has to
    // (wlroots' foreign-toplevel manager, KDE's window management). Without one the owner stays unknown
    // and no application is excluded. Callable from any thread; once it returns, the one it replaced is
    // no longer asked.
    void setOwnerIdentity(std::function<QString()> identity);

    // Makes offer the clipboard's contents (an offer without types empties the clipboard). Served until
    // another client takes the clipboard. Callable from any thread.
    void publish(ClipboardOffer offer);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
