#pragma once

#include "core/ClipboardItem.h"

#include <QDateTime>

// The automatic clean-up's rule: it removes the unpinned entries older than the age limit at `now`.
// A limit of 0 (never) removes nothing.
bool isExpired(const ClipboardItem& item, qint64 ageLimitSeconds, const QDateTime& now);

// How many entries of `items` the clean-up with that limit would remove at `now`.
qsizetype expiredCount(const ClipboardItems& items, qint64 ageLimitSeconds, const QDateTime& now);
