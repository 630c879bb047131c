#include "platform/wayland/WaylandPasteboard.h"

#include "platform/ImageCodec.h"

namespace {

// The names text has on Wayland and, for programs running under XWayland, on X11.
QStringList textTypes()
{
    return {QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("text/plain"), QStringLiteral("UTF8_STRING")};
}

} // namespace

WaylandPasteboard::WaylandPasteboard(const QStringList& markers, QObject* parent, const QByteArray& displayName)
    : SnapshotPasteboard(parent)
{
    m_reader = std::make_unique<WaylandClipboardReader>(
        markers, [this](ClipboardSnapshot snapshot) { post(std::move(snapshot)); }, displayName);
    setWatching(m_reader->start());
}

WaylandPasteboard::~WaylandPasteboard()
{
    // Joined before the members go: the reader's sink refers to this object.
    m_reader.reset();
}

void WaylandPasteboard::setIgnoreSensitive(bool on)
{
    SnapshotPasteboard::setIgnoreSensitive(on);
    m_reader->setIgnoreSensitive(on);
}

void WaylandPasteboard::setCaptureRules(std::shared_ptr<const CaptureRules> rules)
{
    SnapshotPasteboard::setCaptureRules(rules);
    m_reader->setCaptureRules(std::move(rules));
}

void WaylandPasteboard::setPaused(bool on)
{
    SnapshotPasteboard::setPaused(on);
    m_reader->setPaused(on);
}

void WaylandPasteboard::clearContents()
{
    m_reader->publish({});
    wrote({}, false);
}

void WaylandPasteboard::writeString(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    m_reader->publish({textTypes(), [utf8](const QString&) { return utf8; }});
    const QString plainText = QStringLiteral("text/plain");
    wrote({{plainText}, {{plainText, utf8}}, {}, {}}, true);
}

void WaylandPasteboard::writeImage(const QImage& image)
{
    // Encoded on the reader thread, and only once someone pastes it.
    m_reader->publish(
        {{QStringLiteral("image/png")}, [image](const QString&) { return ImageCodec::encodePng(image); }});
    wrote({{QStringLiteral("image/png")}, {}, image, {}}, true);
}

void WaylandPasteboard::writeFormatted(const QString& text, const KeptFormats& formats)
{
    if (formats.isEmpty()) {
        writeString(text);
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    m_reader->publish(
        {textTypes() + formats.keys(), [utf8, formats](const QString& type) { return formats.value(type, utf8); }});
    wrote(formattedContents(text, formats), true);
}
