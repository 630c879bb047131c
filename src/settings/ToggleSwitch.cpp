#include "ToggleSwitch.h"

#include "SettingsWidgets.h"
#include "ui/SoftShadow.h"
#include "ui/Spring.h"
#include "ui/Theme.h"

#include <QPainter>

ToggleSwitch::ToggleSwitch(QWidget* parent)
    : QAbstractButton(parent)
    , m_animation(new SpringAnimation(0.3, 0.7, this))
{
    setFixedSize(trackWidth, trackHeight);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_position = value.toReal();
        update();
    });
    connect(this, &QAbstractButton::clicked, this, [this] { Q_EMIT toggleRequested(!m_on); });
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

void ToggleSwitch::setOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    if (isVisible()) {
        m_animation->animateTo(m_position, on ? 1.0 : 0.0);
    } else {
        m_animation->stop();
        m_position = on ? 1.0 : 0.0;
        update();
    }
}

void ToggleSwitch::paintEvent(QPaintEvent*)
{
    const ThemePalette& palette = Theme::palette();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track(0, 0, trackWidth, trackHeight);
    painter.setPen(Qt::NoPen);
    painter.setBrush(
        SettingsWidgets::blend(ThemePalette::withOpacity(palette.secondary, 0.15), palette.blue, m_position));
    painter.drawRoundedRect(track, 10, 10);

    // The knob is centred, then moved 7.5 to whichever side the switch is on.
    constexpr qreal diameter = trackHeight - 4;
    const QPointF centre = track.center() + QPointF(-7.5 + 15 * m_position, 0);
    const QRectF knob(centre - QPointF(diameter / 2, diameter / 2), QSizeF(diameter, diameter));
    paintSoftShadow(painter, knob, diameter / 2, QColor::fromRgbF(0, 0, 0, 0.12), 1, QPointF(0, 1));
    painter.setBrush(Qt::white);
    painter.drawEllipse(knob);
}
