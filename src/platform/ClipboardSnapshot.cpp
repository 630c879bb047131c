#include "platform/ClipboardSnapshot.h"

#include "platform/CaptureRules.h"
#include "platform/ImageCodec.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace {

const QString plainText = QStringLiteral("text/plain");
const QString uriList = QStringLiteral("text/uri-list");
const QString pngType = QStringLiteral("image/png");
const QString tiffType = QStringLiteral("image/tiff");
const QString gnomeCopiedFiles = QStringLiteral("x-special/gnome-copied-files");

// PNG and TIFF come first, then the one other image type the reader took when neither was offered.
QStringList imageTypesInOrder(const QHash<QString, QByteArray>& values)
{
    QStringList types;
    for (const QString& type : {pngType, tiffType}) {
        if (values.contains(type))
            types.append(type);
    }
    for (auto value = values.cbegin(); value != values.cend(); ++value) {
        if (value.key().startsWith(u"image/") && value.key() != pngType && value.key() != tiffType)
            types.append(value.key());
    }
    return types;
}

// The URIs of a list, one a line as offered (without the line ends); none when a line is not a local
// file's URI. Only the text of the URIs is looked at.
std::optional<QList<QByteArray>> localFileUris(const QList<QByteArray>& lines)
{
    QList<QByteArray> uris;
    for (const QByteArray& line : lines) {
        const QByteArray uri = line.trimmed();
        if (uri.isEmpty() || uri.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(uri, QUrl::StrictMode);
        if (!url.isValid() || url.scheme() != u"file" || url.path().isEmpty() ||
            !(url.host().isEmpty() || url.host() == u"localhost"))
            return std::nullopt;
        uris.append(uri);
    }
    return uris;
}

} // namespace

