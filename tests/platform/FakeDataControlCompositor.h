#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <memory>

// A Wayland compositor inside the test process, on a thread of its own, that offers a seat and the
// data-control interfaces and nothing else. It keeps one clipboard selection (and a primary selection
// nobody should care about), owned either by a client's data source or by the compositor itself playing
// another application whose every answer the test scripts. Clients connect to displayName().
//
// Every public method may be called from any thread; each one runs its work on the compositor's thread
// and waits for it.
class FakeDataControlCompositor
{
public:
    struct Setup
    {
        bool seat = true;
        // Offer ext_data_control_manager_v1 (version 1).
        bool ext = true;
        // Version of zwlr_data_control_manager_v1 to offer (1 or 2); 0 offers none.
        int wlrVersion = 0;
    };

    // How the other application answers when asked for one of its types.
    struct Behaviour
    {
        enum class End {
            // Closes the pipe: the value is complete.
            Close,
            // Keeps the pipe open and never writes again, like a hung application.
            Hang,
            // Goes away: the pipe closes, then the selection becomes empty and is announced.
            OwnerDies,
        };

        QByteArray bytes;
        // When not negative, that many zero bytes are streamed instead of bytes, without holding them.
        qint64 zeros = -1;
        // The value is written in this many pieces, each after a pause but the first.
        int pieces = 1;
        int pauseMs = 0;
        End end = End::Close;

        static Behaviour answer(QByteArray bytes);
        static Behaviour slowly(QByteArray bytes, int pieces, int pauseMs);
        static Behaviour never();
        // Writes partial, then dies before finishing.
        static Behaviour diesAfter(QByteArray partial);
        static Behaviour zeroes(qint64 count);
    };
    using Contents = QList<QPair<QByteArray, Behaviour>>;

    enum class Owner { Nobody, Foreign, Client };

    struct Counters
    {
        int clients = 0;
        int managersBound = 0;
        // Objects the clients have not destroyed yet.
        int devices = 0;
        int offers = 0;
        int sources = 0;
        int sourcesCreated = 0;
        // cancelled events sent to client sources.
        int sourcesCancelled = 0;
        // set_selection requests, with a source or without.
        int clientSelections = 0;
        // receive requests, on any offer, in the order they came.
        QList<QByteArray> received;
        // Bytes the other application managed to write, over all its transfers.
        qint64 bytesWritten = 0;
        // Its transfers that stopped because the reading end was closed before the value was complete.
        int transfersCutOff = 0;
    };

    explicit FakeDataControlCompositor(Setup setup);
    ~FakeDataControlCompositor();

    FakeDataControlCompositor(const FakeDataControlCompositor&) = delete;
    FakeDataControlCompositor& operator=(const FakeDataControlCompositor&) = delete;

    // False when the socket or the thread could not be set up.
    bool isListening() const;
    // What a client passes to wl_display_connect: the socket's absolute path.
    QByteArray displayName() const;

    // The other application takes the clipboard with these types, answering each as told.
    void setSelection(const Contents& contents);
    // The clipboard becomes empty, as when its owner went away.
    void clearSelection();
    // Types offered as the primary selection; requests for them are refused. Empty clears it.
    void setPrimarySelection(const QList<QByteArray>& types);
    // As KWin: a new device hears nothing of the clipboard while it is empty.
    void setSilentWhenEmpty(bool silent);

    Owner selectionOwner() const;
    // The types of the client source holding the selection; empty when no client holds it.
    QList<QByteArray> clientOfferTypes() const;
    // Asks the client source holding the selection for mime, as an application pasting would, and reads
    // the answer until the client closes the pipe. Empty when no client holds the selection, on timeout
    // and when the client answers nothing.
    QByteArray pasteFromClient(const QByteArray& mime, int timeoutMs = 5000);
    // Asks the same, as an application that then hangs: the answer is never read. False when no client
    // holds the selection.
    bool startStalledPaste(const QByteArray& mime);
    // How many of those pipes the client has not given up on (closed) yet.
    int stalledPastesOpen() const;

    // Drops every client connection, as a compositor that quits.
    void disconnectClients();

    Counters counters() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
