#include "WidgetGridView.h"

#include "WidgetGridItem.h"
#include "WidgetItemModel.h"
#include "core/EntryMimeData.h"
#include "core/HistoryModel.h"
#include "core/HistorySearchModel.h"
#include "core/StorageManager.h"
#include "ui/RecognizedTextBadge.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QDrag>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace {

class TileDelegate : public QStyledItemDelegate
{
public:
    explicit TileDelegate(WidgetGridView* view)
        : QStyledItemDelegate(view)
        , m_view(view)
    {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return {WidgetGridItem::side, WidgetGridItem::side};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const auto item = index.data(WidgetItemModel::ItemRole).value<ClipboardItem>();
        const bool hovered = m_view->hoveredIndex() == index;
        const QRect tile(option.rect.topLeft(), QSize(WidgetGridItem::side, WidgetGridItem::side));
        const QImage thumbnail = item.isImage() ? index.data(WidgetItemModel::ThumbnailRole).value<QImage>() : QImage();
        const HistoryModel::KeptSummary* kept = m_view->keptSummary(item);
        WidgetGridItem::paint(*painter,
                              WidgetGridItem::layout(tile, hovered, item.isPinned,
                                                     m_view->matchedByText(item) || (kept && kept->formatted)),
                              item, thumbnail, hovered, Theme::palette(),
                              index.data(WidgetItemModel::ImageMissingRole).toBool(),
                              index.data(HistorySearchModel::HighlightsRole).value<QList<TextSearch::Range>>(), kept);
    }

private:
    WidgetGridView* m_view;
};

} // namespace

WidgetGridView::WidgetGridView(HistoryModel& history, StorageManager& storage, QWidget* parent)
    : QListView(parent)
    , m_history(history)
    , m_storage(storage)
    , m_model(new WidgetItemModel(history, storage, this))
{
    setObjectName(QStringLiteral("widgetGrid"));
    setModel(m_model);
    setItemDelegate(new TileDelegate(this));
    setViewMode(QListView::IconMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setGridSize(QSize(WidgetGridItem::side + columnSpacing, WidgetGridItem::side + rowSpacing));
    setSpacing(0);
    // Three columns centred between equal margins (the view centres each tile in its grid cell, half
    // the spacing in from the cell's edge); the scroll indicator lies over the right margin instead of
    // taking width from the grid.
    setViewportMargins(margin - columnSpacing / 2, margin, 0, 0);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(20);
    m_scrollIndicator = new QScrollBar(Qt::Vertical, this);
    m_scrollIndicator->setObjectName(QStringLiteral("widgetGridScrollIndicator"));
    m_scrollIndicator->setStyleSheet(slimScrollBarStyle(QColor(128, 128, 128, 115)));
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, m_scrollIndicator, [this](int minimum, int maximum) {
        m_scrollIndicator->setPageStep(verticalScrollBar()->pageStep());
        m_scrollIndicator->setRange(minimum, maximum);
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_scrollIndicator, &QScrollBar::setValue);
    connect(m_scrollIndicator, &QScrollBar::valueChanged, verticalScrollBar(), &QScrollBar::setValue);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setAttribute(Qt::WA_Hover);
    viewport()->setAutoFillBackground(false);
    m_model->setThumbnailSize(QSize(WidgetGridItem::side, WidgetGridItem::side) * devicePixelRatioF());

    m_singleClick.setSingleShot(true);
    m_singleClick.setInterval(QApplication::doubleClickInterval());
    connect(&m_singleClick, &QTimer::timeout, this, [this] {
        if (m_plainClick)
            Q_EMIT plainTextChosen(m_clickedItem);
        else
            Q_EMIT chosen(m_clickedItem);
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { m_hovered = QModelIndex(); });
    connect(&Theme::instance(), &Theme::changed, viewport(), qOverload<>(&QWidget::update));
}

void WidgetGridView::resizeEvent(QResizeEvent* event)
{
    QListView::resizeEvent(event);
    m_scrollIndicator->setGeometry(width() - scrollIndicatorWidth, 0, scrollIndicatorWidth, height());
    m_scrollIndicator->raise();
}

QRect WidgetGridView::tileRect(const QModelIndex& index) const
{
    const QRect cell = visualRect(index);
    return QRect(cell.topLeft(), QSize(WidgetGridItem::side, WidgetGridItem::side));
}

void WidgetGridView::setHovered(const QModelIndex& index)
{
    if (index == m_hovered)
        return;
    const QModelIndex previous = m_hovered;
    m_hovered = index;
    if (previous.isValid())
        viewport()->update(visualRect(previous).adjusted(-2, -2, 2, 2));
    if (index.isValid())
        viewport()->update(visualRect(index).adjusted(-2, -2, 2, 2));
}

void WidgetGridView::mousePressEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    const QModelIndex index = indexAt(position);
    m_pressed = QModelIndex();
    if (event->button() != Qt::LeftButton || !index.isValid() || !tileRect(index).contains(position)) {
        event->accept();
        return;
    }
    const ClipboardItem& item = m_model->itemAt(index.row());
    const WidgetTileLayout layout = WidgetGridItem::layout(tileRect(index), m_hovered == index, item.isPinned);
    if (layout.pinButton.contains(position)) {
        Q_EMIT pinToggleRequested(item.id);
        event->accept();
        return;
    }
    if (layout.deleteButton.contains(position)) {
        Q_EMIT deleteRequested(item);
        event->accept();
        return;
    }
    m_pressed = index;
    m_pressPosition = position;
    event->accept();
}

void WidgetGridView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    const QModelIndex index = indexAt(position);
    setHovered(index.isValid() && tileRect(index).contains(position) ? index : QModelIndex());
    if (m_pressed.isValid() && (event->buttons() & Qt::LeftButton) &&
        (position - m_pressPosition).manhattanLength() >= QApplication::startDragDistance()) {
        m_singleClick.stop();
        startDrag(Qt::CopyAction);
        m_pressed = QModelIndex();
    }
    event->accept();
}

