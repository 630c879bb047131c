#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPalette>

// The colours every view draws with, in a light and a dark set. Views never pick colours of their
// own: they ask the current palette, and repaint when the theme changes.
struct ThemePalette
{
    bool dark = false;
    QColor textBackground;    // list and editor backgrounds
    QColor windowBackground;  // button faces, preview windows
    QColor controlBackground; // settings rows
    QColor primary;           // main text
    QColor secondary;         // secondary text and hairlines
    QColor accent;            // the user's highlight colour
    QColor red;
    QColor orange;
    QColor blue;
    QColor gray;

    static ThemePalette light();
    static ThemePalette darkPalette();

    // `color` with its alpha multiplied by `opacity`.
    static QColor withOpacity(QColor color, qreal opacity);

    // The same colours as a palette for Qt's own widgets that no view paints: tooltips and dialogs.
    QPalette widgetPalette() const;
};

// The application font at a size in device-independent pixels, the unit every size in the views uses.
QFont pixelFont(int pixels, QFont::Weight weight = QFont::Normal);

// A thin, chrome-less vertical scroll bar for the lists, with a handle of the given colour.
QString slimScrollBarStyle(const QColor& handle);

// The one theme of the running program. The shell decides light or dark (from the preference or the
// desktop); the application palette follows, and views that paint with the theme's colours listen to
// changed().
class Theme : public QObject
{
    Q_OBJECT

public:
    static Theme& instance();
    static const ThemePalette& palette() { return instance().m_palette; }

    // Also sets the application palette (the first time, and on every change).
    void setDark(bool dark);
    bool isDark() const { return m_palette.dark; }

Q_SIGNALS:
    void changed();

private:
    Theme();
    ThemePalette m_palette;
    bool m_appliedToApplication = false;
};
