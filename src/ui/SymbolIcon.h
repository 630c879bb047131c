#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QRectF>
#include <QString>

class QPainter;

// Every icon the program shows, named by the symbol names the design uses ("pin.fill", "trash", ...),
// drawn from the Material Icons font, or from the icon theme where that font is missing, or as a plain
// shape as a last resort, so an icon is never missing.
namespace SymbolIcon {

// Draws the symbol centred in `rect` at the given point size.
void paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color, qreal pointSize,
           QFont::Weight weight = QFont::Normal);
// A pixmap icon of the symbol, `pointSize` points high.
QIcon icon(const QString& name, const QColor& color, qreal pointSize, qreal devicePixelRatio = 1.0);
// True for every symbol name the program uses.
bool isKnown(const QString& name);
QStringList knownNames();
bool fontAvailable();

} // namespace SymbolIcon
