#include "SearchField.h"

#include "ui/SymbolIcon.h"
#include "ui/Theme.h"

#include <QPainter>

SearchField::SearchField(QWidget* parent)
    : QLineEdit(parent)
{
    setObjectName(QStringLiteral("searchField"));
    setPlaceholderText(QStringLiteral("搜索剪贴板历史"));
    setClearButtonEnabled(true);
    setFixedHeight(fieldHeight);
    setFont(pixelFont(13));
    setAttribute(Qt::WA_MacShowFocusRect, false);
    applyTheme();
    connect(&Theme::instance(), &Theme::changed, this, &SearchField::applyTheme);
}

void SearchField::applyTheme()
{
    const ThemePalette& theme = Theme::palette();
    const auto rgba = [](const QColor& c) {
        return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF());
    };
    setStyleSheet(QStringLiteral("QLineEdit { background: %1; color: %2; border: 1px solid %3; border-radius: 8px;"
                                 " padding: 0 4px 0 26px; selection-background-color: %4; }"
                                 "QLineEdit:focus { border: 1px solid %5; }")
                      .arg(rgba(theme.windowBackground), rgba(theme.primary),
                           rgba(ThemePalette::withOpacity(theme.secondary, 0.2)),
                           rgba(ThemePalette::withOpacity(theme.accent, 0.35)),
                           rgba(ThemePalette::withOpacity(theme.accent, 0.6))));
    QPalette palette = this->palette();
    palette.setColor(QPalette::PlaceholderText, ThemePalette::withOpacity(theme.secondary, 0.8));
    setPalette(palette);
}

void SearchField::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    SymbolIcon::paint(painter, QRectF(6, 0, 18, height()), QStringLiteral("magnifyingglass"),
                      Theme::palette().secondary, 13);
}
