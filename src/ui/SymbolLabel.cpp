#include "SymbolLabel.h"

#include "SymbolIcon.h"
#include "Theme.h"

#include <QPainter>
#include <QtMath>

SymbolLabel::SymbolLabel(const QString& symbol, qreal pointSize, std::function<QColor()> color, QFont::Weight weight,
                         QWidget* parent)
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

void SymbolLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    SymbolIcon::paint(painter, rect(), m_symbol, m_color(), m_pointSize, m_weight);
}
