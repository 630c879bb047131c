#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

class CaptureRules;

// The user's rule that passed a change over, counted by the history.
enum class SkippedBy {
    Nothing,
    ExcludedApplication,
    IgnorePattern,
};

// Formats kept beside an entry's plain text and offered again when it goes back on the clipboard, by MIME
// type: formatted text ("text/html", "text/rtf", "application/rtf"), or a list of copied local files
// ("text/uri-list" and "x-special/gnome-copied-files", whose operation is always "copy").
using KeptFormats = QMap<QString, QByteArray>;

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
    // Nobody owns the clipboard: its owner quit or cleared it.
    bool ownerless = false;
    // The markers said secret while the filter was on: only the type list and the marker values were read.
    // Or capture was paused: nothing at all was read.
    bool withheld = false;
    // The application that owned the clipboard, as far as the reader could tell; empty when unknown.
    QString owner;
    // Withheld because of one of the user's rules.
    SkippedBy skippedBy = SkippedBy::Nothing;
    // An ignore pattern that ran out of time on this change's text (which was kept).
    QString slowPattern;
    // Type names as the owner offers them, plus "text/plain" when a text type could be read.
    QStringList types;
    // The values read, by type; text of any text type is stored as UTF-8 under "text/plain".
    QHash<QString, QByteArray> values;
};

// Everything one change offers the history, prepared so that the capture rules only have to decide:
// the images are decoded and already no larger than the history keeps them.
struct ClipboardContents
{
    QStringList types;
    // The values of the marker types that were offered (the password managers' hint).
    QHash<QString, QByteArray> markerValues;
    // Marked as a secret while the filter was on, or arrived while capture was paused: nothing but the types
    // and the marker values was read.
    bool withheld = false;
    SkippedBy skippedBy = SkippedBy::Nothing;
    QString slowPattern;
    // Nobody owns the clipboard (as far as the reader can tell).
    bool ownerless = false;
    // The images of the image files among the first URLs, in order.
    QList<QImage> fileImages;
    // The clipboard's own image (PNG, then TIFF, then any other image type); read only when no file gave one.
    QImage image;
    // The plain text; read only when there is no image at all.
    std::optional<QString> text;
    // What is kept beside the text: only with a text, and empty when the formats together are larger
    // than ClipboardReading::maxKeptFormatBytes.
    KeptFormats formats;
};

// Limits and rules every reader of another application's clipboard keeps to.
namespace ClipboardReading {

// The whole change, from the type list to the last value; an owner slower than this is given up on.
inline constexpr int changeBudgetMs = 2000;
// Per type; anything larger is left out of the snapshot.
inline constexpr qint64 maxTypeBytes = qint64(64) * 1024 * 1024;
// URLs examined per change: copying a thousand files reads at most this many.
inline constexpr int maxFileUrls = 20;
// The formats kept beside one text, together; beyond this the text is kept alone.
inline constexpr qint64 maxKeptFormatBytes = qint64(10) * 1024 * 1024;
// Images are kept with neither side longer than this.
inline constexpr int keptImageDimension = 1200;

// Password managers on Linux mark secrets with this type; only the value "public" may be kept.
inline const QString passwordManagerHint = QStringLiteral("x-kde-passwordManagerHint");
// Extensions, lower case, of the files on the clipboard that are read as images.
const QStringList& imageFileExtensions();

// Whether contents with these types and marker values are marked as a secret: any of markers is offered,
// or the password managers' hint is and says anything but "public".
bool isSecret(const QStringList& types, const QHash<QString, QByteArray>& markerValues, const QStringList& markers);

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

// Fetches the value of one offered type into out. A value longer than limit bytes is TooLarge, given up on
// as soon as that is known: no more than about limit bytes of it are ever held.
using Fetch = std::function<Outcome(const QByteArray& type, qint64 limit, QByteArray& out)>;

// Reads what the history needs of the offered types into snapshot, in the order its rules look at them:
// the value of the password managers' hint first; then, when ignoreSensitive is on and the contents are
// marked as a secret (see isSecret), nothing more (snapshot.withheld); otherwise the first text type that
// can be read, the URL list, PNG, TIFF and, when neither of those is offered, one other image type. Last,
// when a text and no image was read, the types kept beside a text (keptTypes), together no larger than
// maxKeptFormatBytes: one that would pass it is given up on while it arrives and left out.
// offered is the owner's type list without the protocol's own meta targets; it becomes snapshot.types.
// A type the owner refuses or that is too large is left out; any other failure ends the change and is
// returned. With rules, a change from an excluded application (snapshot.owner) is withheld before any
// value is asked for, and one whose text matches an ignore pattern is withheld with its values dropped.
Outcome readOffered(const QList<QByteArray>& offered, const QStringList& markers, bool ignoreSensitive,
                    const Fetch& fetch, ClipboardSnapshot& snapshot, const CaptureRules* rules = nullptr);

// The types read beside a text to be kept with it: formatted text, and the copied files' operation.
const QList<QByteArray>& keptTypes();
// The formats kept for copied local files, from the values of "text/uri-list" and
// "x-special/gnome-copied-files" as offered (either may be empty): the URI list as offered (or built from
// the other list) and the other list with the operation "copy", whatever it was. Empty unless the lists
// name at least one file and only local "file:" URIs. The named files are never looked at.
KeptFormats copiedFileFormats(const QByteArray& uriList, const QByteArray& gnomeList);
// What is kept beside a text, from the values read: the formatted text types as offered, bytes unchanged,
// and the copied files (see copiedFileFormats); nothing when all of it is larger than maxKeptFormatBytes.
KeptFormats keptFormats(const QHash<QString, QByteArray>& values);

// The local files among the first maxFileUrls URLs of a "text/uri-list" value, in order.
QList<QUrl> urlsOf(const QByteArray& uriList);
// Reads and decodes the image files among the first maxFileUrls of urls, in order: local files only, with
// one of the image extensions, no folders, nothing unreadable or empty; each no larger than kept.
QList<QImage> decodeImageFiles(const QList<QUrl>& urls);
// Prepares what a snapshot holds for the capture rules: the image files it names, else its own image,
// else its text with the formats kept beside it. Decoding is the slow part; readers call this on their own thread.
ClipboardContents prepare(const ClipboardSnapshot& snapshot);

} // namespace ClipboardReading
