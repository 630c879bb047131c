#include "Rule.h"

#include "Theme.h"

#include <QPainter>

Rule::Rule(int leading, int trailing, qreal opacity, QWidget* parent, int verticalMargin)
    : QWidget(parent)
    , m_leading(leading)
    , m_trailing(trailing)
    , m_opacity(opacity)
    , m_margin(verticalMargin)
{
    setFixedHeight(2 * verticalMargin + 1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

void Rule::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(QRect(m_leading, m_margin, width() - m_leading - m_trailing, 1),
                     ThemePalette::withOpacity(Theme::palette().secondary, m_opacity));
}
