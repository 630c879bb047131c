#include "Spring.h"

#include <QtMath>

SpringAnimation::SpringAnimation(qreal response, qreal dampingFraction, QObject* parent)
    : QVariantAnimation(parent)
    , m_response(response)
    , m_dampingFraction(dampingFraction)
{
    setDuration(settleMilliseconds(response, dampingFraction));
    setEasingCurve(QEasingCurve::Linear);
}

qreal SpringAnimation::springPosition(qreal seconds, qreal response, qreal dampingFraction)
{
    if (seconds <= 0)
        return 0;
    const qreal omega = 2 * M_PI / response;
    const qreal zeta = qBound(0.0, dampingFraction, 1.0);
    if (zeta >= 1.0)
        return 1 - std::exp(-omega * seconds) * (1 + omega * seconds);
    const qreal dampedOmega = omega * std::sqrt(1 - zeta * zeta);
    const qreal envelope = std::exp(-zeta * omega * seconds);
    return 1 - envelope *
                   (std::cos(dampedOmega * seconds) + (zeta * omega / dampedOmega) * std::sin(dampedOmega * seconds));
}

int SpringAnimation::settleMilliseconds(qreal response, qreal dampingFraction)
{
    const qreal omega = 2 * M_PI / response;
    const qreal decay = qMax(0.05, qBound(0.0, dampingFraction, 1.0)) * omega;
    // Until the remaining motion is about a thousandth of the distance (the critically damped spring's
    // polynomial factor needs the longer horizon).
    return qCeil(std::log(10000.0) / decay * 1000.0);
}

void SpringAnimation::setSpring(qreal response, qreal dampingFraction)
{
    m_response = response;
    m_dampingFraction = dampingFraction;
    setDuration(settleMilliseconds(response, dampingFraction));
}

void SpringAnimation::animateTo(qreal from, qreal to)
{
    const QVariant start = state() == Running ? currentValue() : QVariant(from);
    stop();
    setStartValue(start);
    setEndValue(to);
    QVariantAnimation::start();
}

QVariant SpringAnimation::interpolated(const QVariant& from, const QVariant& to, qreal progress) const
{
    const qreal seconds = progress * duration() / 1000.0;
    const qreal position = progress >= 1.0 ? 1.0 : springPosition(seconds, m_response, m_dampingFraction);
    return QVariantAnimation::interpolated(from, to, position);
}
