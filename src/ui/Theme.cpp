#include "Theme.h"

#include <QApplication>
#include <QToolTip>

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

QPalette ThemePalette::widgetPalette() const
{
    const auto opaque = [](QColor color, const QColor& under) {
        const qreal a = color.alphaF();
        return QColor::fromRgbF(color.redF() * a + under.redF() * (1 - a),
                                color.greenF() * a + under.greenF() * (1 - a),
                                color.blueF() * a + under.blueF() * (1 - a));
    };
    const QColor text = opaque(primary, windowBackground);
    const QColor muted = opaque(secondary, windowBackground);
    QPalette palette(text, windowBackground, windowBackground.lighter(dark ? 140 : 110),
                     windowBackground.darker(dark ? 140 : 120), windowBackground.darker(dark ? 120 : 110), text,
                     dark ? QColor(Qt::white) : QColor(Qt::black), textBackground, windowBackground);
    palette.setColor(QPalette::Button, dark ? windowBackground.lighter(125) : controlBackground);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::AlternateBase, dark ? textBackground.lighter(125) : QColor(245, 245, 245));
    palette.setColor(QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, accent);
    palette.setColor(QPalette::PlaceholderText, muted);
    palette.setColor(QPalette::ToolTipBase, dark ? QColor(58, 58, 60) : QColor(250, 250, 250));
    palette.setColor(QPalette::ToolTipText, text);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, muted);
    return palette;
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
    const bool change = dark != m_palette.dark;
    if (change)
        m_palette = dark ? ThemePalette::darkPalette() : ThemePalette::light();
    if (change || !m_appliedToApplication) {
        m_appliedToApplication = true;
        // Qt's own widgets that no view paints (menus, tooltips, dialogs, the file dialog) take the same
        // colours through the application palette; tooltips keep a palette of their own.
        const QPalette widgets = m_palette.widgetPalette();
        QApplication::setPalette(widgets);
        QToolTip::setPalette(widgets);
    }
    if (change)
        Q_EMIT changed();
}
