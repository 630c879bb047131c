#include "ContentView.h"

#include "ClipItemView.h"
#include "ClipListView.h"
#include "ImagePreviewView.h"
#include "PausedCapsule.h"
#include "TextPreviewView.h"
#include "core/EntryIntents.h"
#include "core/HistoryModel.h"
#include "core/HistorySearchModel.h"
#include "core/ItemGroup.h"
#include "core/StorageManager.h"
#include "platform/Preferences.h"
#include "platform/x11/WindowEffects.h"
#include "ui/CircleSymbolButton.h"
#include "ui/FooterButton.h"
#include "ui/Rule.h"
#include "ui/SearchField.h"
#include "ui/SymbolIcon.h"
#include "ui/SymbolLabel.h"
#include "ui/Theme.h"
#include "ui/ThemedLabel.h"
#include "ui/Transition.h"
#include "ui/UndoBar.h"

#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <memory>

namespace {

// The height of a typical row, for PageUp and PageDown.
constexpr int AppRowHeight = 65;

QWidget* sectionHeader(const QString& title, QWidget* parent)
{
    auto* header = new QWidget(parent);
    header->setObjectName(QStringLiteral("sectionHeader"));
    auto* layout = new QVBoxLayout(header);
    layout->setContentsMargins(0, 16, 0, 0);
    layout->setSpacing(6);
    auto* label = new ThemedLabel(
        title, pixelFont(13, QFont::Bold), [] { return ThemePalette::withOpacity(Theme::palette().primary, 0.8); },
        header);
    label->setObjectName(QStringLiteral("sectionTitle"));
    label->setContentsMargins(12, 0, 0, 0);
    layout->addWidget(label);
    layout->addWidget(new Rule(12, 0, 0.15, header));
    return header;
}

} // namespace

ContentView::ContentView(HistoryModel& history, EntryIntents& intents, StorageManager& storage,
                         Preferences& preferences, QWidget* parent)
    : QWidget(parent)
    , m_history(history)
    , m_intents(intents)
    , m_storage(storage)
    , m_preferences(preferences)
{
    setObjectName(QStringLiteral("contentView"));
    setFixedWidth(panelWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildHeader());
    column->addWidget(buildSearchBar());
    column->addWidget(new Rule(12, 12, 0.25, this));
    m_stack = new QStackedWidget(this);
    // The panel's height comes from the sizing rule; the list or the empty state fit into what is left.
    m_stack->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    m_emptyState = buildEmptyState();
    m_stack->addWidget(m_emptyState);
    m_noMatchState = buildNoMatchState();
    m_stack->addWidget(m_noMatchState);
    column->addWidget(m_stack, 1);
    column->addWidget(new Rule(12, 12, 0.25, this));
    column->addWidget(buildFooter());

    // The list reads the history through the search model; the footer counts the whole history, so an
    // entry that comes or goes outside the matches still reaches it.
    m_search = new HistorySearchModel(m_history, this);
    connect(m_search, &HistorySearchModel::resultsReady, this, &ContentView::onResultsReady);
    connect(m_searchField, &QLineEdit::textChanged, this, &ContentView::onQueryChanged);
    resetScrollArea();
    // Each operation on the history is placed once it is done, whether it reached the listed rows or not.
    connect(&m_history, &HistoryModel::itemsChanged, this, [this] {
        m_list->touch();
        m_list->sync();
    });
    connect(&m_preferences, &Preferences::changed, this, &ContentView::onPreferenceChanged);
    connect(&Theme::instance(), &Theme::changed, this, &ContentView::applyTheme);
    applyTheme();
    refreshHeader();
    m_list->sync();
}

ContentView::~ContentView()
{
    // A preview still open goes with the panel and has nothing to hand the focus back to.
    if (m_sheet)
        m_sheet->disconnect(this);
}

