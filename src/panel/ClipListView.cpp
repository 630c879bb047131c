#include "ClipListView.h"

#include "ClipItemView.h"
#include "core/HistorySearchModel.h"
#include "ui/Spring.h"

#include <QEvent>
#include <QScrollBar>

namespace {

// Rows at most kept aside for reuse; the rest are deleted.
constexpr int spareRows = 8;
// The width rows are laid out at before the list has one of its own.
constexpr int defaultWidth = 340;

} // namespace

ClipListView::ClipListView(RowFactory makeRow, RowBinder bindRow, HeaderFactory makeHeader, QWidget* parent)
    : QScrollArea(parent)
    , m_makeRow(std::move(makeRow))
    , m_bindRow(std::move(bindRow))
    , m_makeHeader(std::move(makeHeader))
    , m_container(new QWidget)
    , m_spring(new SpringAnimation(springResponse, springDamping, this))
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(false);
    viewport()->setAutoFillBackground(false);
    m_container->setAutoFillBackground(false);
    m_container->resize(defaultWidth, bottomMargin);
    setWidget(m_container);
    // Rows that change height (a thumbnail arriving, an edited text) move the rows below them.
    m_container->installEventFilter(this);
    connect(m_spring, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { onSpringStep(value.toReal()); });
    connect(m_spring, &QAbstractAnimation::finished, this, [this] {
        onSpringStep(1.0);
        m_motions.clear();
    });
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(0);
    connect(&m_syncTimer, &QTimer::timeout, this, &ClipListView::sync);
}

ClipListView::~ClipListView() = default;

void ClipListView::setModel(HistorySearchModel* model)
{
    m_model = model;
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { onRowsInserted(first, last); });
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) { onRowsRemoved(first, last); });
    connect(model, &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int first, int last, const QModelIndex&, int destination) {
                onRowsMoved(first, last, destination);
            });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                onDataChanged(topLeft.row(), bottomRight.row());
            });
    const auto readAll = [this] {
        fillFromModel();
        changed(true);
    };
    connect(model, &QAbstractItemModel::layoutChanged, this, readAll);
    connect(model, &QAbstractItemModel::modelReset, this, readAll);
    // A new query lets many rows through or holds them back in one go: read once, after it.
    connect(model, &HistorySearchModel::rowsAboutToBeRefiltered, this, [this] { m_refiltering = true; });
    connect(model, &HistorySearchModel::rowsRefiltered, this, [this] {
        m_refiltering = false;
        reload();
    });
    fillFromModel();
    changed(true);
}

void ClipListView::setListing(int limit, bool listOlder, bool everyRow)
{
    if (limit == m_limit && listOlder == m_grouper.listsOlder() && everyRow == m_everyRow)
        return;
    m_limit = limit;
    m_grouper.setListOlder(listOlder);
    m_everyRow = everyRow;
    fillFromModel();
    changed(true);
    sync();
}

void ClipListView::reload()
{
    fillFromModel();
    m_dirty = true;
    sync();
}

int ClipListView::listedCount() const
{
    const int rows = m_model ? m_model->rowCount() : 0;
    return m_limit < 0 ? rows : qMin(rows, m_limit);
}

ClipListView::Entry ClipListView::entryFor(int row) const
{
    return {m_model->itemAt(row), row};
}

void ClipListView::fillFromModel()
{
    m_rows.clear();
    const int count = listedCount();
    m_rows.reserve(count);
    for (int row = 0; row < count; ++row) {
        m_rows.append(entryFor(row));
        m_changed.insert(m_rows.last().item.id);
    }
}

void ClipListView::changed(bool cameOrWent)
{
    m_dirty = true;
    m_cameOrWent = m_cameOrWent || cameOrWent;
    m_syncTimer.start();
}

void ClipListView::flush() const
{
    if (m_dirty)
        const_cast<ClipListView*>(this)->sync();
}

void ClipListView::onRowsInserted(int first, int last)
{
    if (m_refiltering || first > m_rows.size())
        return;
    const int count = listedCount();
    for (int row = first; row <= last && row < count; ++row)
        m_rows.insert(row, entryFor(row));
    // Rows pushed past the listed count leave.
    if (m_rows.size() > count)
        m_rows.resize(count);
    changed(true);
}

