#pragma once

#include <QAbstractButton>

class SpringAnimation;

// The pressable look shared by the panel's and the settings' buttons: while held down the button
// shrinks to 92 %, darkens slightly and gets a faint tint behind it, with a quick spring both ways.
// Subclasses draw their face in paintFace().
class ScaleButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit ScaleButton(QWidget* parent = nullptr);

    // 0 at rest, 1 fully pressed (the spring may pass slightly beyond while settling).
    qreal pressAmount() const { return m_pressAmount; }
    static constexpr qreal pressedScale = 0.92;

    // Where an insertion or removal transition has the button: drawn at this opacity and scaled about
    // its centre (1 and 1 at rest).
    void setTransition(qreal opacity, qreal scale);
    qreal transitionOpacity() const { return m_transitionOpacity; }
    qreal transitionScale() const { return m_transitionScale; }

protected:
    virtual void paintFace(QPainter& painter, const QRectF& rect) = 0;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool isHovered() const { return m_hovered; }

private:
    SpringAnimation* m_animation;
    qreal m_pressAmount = 0;
    qreal m_transitionOpacity = 1;
    qreal m_transitionScale = 1;
    bool m_hovered = false;
};
