#include "platform/fakes/FakeTextRecognizer.h"

void FakeTextRecognizer::setText(QRgb topLeft, const QString& text)
{
    QMutexLocker lock(&m_mutex);
    m_texts.insert(topLeft | 0xFF000000u, text);
}

QString FakeTextRecognizer::recognize(const QImage& image, const std::atomic_bool*)
{
    QMutexLocker lock(&m_mutex);
    ++m_recognizeCount;
    m_lastImageSize = image.size();
    m_loaded = true;
    if (image.isNull())
        return {};
    return limitedText(m_texts.value(image.pixel(0, 0) | 0xFF000000u));
}

void FakeTextRecognizer::release()
{
    QMutexLocker lock(&m_mutex);
    if (m_loaded)
        ++m_releaseCount;
    m_loaded = false;
}

bool FakeTextRecognizer::isLoaded() const
{
    QMutexLocker lock(&m_mutex);
    return m_loaded;
}

QSize FakeTextRecognizer::lastImageSize() const
{
    QMutexLocker lock(&m_mutex);
    return m_lastImageSize;
}

int FakeTextRecognizer::recognizeCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_recognizeCount;
}

int FakeTextRecognizer::releaseCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_releaseCount;
}
