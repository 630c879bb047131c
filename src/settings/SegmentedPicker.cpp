#include "SegmentedPicker.h"

#include "SettingsWidgets.h"
#include "ui/SoftShadow.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QPainter>

namespace {

constexpr int pickerHeight = 22;
constexpr int inset = 2;
constexpr qreal trackRadius = 6;
constexpr qreal faceRadius = 4.5;

} // namespace

SegmentButton::SegmentButton(const QString& title, int value, QWidget* parent)
    : QAbstractButton(parent)
    , m_value(value)
{
    setText(title);
    setFont(pixelFont(11));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

void SegmentButton::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    update();
}

QSize SegmentButton::sizeHint() const
{
    return {QFontMetrics(font()).horizontalAdvance(text()) + 8, pickerHeight};
}

void SegmentButton::paintEvent(QPaintEvent*)
{
    const ThemePalette& palette = Theme::palette();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    if (m_selected) {
        paintSoftShadow(painter, face, faceRadius, QColor::fromRgbF(0, 0, 0, palette.dark ? 0.3 : 0.12), 1,
                        QPointF(0, 0.5));
        painter.setPen(Qt::NoPen);
        // A raised face: white over the grey track in light, a lighter grey in dark.
        painter.setBrush(palette.dark ? ThemePalette::withOpacity(palette.primary, 0.28) : palette.controlBackground);
        painter.drawRoundedRect(face, faceRadius, faceRadius);
    }
    painter.setFont(font());
    painter.setPen(palette.primary);
    painter.drawText(face, Qt::AlignCenter,
                     QFontMetrics(font()).elidedText(text(), Qt::ElideRight, qMax(0, int(face.width()))));
}

SegmentedPicker::SegmentedPicker(const QList<Choice>& choices, int width, const QString& objectNamePrefix,
                                 QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(width, pickerHeight);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (const Choice& choice : choices) {
        auto* segment = new SegmentButton(choice.title, choice.value, this);
        segment->setObjectName(objectNamePrefix + QString::number(choice.value));
        connect(segment, &QAbstractButton::clicked, this, [this, value = choice.value] { Q_EMIT valueChosen(value); });
        row->addWidget(segment, 1);
        m_segments << segment;
    }
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
    setSelection(choices.isEmpty() ? 0 : choices.first().value);
}

void SegmentedPicker::setSelection(int value)
{
    m_selection = value;
    for (SegmentButton* segment : std::as_const(m_segments))
        segment->setSelected(segment->value() == value);
    update();
}

std::optional<int> SegmentedPicker::highlightedValue() const
{
    for (const SegmentButton* segment : m_segments) {
        if (segment->isSelected())
            return segment->value();
    }
    return std::nullopt;
}

SegmentButton* SegmentedPicker::segment(int value) const
{
    for (SegmentButton* segment : m_segments) {
        if (segment->value() == value)
            return segment;
    }
    return nullptr;
}

void SegmentedPicker::paintEvent(QPaintEvent*)
{
    const ThemePalette& palette = Theme::palette();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ThemePalette::withOpacity(palette.secondary, 0.12));
    painter.drawRoundedRect(QRectF(rect()), trackRadius, trackRadius);

    // Hairlines between two unchosen neighbours, as a segmented control has.
    for (qsizetype i = 1; i < m_segments.size(); ++i) {
        if (m_segments[i - 1]->isSelected() || m_segments[i]->isSelected())
            continue;
        const int x = m_segments[i]->geometry().left();
        painter.fillRect(QRectF(x - 0.5, 6, 1, pickerHeight - 12), ThemePalette::withOpacity(palette.secondary, 0.3));
    }
}
