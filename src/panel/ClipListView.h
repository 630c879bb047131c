#pragma once

#include "core/ClipboardItem.h"
#include "core/ItemGroup.h"
#include "core/TextSearch.h"

#include <QHash>
#include <QList>
#include <QScrollArea>
#include <QSet>
#include <QTimer>

#include <functional>

class ClipItemView;
class HistorySearchModel;
class SpringAnimation;

// The panel's list of entries under their section titles, read from the (search) model: the first
// rows of the model, placed in sections by their time group. A row the model inserts, removes, moves
// or changes touches that row's widget alone; the list places its rows again on the next turn of the
// event loop, or at once when asked what it shows. It holds row widgets only for the rows in
// view and a margin around them, and hands them to other entries as the list scrolls. Rows out of view
// are placed by their measured height or, before they were ever shown, by an estimate; an estimate
// corrected above the view moves the scroll position with it, so what the user sees stays put.
// When the listed entries change, the rows that stay keep their widgets and glide to their new places
// with a spring.
class ClipListView : public QScrollArea
{
    Q_OBJECT

public:
    struct Entry
    {
        ClipboardItem item;
        // The entry's row in the model when the list was last placed.
        int row = -1;
    };
    // Makes a row widget, and brings a row's state (hover, focus ring) up to date when it is bound.
    using RowFactory = std::function<ClipItemView*(QWidget* parent)>;
    using RowBinder = std::function<void(ClipItemView* row)>;
    using HeaderFactory = std::function<QWidget*(const QString& title, QWidget* parent)>;

    // Rows made beyond the visible area, above and below, in pixels.
    static constexpr int overscan = 240;
    static constexpr int bottomMargin = 10;
    // The spring the rows move with when the list changes.
    static constexpr qreal springResponse = 0.5;
    static constexpr qreal springDamping = 0.82;

    ClipListView(RowFactory makeRow, RowBinder bindRow, HeaderFactory makeHeader, QWidget* parent = nullptr);
    ~ClipListView() override;

    void setModel(HistorySearchModel* model);
    // Lists the model's first `limit` rows (all of them for a negative limit); entries older than 30 days
    // under "更早" with `listOlder`, nowhere otherwise. With `everyRow`, every entry gets its widget (a
    // short list that the panel sizes to fit). Reads every row anew.
    void setListing(int limit, bool listOlder, bool everyRow);
    // Reads every row anew (a new query): widgets of entries still listed stay, without moving.
    void reload();
    // Asked when rows came or went: whether they glide to their new places (else they jump there).
    void setAnimateTest(std::function<bool()> test) { m_animateTest = std::move(test); }
    // Places the rows changed since the last time now.
    void sync();
    // Places the rows again on the next turn of the event loop, changed or not (listChanged follows).
    void touch() { changed(false); }

    int entryCount() const;
    int indexOf(const QUuid& id) const;
    const ClipboardItem& itemAt(int index) const;
    // The widget of an entry, while it has one.
    ClipItemView* rowFor(const QUuid& id) const;
    // Scrolls the entry into view and returns its widget.
    ClipItemView* ensureEntryVisible(int index);
    // The widgets that exist now, from top to bottom.
    QList<ClipItemView*> liveRows() const;
    QStringList sectionTitles() const;
    // The height of everything listed, the bottom margin included.
    int contentHeight() const;
    bool isMoving() const;

Q_SIGNALS:
    // A row's height changed (a thumbnail arrived, a text was edited).
    void contentHeightChanged();
    // The listed rows were placed anew; `cameOrWent` when rows were inserted, removed or moved.
    void listChanged(bool cameOrWent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Slot
    {
        bool header = false;
        QString title;
        Entry entry;
        bool lastInGroup = false;
        int y = 0;
        int height = 0;
    };

    int listedCount() const;
    Entry entryFor(int row) const;
    void fillFromModel();
    void changed(bool cameOrWent);
    void flush() const;
    void onRowsInserted(int first, int last);
    void onRowsRemoved(int first, int last);
    void onRowsMoved(int first, int last, int destination);
    void onDataChanged(int first, int last);

    int rowWidth() const;
    int slotHeight(const Slot& slot) const;
    void placeSlots();
    // Makes, binds and releases widgets for what is in view; re-measures bound rows.
    void updateLiveRows();
    ClipItemView* takeRow();
    void bindRow(ClipItemView* row, const Slot& slot);
    void releaseRow(const QUuid& id);
    QWidget* headerFor(const QString& title);
    void moveWidgets(bool animate);
    void onSpringStep(qreal progress);

    RowFactory m_makeRow;
    RowBinder m_bindRow;
    HeaderFactory m_makeHeader;
    QWidget* m_container;
    HistorySearchModel* m_model = nullptr;
    int m_limit = 0;
    std::function<bool()> m_animateTest;
    bool m_refiltering = false;
    // The listed model rows, in model order; those without a group have no slot.
    QList<Entry> m_rows;
    ItemGrouper m_grouper;
    // Waiting for sync: entries whose row changed, and whether rows came or went.
    bool m_dirty = false;
    bool m_cameOrWent = false;
    bool m_placedOnce = false;
    QSet<QUuid> m_changed;
    QTimer m_syncTimer;
    QList<Slot> m_slots;
    QList<int> m_order; // slot index of each entry
    QHash<QUuid, int> m_indexOfId;
    bool m_everyRow = true;
    int m_totalHeight = bottomMargin;
    QHash<QUuid, ClipItemView*> m_live;
    QList<ClipItemView*> m_spare;
    QHash<QString, QWidget*> m_headers;
    // Measured heights of rows that had a widget, without their separator line.
    QHash<QUuid, int> m_measured;
    bool m_updating = false;

    // Widgets in motion: where each started and where it goes.
    struct Motion
    {
        QWidget* widget;
        int from;
        int to;
    };
    QList<Motion> m_motions;
    SpringAnimation* m_spring;
};
