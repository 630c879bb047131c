#include "PreviewChrome.h"

#include "SymbolIcon.h"
#include "Theme.h"

#include <QApplication>
#include <QPainter>

PreviewCloseButton::PreviewCloseButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setObjectName(QStringLiteral("closeButton"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(20, 20);
}

void PreviewCloseButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    SymbolIcon::paint(painter, rect(), QStringLiteral("xmark.circle.fill"), Theme::palette().secondary, 16);
}

void paintPreviewTitle(QPainter& painter, const QRect& bar, const QString& title)
{
    QFont font = QApplication::font();
    font.setPixelSize(13);
    font.setWeight(QFont::Medium);
    painter.setFont(font);
    painter.setPen(Theme::palette().primary);
    painter.drawText(bar.adjusted(16, 0, -16, 0), Qt::AlignLeft | Qt::AlignVCenter, title);
}
