#include "platform/fakes/FakePasteboard.h"

void FakePasteboard::copy(const Contents& contents)
{
    m_contents = contents;
    bumpChangeCount();
}

void FakePasteboard::copyText(const QString& text, const QStringList& extraTypes)
{
    Contents contents;
    contents.text = text;
    for (const QString& type : extraTypes)
        contents.formats.insert(type, QByteArray());
    copy(contents);
}

void FakePasteboard::copyData(const QHash<QString, QByteArray>& formats)
{
    Contents contents;
    contents.formats = formats;
    copy(contents);
}

void FakePasteboard::copyFormatted(const QString& text, const KeptFormats& formats)
{
    Contents contents;
    contents.text = text;
    for (auto format = formats.cbegin(); format != formats.cend(); ++format)
        contents.formats.insert(format.key(), format.value());
    copy(contents);
}

void FakePasteboard::copyUrls(const QList<QUrl>& urls)
{
    Contents contents;
    contents.urls = urls;
    copy(contents);
}

void FakePasteboard::copyImage(const QImage& image)
{
    Contents contents;
    contents.image = image;
    copy(contents);
}

void FakePasteboard::bumpChangeCount()
{
    ++m_changeCount;
    Q_EMIT changed();
}

QStringList FakePasteboard::types() const
{
    ++m_reads;
    QStringList names = m_contents.formats.keys();
    if (m_contents.text)
        names << QStringLiteral("text/plain");
    if (!m_contents.urls.isEmpty())
        names << QStringLiteral("text/uri-list");
    if (!m_contents.image.isNull())
        names << QStringLiteral("application/x-qt-image");
    return names;
}

QList<QUrl> FakePasteboard::urls() const
{
    ++m_reads;
    return m_contents.urls;
}

std::optional<QString> FakePasteboard::string() const
{
    ++m_reads;
    return m_contents.text;
}

QByteArray FakePasteboard::data(const QString& type) const
{
    ++m_reads;
    return m_contents.formats.value(type);
}

QImage FakePasteboard::image() const
{
    ++m_reads;
    return m_contents.image;
}

void FakePasteboard::clearContents()
{
    ++m_writes;
    m_contents = {};
    bumpChangeCount();
}

void FakePasteboard::writeString(const QString& text)
{
    ++m_writes;
    m_contents.text = text;
    bumpChangeCount();
}

void FakePasteboard::writeImage(const QImage& image)
{
    ++m_writes;
    m_contents.image = image;
    bumpChangeCount();
}

void FakePasteboard::writeFormatted(const QString& text, const KeptFormats& formats)
{
    ++m_writes;
    m_contents = {};
    m_contents.text = text;
    for (auto format = formats.cbegin(); format != formats.cend(); ++format)
        m_contents.formats.insert(format.key(), format.value());
    bumpChangeCount();
}
