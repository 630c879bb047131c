#include "ScaleButton.h"

#include "Spring.h"
#include "Theme.h"

#include <QPainter>
#include <QPainterPath>

ScaleButton::ScaleButton(QWidget* parent)
    : QAbstractButton(parent)
    , m_animation(new SpringAnimation(0.15, 0.7, this))
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_pressAmount = value.toReal();
        update();
    });
    connect(this, &QAbstractButton::pressed, this, [this] { m_animation->animateTo(m_pressAmount, 1.0); });
    connect(this, &QAbstractButton::released, this, [this] { m_animation->animateTo(m_pressAmount, 0.0); });
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

void ScaleButton::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ScaleButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void ScaleButton::setTransition(qreal opacity, qreal scale)
{
    if (opacity == m_transitionOpacity && scale == m_transitionScale)
        return;
    m_transitionOpacity = opacity;
    m_transitionScale = scale;
    update();
}

void ScaleButton::paintEvent(QPaintEvent*)
{
    if (m_transitionOpacity <= 0 || m_transitionScale <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_transitionOpacity);
    const QRectF bounds = rect();
    const qreal amount = m_pressAmount;
    const qreal scale = (1.0 - (1.0 - pressedScale) * amount) * m_transitionScale;
    painter.translate(bounds.center());
    painter.scale(scale, scale);
    painter.translate(-bounds.center());

    if (qAbs(amount) < 0.001) {
        paintFace(painter, bounds);
        // Reached with Tab: a visible focus ring.
        if (hasFocus()) {
            painter.setPen(QPen(ThemePalette::withOpacity(Theme::palette().accent, 0.8), 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(bounds.adjusted(0.75, 0.75, -0.75, -0.75), 5, 5);
        }
        return;
    }
    QPainterPath clip;
    clip.addRoundedRect(bounds, 8, 8);
    painter.setClipPath(clip);
    painter.fillPath(clip, ThemePalette::withOpacity(Theme::palette().primary, 0.12 * qBound(0.0, amount, 1.0)));

    // Darken only what the face draws, not the background behind it.
    const qreal ratio = devicePixelRatioF();
    QImage layer((bounds.size() * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    {
        QPainter face(&layer);
        face.setRenderHint(QPainter::Antialiasing);
        paintFace(face, bounds);
        face.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        face.fillRect(bounds, QColor::fromRgbF(0, 0, 0, 0.12 * qBound(0.0, amount, 1.0)));
    }
    painter.drawImage(bounds.topLeft(), layer);
}
