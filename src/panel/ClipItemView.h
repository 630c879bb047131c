#pragma once

#include "core/ClipboardItem.h"
#include "core/TextSearch.h"

#include <QFutureWatcher>
#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class ButtonTransitions;
class EntryText;
class HistoryModel;
class PressableActionButton;
class StorageManager;

// One history entry in the panel: a click copies it back, a double click opens its preview, hovering
// shows pin, delete and preview buttons, and the entry can be dragged out as text or as an image.
class ClipItemView : public QWidget
{
    Q_OBJECT

public:
    using HoverFn = std::function<void(std::optional<QUuid>)>;

    static constexpr int thumbnailHeight = 40;

    // The history is read for the text of images; what the row is asked to do, it announces.
    ClipItemView(const HistoryModel& history, StorageManager& storage, QWidget* parent = nullptr);
    ~ClipItemView() override;

    void setItem(const ClipboardItem& item);
    const ClipboardItem& item() const { return m_item; }
    void setLastInGroup(bool last);
    bool isLastInGroup() const { return m_lastInGroup; }
    void setHovered(bool hovered);
    bool isHovered() const { return m_hovered; }
    // The keyboard's focus ring around the highlighted block, while the list has focus.
    void setFocusRing(bool ring);
    bool hasFocusRing() const { return m_focusRing; }
    // The search the row is listed for, and where it matched the entry's text (marked in the text).
    void setQuery(const TextSearch::Query& query, const QList<TextSearch::Range>& highlights = {});
    const QList<TextSearch::Range>& highlights() const { return m_highlights; }
    // The text as laid out at the row's width.
    const EntryText& entryText() const;
    void setOnHoverSet(HoverFn onHoverSet) { m_onHoverSet = std::move(onHoverSet); }

    bool hasThumbnail() const { return !m_cachedImage.isNull(); }
    bool imageMissing() const { return m_imageMissing; }
    PressableActionButton* pinButton() const { return m_pinButton; }
    PressableActionButton* deleteButton() const { return m_deleteButton; }
    PressableActionButton* previewButton() const { return m_previewButton; }
    // The entry block: where clicks, double clicks and drags start.
    QRect entryRect() const;

    // "今天 HH:mm", "昨天" or "MM-dd".
    static QString formattedTime(const QDateTime& timestamp, const QDateTime& now);

    // A row's height before it was ever laid out, at the panel's width, from the entry alone: the
    // list places rows it has no widget for by this, and corrects it once the row is shown.
    static int estimatedHeight(const ClipboardItem& item, bool lastInGroup);

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

    void openPreview();

Q_SIGNALS:
    // The preview a double click asks for; the panel presents it over itself.
    void previewRequested(const ClipboardItem& item);
    // A click chose the entry.
    void chosen(const ClipboardItem& item);
    // The context menu's "粘贴": chosen, and pasted into the window the user came from.
    void pasteRequested(const ClipboardItem& item);
    // Shift+click, or the context menu's "粘贴为纯文本": chosen as its text alone.
    void plainTextChosen(const ClipboardItem& item);
    void pinToggleRequested(const QUuid& id);
    void deleteRequested(const ClipboardItem& item);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void layoutButtons();
    void updateButtons();
    void loadThumbnail();
    int contentHeight(int rowWidth) const;
    const EntryText& entryTextFor(int rowWidth) const;
    static int textWidth(int rowWidth);
    QRect blockRect() const;
    // The "文字" badge on an image listed by a search for the text read from it.
    QRect textBadgeRect() const;

    const HistoryModel& m_history;
    StorageManager& m_storage;
    ClipboardItem m_item;
    bool m_lastInGroup = false;
    bool m_hovered = false;
    bool m_focusRing = false;
    TextSearch::Query m_query;
    QList<TextSearch::Range> m_highlights;
    mutable std::unique_ptr<EntryText> m_text;
    mutable int m_textWidth = -1;
    HoverFn m_onHoverSet;
    QImage m_cachedImage;
    // The last load finished and found no image: the file is missing or unreadable.
    bool m_imageMissing = false;
    QFutureWatcher<QImage>* m_thumbnailWatcher = nullptr;
    QTimer m_singleClick;
    QPoint m_pressPosition;
    bool m_pressed = false;
    // The pending click was a Shift+click.
    bool m_plainClick = false;
    bool m_dragStarted = false;
    PressableActionButton* m_pinButton;
    PressableActionButton* m_deleteButton;
    PressableActionButton* m_previewButton;
    // The pin button scales and fades in and out, the delete button fades.
    ButtonTransitions* m_buttonTransitions;
};
