#pragma once

#include "platform/Pasteboard.h"

#include <QHash>

// An in-memory clipboard for tests: set contents as another program would, and inspect what the
// program wrote.
class FakePasteboard : public Pasteboard
{
    Q_OBJECT

public:
    using Pasteboard::Pasteboard;

    // Replace the contents as another application's copy would; the counter moves.
    void copyText(const QString& text, const QStringList& extraTypes = {});
    void copyData(const QHash<QString, QByteArray>& formats);
    void copyUrls(const QList<QUrl>& urls);
    void copyImage(const QImage& image);
    // A text with other types offered beside it (formatted text, a file list).
    void copyFormatted(const QString& text, const KeptFormats& formats);
    // Anything combined; the counter moves once.
    struct Contents
    {
        std::optional<QString> text;
        QList<QUrl> urls;
        QHash<QString, QByteArray> formats;
        QImage image;
    };
    void copy(const Contents& contents);
    void bumpChangeCount();

    const Contents& contents() const { return m_contents; }
    int readCount() const { return m_reads; }
    int writeCount() const { return m_writes; }

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

private:
    Contents m_contents;
    qint64 m_changeCount = 0;
    mutable int m_reads = 0;
    int m_writes = 0;
};