QWidget* ContentView::buildHeader()
{
    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("header"));
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(8);
    row->addWidget(new SymbolLabel(
        QStringLiteral("clipboard"), 14, [] { return Theme::palette().secondary; }, QFont::DemiBold, header));
    auto* title = new ThemedLabel(
        QStringLiteral("Pellamor"), pixelFont(14, QFont::DemiBold), [] { return Theme::palette().primary; }, header);
    title->setObjectName(QStringLiteral("title"));
    row->addWidget(title);
    row->addStretch(1);

    // While recording is paused; a click resumes it.
    m_pausedCapsule = new PausedCapsule(header);
    m_pausedCapsule->setObjectName(QStringLiteral("pausedCapsule"));
    connect(m_pausedCapsule, &QAbstractButton::clicked, this, [this] { m_preferences.setMonitoringPaused(false); });
    m_lockButton = new CircleSymbolButton(header);
    m_lockButton->setObjectName(QStringLiteral("lockButton"));
    connect(m_lockButton, &QAbstractButton::clicked, this,
            [this] { m_preferences.setPopoverStayOpen(!m_preferences.popoverStayOpen()); });
    m_pinButton = new CircleSymbolButton(header);
    m_pinButton->setObjectName(QStringLiteral("pinButton"));
    connect(m_pinButton, &QAbstractButton::clicked, this,
            [this] { m_preferences.setPopoverPinned(!m_preferences.popoverPinned()); });
    m_settingsButton = new CircleSymbolButton(header);
    m_settingsButton->setObjectName(QStringLiteral("settingsButton"));
    for (CircleSymbolButton* button : {m_lockButton, m_pinButton, m_settingsButton})
        button->setFocusPolicy(Qt::TabFocus);
    m_settingsButton->setSymbol(
        QStringLiteral("gearshape.fill"), [] { return ThemePalette::withOpacity(Theme::palette().gray, 0.8); },
        QFont::DemiBold);
    // The settings hang from the middle of the gear.
    m_settingsAnchor = new QWidget(m_settingsButton);
    m_settingsAnchor->setObjectName(QStringLiteral("SettingsAnchor"));
    m_settingsAnchor->setGeometry(13, 13, 1, 1);
    m_settingsAnchor->setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(m_settingsButton, &QAbstractButton::clicked, this, [this] { Q_EMIT settingsRequested(m_settingsAnchor); });

    row->addWidget(m_pausedCapsule);
    row->addWidget(m_lockButton);
    row->addWidget(m_pinButton);
    row->addWidget(m_settingsButton);
    return header;
}

QWidget* ContentView::buildSearchBar()
{
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("searchBar"));
    bar->setFixedHeight(searchBarHeight);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(12, 0, 12, searchBarHeight - SearchField::fieldHeight);
    m_searchField = new SearchField(bar);
    m_searchField->installEventFilter(this);
    row->addWidget(m_searchField);
    setFocusProxy(m_searchField);
    return bar;
}

QWidget* ContentView::buildNoMatchState()
{
    auto* empty = new QWidget(this);
    empty->setObjectName(QStringLiteral("noMatchState"));
    auto* column = new QVBoxLayout(empty);
    column->setContentsMargins(0, 12, 0, 12);
    column->setSpacing(8);
    column->addStretch(1);
    column->addWidget(new SymbolLabel(
                          QStringLiteral("magnifyingglass"), 24,
                          [] { return ThemePalette::withOpacity(Theme::palette().secondary, 0.5); }, QFont::Normal,
                          empty),
                      0, Qt::AlignHCenter);
    column->addWidget(
        new ThemedLabel(
            QStringLiteral("没有匹配的记录"), pixelFont(13), [] { return Theme::palette().secondary; }, empty),
        0, Qt::AlignHCenter);
    column->addStretch(1);
    return empty;
}

void ContentView::onQueryChanged(const QString& text)
{
    m_search->setQuery(text);
}

