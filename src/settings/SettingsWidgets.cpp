#include "SettingsWidgets.h"

#include "ui/SymbolIcon.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QtMath>

namespace SettingsWidgets {

QColor blend(const QColor& from, const QColor& to, qreal amount)
{
    const qreal t = qBound(0.0, amount, 1.0);
    return QColor::fromRgbF(
        from.redF() + (to.redF() - from.redF()) * t, from.greenF() + (to.greenF() - from.greenF()) * t,
        from.blueF() + (to.blueF() - from.blueF()) * t, from.alphaF() + (to.alphaF() - from.alphaF()) * t);
}

} // namespace SettingsWidgets

SettingsLabel::SettingsLabel(const QString& text, const QFont& font, SettingsWidgets::ColorFn color, QWidget* parent)
    : QLabel(text, parent)
    , m_color(std::move(color))
{
    // Texts are shown as written, never as markup.
    setTextFormat(Qt::PlainText);
    setFont(font);
    applyColor();
    connect(&Theme::instance(), &Theme::changed, this, &SettingsLabel::applyColor);
}

void SettingsLabel::applyColor()
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, m_color());
    setPalette(palette);
}

SettingsDivider::SettingsDivider(int verticalMargin, QWidget* parent)
    : QWidget(parent)
    , m_margin(verticalMargin)
{
    setFixedHeight(2 * verticalMargin + 1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

void SettingsDivider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(QRect(0, m_margin, width(), 1), ThemePalette::withOpacity(Theme::palette().secondary, 0.25));
}

SettingsSymbol::SettingsSymbol(const QString& symbol, qreal pointSize, SettingsWidgets::ColorFn color,
                               QFont::Weight weight, QWidget* parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_pointSize(pointSize)
    , m_color(std::move(color))
    , m_weight(weight)
{
    const int side = qCeil(pointSize * 1.4);
    setFixedSize(side, side);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

void SettingsSymbol::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    SymbolIcon::paint(painter, rect(), m_symbol, m_color(), m_pointSize, m_weight);
}
