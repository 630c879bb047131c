#pragma once

#include "ScaleButton.h"

#include <QColor>

#include <functional>

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