void ContentView::onResultsReady()
{
    // A new query starts at the top of its results.
    m_list->verticalScrollBar()->setValue(0);
    applyListing();
    m_list->sync();
    selectNewest();
}

QWidget* ContentView::buildFooter()
{
    auto* footer = new QWidget(this);
    footer->setObjectName(QStringLiteral("footer"));
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(16, 10, 16, 10);
    row->setSpacing(8);
    m_countLabel = new ThemedLabel(
        QString(), pixelFont(11), [] { return Theme::palette().secondary; }, footer);
    m_countLabel->setObjectName(QStringLiteral("countLabel"));
    row->addWidget(m_countLabel);
    // For a while after a clear or a delete, "撤销" stands where the count is.
    auto* undo = new UndoBar(m_history, UndoBar::Style::Inline, footer);
    connect(undo, &UndoBar::undoRequested, &m_intents, &EntryIntents::undoRequested);
    undo->setReplacedWidget(m_countLabel);
    row->addWidget(undo);
    row->addStretch(1);

    auto* quit = new FooterButton(
        QStringLiteral("power"), QStringLiteral("退出"),
        [] { return ThemePalette::withOpacity(Theme::palette().red, 0.8); },
        [] { return ThemePalette::withOpacity(Theme::palette().red, 0.1); }, false, footer);
    quit->setObjectName(QStringLiteral("quitButton"));
    quit->setFocusPolicy(Qt::TabFocus);
    m_quitButton = quit;
    connect(quit, &QAbstractButton::clicked, this, &ContentView::quitRequested);
    m_clearButton = new FooterButton(
        QStringLiteral("trash"), QStringLiteral("清除全部"), [] { return Theme::palette().secondary; },
        [] { return ThemePalette::withOpacity(Theme::palette().secondary, 0.1); }, true, footer);
    m_clearButton->setObjectName(QStringLiteral("clearButton"));
    m_clearButton->setFocusPolicy(Qt::TabFocus);
    connect(m_clearButton, &QAbstractButton::clicked, &m_intents, &EntryIntents::clearRequested);
    row->addWidget(quit);
    row->addWidget(m_clearButton);
    return footer;
}

QWidget* ContentView::buildEmptyState()
{
    auto* empty = new QWidget(this);
    empty->setObjectName(QStringLiteral("emptyState"));
    auto* column = new QVBoxLayout(empty);
    column->setContentsMargins(0, 20, 0, 20);
    column->setSpacing(8);
    column->addStretch(1);
    auto* symbol = new SymbolLabel(
        QStringLiteral("clipboard"), 32, [] { return ThemePalette::withOpacity(Theme::palette().secondary, 0.5); },
        QFont::Normal, empty);
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    auto* title = new ThemedLabel(
        QStringLiteral("暂无剪贴板记录"), pixelFont(13), [] { return Theme::palette().secondary; }, empty);
    column->addWidget(title, 0, Qt::AlignHCenter);
    auto* hint = new ThemedLabel(
        QStringLiteral("复制内容后自动出现在这里"), pixelFont(11),
        [] { return ThemePalette::withOpacity(Theme::palette().secondary, 0.7); }, empty);
    column->addWidget(hint, 0, Qt::AlignHCenter);
    column->addStretch(1);
    return empty;
}

