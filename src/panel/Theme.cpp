#include "Theme.h"

#include <QApplication>

QFont pixelFont(int pixels, QFont::Weight weight)
{
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

QString slimScrollBarStyle(const QColor& handle)
{
    return QStringLiteral("QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }"
                          "QScrollBar::handle:vertical { background: %1; border-radius: 2px; min-height: 24px; }"
                          "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
                          "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }")
        .arg(handle.name(QColor::HexArgb));
}

ThemePalette ThemePalette::light()
{
    ThemePalette palette;
    palette.dark = false;
    palette.textBackground = QColor(255, 255, 255);
    palette.windowBackground = QColor(236, 236, 236);
    palette.controlBackground = QColor(255, 255, 255);
    palette.primary = QColor(0, 0, 0, 217);
    palette.secondary = QColor(0, 0, 0, 128);
    palette.accent = QColor(0, 122, 255);
    palette.red = QColor(255, 59, 48);
    palette.orange = QColor(255, 149, 0);
    palette.blue = QColor(0, 122, 255);
    palette.gray = QColor(142, 142, 147);
    return palette;
}

ThemePalette ThemePalette::darkPalette()
{
    ThemePalette palette;
    palette.dark = true;
    palette.textBackground = QColor(30, 30, 30);
    palette.windowBackground = QColor(50, 50, 50);
    palette.controlBackground = QColor(40, 40, 40);
    palette.primary = QColor(255, 255, 255, 217);
    palette.secondary = QColor(255, 255, 255, 140);
    palette.accent = QColor(10, 132, 255);
    palette.red = QColor(255, 69, 58);
    palette.orange = QColor(255, 159, 10);
    palette.blue = QColor(10, 132, 255);
    palette.gray = QColor(152, 152, 157);
    return palette;
}

QColor ThemePalette::withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

Theme& Theme::instance()
{
    static Theme theme;
    return theme;
}

Theme::Theme()
    : m_palette(ThemePalette::light())
{}

void Theme::setDark(bool dark)
{
    if (dark == m_palette.dark)
        return;
    m_palette = dark ? ThemePalette::darkPalette() : ThemePalette::light();
    Q_EMIT changed();
}
