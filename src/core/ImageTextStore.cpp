#include "ImageTextStore.h"

#include "StandardOutput.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

ImageTextStore::ImageTextStore(const QString& filePath)
    : m_filePath(filePath)
{}

QByteArray ImageTextStore::hashOf(QIODevice* file)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(file);
    return hash.result().toHex();
}

void ImageTextStore::load()
{
    QFile file(m_filePath);
    if (!file.exists())
        return;
    QJsonParseError error{};
    const QJsonDocument document =
        file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll(), &error) : QJsonDocument();
    if (!document.isObject()) {
        printLine(QStringLiteral("Recognised image text could not be read (%1); it will be read again")
                      .arg(file.errorString().isEmpty() || error.error != QJsonParseError::NoError
                               ? error.errorString()
                               : file.errorString()));
        return;
    }
    const QJsonObject images = document.object().value(QStringLiteral("images")).toObject();
    const QJsonObject texts = document.object().value(QStringLiteral("texts")).toObject();
    QMutexLocker lock(&m_mutex);
    for (auto it = texts.begin(); it != texts.end(); ++it) {
        if (it.value().isString())
            m_texts.insert(it.key().toLatin1(), it.value().toString());
    }
    for (auto it = images.begin(); it != images.end(); ++it) {
        const QByteArray hash = it.value().toString().toLatin1();
        if (m_texts.contains(hash))
            m_hashOf.insert(it.key(), hash);
    }
}

bool ImageTextStore::save() const
{
    // Shallow copies under the lock, the file built outside it: the saving thread runs at idle priority
    // and could be kept off the processor while the main thread waited for the lock.
    QHash<QString, QByteArray> hashOf;
    QHash<QByteArray, QString> textOfHash;
    {
        QMutexLocker lock(&m_mutex);
        hashOf = m_hashOf;
        textOfHash = m_texts;
    }
    if (hashOf.isEmpty())
        return !QFile::exists(m_filePath) || QFile::remove(m_filePath);
    QJsonObject images;
    QJsonObject texts;
    for (auto it = hashOf.cbegin(); it != hashOf.cend(); ++it)
        images.insert(it.key(), QString::fromLatin1(it.value()));
    for (auto it = textOfHash.cbegin(); it != textOfHash.cend(); ++it)
        texts.insert(QString::fromLatin1(it.key()), it.value());
    QJsonObject root;
    root.insert(QStringLiteral("version"), 1);
    root.insert(QStringLiteral("images"), images);
    root.insert(QStringLiteral("texts"), texts);
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        printLine(QStringLiteral("Recognised image text not saved: %1").arg(file.errorString()));
        return false;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(QJsonDocument(root).toJson(QJsonDocument::Compact));
    if (!file.commit()) {
        printLine(QStringLiteral("Recognised image text not saved: %1").arg(file.errorString()));
        return false;
    }
    return true;
}

QString ImageTextStore::textOf(const QString& imageName) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_hashOf.constFind(imageName);
    return it == m_hashOf.cend() ? QString() : m_texts.value(*it);
}

bool ImageTextStore::contains(const QString& imageName) const
{
    QMutexLocker lock(&m_mutex);
    return m_hashOf.contains(imageName);
}

std::optional<QString> ImageTextStore::textForHash(const QByteArray& hash) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_texts.constFind(hash);
    if (it == m_texts.cend())
        return std::nullopt;
    return *it;
}

void ImageTextStore::set(const QString& imageName, const QByteArray& hash, const QString& text)
{
    QMutexLocker lock(&m_mutex);
    m_hashOf.insert(imageName, hash);
    m_texts.insert(hash, text);
}

bool ImageTextStore::retainOnly(const QSet<QString>& imageNames)
{
    QMutexLocker lock(&m_mutex);
    bool changed = false;
    for (auto it = m_hashOf.begin(); it != m_hashOf.end();) {
        if (imageNames.contains(it.key())) {
            ++it;
        } else {
            it = m_hashOf.erase(it);
            changed = true;
        }
    }
    if (!changed && m_texts.size() <= m_hashOf.size())
        return false;
    QSet<QByteArray> used;
    for (const QByteArray& hash : std::as_const(m_hashOf))
        used.insert(hash);
    for (auto it = m_texts.begin(); it != m_texts.end();) {
        if (used.contains(it.key())) {
            ++it;
        } else {
            it = m_texts.erase(it);
            changed = true;
        }
    }
    return changed;
}

void ImageTextStore::clear()
{
    QMutexLocker lock(&m_mutex);
    m_hashOf.clear();
    m_texts.clear();
}

bool ImageTextStore::isEmpty() const
{
    QMutexLocker lock(&m_mutex);
    return m_hashOf.isEmpty() && m_texts.isEmpty();
}

int ImageTextStore::textCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_texts.size());
}
