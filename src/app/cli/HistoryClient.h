#pragma once

#include "HistoryRow.h"

#include <QDBusConnection>
#include <QVariantList>

// The command line's side of the history interface: one blocking call per command, never starting the
// program on demand.
class HistoryClient
{
public:
    struct Reply
    {
        // No program owns the name, or there is no session bus.
        bool notRunning = false;
        QString error;
        bool ok() const { return !notRunning && error.isEmpty(); }
    };

    HistoryClient();

    Reply call(const QString& method, const QVariantList& arguments = {});
    // What list (an empty query) or search prints.
    Reply listText(const QString& query, qsizetype limit, bool json, QByteArray& text);
    Reply get(const QString& id, QByteArray& bytes);
    // The entry written by the program straight into `fd`; `unsupported` when the bus cannot pass it.
    Reply writeTo(const QString& id, int fd, bool& unsupported);
    Reply add(const QByteArray& data, const QString& mimeType, QString& id);

private:
    Reply send(const QString& method, const QVariantList& arguments, QDBusMessage& answer);

    QDBusConnection m_connection;
};
