#pragma once

#include "core/ClipboardItem.h"
#include "core/HistoryModel.h"

#include <QListView>
#include <QPersistentModelIndex>
#include <QTimer>

class HistoryModel;
class QScrollBar;
class StorageManager;
class WidgetItemModel;

// The board's three-column grid of tiles. Only visible tiles are painted; a click chooses an entry, a
// double click asks for its preview, the pin and delete buttons ask for those, and a tile drags out as
// its text or its image file.
class WidgetGridView : public QListView
{
    Q_OBJECT

public:
    // Three 100-wide columns with the default spacing between equal margins fill the 340-wide board.
    static constexpr int columnSpacing = 8;
    static constexpr int scrollIndicatorWidth = 8;
    static constexpr int rowSpacing = 10;
    static constexpr int margin = 12;

    WidgetGridView(HistoryModel& history, StorageManager& storage, QWidget* parent = nullptr);

    WidgetItemModel* itemModel() const { return m_model; }
    QModelIndex hoveredIndex() const { return m_hovered; }
    // The tile's rectangle in viewport coordinates.
    QRect tileRect(const QModelIndex& index) const;
    // An image tile listed by the search for the text read from it: it shows the "文字" badge, and
    // hovering the badge shows the matched words in context.
    bool matchedByText(const ClipboardItem& item) const;
    // What a text entry keeps beside its text, or null.
    const HistoryModel::KeptSummary* keptSummary(const ClipboardItem& item) const;

Q_SIGNALS:
    void previewRequested(const ClipboardItem& item);
    void chosen(const ClipboardItem& item);
    // Shift+click: chosen as its text alone.
    void plainTextChosen(const ClipboardItem& item);
    void pinToggleRequested(const QUuid& id);
    void deleteRequested(const ClipboardItem& item);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    void setHovered(const QModelIndex& index);

    HistoryModel& m_history;
    StorageManager& m_storage;
    WidgetItemModel* m_model;
    QPersistentModelIndex m_hovered;
    QPersistentModelIndex m_pressed;
    QPoint m_pressPosition;
    QTimer m_singleClick;
    ClipboardItem m_clickedItem;
    bool m_plainClick = false;
    QScrollBar* m_scrollIndicator = nullptr;
};
