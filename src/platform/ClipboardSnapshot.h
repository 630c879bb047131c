#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QStringList>

#include <functional>

// What a clipboard reader found after one change of the clipboard's owner.
struct ClipboardSnapshot
{
    // Grows with every change the reader sees, including the ones it drops.
    quint64 serial = 0;
    // The clipboard holds what this very process put there: nothing was read.
    bool ownedByUs = false;
    // The contents that were there when the reader started: not a change anyone made while we watched.
    bool initial = false;
    // The owner did not answer in time or went away mid-transfer; nothing of it may be used.
    bool abandoned = false;
    // Type names as the owner offers them, plus "text/plain" when a text type could be read.
    QStringList types;
    // The values read, by type; text of any text type is stored as UTF-8 under "text/plain".
    QHash<QString, QByteArray> values;
};

// Limits every reader of another application's clipboard keeps to.
namespace ClipboardReading {

// The whole change, from the type list to the last value; an owner slower than this is given up on.
inline constexpr int changeBudgetMs = 2000;
// Per type; anything larger is left out of the snapshot.
inline constexpr qint64 maxTypeBytes = qint64(64) * 1024 * 1024;

enum class Outcome {
    Done,
    // The owner answered that it cannot give this type.
    Refused,
    TooLarge,
    // No answer in time, or the connection broke.
    Abandoned,
    // A newer change arrived while reading.
    Superseded,
    Stopping,
};

// Fetches the value of one offered type into out.
using Fetch = std::function<Outcome(const QByteArray& type, QByteArray& out)>;

// Reads what the history needs of the offered types into snapshot, in the order its rules look at them:
// the values of the marker types (valueTypes) first, then the first text type that can be read, the
// URL list, PNG, TIFF and, when neither of those is offered, one other image type. offered is the owner's
// type list without the protocol's own meta targets; it becomes snapshot.types. A type the owner refuses
// or that is too large is left out; any other failure ends the change and is returned.
Outcome readOffered(const QList<QByteArray>& offered, const QStringList& valueTypes, const Fetch& fetch,
                    ClipboardSnapshot& snapshot);

} // namespace ClipboardReading
