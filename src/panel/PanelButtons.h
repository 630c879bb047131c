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

// A small capsule with a symbol and a label: the footer's quit and clear-all buttons.
class FooterButton : public ScaleButton
{
    Q_OBJECT

public:
    using ColorFn = std::function<QColor()>;

    FooterButton(const QString& symbol, const QString& title, ColorFn content, ColorFn outline, bool shadow,
                 QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintFace(QPainter& painter, const QRectF& rect) override;
    void changeEvent(QEvent* event) override;

private:
    QString m_symbol;
    ColorFn m_content;
    ColorFn m_outline;
    bool m_shadow;
};

// Draws a soft drop shadow under a rounded rectangle, the way the design's small buttons have one.
void paintSoftShadow(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color, qreal blur,
                     QPointF offset);