void ClipListView::onRowsRemoved(int first, int last)
{
    if (m_refiltering || first >= m_rows.size())
        return;
    m_rows.remove(first, qMin<qsizetype>(last, m_rows.size() - 1) - first + 1);
    // Rows that were past the listed count move up into it.
    for (int row = int(m_rows.size()); row < listedCount(); ++row)
        m_rows.append(entryFor(row));
    changed(true);
}

void ClipListView::onRowsMoved(int first, int last, int destination)
{
    if (m_refiltering)
        return;
    const int count = last - first + 1;
    if (last < m_rows.size() && destination <= m_rows.size()) {
        const QList<Entry> moved = m_rows.mid(first, count);
        m_rows.remove(first, count);
        const int at = destination > first ? destination - count : destination;
        for (int i = 0; i < count; ++i)
            m_rows.insert(at + i, moved.at(i));
    } else {
        // Rows move into or out of the listed ones.
        fillFromModel();
    }
    changed(true);
}

void ClipListView::onDataChanged(int first, int last)
{
    if (m_refiltering)
        return;
    for (int row = first; row <= last && row < m_rows.size(); ++row) {
        m_rows[row] = entryFor(row);
        m_changed.insert(m_rows.at(row).item.id);
    }
    changed(false);
}

void ClipListView::sync()
{
    m_syncTimer.stop();
    if (!m_dirty)
        return;
    m_dirty = false;
    const bool animate = m_cameOrWent && m_placedOnce && isVisible() && m_animateTest && m_animateTest();
    const bool cameOrWent = m_cameOrWent;
    m_cameOrWent = false;

    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<std::optional<ItemGroup>> groups;
    groups.reserve(m_rows.size());
    for (qsizetype row = 0; row < m_rows.size(); ++row) {
        m_rows[row].row = int(row);
        groups.append(m_grouper.groupOf(m_rows.at(row).item, now));
    }
    m_slots.clear();
    m_order.clear();
    m_indexOfId.clear();
    QSet<QString> titles;
    for (const GroupedRows& section : groupedRows(groups)) {
        Slot header;
        header.header = true;
        header.title = itemGroupTitle(section.group);
        headerFor(header.title);
        titles.insert(header.title);
        m_slots.append(header);
        for (qsizetype i = 0; i < section.rows.size(); ++i) {
            Slot slot;
            slot.entry = m_rows.at(section.rows.at(i));
            slot.lastInGroup = i == section.rows.size() - 1;
            m_indexOfId.insert(slot.entry.item.id, int(m_order.size()));
            m_order.append(int(m_slots.size()));
            m_slots.append(slot);
        }
    }
    for (auto it = m_headers.begin(); it != m_headers.end();) {
        if (titles.contains(it.key())) {
            ++it;
            continue;
        }
        delete it.value();
        it = m_headers.erase(it);
    }
    // Rows of entries no longer listed go; the rows that changed take their entry's new state.
    const QList<QUuid> live = m_live.keys();
    for (const QUuid& id : live) {
        const int index = m_indexOfId.value(id, -1);
        if (index < 0)
            releaseRow(id);
        else if (m_changed.contains(id))
            bindRow(m_live.value(id), m_slots.at(m_order.at(index)));
        else
            m_live.value(id)->setLastInGroup(m_slots.at(m_order.at(index)).lastInGroup);
    }
    m_changed.clear();
    // Measured heights of entries gone would only grow.
    if (m_measured.size() > 2 * m_order.size() + 64) {
        for (auto it = m_measured.begin(); it != m_measured.end();)
            it = m_indexOfId.contains(it.key()) ? std::next(it) : m_measured.erase(it);
    }
    placeSlots();
    updateLiveRows();
    moveWidgets(animate);
    m_placedOnce = true;
    Q_EMIT listChanged(cameOrWent);
}

int ClipListView::entryCount() const
{
    flush();
    return int(m_order.size());
}

