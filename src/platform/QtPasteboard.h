#pragma once

#include "platform/Pasteboard.h"

class QClipboard;
class QMimeData;

// The desktop clipboard through QClipboard (X11 through xcb). The change counter counts every
// dataChanged of the clipboard selection; the primary selection is not watched.
class QtPasteboard : public Pasteboard
{
    Q_OBJECT

public:
    explicit QtPasteboard(QClipboard* clipboard, QObject* parent = nullptr);

    qint64 changeCount() const override { return m_changeCount; }
    QStringList types() const override;
    QList<QUrl> urls() const override;
    std::optional<QString> string() const override;
    QByteArray data(const QString& type) const override;
    QImage image() const override;

    void clearContents() override;
    void writeString(const QString& text) override;
    void writeImage(const QImage& image) override;
    void writeFormatted(const QString& text, const KeptFormats& formats) override;

    // The text as plain text together with every kept format under its own type, for QClipboard.
    static QMimeData* formattedMimeData(const QString& text, const KeptFormats& formats);

private:
    const QMimeData* mimeData() const;

    QClipboard* m_clipboard;
    qint64 m_changeCount = 0;
};
