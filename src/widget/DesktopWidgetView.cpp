#include "DesktopWidgetView.h"

#include "WidgetGridView.h"
#include "WidgetItemModel.h"
#include "core/EntryIntents.h"
#include "core/HistoryModel.h"
#include "core/HistorySearchModel.h"
#include "platform/Preferences.h"
#include "ui/SearchField.h"
#include "ui/SymbolIcon.h"
#include "ui/Theme.h"
#include "ui/UndoBar.h"
#include "ui/WindowDragHandler.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

// The entry count: blue digits on a white disc.
class Counter : public QWidget
{
public:
    explicit Counter(const HistoryModel& history, QWidget* parent)
        : QWidget(parent)
        , m_history(history)
    {
        setObjectName(QStringLiteral("counter"));
        setFixedSize(30, 30);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    QString text() const { return QString::number(m_history.rowCount()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(rect());
        painter.setPen(DesktopWidgetView::pellamorBlue());
        painter.setFont(pixelFont(10, QFont::Bold));
        painter.drawText(rect(), Qt::AlignCenter, text());
    }

private:
    const HistoryModel& m_history;
};

// A symbol and a text that do not take clicks, so presses reach the drag surface under them.
class HeaderTitle : public QWidget
{
public:
    explicit HeaderTitle(QWidget* parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFixedSize(130, 30);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        SymbolIcon::paint(painter, QRectF(0, 0, 20, height()), QStringLiteral("list.clipboard.fill"), Qt::white, 14,
                          QFont::Bold);
        painter.setPen(Qt::white);
        painter.setFont(pixelFont(13, QFont::Bold));
        painter.drawText(QRect(28, 0, width() - 28, height()), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Pellamor 看板"));
    }
};

class EmptyBoard : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        const ThemePalette& palette = Theme::palette();
        QPainter painter(this);
        painter.fillRect(rect(),
                         ThemePalette::withOpacity(palette.dark ? QColor(36, 36, 38) : QColor(Qt::white), 0.95));
        const QPointF centre = QRectF(rect()).center();
        SymbolIcon::paint(painter, QRectF(centre.x() - 20, centre.y() - 34, 40, 40), QStringLiteral("tray"),
                          palette.secondary, 24);
        painter.setPen(palette.secondary);
        painter.setFont(pixelFont(12, QFont::Normal));
        painter.drawText(QRectF(0, centre.y() + 8, width(), 20), Qt::AlignHCenter | Qt::AlignTop,
                         QStringLiteral("暂无记录"));
    }
};

// The grid's white sheet under the tiles.
class GridSheet : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const bool dark = Theme::palette().dark;
        painter.fillRect(rect(), ThemePalette::withOpacity(dark ? QColor(36, 36, 38) : QColor(Qt::white), 0.98));
    }
};

} // namespace

QColor DesktopWidgetView::pellamorBlue()
{
    static const QColor blue = QColor::fromRgbF(0.1, 0.45, 0.85, 1.0);
    return blue;
}

WidgetHeaderButton::WidgetHeaderButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setFixedSize(30, 30);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void WidgetHeaderButton::setSymbol(const QString& symbol)
{
    m_symbol = symbol;
    update();
}

void WidgetHeaderButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, isDown() ? 70 : 38));
    painter.drawEllipse(rect());
    SymbolIcon::paint(painter, rect(), m_symbol, Qt::white, 11, QFont::Bold);
}

