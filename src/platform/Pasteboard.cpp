#include "platform/Pasteboard.h"

ClipboardContents Pasteboard::contents(const QStringList& markers) const
{
    using namespace ClipboardReading;
    ClipboardContents contents;
    if (isPaused()) {
        contents.withheld = true;
        return contents;
    }
    contents.types = types();
    if (contents.types.contains(passwordManagerHint))
        contents.markerValues.insert(passwordManagerHint, data(passwordManagerHint));
    if (ignoreSensitive() && isSecret(contents.types, contents.markerValues, markers)) {
        contents.withheld = true;
        return contents;
    }
    contents.fileImages = decodeImageFiles(urls());
    if (!contents.fileImages.isEmpty())
        return contents;
    for (const QString& type : {QStringLiteral("image/png"), QStringLiteral("image/tiff")}) {
        contents.image = ImageCodec::decode(data(type), keptImageDimension);
        if (!contents.image.isNull())
            return contents;
    }
    contents.image = ImageCodec::scaledToKept(image(), keptImageDimension);
    if (!contents.image.isNull())
        return contents;
    contents.text = string();
    // No owner is known here: only the patterns apply.
    if (const auto rules = captureRules(); rules && contents.text) {
        const CaptureRules::Verdict verdict = rules->judge(*contents.text);
        contents.slowPattern = verdict.slowPattern;
        if (verdict.ignored) {
            contents.text.reset();
            contents.withheld = true;
            contents.skippedBy = SkippedBy::IgnorePattern;
        }
    }
    // The formats kept beside the text. Read whole here: only a reader of its own gives up on a large one
    // while it arrives.
    if (contents.text) {
        QHash<QString, QByteArray> values;
        for (const QByteArray& name : keptTypes() + QList<QByteArray>{"text/uri-list"}) {
            if (const QString type = QString::fromUtf8(name); contents.types.contains(type))
                values.insert(type, data(type));
        }
        contents.formats = keptFormats(values);
    }
    return contents;
}
