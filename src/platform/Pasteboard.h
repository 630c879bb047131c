#pragma once

#include "platform/CaptureRules.h"
#include "platform/ClipboardSnapshot.h"
#include "platform/ImageCodec.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <optional>

// The system clipboard as the history core sees it. The change counter grows whenever anyone changes
// the clipboard (this program included); reading it is cheap and never talks to the clipboard owner.
// contents() is what the capture reads; the other readers describe the current contents piece by piece.
class Pasteboard : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual qint64 changeCount() const = 0;
    // Everything the current contents offer the history, prepared (see ClipboardContents). Contents marked
    // with one of markers are withheld while ignoreSensitive() is on, and all contents while isPaused().
    // This default reads through the readers below, on the calling thread; clipboards with a reader thread
    // of their own answer at once.
    virtual ClipboardContents contents(const QStringList& markers) const;
    // The capture has taken what it needs of the current contents: a clipboard that keeps its own copy of
    // the payload lets it go, and the readers below then answer as if no payload were offered.
    virtual void contentsTaken() {}
    // Format names of the current contents (MIME types and the owner's own target names).
    virtual QStringList types() const = 0;
    virtual QList<QUrl> urls() const = 0;
    // The plain-text string, or none when the contents offer no text.
    virtual std::optional<QString> string() const = 0;
    virtual QByteArray data(const QString& type) const = 0;
    // The value of one image type, decoded; null when it is missing or not an image.
    virtual QImage imageData(const QString& type) const { return ImageCodec::decode(data(type)); }
    // An image decoded from whatever image format the contents offer; null when there is none.
    virtual QImage image() const = 0;

    // True when every change raises changed() by itself, so nobody needs to poll changeCount().
    virtual bool reportsChanges() const { return false; }
    // Whether contents marked as a secret are withheld: their payload is then never read. On by default.
    virtual void setIgnoreSensitive(bool on) { m_ignoreSensitive = on; }
    bool ignoreSensitive() const { return m_ignoreSensitive; }
    // Whether every change is withheld, as while capture is paused: changes are still counted, but no
    // payload is ever read. Off by default.
    virtual void setPaused(bool on) { m_paused = on; }
    bool isPaused() const { return m_paused; }
    // The user's rules: contents of an excluded application and texts matching an ignore pattern are
    // withheld like secrets. None by default.
    virtual void setCaptureRules(std::shared_ptr<const CaptureRules> rules) { m_rules.set(std::move(rules)); }
    std::shared_ptr<const CaptureRules> captureRules() const { return m_rules.get(); }

    // Whether our last write is not on the display server's clipboard yet: where the server confirms
    // ownership later, another application asking for the contents meanwhile may still get the old ones.
    virtual bool ownWritePending() const { return false; }

    virtual void clearContents() = 0;
    virtual void writeString(const QString& text) = 0;
    virtual void writeImage(const QImage& image) = 0;
    // The text together with the formats kept beside it, all offered at once. Without formats this is
    // writeString(); a clipboard that cannot offer other types writes the text alone.
    virtual void writeFormatted(const QString& text, const KeptFormats& formats)
    {
        Q_UNUSED(formats);
        writeString(text);
    }

Q_SIGNALS:
    // The change counter moved.
    void changed();

private:
    std::atomic<bool> m_ignoreSensitive{true};
    std::atomic<bool> m_paused{false};
    CaptureRulesSlot m_rules;
};
