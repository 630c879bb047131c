#pragma once

#include "ui/ScaleButton.h"

// A settings row that acts when clicked: an optional symbol, the title, and a chevron at the right.
// Destructive rows are red. Hovering tints the whole row.
class SettingsClickableRow : public ScaleButton
{
    Q_OBJECT

public:
    // An empty `icon` draws none.
    SettingsClickableRow(const QString& title, const QString& icon = {}, bool isDestructive = false,
                         QWidget* parent = nullptr);

    QString title() const { return text(); }
    bool isDestructive() const { return m_destructive; }
    bool isHoveredRow() const { return isHovered(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintFace(QPainter& painter, const QRectF& rect) override;

private:
    QString m_icon;
    bool m_destructive;
};