DesktopWidgetView::DesktopWidgetView(HistoryModel& history, EntryIntents& intents, StorageManager& storage,
                                     Preferences& preferences, QWidget* parent)
    : QWidget(parent)
    , m_history(history)
    , m_intents(intents)
    , m_preferences(preferences)
{
    setObjectName(QStringLiteral("desktopWidgetView"));
    setFixedSize(boardSide, boardSide);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_dragSurface = new WindowDragHandler(preferences, this);
    m_dragSurface->setFixedHeight(headerHeight);
    QColor tint = pellamorBlue();
    tint.setAlphaF(0.85);
    m_dragSurface->setTint(tint);
    auto* row = new QHBoxLayout(m_dragSurface);
    row->setContentsMargins(16, 0, 16, 0);
    row->setSpacing(8);
    row->addWidget(new HeaderTitle(m_dragSurface));
    row->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    m_lockButton = new WidgetHeaderButton(m_dragSurface);
    m_lockButton->setObjectName(QStringLiteral("widgetLockButton"));
    m_pinButton = new WidgetHeaderButton(m_dragSurface);
    m_pinButton->setObjectName(QStringLiteral("widgetPinButton"));
    m_clearButton = new WidgetHeaderButton(m_dragSurface);
    m_clearButton->setObjectName(QStringLiteral("widgetClearButton"));
    m_clearButton->setSymbol(QStringLiteral("trash"));
    m_clearButton->setToolTip(QStringLiteral("清空所有剪贴历史"));
    buttons->addWidget(m_lockButton);
    buttons->addWidget(m_pinButton);
    buttons->addWidget(m_clearButton);
    row->addLayout(buttons);
    m_counter = new Counter(history, m_dragSurface);
    row->addWidget(m_counter);
    column->addWidget(m_dragSurface);

    connect(m_lockButton, &QAbstractButton::clicked, this,
            [this] { m_preferences.setWidgetLocked(!m_preferences.widgetLocked()); });
    connect(m_pinButton, &QAbstractButton::clicked, this,
            [this] { m_preferences.setWidgetPinned(!m_preferences.widgetPinned()); });
    connect(m_clearButton, &QAbstractButton::clicked, this, &DesktopWidgetView::clearRequested);

    m_content = new QStackedWidget(this);
    m_emptyState = new EmptyBoard(m_content);
    m_emptyState->setObjectName(QStringLiteral("widgetEmptyState"));
    auto* sheet = new GridSheet(m_content);
    auto* sheetLayout = new QVBoxLayout(sheet);
    sheetLayout->setContentsMargins(0, 0, 0, 0);
    sheetLayout->setSpacing(0);
    // A slim search field over the grid; the counter in the header keeps counting every entry.
    m_searchField = new SearchField(sheet);
    m_searchField->setFixedHeight(searchFieldHeight);
    m_searchField->setFont(pixelFont(12));
    m_searchField->installEventFilter(this);
    auto* searchRow = new QHBoxLayout;
    searchRow->setContentsMargins(WidgetGridView::margin, 8, WidgetGridView::margin, 0);
    searchRow->addWidget(m_searchField);
    sheetLayout->addLayout(searchRow);
    m_grid = new WidgetGridView(history, storage, sheet);
    m_grid->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    sheetLayout->addWidget(m_grid);
    m_content->addWidget(m_emptyState);
    m_content->addWidget(sheet);
    column->addWidget(m_content, 1);

    // After a clear or a delete, "撤销" floats over the bottom of the grid for a while.
    m_undoToast = new UndoBar(history, UndoBar::Style::Toast, this);
    connect(m_undoToast, &UndoBar::undoRequested, &m_intents, &EntryIntents::undoRequested);
    connect(m_undoToast, &UndoBar::visibilityChanged, this, &DesktopWidgetView::placeUndoToast);
    placeUndoToast();

    connect(m_grid, &WidgetGridView::previewRequested, this, &DesktopWidgetView::previewRequested);
    connect(m_grid, &WidgetGridView::chosen, &m_intents, &EntryIntents::chosen);
    connect(m_grid, &WidgetGridView::plainTextChosen, &m_intents, &EntryIntents::plainTextChosen);
    connect(m_grid, &WidgetGridView::pinToggleRequested, &m_intents, &EntryIntents::pinToggleRequested);
    connect(m_grid, &WidgetGridView::deleteRequested, &m_intents, &EntryIntents::deleteRequested);
    connect(m_searchField, &QLineEdit::textChanged, m_grid->itemModel()->searchModel(), &HistorySearchModel::setQuery);
    connect(m_grid->itemModel()->searchModel(), &HistorySearchModel::resultsReady, m_grid, [this] {
        m_grid->scrollToTop();
        m_grid->viewport()->update();
    });
    connect(&m_history, &HistoryModel::itemsChanged, this, &DesktopWidgetView::refresh);
    connect(&m_preferences, &Preferences::changed, this, &DesktopWidgetView::refreshButtons);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
    refresh();
    refreshButtons();
}

void DesktopWidgetView::refresh()
{
    m_content->setCurrentIndex(m_history.rowCount() == 0 ? 0 : 1);
    m_counter->update();
}

void DesktopWidgetView::refreshButtons()
{
    const bool locked = m_preferences.widgetLocked();
    m_lockButton->setSymbol(locked ? QStringLiteral("lock.fill") : QStringLiteral("lock.open.fill"));
    m_lockButton->setToolTip(locked ? QStringLiteral("解除锁定") : QStringLiteral("锁定位置"));
    const bool pinned = m_preferences.widgetPinned();
    m_pinButton->setSymbol(pinned ? QStringLiteral("pin.fill") : QStringLiteral("pin"));
    m_pinButton->setToolTip(pinned ? QStringLiteral("取消置顶") : QStringLiteral("置顶显示"));
}

bool DesktopWidgetView::showsEmptyState() const
{
    return m_content->currentWidget() == m_emptyState;
}

QString DesktopWidgetView::counterText() const
{
    return static_cast<Counter*>(m_counter)->text();
}

void DesktopWidgetView::placeUndoToast()
{
    const QSize size = m_undoToast->sizeHint();
    m_undoToast->setGeometry(QRect(QPoint((width() - size.width()) / 2, height() - size.height() - 14), size));
    m_undoToast->raise();
}

bool DesktopWidgetView::undoOnKey(QKeyEvent* event)
{
    if (!event->matches(QKeySequence::Undo) || !m_history.pendingRemoval())
        return false;
    Q_EMIT m_intents.undoRequested();
    return true;
}

void DesktopWidgetView::keyPressEvent(QKeyEvent* event)
{
    if (!undoOnKey(event))
        QWidget::keyPressEvent(event);
}

bool DesktopWidgetView::eventFilter(QObject* watched, QEvent* event)
{
    // The field would undo its own typing instead.
    if (watched == m_searchField && event->type() == QEvent::KeyPress && undoOnKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

void DesktopWidgetView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeUndoToast();
    // Rounded corners: everything inside is clipped to the card.
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    setMask(QRegion(shape.toFillPolygon().toPolygon()));
}