void WidgetGridView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (m_pressed.isValid() && event->button() == Qt::LeftButton && indexAt(position) == m_pressed) {
        m_clickedItem = m_model->itemAt(m_pressed.row());
        m_plainClick = m_clickedItem.isText() && event->modifiers().testFlag(Qt::ShiftModifier);
        m_singleClick.start();
    }
    m_pressed = QModelIndex();
    event->accept();
}

void WidgetGridView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    const QModelIndex index = indexAt(position);
    if (event->button() == Qt::LeftButton && index.isValid() && tileRect(index).contains(position)) {
        const ClipboardItem& item = m_model->itemAt(index.row());
        const WidgetTileLayout layout = WidgetGridItem::layout(tileRect(index), m_hovered == index, item.isPinned);
        if (!layout.pinButton.contains(position) && !layout.deleteButton.contains(position)) {
            // A double click previews and does not also copy.
            m_singleClick.stop();
            Q_EMIT previewRequested(item);
        }
    }
    event->accept();
}

void WidgetGridView::paintEvent(QPaintEvent* event)
{
    QListView::paintEvent(event);
    if (m_model->rowCount() > 0 || !m_model->searchModel()->isSearching())
        return;
    QPainter painter(viewport());
    painter.setPen(Theme::palette().secondary);
    painter.setFont(pixelFont(12));
    painter.drawText(viewport()->rect().adjusted(0, 0, -margin, -margin), Qt::AlignCenter,
                     QStringLiteral("没有匹配的记录"));
}

bool WidgetGridView::matchedByText(const ClipboardItem& item) const
{
    // During a search an image is listed only for the text read from it.
    return item.isImage() && !m_model->searchModel()->query().isEmpty();
}

bool WidgetGridView::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QListView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    QString tip;
    if (index.isValid()) {
        const ClipboardItem& item = m_model->itemAt(index.row());
        const WidgetTileLayout layout =
            WidgetGridItem::layout(tileRect(index), m_hovered == index, item.isPinned, matchedByText(item));
        if (layout.textBadge.contains(help->pos())) {
            const HistorySearchModel& search = *m_model->searchModel();
            tip = RecognizedTextBadge::matchedContext(search.history().imageText(item.content), search.query());
        }
    }
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, viewport());
    return true;
}

void WidgetGridView::leaveEvent(QEvent* event)
{
    setHovered(QModelIndex());
    QListView::leaveEvent(event);
}

const HistoryModel::KeptSummary* WidgetGridView::keptSummary(const ClipboardItem& item) const
{
    return item.isText() ? m_history.keptSummary(item.id) : nullptr;
}

void WidgetGridView::startDrag(Qt::DropActions)
{
    if (!m_pressed.isValid())
        return;
    const ClipboardItem item = m_model->itemAt(m_pressed.row());
    auto* drag = new QDrag(this);
    drag->setMimeData(new EntryMimeData(item, m_storage));
    QPixmap face(QSize(WidgetGridItem::side, WidgetGridItem::side) * devicePixelRatioF());
    face.setDevicePixelRatio(devicePixelRatioF());
    face.fill(Qt::transparent);
    {
        QPainter painter(&face);
        const QRect tile(0, 0, WidgetGridItem::side, WidgetGridItem::side);
        WidgetGridItem::paint(painter, WidgetGridItem::layout(tile, false, false), item,
                              item.isImage() ? m_model->data(m_pressed, WidgetItemModel::ThumbnailRole).value<QImage>()
                                             : QImage(),
                              false, Theme::palette(), false, {}, keptSummary(item));
    }
    drag->setPixmap(face);
    drag->setHotSpot(QPoint(WidgetGridItem::side / 2, WidgetGridItem::side / 2));
    drag->exec(Qt::CopyAction);
}
