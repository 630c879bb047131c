#pragma once

#include "ScaleButton.h"

#include <functional>
#include <optional>

// The small buttons of a history row: an icon, or a text label when there is no icon. The icon wins
// when both are given.
class PressableActionButton : public ScaleButton
{
    Q_OBJECT

public:
    using ColorFn = std::function<QColor()>;

    PressableActionButton(std::optional<QString> title, std::optional<QString> icon, ColorFn color,
                          QWidget* parent = nullptr);

    void setIcon(const QString& icon)
    {
        m_icon = icon;
        update();
    }
    void setColor(ColorFn color)
    {
        m_color = std::move(color);
        update();
    }
    std::optional<QString> iconName() const { return m_icon; }
    // The label actually drawn: the icon name, or the title when there is no icon.
    bool showsTitle() const { return !m_icon && m_title; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintFace(QPainter& painter, const QRectF& rect) override;

private:
    std::optional<QString> m_title;
    std::optional<QString> m_icon;
    ColorFn m_color;
};
