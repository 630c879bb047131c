#pragma once

#include "core/TextSearch.h"

#include <QRectF>
#include <QString>

class QPainter;
struct ThemePalette;

// The small "文字" badge on the thumbnail of an image entry that a search listed for the text read from
// it, and what hovering the badge tells: the matched words in their context. The panel's rows and the
// board's tiles share both, and draw the "格式" badge of a text kept with its formatting the same way.
namespace RecognizedTextBadge {

// How many excerpts the tooltip shows at most, and how many characters of context either side.
inline constexpr int maxExcerpts = 3;
inline constexpr int contextLength = 24;

void paint(QPainter& painter, const QRectF& badge, const ThemePalette& palette, int pixelSize = 10,
           const QString& label = QStringLiteral("文字"));
inline const QString formattedLabel = QStringLiteral("格式");

// Rich text for a tooltip: each place where the query matches `text`, with some context either side
// (an ellipsis where the text goes on), the matched words in bold, at most maxExcerpts lines. Empty
// when the query does not match.
QString matchedContext(const QString& text, const TextSearch::Query& query);

} // namespace RecognizedTextBadge
