#include "ConfirmClearDialog.h"

#include "SettingsWidgets.h"
#include "ui/RoundedShape.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int dialogWidth = 260;
constexpr qreal cornerRadius = 10;

QString buttonStyle(const QColor& face, const QColor& text, const QColor& border)
{
    return QStringLiteral("QPushButton { background: %1; color: %2; border: 0.5px solid %3; border-radius: 5px;"
                          " padding: 4px 12px; min-height: 16px; }"
                          "QPushButton:pressed { background: %4; }")
        .arg(face.name(QColor::HexArgb), text.name(QColor::HexArgb), border.name(QColor::HexArgb),
             face.darker(115).name(QColor::HexArgb));
}

} // namespace

ConfirmClearDialog* ConfirmClearDialog::clearAll(QWidget* parent, const ClipboardItems& items)
{
    const auto unpinned =
        std::count_if(items.cbegin(), items.cend(), [](const ClipboardItem& item) { return !item.isPinned; });
    return new ConfirmClearDialog(parent, QStringLiteral("确认清空全部？"),
                                  QStringLiteral("将清除 %1 条未置顶记录，8 秒内可撤销。").arg(unpinned),
                                  QStringLiteral("清空"));
}

ConfirmClearDialog* ConfirmClearDialog::autoClear(QWidget* parent, qsizetype count, const QString& periodText)
{
    return new ConfirmClearDialog(
        parent, QStringLiteral("确认更改自动清理？"),
        QStringLiteral("将删除 %1 条记录（超过 %2的未置顶记录）。").arg(count).arg(periodText), QStringLiteral("删除"));
}

ConfirmClearDialog* ConfirmClearDialog::supportAddress(QWidget* parent, const QString& address)
{
    auto* dialog = new ConfirmClearDialog(parent, QStringLiteral("反馈与支持"), address, QStringLiteral("复制"));
    dialog->setObjectName(QStringLiteral("supportAddressDialog"));
    dialog->m_destructive = false;
    dialog->m_cancel->setText(QStringLiteral("关闭"));
    if (auto* message = dialog->findChild<QLabel*>(QStringLiteral("confirmMessage")))
        message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dialog->applyTheme();
    return dialog;
}

ConfirmClearDialog::ConfirmClearDialog(QWidget* parent, const QString& titleText, const QString& messageText,
                                       const QString& confirmText)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("confirmClearDialog"));
    setWindowTitle(titleText);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedWidth(dialogWidth);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 16);
    column->setSpacing(8);
    auto* title = new SettingsLabel(
        titleText, pixelFont(13, QFont::Bold), [] { return Theme::palette().primary; }, this);
    title->setObjectName(QStringLiteral("confirmTitle"));
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    auto* message = new SettingsLabel(
        messageText, pixelFont(11), [] { return Theme::palette().secondary; }, this);
    message->setObjectName(QStringLiteral("confirmMessage"));
    message->setAlignment(Qt::AlignCenter);
    message->setWordWrap(true);
    column->addWidget(message);
    column->addSpacing(8);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_cancel = new QPushButton(QStringLiteral("取消"), this);
    m_cancel->setObjectName(QStringLiteral("cancelClearButton"));
    m_clear = new QPushButton(confirmText, this);
    m_clear->setObjectName(QStringLiteral("confirmClearButton"));
    for (QPushButton* button : {m_cancel, m_clear}) {
        button->setFont(pixelFont(12));
        button->setCursor(Qt::PointingHandCursor);
        buttons->addWidget(button, 1);
    }
    // Return answers with the harmless choice; only a deliberate click clears.
    m_clear->setAutoDefault(false);
    m_cancel->setDefault(true);
    column->addLayout(buttons);

    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_clear, &QPushButton::clicked, this, &QDialog::accept);
    connect(&Theme::instance(), &Theme::changed, this, &ConfirmClearDialog::applyTheme);
    applyTheme();
}

void ConfirmClearDialog::present()
{
    adjustSize();
    if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(owner->frameGeometry().center());
        if (const QScreen* screen = owner->screen()) {
            const QRect available = screen->availableGeometry();
            frame.moveLeft(qBound(available.left(), frame.left(), qMax(available.left(), available.right() - width())));
            frame.moveTop(qBound(available.top(), frame.top(), qMax(available.top(), available.bottom() - height())));
        }
        move(frame.topLeft());
    }
    open();
    raise();
    activateWindow();
    m_cancel->setFocus();
}

void ConfirmClearDialog::applyTheme()
{
    const ThemePalette& palette = Theme::palette();
    m_cancel->setStyleSheet(
        buttonStyle(palette.controlBackground, palette.primary, ThemePalette::withOpacity(palette.secondary, 0.3)));
    const QColor face = m_destructive ? palette.red : palette.blue;
    m_clear->setStyleSheet(buttonStyle(face, Qt::white, face));
    update();
}

void ConfirmClearDialog::paintEvent(QPaintEvent*)
{
    const ThemePalette& palette = Theme::palette();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(palette.windowBackground);
    painter.setPen(QPen(ThemePalette::withOpacity(palette.secondary, 0.3), 0.5));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), cornerRadius, cornerRadius);
}

void ConfirmClearDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    RoundedShape::apply(this, cornerRadius);
}
