#include "platform/x11/X11Pasteboard.h"

#include "platform/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>

#include <xcb/xcb.h>

X11Pasteboard::X11Pasteboard(QClipboard* clipboard, const QStringList& markers, QObject* parent)
    : SnapshotPasteboard(parent)
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
    m_reader = std::make_unique<X11ClipboardReader>(markers, idBase, idMask,
                                                    [this](ClipboardSnapshot snapshot) { post(std::move(snapshot)); });
    setWatching(m_reader->start());
    if (!isWatching())
        qWarning("Cannot watch the X11 clipboard: no X server or no XFixes extension");
}

X11Pasteboard::~X11Pasteboard()
{
    // Joined before the members go: the reader's sink refers to this object.
    m_reader.reset();
}

void X11Pasteboard::setIgnoreSensitive(bool on)
{
    SnapshotPasteboard::setIgnoreSensitive(on);
    m_reader->setIgnoreSensitive(on);
}

void X11Pasteboard::setPaused(bool on)
{
    SnapshotPasteboard::setPaused(on);
    m_reader->setPaused(on);
}

void X11Pasteboard::setCaptureRules(std::shared_ptr<const CaptureRules> rules)
{
    SnapshotPasteboard::setCaptureRules(rules);
    m_reader->setCaptureRules(std::move(rules));
}

void X11Pasteboard::clearContents()
{
    m_clipboard->clear(QClipboard::Clipboard);
    wrote({}, false);
}

void X11Pasteboard::writeString(const QString& text)
{
    m_clipboard->setText(text, QClipboard::Clipboard);
    const QString plainText = QStringLiteral("text/plain");
    wrote({{plainText}, {{plainText, text.toUtf8()}}, {}, {}}, true);
}

void X11Pasteboard::writeImage(const QImage& image)
{
    m_clipboard->setImage(image, QClipboard::Clipboard);
    wrote({{QStringLiteral("image/png")}, {}, image, {}}, true);
}

void X11Pasteboard::writeFormatted(const QString& text, const KeptFormats& formats)
{
    if (formats.isEmpty()) {
        writeString(text);
        return;
    }
    // Qt's clipboard owner offers every type of the data under its own name, besides the names of text.
    m_clipboard->setMimeData(QtPasteboard::formattedMimeData(text, formats), QClipboard::Clipboard);
    wrote(formattedContents(text, formats), true);
}
