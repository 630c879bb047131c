#include "core/AutoClear.h"

#include <algorithm>

bool isExpired(const ClipboardItem& item, qint64 ageLimitSeconds, const QDateTime& now)
{
    return ageLimitSeconds > 0 && !item.isPinned && item.timestamp < now.addSecs(-ageLimitSeconds);
}

qsizetype expiredCount(const ClipboardItems& items, qint64 ageLimitSeconds, const QDateTime& now)
{
    return std::count_if(items.cbegin(), items.cend(),
                         [&](const ClipboardItem& item) { return isExpired(item, ageLimitSeconds, now); });
}
