#include "SnapshotPasteboard.h"

#include "ImageCodec.h"

namespace {

const QString plainText = QStringLiteral("text/plain");
const QString uriList = QStringLiteral("text/uri-list");
const QString pngType = QStringLiteral("image/png");
const QString tiffType = QStringLiteral("image/tiff");

} // namespace

QStringList SnapshotPasteboard::markerTypes(const QStringList& valueTypes)
{
    QStringList wanted = valueTypes;
    const QString passwordManagerHint = QStringLiteral("x-kde-passwordManagerHint");
    if (!wanted.contains(passwordManagerHint))
        wanted.append(passwordManagerHint);
    return wanted;
}

// PNG and TIFF come first, then the one other image type the reader took when neither was offered.
static QStringList imageTypesInOrder(const QHash<QString, QByteArray>& values)
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

void SnapshotPasteboard::post(ClipboardSnapshot snapshot)
{
    // Decoding a large image takes longer than reading it: done here, the main thread only gets the pixels.
    QImage decoded;
    QString decodedType;
    for (const QString& type : imageTypesInOrder(snapshot.values)) {
        decoded = ImageCodec::decode(snapshot.values.value(type));
        if (!decoded.isNull()) {
            decodedType = type;
            break;
        }
    }
    QMetaObject::invokeMethod(
        this,
        [this, snapshot = std::move(snapshot), decoded = std::move(decoded), decodedType]() mutable {
            accept(std::move(snapshot), std::move(decoded), decodedType);
        },
        Qt::QueuedConnection);
}

void SnapshotPasteboard::accept(ClipboardSnapshot snapshot, QImage decoded, const QString& decodedType)
{
    if (snapshot.ownedByUs) {
        // Our own write, already counted when it was made.
        m_awaitingOwn = false;
        return;
    }
    // The display server orders our ownership before any later change, so whatever the reader reports
    // before it describes the clipboard as it was before our write.
    if (m_awaitingOwn && m_sinceWrite.isValid() && m_sinceWrite.elapsed() < ownChangeWaitMs)
        return;
    m_awaitingOwn = false;
    if (snapshot.abandoned) {
        ++m_abandoned;
        Q_EMIT changeAbandoned();
        return;
    }
    m_contents = Contents{std::move(snapshot.types), std::move(snapshot.values), {}, std::move(decoded), decodedType};
    // What was there before we started watching is readable, but not a change.
    if (snapshot.initial)
        return;
    ++m_changeCount;
    Q_EMIT changed();
}

void SnapshotPasteboard::wrote(Contents contents, bool awaitOwn)
{
    m_contents = std::move(contents);
    if (awaitOwn) {
        m_awaitingOwn = true;
        m_sinceWrite.start();
    }
    ++m_changeCount;
    Q_EMIT changed();
}

QList<QUrl> SnapshotPasteboard::urls() const
{
    QList<QUrl> urls;
    const QByteArray list = m_contents.values.value(uriList);
    for (QByteArray line : list.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(line);
        // Anything else would have to be fetched, and no read may wait on the network.
        if (url.isValid() && url.isLocalFile())
            urls.append(url);
    }
    return urls;
}

std::optional<QString> SnapshotPasteboard::string() const
{
    const auto text = m_contents.values.constFind(plainText);
    if (text == m_contents.values.cend())
        return std::nullopt;
    return QString::fromUtf8(*text);
}

QByteArray SnapshotPasteboard::data(const QString& type) const
{
    if (type == pngType && !m_contents.image.isNull())
        return ImageCodec::encodePng(m_contents.image);
    return m_contents.values.value(type);
}

QImage SnapshotPasteboard::imageData(const QString& type) const
{
    if (type == pngType && !m_contents.image.isNull())
        return m_contents.image;
    if (type == m_contents.decodedType)
        return m_contents.decoded;
    return ImageCodec::decode(m_contents.values.value(type));
}

QImage SnapshotPasteboard::image() const
{
    if (!m_contents.image.isNull())
        return m_contents.image;
    for (const QString& type : imageTypesInOrder(m_contents.values)) {
        const QImage image = imageData(type);
        if (!image.isNull())
            return image;
    }
    return {};
}
