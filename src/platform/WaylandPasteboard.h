#pragma once

#include "SnapshotPasteboard.h"
#include "WaylandClipboardReader.h"

#include <memory>

// The clipboard of a Wayland seat through the compositor's data-control interface: watched at all times,
// with or without focus, and read and served on the reader's own connection and thread, so a slow or
// hung client never holds up the main thread.
class WaylandPasteboard : public SnapshotPasteboard
{
    Q_OBJECT

public:
    // valueTypes: types whose values are read whenever they are offered (the sensitive markers).
    // displayName empty: the compositor of WAYLAND_DISPLAY.
    explicit WaylandPasteboard(const QStringList& valueTypes, QObject* parent = nullptr,
                               const QByteArray& displayName = {});
    ~WaylandPasteboard() override;

    WaylandClipboardReader::Protocol protocol() const { return m_reader->protocol(); }

    void clearContents() override;
    void writeString(const QString& text) override;
    void writeImage(const QImage& image) override;

private:
    std::unique_ptr<WaylandClipboardReader> m_reader;
};
