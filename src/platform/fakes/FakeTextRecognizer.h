#pragma once

#include "platform/TextRecognizer.h"

#include <QHash>
#include <QMutex>

// Reads an image's text from a table keyed by the colour of its top-left pixel. Counts its calls.
class FakeTextRecognizer : public TextRecognizer
{
public:
    void setText(QRgb topLeft, const QString& text);
    void setUnavailableReason(const QString& reason) { m_reason = reason; }

    QString recognize(const QImage& image, const std::atomic_bool* cancel = nullptr) override;
    void release() override;
    bool isLoaded() const override;
    QString unavailableReason() const override { return m_reason; }

    int recognizeCount() const;
    // The size of the last image given; empty before the first.
    QSize lastImageSize() const;
    int releaseCount() const;

private:
    mutable QMutex m_mutex;
    QHash<QRgb, QString> m_texts;
    QString m_reason;
    int m_recognizeCount = 0;
    QSize m_lastImageSize;
    int m_releaseCount = 0;
    bool m_loaded = false;
};
