#pragma once

#include "core/ClipboardItem.h"
#include "core/HistoryModel.h"
#include "core/TextSearch.h"

#include <QImage>
#include <QRect>

class QPainter;
struct ThemePalette;

// Where everything of one 100 x 100 board tile goes. One function computes it for painting and for
// hit-testing clicks, so what is drawn is what reacts.
struct WidgetTileLayout
{
    QRect tile;
    QRect pinButton;    // empty when not shown
    QRect deleteButton; // empty when not shown
    QRect kindBadge;
    QRect textBadge; // empty when not shown
    // Where a text entry's lines go: below the row of the pin and delete buttons, whether or not they
    // are shown, so the text neither hides under them nor moves when the pointer comes.
    QRect textArea;
};

// One board tile: an image thumbnail or the first lines of a text, its kind in the corner, and pin and
// delete buttons while hovered (the pin stays on a pinned entry).
struct WidgetGridItem
{
    static constexpr int side = 100;
    static constexpr int cornerRadius = 12;
    static constexpr int textLines = 6;

    // `matchedByText`: an image tile listed by a search for the text read from it, which shows the
    // "文字" badge beside its kind; a text kept with its formatting shows "格式" there.
    static WidgetTileLayout layout(const QRect& tile, bool hovered, bool pinned, bool matchedByText = false);
    // A text tile marks where the search matched it and keeps the first match in view. A list of copied
    // files (`kept`) shows their names.
    static void paint(QPainter& painter, const WidgetTileLayout& layout, const ClipboardItem& item,
                      const QImage& thumbnail, bool hovered, const ThemePalette& palette, bool imageMissing = false,
                      const QList<TextSearch::Range>& highlights = {}, const HistoryModel::KeptSummary* kept = nullptr);
    static QFont textFont();
};
