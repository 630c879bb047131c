#pragma once

#include "core/ClipboardItem.h"

#include <QByteArray>
#include <QLocale>

// The history as a plain-text file for reading (nothing reads it back): one block per entry in history
// order, blocks separated by an empty line. Each block is a line of 40 hyphens, a header line with the
// capture time in the locale's numeric date and short time and the kind of entry, then the content as
// stored (the text, or the image's file name). UTF-8, line feeds; an empty history gives zero bytes.
QByteArray exportText(const ClipboardItems& items, const QLocale& locale);

// The time of an entry's header line.
QString exportTimestamp(const QDateTime& timestamp, const QLocale& locale);

// "Pellamor_History_2026-12-09_1753.txt" for that local date and time: one word in every locale, with no
// colon, space or slash for a file manager or a shell to trip over.
QString exportFileName(const QDateTime& moment);

// Replaces `path` atomically: on failure an existing file stays as it was and `error` says why.
bool writeExportFile(const QString& path, const QByteArray& bytes, QString* error);
