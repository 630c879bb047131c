#include "SectionBox.h"

#include "SettingsWidgets.h"
#include "ui/SoftShadow.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QVBoxLayout>

namespace {

constexpr qreal cornerRadius = 8;

} // namespace

SectionBox::SectionBox(const QString& title, QWidget* parent)
    : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    // Room below the box for its shadow.
    column->setContentsMargins(0, 0, 0, 2);
    column->setSpacing(8);

    // Latin titles read as small capitals; Chinese ones are unaffected.
    m_title = new SettingsLabel(
        title.toUpper(), pixelFont(11, QFont::Bold), [] { return Theme::palette().secondary; }, this);
    m_title->setObjectName(QStringLiteral("sectionTitle"));
    m_title->setContentsMargins(4, 0, 0, 0);
    column->addWidget(m_title);

    m_box = new QWidget(this);
    m_box->setObjectName(QStringLiteral("sectionBox"));
    m_box->setFont(pixelFont(12));
    m_content = new QVBoxLayout(m_box);
    m_content->setContentsMargins(14, 14, 14, 14);
    m_content->setSpacing(10);
    column->addWidget(m_box);

    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

QString SectionBox::title() const
{
    return m_title->text();
}

void SectionBox::addWidget(QWidget* widget)
{
    m_content->addWidget(widget);
}

void SectionBox::paintEvent(QPaintEvent*)
{
    // The box is drawn here rather than by the box widget so its shadow may fall outside it.
    const ThemePalette& palette = Theme::palette();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(m_box->geometry()).adjusted(0.25, 0.25, -0.25, -0.25);
    paintSoftShadow(painter, frame, cornerRadius, QColor::fromRgbF(0, 0, 0, 0.02), 2, QPointF(0, 1));
    painter.setBrush(palette.windowBackground);
    painter.setPen(QPen(ThemePalette::withOpacity(palette.secondary, 0.15), 0.5));
    painter.drawRoundedRect(frame, cornerRadius, cornerRadius);
}