void ContentView::resetScrollArea()
{
    // A fresh list, scrolled to the top: a theme change rebuilds it this way.
    // The old list goes once the new one stands in its place.
    std::unique_ptr<ClipListView> old(m_list);
    if (old)
        m_stack->removeWidget(old.get());
    const auto makeRow = [this](QWidget* parent) {
        auto* row = new ClipItemView(m_history, m_storage, parent);
        row->setOnHoverSet([this](std::optional<QUuid> id) {
            if (!m_pointerMoved && QCursor::pos() == m_pointerAtOpen)
                return;
            m_pointerMoved = true;
            setHoveredItem(id);
        });
        connect(row, &ClipItemView::previewRequested, this, &ContentView::presentPreview);
        connect(row, &ClipItemView::chosen, &m_intents, &EntryIntents::chosen);
        connect(row, &ClipItemView::chosen, m_searchField, &QLineEdit::clear);
        connect(row, &ClipItemView::pasteRequested, &m_intents, &EntryIntents::pasteRequested);
        connect(row, &ClipItemView::pasteRequested, m_searchField, &QLineEdit::clear);
        connect(row, &ClipItemView::plainTextChosen, &m_intents, &EntryIntents::plainTextChosen);
        connect(row, &ClipItemView::plainTextChosen, m_searchField, &QLineEdit::clear);
        connect(row, &ClipItemView::pinToggleRequested, &m_intents, &EntryIntents::pinToggleRequested);
        connect(row, &ClipItemView::deleteRequested, &m_intents, &EntryIntents::deleteRequested);
        return row;
    };
    const auto bindRow = [this](ClipItemView* row) {
        const bool selected = m_hoveredId == row->item().id;
        row->setHovered(selected);
        row->setFocusRing(selected && m_list && m_list->hasFocus());
    };
    m_list = new ClipListView(makeRow, bindRow, sectionHeader, m_stack);
    m_list->setObjectName(QStringLiteral("historyList"));
    // The rows move to their new places when an entry comes or goes, or the listed count changes.
    m_list->setAnimateTest([this] { return countChanged(); });
    // Rows that change height (a thumbnail arriving, an edited text) re-size the panel too.
    connect(m_list, &ClipListView::contentHeightChanged, this, &ContentView::updatePopoverSize);
    m_stack->addWidget(m_list);
    // Tab goes from the field to the list to the footer's buttons.
    m_list->setFocusPolicy(Qt::TabFocus);
    m_list->installEventFilter(this);
    setTabOrder(m_searchField, m_list);
    setTabOrder(m_list, m_quitButton);
    setTabOrder(m_quitButton, m_clearButton);
    applyTheme();
    connect(m_list, &ClipListView::listChanged, this, &ContentView::onListChanged);
    m_list->setModel(m_search);
    applyListing();
}

void ContentView::refreshHeader()
{
    m_pausedCapsule->setVisible(m_preferences.monitoringPaused());
    const bool stayOpen = m_preferences.popoverStayOpen();
    m_lockButton->setSymbol(
        stayOpen ? QStringLiteral("lock.fill") : QStringLiteral("lock.open.fill"),
        stayOpen ? std::function<QColor()>([] { return Theme::palette().accent; })
                 : [] { return ThemePalette::withOpacity(Theme::palette().gray, 0.8); });
    m_lockButton->setToolTip(stayOpen ? QStringLiteral("解除锁定") : QStringLiteral("留在桌面"));
    const bool pinned = m_preferences.popoverPinned();
    m_pinButton->setSymbol(
        pinned ? QStringLiteral("pin.fill") : QStringLiteral("pin"),
        pinned ? std::function<QColor()>([] { return Theme::palette().orange; })
               : [] { return ThemePalette::withOpacity(Theme::palette().gray, 0.8); });
    m_pinButton->setToolTip(pinned ? QStringLiteral("取消置顶") : QStringLiteral("始终置顶"));
}

void ContentView::onPreferenceChanged(Preferences::Key key)
{
    if (key == Preferences::Key::PopoverPinned || key == Preferences::Key::PopoverStayOpen ||
        key == Preferences::Key::MonitoringPaused)
        refreshHeader();
    else if (key == Preferences::Key::DisplayCount)
        applyListing();
    else if (key == Preferences::Key::ThemePreference) {
        resetScrollArea();
        m_list->sync();
    }
}

void ContentView::applyListing()
{
    const bool searching = m_search->isSearching();
    m_list->setListing(searching ? -1 : m_preferences.displayCount(), searching, !searching);
}

