#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

#include <functional>

// One symbol at a fixed size, in a square a little larger than that size, coloured from the theme when
// painting.
class SymbolLabel : public QWidget
{
    Q_OBJECT

public:
    SymbolLabel(const QString& symbol, qreal pointSize, std::function<QColor()> color,
                QFont::Weight weight = QFont::Normal, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
    qreal m_pointSize;
    std::function<QColor()> m_color;
    QFont::Weight m_weight;
};
