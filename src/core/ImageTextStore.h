#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QString>

#include <optional>

class QIODevice;

// The text recognised in image entries, kept in Pellamor/ocr.json (private to the user), never in the
// history file. Texts are keyed by a hash of the image file's bytes, so the same picture captured
// twice shares one text and is read once; each image file name points at its hash. An empty text
// records an image that was read and holds no text. Thread-safe.
class ImageTextStore
{
public:
    explicit ImageTextStore(const QString& filePath);

    const QString& filePath() const { return m_filePath; }

    // Reads the file; a missing or unreadable file leaves the store empty (the latter with a line).
    void load();
    // Writes the file atomically, or removes it when the store is empty. False on failure.
    bool save() const;

    // SHA-256 of the rest of the file, read a block at a time.
    static QByteArray hashOf(QIODevice* file);

    QString textOf(const QString& imageName) const;
    bool contains(const QString& imageName) const;
    std::optional<QString> textForHash(const QByteArray& hash) const;
    void set(const QString& imageName, const QByteArray& hash, const QString& text);
    // Forgets every name not in `imageNames`, and every text no name points at. True when it forgot any.
    bool retainOnly(const QSet<QString>& imageNames);
    void clear();
    bool isEmpty() const;
    int textCount() const;

private:
    QString m_filePath;
    mutable QMutex m_mutex;
    QHash<QString, QByteArray> m_hashOf;
    QHash<QByteArray, QString> m_texts;
};
