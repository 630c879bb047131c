#pragma once

#include <QVariantAnimation>

// A damped spring described the way designers give it: the response (the period of the undamped
// oscillation, in seconds) and the damping fraction (1 = no overshoot). The animation runs until the
// spring has settled.
class SpringAnimation : public QVariantAnimation
{
    Q_OBJECT

public:
    SpringAnimation(qreal response, qreal dampingFraction, QObject* parent = nullptr);

    // Position of the spring released from 0 towards 1, `seconds` after release.
    static qreal springPosition(qreal seconds, qreal response, qreal dampingFraction);
    static int settleMilliseconds(qreal response, qreal dampingFraction);

    void setSpring(qreal response, qreal dampingFraction);

    // Starts from the current value (or `from` when idle) towards `to`.
    void animateTo(qreal from, qreal to);

protected:
    QVariant interpolated(const QVariant& from, const QVariant& to, qreal progress) const override;

private:
    qreal m_response;
    qreal m_dampingFraction;
};
