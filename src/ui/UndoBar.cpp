#include "UndoBar.h"

#include "core/HistoryModel.h"
#include "ui/PressableActionButton.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

UndoBar::UndoBar(const HistoryModel& history, Style style, QWidget* parent)
    : QWidget(parent)
    , m_history(history)
    , m_style(style)
    , m_label(new QLabel(this))
    , m_undoButton(new PressableActionButton(
          QStringLiteral("撤销"), std::nullopt, [] { return Theme::palette().blue; }, this))
{
    setObjectName(QStringLiteral("undoBar"));
    m_label->setObjectName(QStringLiteral("undoMessage"));
    m_label->setFont(pixelFont(11));
    m_undoButton->setObjectName(QStringLiteral("undoButton"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(style == Style::Toast ? QMargins(12, 4, 6, 4) : QMargins());
    row->setSpacing(6);
    row->addWidget(m_label);
    row->addWidget(m_undoButton);
    connect(m_undoButton, &QAbstractButton::clicked, this, &UndoBar::undoRequested);
    connect(&m_history, &HistoryModel::pendingRemovalChanged, this, &UndoBar::refresh);
    connect(&Theme::instance(), &Theme::changed, this, &UndoBar::applyColors);
    applyColors();
    refresh();
}

QString UndoBar::message(const HistoryModel& history)
{
    const auto& removal = history.pendingRemoval();
    if (!removal)
        return QString();
    const QString count = QString::number(removal->items.size());
    switch (removal->kind) {
    case HistoryModel::Removal::Kind::Cleared:
        return QStringLiteral("已清除 %1 条记录").arg(count);
    case HistoryModel::Removal::Kind::Expired:
        return QStringLiteral("已自动清理 %1 条记录").arg(count);
    case HistoryModel::Removal::Kind::Deleted:
        break;
    }
    return QStringLiteral("已删除 %1 条记录").arg(count);
}

QString UndoBar::text() const
{
    return m_label->text();
}

void UndoBar::setReplacedWidget(QWidget* widget)
{
    m_replaced = widget;
    refresh();
}

void UndoBar::refresh()
{
    const QString text = message(m_history);
    m_label->setText(text);
    const bool shown = !text.isEmpty();
    if (m_replaced)
        m_replaced->setVisible(!shown);
    setVisible(shown);
    if (shown && m_style == Style::Toast)
        raise();
    Q_EMIT visibilityChanged(shown);
}

void UndoBar::applyColors()
{
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::WindowText, m_style == Style::Toast ? QColor(Qt::white) : Theme::palette().secondary);
    m_label->setPalette(palette);
    update();
}

void UndoBar::paintEvent(QPaintEvent*)
{
    if (m_style != Style::Toast)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::palette().dark ? QColor(64, 64, 68, 240) : QColor(40, 40, 44, 230));
    const QRectF capsule = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
}
