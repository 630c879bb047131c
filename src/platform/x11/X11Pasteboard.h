#pragma once

#include "platform/SnapshotPasteboard.h"
#include "platform/x11/X11ClipboardReader.h"

#include <memory>

class QClipboard;

// The X11 clipboard without ever waiting on its owner in the main thread: the reader has an X connection
// and a thread of its own. Writes go through QClipboard, which serves other applications' requests for
// what we wrote.
class X11Pasteboard : public SnapshotPasteboard
{
    Q_OBJECT

public:
    // markers: the types that mark contents as a secret, tested before anything else is read.
    X11Pasteboard(QClipboard* clipboard, const QStringList& markers, QObject* parent = nullptr);
    ~X11Pasteboard() override;

    void setIgnoreSensitive(bool on) override;
    void setPaused(bool on) override;
    void setCaptureRules(std::shared_ptr<const CaptureRules> rules) override;
    void clearContents() override;
    void writeString(const QString& text) override;
    void writeImage(const QImage& image) override;
    void writeFormatted(const QString& text, const KeptFormats& formats) override;

private:
    QClipboard* m_clipboard;
    std::unique_ptr<X11ClipboardReader> m_reader;
};
