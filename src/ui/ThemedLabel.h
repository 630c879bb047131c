#pragma once

#include <QColor>
#include <QLabel>

#include <functional>

// A plain-text label whose colour comes from the theme and follows it.
class ThemedLabel : public QLabel
{
    Q_OBJECT

public:
    ThemedLabel(const QString& text, const QFont& font, std::function<QColor()> color, QWidget* parent = nullptr);

private:
    void applyColor();
    std::function<QColor()> m_color;
};
