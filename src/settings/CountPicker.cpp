#include "CountPicker.h"

#include "SettingsWidgets.h"
#include "ui/Spring.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QPainter>

#include <algorithm>

namespace {

constexpr int faceMargin = 2;
constexpr int minimumFaceHeight = 24;

} // namespace

CountOption::CountOption(int value, QWidget* parent)
    : QAbstractButton(parent)
    , m_value(value)
    , m_animation(new SpringAnimation(0.3, 0.7, this))
{
    setText(QString::number(value) + QStringLiteral(" 条"));
    setObjectName(QStringLiteral("countOption%1").arg(value));
    setFont(pixelFont(11, QFont::Medium));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& amount) {
        m_highlight = amount.toReal();
        update();
    });
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

void CountOption::setSelected(bool selected, bool animated)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    if (animated) {
        m_animation->animateTo(m_highlight, selected ? 1.0 : 0.0);
    } else {
        m_animation->stop();
        m_highlight = selected ? 1.0 : 0.0;
        update();
    }
}

QSize CountOption::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * faceMargin + 12,
            qMax(minimumFaceHeight, metrics.height()) + 2 * faceMargin};
}

QSize CountOption::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * faceMargin + 4, sizeHint().height()};
}

void CountOption::paintEvent(QPaintEvent*)
{
    const ThemePalette& palette = Theme::palette();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(rect()).adjusted(faceMargin, faceMargin, -faceMargin, -faceMargin);
    if (m_highlight > 0) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(ThemePalette::withOpacity(palette.blue, qBound(0.0, m_highlight, 1.0)));
        painter.drawRoundedRect(face, 5, 5);
    }
    painter.setFont(font());
    painter.setPen(SettingsWidgets::blend(palette.primary, Qt::white, m_highlight));
    painter.drawText(face, Qt::AlignCenter, text());
}

CountPicker::CountPicker(const QList<int>& options, QWidget* parent)
    : QWidget(parent)
    , m_options(options)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int value : m_options) {
        auto* button = new CountOption(value, this);
        connect(button, &QAbstractButton::clicked, this, [this, value] { Q_EMIT optionChosen(value); });
        row->addWidget(button, 1);
        m_buttons << button;
    }
    // Always 195 wide; the label beside it gives way.
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
    setSelection(m_options.value(0));
}

void CountPicker::setSelection(int value)
{
    m_selection = value;
    for (CountOption* button : std::as_const(m_buttons))
        button->setSelected(button->value() == value, isVisible());
}

std::optional<int> CountPicker::highlightedOption() const
{
    for (const CountOption* button : m_buttons) {
        if (button->isSelected())
            return button->value();
    }
    return std::nullopt;
}

CountOption* CountPicker::optionButton(int value) const
{
    for (CountOption* button : m_buttons) {
        if (button->value() == value)
            return button;
    }
    return nullptr;
}

QSize CountPicker::sizeHint() const
{
    return {preferredWidth, m_buttons.isEmpty() ? minimumFaceHeight : m_buttons.first()->sizeHint().height()};
}

QSize CountPicker::minimumSizeHint() const
{
    int width = 0;
    for (const CountOption* button : m_buttons)
        width += button->minimumSizeHint().width();
    return {std::max(width, preferredWidth), sizeHint().height()};
}

void CountPicker::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ThemePalette::withOpacity(Theme::palette().secondary, 0.1));
    painter.drawRoundedRect(QRectF(rect()), 7, 7);
}
