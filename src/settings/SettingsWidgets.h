#pragma once

#include "ui/Rule.h"
#include "ui/SymbolLabel.h"
#include "ui/ThemedLabel.h"

#include <QColor>

#include <functional>

// Small pieces the settings and the privacy policy are built from. Sizes are device-independent
// pixels; every colour comes from the theme when painting.
namespace SettingsWidgets {

using ColorFn = std::function<QColor()>;

// The colour `amount` of the way from `from` to `to`, with `amount` held to 0...1 (springs overshoot).
QColor blend(const QColor& from, const QColor& to, qreal amount);

} // namespace SettingsWidgets

// The settings' names for the shared kit's pieces.
using SettingsLabel = ThemedLabel;
using SettingsSymbol = SymbolLabel;

// A hairline across the full width with empty space above and below it.
class SettingsDivider : public Rule
{
public:
    explicit SettingsDivider(int verticalMargin, QWidget* parent = nullptr)
        : Rule(0, 0, 0.25, parent, verticalMargin)
    {}
};
