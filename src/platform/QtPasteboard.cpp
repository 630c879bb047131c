#include "platform/QtPasteboard.h"

#include "platform/ImageCodec.h"

#include <QClipboard>
#include <QMimeData>

QtPasteboard::QtPasteboard(QClipboard* clipboard, QObject* parent)
    : Pasteboard(parent)
    , m_clipboard(clipboard)
{
    // Our own writes Q_EMIT dataChanged synchronously inside setMimeData(), so the counter read right
    // after a write already includes it.
    connect(m_clipboard, &QClipboard::dataChanged, this, [this] {
        ++m_changeCount;
        Q_EMIT changed();
    });
}

const QMimeData* QtPasteboard::mimeData() const
{
    return m_clipboard->mimeData(QClipboard::Clipboard);
}

QStringList QtPasteboard::types() const
{
    const QMimeData* mime = mimeData();
    return mime ? mime->formats() : QStringList();
}

QList<QUrl> QtPasteboard::urls() const
{
    const QMimeData* mime = mimeData();
    return mime && mime->hasUrls() ? mime->urls() : QList<QUrl>();
}

std::optional<QString> QtPasteboard::string() const
{
    const QMimeData* mime = mimeData();
    // QMimeData::hasText() is also true for a bare list of URLs, and text() then joins the URLs: only a
    // real plain-text offer is text.
    if (!mime || !mime->hasFormat(QStringLiteral("text/plain")))
        return std::nullopt;
    return mime->text();
}

QByteArray QtPasteboard::data(const QString& type) const
{
    const QMimeData* mime = mimeData();
    return mime && mime->hasFormat(type) ? mime->data(type) : QByteArray();
}

QImage QtPasteboard::image() const
{
    const QMimeData* mime = mimeData();
    if (!mime || !mime->hasImage())
        return {};
    ImageCodec::applyAllocationLimit();
    return qvariant_cast<QImage>(mime->imageData());
}

void QtPasteboard::clearContents()
{
    m_clipboard->clear(QClipboard::Clipboard);
}

void QtPasteboard::writeString(const QString& text)
{
    m_clipboard->setText(text, QClipboard::Clipboard);
}

void QtPasteboard::writeImage(const QImage& image)
{
    m_clipboard->setImage(image, QClipboard::Clipboard);
}

void QtPasteboard::writeFormatted(const QString& text, const KeptFormats& formats)
{
    m_clipboard->setMimeData(formattedMimeData(text, formats), QClipboard::Clipboard);
}

QMimeData* QtPasteboard::formattedMimeData(const QString& text, const KeptFormats& formats)
{
    auto* mime = new QMimeData;
    mime->setText(text);
    for (auto format = formats.cbegin(); format != formats.cend(); ++format)
        mime->setData(format.key(), format.value());
    return mime;
}
