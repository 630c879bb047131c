#pragma once

#include "HistoryRow.h"

#include <QString>

#include <optional>

// What `list`, `get` and `search` read while the program is not running: the history file read directly.
// Strictly read-only: no folder is created, no faulty file is moved
// aside, nothing is written.
class OfflineHistory
{
public:
    // The history of the program's folder; `error` says why it could not be read. A missing file is an
    // empty history.
    explicit OfflineHistory(const QString& appSupportDir);

    // Why the file could not be read; empty when it could.
    QString error() const { return m_error; }
    const ClipboardItems& items() const { return m_items; }
    const ClipboardItem* find(const QUuid& id) const;

    HistoryRows list(qsizetype limit) const;
    HistoryRows search(const QString& query, qsizetype limit) const;
    enum class Found { Entry, NoSuchEntry, ImageMissing };
    // The bytes of the entry with that id, as Get returns them.
    Found get(const QString& id, QByteArray& bytes) const;
    // The entry's bytes as Get returns them; nothing when an image file is missing.
    std::optional<QByteArray> content(const ClipboardItem& item) const;

private:
    HistoryRow rowOf(const ClipboardItem& item) const;
    QString imagePath(const QString& name) const;

    QString m_appSupportDir;
    ClipboardItems m_items;
    QString m_error;
};
