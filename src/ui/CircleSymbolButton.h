#pragma once

#include "ScaleButton.h"

#include <QColor>

#include <functional>

// A symbol centred in a 28 x 28 circle of the window-background colour with a soft shadow: the panel
// header's lock, pin and gear buttons.
class CircleSymbolButton : public ScaleButton
{
    Q_OBJECT

public:
    using ColorFn = std::function<QColor()>;

    explicit CircleSymbolButton(QWidget* parent = nullptr);
    void setSymbol(const QString& symbol, ColorFn color, QFont::Weight weight = QFont::Normal);
    QString symbol() const { return m_symbol; }
    QSize sizeHint() const override { return {28, 28}; }

protected:
    void paintFace(QPainter& painter, const QRectF& rect) override;

private:
    QString m_symbol;
    ColorFn m_color;
    QFont::Weight m_weight = QFont::Normal;
};