namespace ClipboardReading {

const QStringList& imageFileExtensions()
{
    static const QStringList extensions = {
        QStringLiteral("png"),  QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("heic"),
        QStringLiteral("tiff"), QStringLiteral("gif"), QStringLiteral("webp"),
    };
    return extensions;
}

bool isSecret(const QStringList& types, const QHash<QString, QByteArray>& markerValues, const QStringList& markers)
{
    for (const QString& marker : markers) {
        if (marker != passwordManagerHint && types.contains(marker))
            return true;
    }
    // A hint whose value could not be read counts as a secret too.
    return types.contains(passwordManagerHint) && markerValues.value(passwordManagerHint) != "public";
}

Outcome readOffered(const QList<QByteArray>& offered, const QStringList& markers, bool ignoreSensitive,
                    const Fetch& fetch, ClipboardSnapshot& snapshot, const CaptureRules* rules)
{
    for (const QByteArray& name : offered) {
        const QString type = QString::fromUtf8(name);
        if (!snapshot.types.contains(type))
            snapshot.types.append(type);
    }

    // An excluded application's contents never travel into this process, not even its markers.
    if (rules && rules->excludes(snapshot.owner)) {
        snapshot.withheld = true;
        snapshot.skippedBy = SkippedBy::ExcludedApplication;
        return Outcome::Done;
    }

    QByteArray bytes;
    // Reads one offered type into values[key]; only a lost owner or a newer change stops the whole change.
    const auto read = [&](const QByteArray& name, const QString& key, qint64 limit = maxTypeBytes) -> Outcome {
        bytes.clear();
        const Outcome result = fetch(name, limit, bytes);
        if (result == Outcome::Done)
            snapshot.values.insert(key, bytes);
        else if (result == Outcome::TooLarge)
            return Outcome::Refused;
        return result;
    };
    const auto stops = [](Outcome outcome) { return outcome != Outcome::Done && outcome != Outcome::Refused; };

    // The markers are tested before anything else is asked for: a secret never travels into this process.
    if (offered.contains(passwordManagerHint.toUtf8())) {
        if (const Outcome outcome = read(passwordManagerHint.toUtf8(), passwordManagerHint); stops(outcome))
            return outcome;
    }
    if (ignoreSensitive && isSecret(snapshot.types, snapshot.values, markers)) {
        snapshot.withheld = true;
        return Outcome::Done;
    }

    for (const QByteArray& name : {QByteArrayLiteral("UTF8_STRING"), QByteArrayLiteral("text/plain;charset=utf-8"),
                                   QByteArrayLiteral("text/plain"), QByteArrayLiteral("STRING")}) {
        if (!offered.contains(name))
            continue;
        const Outcome outcome = read(name, plainText);
        if (stops(outcome))
            return outcome;
        if (outcome != Outcome::Done)
            continue;
        // STRING is Latin-1 by definition; everything else here is UTF-8.
        if (name == "STRING")
            snapshot.values.insert(plainText, QString::fromLatin1(snapshot.values.value(plainText)).toUtf8());
        if (!snapshot.types.contains(plainText))
            snapshot.types.append(plainText);
        if (rules && rules->hasPatterns()) {
            const CaptureRules::Verdict verdict = rules->judge(snapshot.values.value(plainText));
            snapshot.slowPattern = verdict.slowPattern;
            if (verdict.ignored) {
                snapshot.values.clear();
                snapshot.withheld = true;
                snapshot.skippedBy = SkippedBy::IgnorePattern;
                return Outcome::Done;
            }
        }
        break;
    }

    QList<QByteArray> wanted = {"text/uri-list", "image/png", "image/tiff"};
    if (!offered.contains("image/png") && !offered.contains("image/tiff")) {
        for (const QByteArray& name : offered) {
            if (name.startsWith("image/")) {
                wanted.append(name);
                break;
            }
        }
    }
    for (const QByteArray& name : std::as_const(wanted)) {
        if (!offered.contains(name))
            continue;
        if (const Outcome outcome = read(name, QString::fromUtf8(name)); stops(outcome))
            return outcome;
    }

    // What is kept beside a text: nothing beside an image. The URL list is kept with the files it names.
    if (!snapshot.values.contains(plainText) || !imageTypesInOrder(snapshot.values).isEmpty())
        return Outcome::Done;
    qint64 left = maxKeptFormatBytes - snapshot.values.value(uriList).size();
    for (const QByteArray& name : keptTypes()) {
        if (left <= 0)
            break;
        if (!offered.contains(name))
            continue;
        if (const Outcome outcome = read(name, QString::fromUtf8(name), left); stops(outcome))
            return outcome;
        left -= snapshot.values.value(QString::fromUtf8(name)).size();
    }
    return Outcome::Done;
}

const QList<QByteArray>& keptTypes()
{
    static const QList<QByteArray> types = {"text/html", "text/rtf", "application/rtf", "x-special/gnome-copied-files",
                                            "application/x-kde-cutselection"};
    return types;
}

KeptFormats copiedFileFormats(const QByteArray& offeredUris, const QByteArray& offeredGnome)
{
    QList<QByteArray> uris;
    if (!offeredUris.isEmpty()) {
        const std::optional<QList<QByteArray>> listed = localFileUris(offeredUris.split('\n'));
        if (!listed)
            return {};
        uris = *listed;
    }
    QByteArray gnome;
    // "copy" or "cut", then one URI a line. Kept as offered, but always as a copy: pasting an old entry
    // never moves the files.
    if (const qsizetype end = offeredGnome.indexOf('\n'); end > 0) {
        const QByteArray operation = offeredGnome.left(end).trimmed();
        const std::optional<QList<QByteArray>> listed = localFileUris(offeredGnome.mid(end + 1).split('\n'));
        if (!listed)
            return {};
        if ((operation == "copy" || operation == "cut") && !listed->isEmpty()) {
            gnome = "copy" + offeredGnome.mid(end);
            if (uris.isEmpty())
                uris = *listed;
        }
    }
    if (uris.isEmpty())
        return {};
    if (gnome.isEmpty())
        gnome = "copy\n" + uris.join('\n');
    return {{uriList, offeredUris.isEmpty() ? uris.join("\r\n") + "\r\n" : offeredUris}, {gnomeCopiedFiles, gnome}};
}

KeptFormats keptFormats(const QHash<QString, QByteArray>& values)
{
    KeptFormats kept = copiedFileFormats(values.value(uriList), values.value(gnomeCopiedFiles));
    for (const QString& type :
         {QStringLiteral("text/html"), QStringLiteral("text/rtf"), QStringLiteral("application/rtf")}) {
        if (const auto value = values.constFind(type); value != values.cend() && !value->isEmpty())
            kept.insert(type, *value);
    }
    qint64 total = 0;
    for (const QByteArray& value : std::as_const(kept))
        total += value.size();
    return total <= maxKeptFormatBytes ? kept : KeptFormats();
}

QList<QUrl> urlsOf(const QByteArray& uriList)
{
    QList<QUrl> urls;
    for (QByteArray line : uriList.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(line);
        if (url.isValid())
            urls.append(url);
    }
    return urls;
}

QList<QImage> decodeImageFiles(const QList<QUrl>& urls)
{
    QList<QImage> images;
    const qsizetype count = std::min<qsizetype>(urls.size(), maxFileUrls);
    for (qsizetype i = 0; i < count; ++i) {
        // Only local files are read: a web address is never fetched, so no change waits on the network.
        if (!urls[i].isLocalFile())
            continue;
        const QFileInfo file(urls[i].toLocalFile());
        if (!imageFileExtensions().contains(file.suffix().toLower()) || !file.isFile())
            continue;
        const QImage image = ImageCodec::decodeFile(file.filePath(), keptImageDimension);
        if (!image.isNull())
            images.append(image);
    }
    return images;
}

ClipboardContents prepare(const ClipboardSnapshot& snapshot)
{
    ClipboardContents contents;
    contents.types = snapshot.types;
    if (const auto hint = snapshot.values.constFind(passwordManagerHint); hint != snapshot.values.cend())
        contents.markerValues.insert(passwordManagerHint, *hint);
    contents.withheld = snapshot.withheld;
    contents.skippedBy = snapshot.skippedBy;
    contents.slowPattern = snapshot.slowPattern;
    contents.ownerless = snapshot.ownerless;
    if (snapshot.withheld)
        return contents;

    contents.fileImages = decodeImageFiles(urlsOf(snapshot.values.value(uriList)));
    if (!contents.fileImages.isEmpty())
        return contents;
    for (const QString& type : imageTypesInOrder(snapshot.values)) {
        contents.image = ImageCodec::decode(snapshot.values.value(type), keptImageDimension);
        if (!contents.image.isNull())
            return contents;
    }
    if (const auto text = snapshot.values.constFind(plainText); text != snapshot.values.cend()) {
        contents.text = QString::fromUtf8(*text);
        contents.formats = keptFormats(snapshot.values);
    }
    return contents;
}

} // namespace ClipboardReading
