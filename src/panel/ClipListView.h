#pragma once

#include "core/ClipboardItem.h"
#include "core/TextSearch.h"

#include <QHash>
#include <QList>
#include <QScrollArea>

#include <functional>

class ClipItemView;
class SpringAnimation;

// The panel's list of entries under their section titles. It holds row widgets only for the rows in
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
        TextSearch::Key key;
    };
    struct Section
    {
        QString title;
        QList<Entry> entries;
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

    // Replaces what the list shows. Rows of entries still listed keep their widgets; with `animate`,
    // they move from where they were to their new places. With `everyRow`, every entry gets its widget
    // (a short list that the panel sizes to fit).
    void setSections(const QList<Section>& sections, const TextSearch::Query& query, bool animate, bool everyRow);

    int entryCount() const { return int(m_order.size()); }
    int indexOf(const QUuid& id) const { return m_indexOfId.value(id, -1); }
    const ClipboardItem& itemAt(int index) const;
    // The widget of an entry, while it has one.
    ClipItemView* rowFor(const QUuid& id) const { return m_live.value(id); }
    // Scrolls the entry into view and returns its widget.
    ClipItemView* ensureEntryVisible(int index);
    // The widgets that exist now, from top to bottom.
    QList<ClipItemView*> liveRows() const;
    QStringList sectionTitles() const;
    // The height of everything listed, the bottom margin included.
    int contentHeight() const { return m_totalHeight; }
    bool isMoving() const;

Q_SIGNALS:
    // A row's height changed (a thumbnail arrived, a text was edited).
    void contentHeightChanged();

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
    QList<Slot> m_slots;
    QList<int> m_order; // slot index of each entry
    QHash<QUuid, int> m_indexOfId;
    TextSearch::Query m_query;
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