int ClipListView::indexOf(const QUuid& id) const
{
    flush();
    return m_indexOfId.value(id, -1);
}

const ClipboardItem& ClipListView::itemAt(int index) const
{
    flush();
    return m_slots.at(m_order.at(index)).entry.item;
}

ClipItemView* ClipListView::rowFor(const QUuid& id) const
{
    flush();
    return m_live.value(id);
}

int ClipListView::contentHeight() const
{
    flush();
    return m_totalHeight;
}

int ClipListView::rowWidth() const
{
    return isVisible() || testAttribute(Qt::WA_Resized) ? viewport()->width() : defaultWidth;
}

int ClipListView::slotHeight(const Slot& slot) const
{
    if (slot.header)
        return m_headers.value(slot.title)->sizeHint().height();
    const QUuid& id = slot.entry.item.id;
    if (ClipItemView* row = m_live.value(id))
        return row->heightForWidth(rowWidth());
    const auto measured = m_measured.constFind(id);
    if (measured != m_measured.cend())
        return *measured + (slot.lastInGroup ? 0 : 1);
    return ClipItemView::estimatedHeight(slot.entry.item, slot.lastInGroup);
}

void ClipListView::placeSlots()
{
    int y = 0;
    for (Slot& slot : m_slots) {
        slot.y = y;
        slot.height = slotHeight(slot);
        y += slot.height;
    }
    m_totalHeight = y + bottomMargin;
    m_container->resize(rowWidth(), m_totalHeight);
}

void ClipListView::updateLiveRows()
{
    if (m_updating)
        return;
    m_updating = true;
    const int width = rowWidth();
    // A few rounds at most: a row measured taller can bring the next one out of view, and back.
    for (int round = 0; round < 3; ++round) {
        const int scroll = verticalScrollBar()->value();
        const int top = scroll - overscan;
        const int bottom = scroll + viewport()->height() + overscan;
        QSet<QUuid> wanted;
        for (int index : std::as_const(m_order)) {
            const Slot& slot = m_slots.at(index);
            if (m_everyRow || (slot.y + slot.height > top && slot.y < bottom))
                wanted.insert(slot.entry.item.id);
        }
        const QList<QUuid> live = m_live.keys();
        for (const QUuid& id : live) {
            if (!wanted.contains(id))
                releaseRow(id);
        }
        bool remeasure = false;
        for (const QUuid& id : std::as_const(wanted)) {
            const Slot& slot = m_slots.at(m_order.at(m_indexOfId.value(id)));
            ClipItemView* row = m_live.value(id);
            if (!row) {
                row = takeRow();
                m_live.insert(id, row);
                bindRow(row, slot);
                row->setGeometry(0, slot.y, width, slot.height);
                row->show();
            }
            const int height = row->heightForWidth(width);
            m_measured.insert(id, height - (slot.lastInGroup ? 0 : 1));
            remeasure = remeasure || height != slot.height;
        }
        if (!remeasure)
            break;
        // Keep the first row in view where it is while the heights above it change.
        int anchor = -1;
        for (int i = 0; i < m_slots.size(); ++i) {
            if (m_slots.at(i).y + m_slots.at(i).height > scroll) {
                anchor = i;
                break;
            }
        }
        const int offset = anchor >= 0 ? scroll - m_slots.at(anchor).y : 0;
        placeSlots();
        if (scroll > 0 && anchor >= 0)
            verticalScrollBar()->setValue(m_slots.at(anchor).y + offset);
    }
    m_updating = false;
}

ClipItemView* ClipListView::takeRow()
{
    if (!m_spare.isEmpty())
        return m_spare.takeLast();
    return m_makeRow(m_container);
}

void ClipListView::bindRow(ClipItemView* row, const Slot& slot)
{
    row->setItem(slot.entry.item);
    // The ranges are asked for only for the rows that get a widget: the model finds them once.
    const QModelIndex index = m_model->index(slot.entry.row, 0);
    row->setQuery(m_model->query(), index.data(HistorySearchModel::HighlightsRole).value<QList<TextSearch::Range>>());
    row->setLastInGroup(slot.lastInGroup);
    m_bindRow(row);
}

