#pragma once

#include "HistoryRow.h"

#include <QString>

#include <optional>

// What `list`, `get` and `search` read while the program is not running. Reading the history file
// takes the whole history code, which the command line's own process does not load until it needs it.
class HistoryFileReader
{
public:
    virtual ~HistoryFileReader() = default;

    // Why the file could not be read; empty when it could.
    virtual QString error() const = 0;
    virtual HistoryRows list(qsizetype limit) const = 0;
    virtual HistoryRows search(const QString& query, qsizetype limit) const = 0;
    enum class Found { Entry, NoSuchEntry, ImageMissing };
    // The bytes of the entry with that id, as Get returns them.
    virtual Found get(const QString& id, QByteArray& bytes) const = 0;
};

// The history file read directly. Strictly read-only: no folder is created, no faulty file is moved
// aside, nothing is written.
class OfflineHistory : public HistoryFileReader
{
public:
    // The history of the program's folder; `error` says why it could not be read. A missing file is an
    // empty history.
    explicit OfflineHistory(const QString& appSupportDir);

    QString error() const override { return m_error; }
    const ClipboardItems& items() const { return m_items; }
    const ClipboardItem* find(const QUuid& id) const;

    HistoryRows list(qsizetype limit) const override;
    HistoryRows search(const QString& query, qsizetype limit) const override;
    Found get(const QString& id, QByteArray& bytes) const override;
    // The entry's bytes as Get returns them; nothing when an image file is missing.
    std::optional<QByteArray> content(const ClipboardItem& item) const;

private:
    HistoryRow rowOf(const ClipboardItem& item) const;
    QString imagePath(const QString& name) const;

    QString m_appSupportDir;
    ClipboardItems m_items;
    QString m_error;
};
