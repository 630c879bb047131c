#pragma once

#include <QWidget>

// A hairline in the theme's secondary colour at `opacity`, inset `leading` and `trailing` from the
// sides, with `verticalMargin` of empty space above and below it.
class Rule : public QWidget
{
    Q_OBJECT

public:
    Rule(int leading, int trailing, qreal opacity, QWidget* parent = nullptr, int verticalMargin = 0);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_leading;
    int m_trailing;
    qreal m_opacity;
    int m_margin;
};
