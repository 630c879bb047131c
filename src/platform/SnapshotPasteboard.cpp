#include "platform/SnapshotPasteboard.h"

#include "platform/FreeMemory.h"
#include "platform/ImageCodec.h"

namespace {

const QString plainText = QStringLiteral("text/plain");
const QString uriList = QStringLiteral("text/uri-list");
const QString pngType = QStringLiteral("image/png");

} // namespace

void SnapshotPasteboard::post(ClipboardSnapshot snapshot)
{
    // Reading files and decoding images take longer than the transfer: done here, so the main thread
    // only decides.
    ClipboardContents prepared;
    if (!snapshot.ownedByUs && !snapshot.abandoned)
        prepared = ClipboardReading::prepare(snapshot);
    ++m_inFlight;
    QMetaObject::invokeMethod(
        this,
        [this, snapshot = std::move(snapshot), prepared = std::move(prepared)]() mutable {
            accept(std::move(snapshot), std::move(prepared));
        },
        Qt::QueuedConnection);
}

void SnapshotPasteboard::accept(ClipboardSnapshot snapshot, ClipboardContents prepared)
{
    if (take(std::move(snapshot), std::move(prepared)))
        m_unreported = true;
    // A change already followed by a newer snapshot is counted but not reported on its own: whoever reads
    // the contents on the next report sees the clipboard as it is then, as a poll between them would.
    if (--m_inFlight > 0 || !m_unreported)
        return;
    m_unreported = false;
    Q_EMIT changed();
}

bool SnapshotPasteboard::take(ClipboardSnapshot snapshot, ClipboardContents prepared)
{
    if (snapshot.ownedByUs) {
        // Our own write, already counted when it was made.
        m_awaitingOwn = false;
        return false;
    }
    // The display server orders our ownership before any later change, so whatever the reader reports
    // before it describes the clipboard as it was before our write.
    if (m_awaitingOwn && m_sinceWrite.isValid() && m_sinceWrite.elapsed() < ownChangeWaitMs)
        return false;
    m_awaitingOwn = false;
    if (snapshot.abandoned) {
        ++m_abandoned;
        return false;
    }
    m_contents = Contents{std::move(snapshot.types), std::move(snapshot.values), {}, std::move(prepared)};
    // What was there before we started watching is readable, but not a change.
    if (snapshot.initial)
        return false;
    ++m_changeCount;
    return true;
}

void SnapshotPasteboard::wrote(Contents contents, bool awaitOwn)
{
    m_contents = std::move(contents);
    m_contents.prepared.types = m_contents.types;
    if (const auto text = m_contents.values.constFind(plainText); text != m_contents.values.cend())
        m_contents.prepared.text = QString::fromUtf8(*text);
    m_contents.prepared.image = ImageCodec::scaledToKept(m_contents.image, ClipboardReading::keptImageDimension);
    if (awaitOwn) {
        m_awaitingOwn = true;
        m_sinceWrite.start();
    }
    ++m_changeCount;
    Q_EMIT changed();
}

SnapshotPasteboard::Contents SnapshotPasteboard::formattedContents(const QString& text, const KeptFormats& formats)
{
    Contents written{{plainText}, {{plainText, text.toUtf8()}}, {}, {}};
    for (auto format = formats.cbegin(); format != formats.cend(); ++format) {
        written.types.append(format.key());
        written.values.insert(format.key(), format.value());
    }
    written.prepared.formats = formats;
    return written;
}

ClipboardContents SnapshotPasteboard::contents(const QStringList&) const
{
    return m_contents.prepared;
}

void SnapshotPasteboard::contentsTaken()
{
    qsizetype released = 0;
    for (const QByteArray& value : std::as_const(m_contents.values))
        released += value.size();
    if (m_contents.prepared.text)
        released += m_contents.prepared.text->size() * qsizetype(sizeof(QChar));
    for (const QImage& image : std::as_const(m_contents.prepared.fileImages))
        released += image.sizeInBytes();
    released += m_contents.prepared.image.sizeInBytes();
    for (const QByteArray& format : std::as_const(m_contents.prepared.formats))
        released += format.size();
    m_contents.values.clear();
    m_contents.prepared.formats.clear();
    m_contents.prepared.fileImages.clear();
    m_contents.prepared.image = QImage();
    m_contents.prepared.text.reset();
    // The history shares what it kept; what goes here is the copy as read, and the transfer's buffers on the
    // reader thread went before it.
    if (released >= FreeMemory::largeBytes)
        FreeMemory::giveBack();
}

QList<QUrl> SnapshotPasteboard::urls() const
{
    QList<QUrl> urls = ClipboardReading::urlsOf(m_contents.values.value(uriList));
    // Anything else would have to be fetched, and no read may wait on the network.
    urls.removeIf([](const QUrl& url) { return !url.isLocalFile(); });
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
    return ImageCodec::decode(m_contents.values.value(type));
}

QImage SnapshotPasteboard::image() const
{
    if (!m_contents.image.isNull())
        return m_contents.image;
    return m_contents.prepared.image;
}
