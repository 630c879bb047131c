#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QWidget>

#include <functional>

// Small pieces the settings and the privacy policy are built from. Sizes are device-independent
// pixels; every colour comes from the theme when painting.
namespace SettingsWidgets {

using ColorFn = std::function<QColor()>;

// The colour `amount` of the way from `from` to `to`, with `amount` held to 0...1 (springs overshoot).
QColor blend(const QColor& from, const QColor& to, qreal amount);

} // namespace SettingsWidgets

// A plain-text label whose colour follows the theme.
class SettingsLabel : public QLabel
{
    Q_OBJECT

public:
    SettingsLabel(const QString& text, const QFont& font, SettingsWidgets::ColorFn color, QWidget* parent = nullptr);

private:
    void applyColor();
    SettingsWidgets::ColorFn m_color;
};

// A hairline across the full width with empty space above and below it.
class SettingsDivider : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsDivider(int verticalMargin, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_margin;
};

// One symbol of the icon table, in a square a little larger than its size.
class SettingsSymbol : public QWidget
{
    Q_OBJECT

public:
    SettingsSymbol(const QString& symbol, qreal pointSize, SettingsWidgets::ColorFn color,
                   QFont::Weight weight = QFont::Normal, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
    qreal m_pointSize;
    SettingsWidgets::ColorFn m_color;
    QFont::Weight m_weight;
};
