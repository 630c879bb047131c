#pragma once

#include "HistoryRow.h"

#include <QString>

#include <optional>

// The history file read directly, for `list`, `get` and `search` while the program is not running.
// Strictly read-only: no folder is created, no faulty file is moved aside, nothing is written.
class OfflineHistory
{
public:
    // The history of the program's folder; `error` says why it could not be read. A missing file is an
    // empty history.
    explicit OfflineHistory(const QString& appSupportDir);

    const QString& error() const { return m_error; }
    const ClipboardItems& items() const { return m_items; }
    const ClipboardItem* find(const QUuid& id) const;

    HistoryRows list(qsizetype limit) const;
    HistoryRows search(const QString& query, qsizetype limit) const;
    // The entry's bytes as Get returns them; nothing when an image file is missing.
    std::optional<QByteArray> content(const ClipboardItem& item) const;

private:
    HistoryRow rowOf(const ClipboardItem& item) const;
    QString imagePath(const QString& name) const;

    QString m_appSupportDir;
    ClipboardItems m_items;
    QString m_error;
};
