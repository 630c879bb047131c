#pragma once

#include "core/ClipboardItem.h"

#include <QAbstractButton>
#include <QWidget>

class EntryIntents;
class HistoryModel;
class Preferences;
class QStackedWidget;
class SearchField;
class StorageManager;
class UndoBar;
class WidgetGridView;
class WidgetHeaderButton;
class WindowDragHandler;

// The desktop widget's board: a 340 x 340 rounded card with a blue, draggable header (title, lock,
// pin and clear buttons and the entry count) over a grid of every entry, or an empty state.
class DesktopWidgetView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int boardSide = 340;
    static constexpr int headerHeight = 52;
    static constexpr int cornerRadius = 24;
    static constexpr int searchFieldHeight = 26;
    static QColor pellamorBlue();

    // The board reads the history; what its tiles and keys ask of it goes out on `intents`.
    DesktopWidgetView(HistoryModel& history, EntryIntents& intents, StorageManager& storage, Preferences& preferences,
                      QWidget* parent = nullptr);

    WidgetGridView* grid() const { return m_grid; }
    SearchField* searchField() const { return m_searchField; }
    WindowDragHandler* dragSurface() const { return m_dragSurface; }
    Preferences& preferences() const { return m_preferences; }
    bool showsEmptyState() const;
    UndoBar* undoToast() const { return m_undoToast; }
    QString counterText() const;

Q_SIGNALS:
    void previewRequested(const ClipboardItem& item);
    // The clear button: the shell asks for confirmation, then clears.
    void clearRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Ctrl+Z while a removal can be taken back takes it back.
    bool undoOnKey(QKeyEvent* event);
    void refresh();
    void refreshButtons();
    void placeUndoToast();

    HistoryModel& m_history;
    EntryIntents& m_intents;
    Preferences& m_preferences;
    WindowDragHandler* m_dragSurface;
    WidgetHeaderButton* m_lockButton;
    WidgetHeaderButton* m_pinButton;
    WidgetHeaderButton* m_clearButton;
    QWidget* m_counter;
    QStackedWidget* m_content;
    QWidget* m_emptyState;
    WidgetGridView* m_grid;
    UndoBar* m_undoToast;
    SearchField* m_searchField;
};

// A white symbol on a faint white circle, 30 x 30, without button chrome.
class WidgetHeaderButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit WidgetHeaderButton(QWidget* parent = nullptr);
    void setSymbol(const QString& symbol);
    QString symbol() const { return m_symbol; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
};
