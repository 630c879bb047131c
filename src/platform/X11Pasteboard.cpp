#include "X11Pasteboard.h"

#include "ImageCodec.h"

#include <QClipboard>
#include <QGuiApplication>

#include <xcb/xcb.h>

namespace {

const QString plainText = QStringLiteral("text/plain");
const QString uriList = QStringLiteral("text/uri-list");
const QString pngType = QStringLiteral("image/png");
const QString passwordManagerHint = QStringLiteral("x-kde-passwordManagerHint");

} // namespace

X11Pasteboard::X11Pasteboard(QClipboard* clipboard, const QStringList& valueTypes, QObject* parent)
    : Pasteboard(parent)
    , m_clipboard(clipboard)
{
    // Every window Qt creates, the clipboard owner included, carries the resource-id prefix of Qt's
    // connection: that is how the reader knows our own ownership without a round trip.
    quint32 idBase = 0;
    quint32 idMask = 0;
    if (const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (xcb_connection_t* connection = x11->connection()) {
            const xcb_setup_t* setup = xcb_get_setup(connection);
            idBase = setup->resource_id_base;
            idMask = setup->resource_id_mask;
        }
    }
    QStringList wanted = valueTypes;
    if (!wanted.contains(passwordManagerHint))
        wanted.append(passwordManagerHint);
    m_reader = std::make_unique<X11ClipboardReader>(wanted, idBase, idMask, [this](X11ClipboardSnapshot snapshot) {
        QMetaObject::invokeMethod(
            this, [this, snapshot = std::move(snapshot)]() mutable { accept(std::move(snapshot)); },
            Qt::QueuedConnection);
    });
    m_watching = m_reader->start();
    if (!m_watching)
        qWarning("Cannot watch the X11 clipboard: no X server or no XFixes extension");
}

X11Pasteboard::~X11Pasteboard()
{
    // Joined before the members go: the reader's sink refers to this object.
    m_reader.reset();
}

void X11Pasteboard::accept(X11ClipboardSnapshot snapshot)
{
    if (snapshot.ownedByUs) {
        // Our own write, already counted when it was made.
        m_awaitingOwn = false;
        return;
    }
    // The X server orders our ownership before any later change, so whatever the reader reports before
    // it describes the clipboard as it was before our write.
    if (m_awaitingOwn && m_sinceWrite.isValid() && m_sinceWrite.elapsed() < ownChangeWaitMs)
        return;
    m_awaitingOwn = false;
    if (snapshot.abandoned) {
        ++m_abandoned;
        Q_EMIT changeAbandoned();
        return;
    }
    m_contents = Contents{std::move(snapshot.types), std::move(snapshot.values), {}};
    // What was there before we started watching is readable, but not a change.
    if (snapshot.initial)
        return;
    ++m_changeCount;
    Q_EMIT changed();
}

QList<QUrl> X11Pasteboard::urls() const
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

std::optional<QString> X11Pasteboard::string() const
{
    const auto text = m_contents.values.constFind(plainText);
    if (text == m_contents.values.cend())
        return std::nullopt;
    return QString::fromUtf8(*text);
}

QByteArray X11Pasteboard::data(const QString& type) const
{
    if (type == pngType && !m_contents.image.isNull())
        return ImageCodec::encodePng(m_contents.image);
    return m_contents.values.value(type);
}

QImage X11Pasteboard::image() const
{
    if (!m_contents.image.isNull())
        return m_contents.image;
    // PNG and TIFF come first, then the one other image type the reader took when neither was offered.
    for (const QString& type : {pngType, QStringLiteral("image/tiff")}) {
        if (m_contents.values.contains(type)) {
            const QImage image = ImageCodec::decode(m_contents.values.value(type));
            if (!image.isNull())
                return image;
        }
    }
    for (auto value = m_contents.values.cbegin(); value != m_contents.values.cend(); ++value) {
        if (value.key().startsWith(u"image/") && value.key() != pngType && value.key() != u"image/tiff") {
            const QImage image = ImageCodec::decode(value.value());
            if (!image.isNull())
                return image;
        }
    }
    return {};
}

void X11Pasteboard::wrote(Contents contents)
{
    // Counted at once, so the counter read right after the write includes it; the reader's report of our
    // ownership that follows does not count again.
    m_contents = std::move(contents);
    ++m_changeCount;
    Q_EMIT changed();
}

void X11Pasteboard::clearContents()
{
    m_clipboard->clear(QClipboard::Clipboard);
    wrote({});
}

void X11Pasteboard::writeString(const QString& text)
{
    m_clipboard->setText(text, QClipboard::Clipboard);
    m_awaitingOwn = true;
    m_sinceWrite.start();
    wrote({{plainText}, {{plainText, text.toUtf8()}}, {}});
}

void X11Pasteboard::writeImage(const QImage& image)
{
    m_clipboard->setImage(image, QClipboard::Clipboard);
    m_awaitingOwn = true;
    m_sinceWrite.start();
    wrote({{pngType}, {}, image});
}
