#include "ThemedLabel.h"

#include "Theme.h"

ThemedLabel::ThemedLabel(const QString& text, const QFont& font, std::function<QColor()> color, QWidget* parent)
    : QLabel(text, parent)
    , m_color(std::move(color))
{
    // Texts are shown as written, never as markup.
    setTextFormat(Qt::PlainText);
    setFont(font);
    applyColor();
    connect(&Theme::instance(), &Theme::changed, this, &ThemedLabel::applyColor);
}

void ThemedLabel::applyColor()
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, m_color());
    setPalette(palette);
}
