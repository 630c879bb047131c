#pragma once

#include "core/ClipboardItem.h"
#include "platform/Preferences.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class CircleSymbolButton;
class EntryIntents;
class ClipItemView;
class ClipListView;
class FooterButton;
class HistoryModel;
class HistorySearchModel;
class PausedCapsule;
class SearchField;
class QKeyEvent;
class QLabel;
class QStackedWidget;
class StorageManager;

// The history panel: header with the stay-open, pin and settings buttons, the newest entries in time
// sections (or the empty state), and a footer with the entry count, quit and clear-all.
class ContentView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int panelWidth = 340;
    // The search field's row under the header: the field and the space below it.
    static constexpr int searchBarHeight = 36;

    // The panel reads the history; what its rows, previews, footer and keys ask of it goes out on `intents`.
    ContentView(HistoryModel& history, EntryIntents& intents, StorageManager& storage, Preferences& preferences,
                QWidget* parent = nullptr);
    ~ContentView() override;

    // What the list shows now, for tests and for the shell: the rows that have widgets, top to bottom
    // (every listed row while the field is empty; those in view and near it while searching).
    QList<ClipItemView*> rows() const;
    ClipListView* list() const { return m_list; }
    QStringList sectionTitles() const;
    bool showsEmptyState() const;
    bool showsNoMatchState() const;
    SearchField* searchField() const { return m_searchField; }
    HistorySearchModel* searchModel() const { return m_search; }
    QString countText() const;
    std::optional<QUuid> hoveredItemId() const { return m_hoveredId; }
    void setHoveredItem(std::optional<QUuid> id);
    // The row the keys act on: the hovered one, which arrow keys move.
    ClipItemView* selectedRow() const;
    QWidget* openSheet() const { return m_sheet; }
    CircleSymbolButton* settingsButton() const { return m_settingsButton; }
    // Whether the pointer is over the settings button: a press there that took the focus from the
    // settings must not have its click open them again.
    bool pointerOnSettingsButton() const;
    // The height that shows the header, the listed rows with their section headers (or the empty
    // state) and the footer whole, at the panel's width.
    int preferredHeight() const;

    // Shows an entry's preview as a sheet over the panel; one at a time.
    void presentPreview(const ClipboardItem& item);

Q_SIGNALS:
    // The number of entries or the number listed changed: the shell re-sizes the panel.
    void updatePopoverSize();
    void settingsRequested(QWidget* anchor);
    void quitRequested();
    // Return copied the selected entry, or Escape found nothing left to clear: the panel should close.
    void closeRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A preview does not outlive the panel's closing.
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    QWidget* buildHeader();
    QWidget* buildFooter();
    QWidget* buildEmptyState();
    QWidget* buildSearchBar();
    QWidget* buildNoMatchState();
    void onQueryChanged(const QString& text);
    void onResultsReady();
    bool handleKey(QObject* watched, QKeyEvent* event);
    void selectIndex(int index);
    void selectNewest();
    void updateFocusRing();
    // What the list reads from the search model: the listed count, and the older entries while searching.
    void applyListing();
    void onListChanged();
    void refreshFooter();
    bool countChanged() const;
    void resetScrollArea();
    void refreshHeader();
    void applyTheme();
    void onPreferenceChanged(Preferences::Key key);

    HistoryModel& m_history;
    EntryIntents& m_intents;
    StorageManager& m_storage;
    Preferences& m_preferences;

    PausedCapsule* m_pausedCapsule = nullptr;
    CircleSymbolButton* m_lockButton = nullptr;
    CircleSymbolButton* m_pinButton = nullptr;
    CircleSymbolButton* m_settingsButton = nullptr;
    QWidget* m_settingsAnchor = nullptr;
    QStackedWidget* m_stack = nullptr;
    ClipListView* m_list = nullptr;
    QWidget* m_emptyState = nullptr;
    QWidget* m_noMatchState = nullptr;
    SearchField* m_searchField = nullptr;
    HistorySearchModel* m_search = nullptr;
    QLabel* m_countLabel = nullptr;
    FooterButton* m_clearButton = nullptr;
    FooterButton* m_quitButton = nullptr;
    std::optional<QUuid> m_hoveredId;
    QPoint m_pointerAtOpen;
    bool m_pointerMoved = true;
    QPointer<QWidget> m_sheet;
    qsizetype m_lastCount = -1;
    int m_lastDisplayCount = -1;
};
