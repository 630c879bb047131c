#pragma once

#include "platform/SnapshotPasteboard.h"
#include "platform/wayland/WaylandClipboardReader.h"

#include <memory>

// The clipboard of a Wayland seat through the compositor's data-control interface: watched at all times,
// with or without focus, and read and served on the reader's own connection and thread, so a slow or
// hung client never holds up the main thread.
class WaylandPasteboard : public SnapshotPasteboard
{
    Q_OBJECT

public:
    // markers: the types that mark contents as a secret, tested before anything else is read.
    // displayName empty: the compositor of WAYLAND_DISPLAY.
    explicit WaylandPasteboard(const QStringList& markers, QObject* parent = nullptr,
                               const QByteArray& displayName = {});
    ~WaylandPasteboard() override;

    WaylandClipboardReader::Protocol protocol() const { return m_reader->protocol(); }

    void setIgnoreSensitive(bool on) override;
    void setPaused(bool on) override;
    void setCaptureRules(std::shared_ptr<const CaptureRules> rules) override;
    // See WaylandClipboardReader::setOwnerIdentity.
    void setOwnerIdentity(std::function<QString()> identity) { m_reader->setOwnerIdentity(std::move(identity)); }
    void clearContents() override;
    void writeString(const QString& text) override;
    void writeImage(const QImage& image) override;
    void writeFormatted(const QString& text, const KeptFormats& formats) override;

private:
    std::unique_ptr<WaylandClipboardReader> m_reader;
};
