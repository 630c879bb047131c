#pragma once

#include "core/HistoryModel.h"

#include <QFont>
#include <QRect>

class QPainter;

// The names of an entry's copied files, one a line, in place of their file:// addresses; a file that was
// missing when last looked at is struck through. The last line that fits tells how many there are in all.
// The panel's rows and the board's tiles share it.
namespace FileNames {

void paint(QPainter& painter, const QRect& area, const HistoryModel::KeptSummary& files, const QFont& font,
           const QColor& color, int maxLines);

} // namespace FileNames