bool ContentView::countChanged() const
{
    return m_history.rowCount() != m_lastCount || m_preferences.displayCount() != m_lastDisplayCount;
}

void ContentView::refreshFooter()
{
    m_countLabel->setText(countText());
    m_clearButton->setEnabled(m_history.rowCount() > 0);
}

void ContentView::onListChanged()
{
    if (m_hoveredId && m_list->indexOf(*m_hoveredId) < 0)
        m_hoveredId.reset();
    if (m_list->entryCount() > 0)
        m_stack->setCurrentWidget(m_list);
    else
        m_stack->setCurrentWidget(m_search->isSearching() ? m_noMatchState : m_emptyState);
    refreshFooter();

    if (countChanged()) {
        const bool first = m_lastCount < 0;
        m_lastCount = m_history.rowCount();
        m_lastDisplayCount = m_preferences.displayCount();
        if (!first) {
            // What the rows change in reaction to the same event (a row's buttons) moves with the list.
            AnimatedUpdate::open({0.5, 0.82});
            Q_EMIT updatePopoverSize();
        }
    }
}

QList<ClipItemView*> ContentView::rows() const
{
    return m_list->liveRows();
}

QStringList ContentView::sectionTitles() const
{
    return m_list->sectionTitles();
}

int ContentView::preferredHeight() const
{
    int height = 0;
    for (int i = 0; i < layout()->count(); ++i) {
        QLayoutItem* item = layout()->itemAt(i);
        if (item->widget() != m_stack)
            height += item->hasHeightForWidth() ? item->heightForWidth(panelWidth) : item->sizeHint().height();
    }
    if (showsEmptyState())
        return height + m_emptyState->minimumSizeHint().height();
    if (showsNoMatchState())
        return height + m_noMatchState->minimumSizeHint().height();
    return height + m_list->contentHeight();
}

bool ContentView::showsEmptyState() const
{
    return m_stack->currentWidget() == m_emptyState;
}

bool ContentView::showsNoMatchState() const
{
    return m_stack->currentWidget() == m_noMatchState;
}

QString ContentView::countText() const
{
    QString text = QString::number(m_history.rowCount()) + QStringLiteral(" 条记录");
    if (m_search->isSearching())
        text += QStringLiteral(" · 匹配 %1 条").arg(m_search->rowCount());
    return text;
}

void ContentView::setHoveredItem(std::optional<QUuid> id)
{
    // The last report wins, so at most one row is drawn hovered.
    m_hoveredId = id;
    for (ClipItemView* row : m_list->liveRows())
        row->setHovered(id == row->item().id);
    updateFocusRing();
}

ClipItemView* ContentView::selectedRow() const
{
    return m_hoveredId ? m_list->rowFor(*m_hoveredId) : nullptr;
}

void ContentView::selectIndex(int index)
{
    const int count = m_list->entryCount();
    if (count == 0) {
        setHoveredItem(std::nullopt);
        return;
    }
    index = qBound(0, index, count - 1);
    m_list->ensureEntryVisible(index);
    setHoveredItem(m_list->itemAt(index).id);
}

bool ContentView::focusNextPrevChild(bool next)
{
    // Tab goes round the field, the list, the footer's buttons and the header's: the panel forwards its
    // own focus to the field, so the order Qt derives from the widget tree would skip the header.
    QList<QWidget*> order;
    for (QWidget* widget : std::initializer_list<QWidget*>{m_searchField, m_list, m_quitButton, m_clearButton,
                                                           m_lockButton, m_pinButton, m_settingsButton}) {
        if (widget->isVisible() && widget->isEnabled())
            order.append(widget);
    }
    const qsizetype current = order.indexOf(focusWidget());
    if (current < 0)
        return QWidget::focusNextPrevChild(next);
    const qsizetype count = order.size();
    order.at((current + (next ? 1 : count - 1)) % count)->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void ContentView::selectNewest()
{
    // The newest unpinned entry: pinned ones come first, and Up reaches them.
    const int count = m_list->entryCount();
    int index = 0;
    while (index < count && m_list->itemAt(index).isPinned)
        ++index;
    selectIndex(index < count ? index : 0);
}

void ContentView::updateFocusRing()
{
    const bool listFocused = m_list->hasFocus();
    for (ClipItemView* row : m_list->liveRows())
        row->setFocusRing(listFocused && m_hoveredId == row->item().id);
}

bool ContentView::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == m_searchField || watched == m_list) && event->type() == QEvent::KeyPress)
        return handleKey(watched, static_cast<QKeyEvent*>(event));
    if (watched == m_list && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        updateFocusRing();
    return QWidget::eventFilter(watched, event);
}