void ClipListView::releaseRow(const QUuid& id)
{
    ClipItemView* row = m_live.take(id);
    if (!row)
        return;
    m_motions.removeIf([row](const Motion& motion) { return motion.widget == row; });
    if (m_spare.size() < spareRows) {
        row->hide();
        row->setHovered(false);
        row->setFocusRing(false);
        m_spare.append(row);
    } else {
        delete row;
    }
}

QWidget* ClipListView::headerFor(const QString& title)
{
    QWidget*& header = m_headers[title];
    if (!header)
        header = m_makeHeader(title, m_container);
    return header;
}

void ClipListView::moveWidgets(bool animate)
{
    const int width = rowWidth();
    QList<Motion> motions;
    for (const Slot& slot : std::as_const(m_slots)) {
        QWidget* widget = slot.header ? m_headers.value(slot.title) : m_live.value(slot.entry.item.id);
        if (!widget)
            continue;
        const bool wasShown = widget->isVisibleTo(m_container);
        int from = slot.y;
        if (animate && wasShown)
            from = widget->y();
        else if (m_spring->state() == QAbstractAnimation::Running) {
            // While the list moves, a widget keeps its course towards its new place.
            for (const Motion& motion : std::as_const(m_motions)) {
                if (motion.widget == widget)
                    from = widget->y();
            }
        }
        widget->setGeometry(0, from, width, slot.height);
        widget->show();
        if (from != slot.y)
            motions.append({widget, from, slot.y});
    }
    if (motions.isEmpty()) {
        if (m_spring->state() == QAbstractAnimation::Running)
            m_spring->stop();
        m_motions.clear();
        return;
    }
    m_motions = motions;
    m_spring->stop();
    m_spring->animateTo(0.0, 1.0);
}

void ClipListView::onSpringStep(qreal progress)
{
    for (const Motion& motion : std::as_const(m_motions))
        motion.widget->move(0, motion.from + qRound((motion.to - motion.from) * progress));
}

bool ClipListView::isMoving() const
{
    return m_spring->state() == QAbstractAnimation::Running;
}

QList<ClipItemView*> ClipListView::liveRows() const
{
    flush();
    QList<ClipItemView*> rows;
    for (int index : m_order) {
        if (ClipItemView* row = m_live.value(m_slots.at(index).entry.item.id))
            rows << row;
    }
    return rows;
}

QStringList ClipListView::sectionTitles() const
{
    flush();
    QStringList titles;
    for (const Slot& slot : m_slots) {
        if (slot.header)
            titles << slot.title;
    }
    return titles;
}

ClipItemView* ClipListView::ensureEntryVisible(int index)
{
    flush();
    if (index < 0 || index >= m_order.size())
        return nullptr;
    const int slotIndex = m_order.at(index);
    const Slot& slot = m_slots.at(slotIndex);
    // The first row of a section brings its title into view with it.
    const int top = m_slots.at(slotIndex - 1).header ? m_slots.at(slotIndex - 1).y : slot.y;
    QScrollBar* bar = verticalScrollBar();
    if (top < bar->value())
        bar->setValue(top);
    else if (slot.y + slot.height > bar->value() + viewport()->height())
        bar->setValue(slot.y + slot.height - viewport()->height());
    updateLiveRows();
    moveWidgets(false);
    return m_live.value(slot.entry.item.id);
}

bool ClipListView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_container && event->type() == QEvent::LayoutRequest && !m_updating) {
        if (m_dirty) {
            sync();
        } else {
            placeSlots();
            updateLiveRows();
            moveWidgets(false);
        }
        Q_EMIT contentHeightChanged();
    }
    return QScrollArea::eventFilter(watched, event);
}

void ClipListView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    if (m_dirty) {
        sync();
        return;
    }
    placeSlots();
    updateLiveRows();
    moveWidgets(false);
}

void ClipListView::scrollContentsBy(int dx, int dy)
{
    QScrollArea::scrollContentsBy(dx, dy);
    if (m_updating)
        return;
    if (m_dirty) {
        sync();
        return;
    }
    updateLiveRows();
    moveWidgets(false);
}
