#include "SettingsWidgets.h"

namespace SettingsWidgets {

QColor blend(const QColor& from, const QColor& to, qreal amount)
{
    const qreal t = qBound(0.0, amount, 1.0);
    return QColor::fromRgbF(
        from.redF() + (to.redF() - from.redF()) * t, from.greenF() + (to.greenF() - from.greenF()) * t,
        from.blueF() + (to.blueF() - from.blueF()) * t, from.alphaF() + (to.alphaF() - from.alphaF()) * t);
}

} // namespace SettingsWidgets