bool ContentView::handleKey(QObject* watched, QKeyEvent* event)
{
    const bool inField = watched == m_searchField;
    ClipItemView* selected = selectedRow();
    const int current = m_hoveredId ? m_list->indexOf(*m_hoveredId) : -1;
    // About as many rows as the list shows at once.
    const int page = qMax(1, m_list->viewport()->height() / AppRowHeight);
    // While a removal can be taken back, Ctrl+Z takes it back; otherwise the field undoes its typing.
    if (event->matches(QKeySequence::Undo) && m_history.pendingRemoval()) {
        Q_EMIT m_intents.undoRequested();
        return true;
    }
    switch (event->key()) {
    case Qt::Key_Up:
        selectIndex(current - 1);
        return true;
    case Qt::Key_Down:
        selectIndex(current + 1);
        return true;
    case Qt::Key_PageUp:
        selectIndex(current - page);
        return true;
    case Qt::Key_PageDown:
        selectIndex(current < 0 ? page - 1 : current + page);
        return true;
    case Qt::Key_Home:
        selectIndex(0);
        return true;
    case Qt::Key_End:
        selectIndex(m_list->entryCount() - 1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Shift pastes it once into the window the user came from, whatever the setting; the shell
        // closes the panel for that.
        if (selected && event->modifiers().testFlag(Qt::ShiftModifier)) {
            Q_EMIT m_intents.pasteRequested(selected->item());
            m_searchField->clear();
        } else if (selected) {
            // Alt chooses its text alone, without the formats it keeps.
            if (event->modifiers().testFlag(Qt::AltModifier) && selected->item().isText())
                Q_EMIT m_intents.plainTextChosen(selected->item());
            else
                Q_EMIT m_intents.chosen(selected->item());
            m_searchField->clear();
            if (!m_preferences.popoverPinned() && !m_preferences.popoverStayOpen())
                Q_EMIT closeRequested();
        }
        return true;
    case Qt::Key_Escape:
        if (!m_searchField->text().isEmpty())
            m_searchField->clear();
        else
            Q_EMIT closeRequested();
        return true;
    case Qt::Key_Delete:
        // In the field, Delete still deletes the character after the cursor.
        if (!selected || (inField && m_searchField->cursorPosition() < m_searchField->text().size()))
            return false;
        Q_EMIT m_intents.deleteRequested(selected->item());
        selectIndex(current);
        return true;
    case Qt::Key_F3:
        if (selected)
            presentPreview(selected->item());
        return true;
    case Qt::Key_Space:
        // In the field a space is typed; the list previews its selected entry.
        if (inField)
            return false;
        if (selected)
            presentPreview(selected->item());
        return true;
    case Qt::Key_P:
        if (event->modifiers() == Qt::ControlModifier) {
            if (selected) {
                const QUuid id = selected->item().id;
                Q_EMIT m_intents.pinToggleRequested(id);
                if (const int index = m_list->indexOf(id); index >= 0)
                    selectIndex(index);
            }
            return true;
        }
        return false;
    default:
        return false;
    }
}

void ContentView::presentPreview(const ClipboardItem& item)
{
    if (m_sheet)
        m_sheet->close();
    auto* sheet = new QWidget(window(), Qt::Dialog | Qt::FramelessWindowHint);
    sheet->setObjectName(QStringLiteral("previewSheet"));
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    const auto dismiss = [sheet = QPointer<QWidget>(sheet)] {
        if (sheet)
            sheet->close();
    };
    if (item.isImage()) {
        auto* view = new ImagePreviewView(m_storage, item.content, dismiss, sheet);
        view->offerRecognizedText(m_history, m_intents);
        layout->addWidget(view);
    } else
        layout->addWidget(new TextPreviewView(m_intents, item, dismiss, sheet));
    sheet->adjustSize();

    // Over the panel, from its top edge, kept on the screen.
    const QRect panel = window()->frameGeometry();
    QRect frame(QPoint(panel.center().x() - sheet->width() / 2, panel.top()), sheet->size());
    if (const QScreen* screen = window()->screen()) {
        const QRect available = screen->availableGeometry();
        frame.moveLeft(
            qBound(available.left(), frame.left(), qMax(available.left(), available.right() - frame.width())));
        frame.moveTop(qBound(available.top(), frame.top(), qMax(available.top(), available.bottom() - frame.height())));
    }
    sheet->move(frame.topLeft());
    // However the preview closes, the panel takes the keyboard back, where it was: the window manager
    // need not hand the focus back to a window without a taskbar entry.
    QWidget* focused = m_list->hasFocus() ? static_cast<QWidget*>(m_list) : m_searchField;
    connect(sheet, &QObject::destroyed, this, [this, focused = QPointer<QWidget>(focused)](QObject* gone) {
        QWidget* panel = window();
        // A preview replaced by the next one, or closed with the panel, leaves the focus alone.
        if ((m_sheet && m_sheet.data() != gone) || !panel->isVisible())
            return;
        const auto takeFocus = [panel, focused] {
            panel->raise();
            panel->activateWindow();
            WindowEffects::takeFocus(panel->windowHandle());
            if (focused)
                focused->setFocus(Qt::OtherFocusReason);
        };
        takeFocus();
        // The window manager learns that the preview is gone in its own time, and may then hand the focus
        // to nothing after our request: ask again when that happens, until the panel has the keyboard.
        auto* watch = new QObject(panel);
        connect(qGuiApp, &QGuiApplication::focusWindowChanged, watch, [panel, watch, takeFocus](QWindow* now) {
            if (!panel->isVisible() || now == panel->windowHandle())
                watch->deleteLater();
            else if (!now)
                takeFocus();
        });
    });
    m_sheet = sheet;
    sheet->show();
    sheet->raise();
    sheet->activateWindow();
}

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The user can type a search at once, and Return takes the newest entry. A query left from before
    // is shown selected, so the first key replaces it.
    m_searchField->setFocus(Qt::PopupFocusReason);
    m_searchField->selectAll();
    selectNewest();
    // A pointer resting where the panel opens is not a choice of row.
    m_pointerAtOpen = QCursor::pos();
    m_pointerMoved = false;
}

void ContentView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (m_sheet && !event->spontaneous())
        m_sheet->close();
}

bool ContentView::pointerOnSettingsButton() const
{
    return m_settingsButton->isVisible() &&
           QRect(m_settingsButton->mapToGlobal(QPoint(0, 0)), m_settingsButton->size()).contains(QCursor::pos());
}

void ContentView::applyTheme()
{
    // Children (the list's viewport among them) draw on the panel's text-background colour.
    const ThemePalette& theme = Theme::palette();
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, theme.textBackground);
    palette.setColor(QPalette::Base, theme.textBackground);
    palette.setColor(QPalette::WindowText, theme.primary);
    setPalette(palette);
    m_list->verticalScrollBar()->setStyleSheet(slimScrollBarStyle(ThemePalette::withOpacity(theme.secondary, 0.45)));
    update();
}

void ContentView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::palette().textBackground);
}
