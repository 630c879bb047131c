#include "TextPreviewView.h"

#include "core/EntryIntents.h"
#include "ui/PreviewChrome.h"
#include "ui/Theme.h"
#include "ui/ThemeEmoji.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// "保存修改": white text on a blue, slightly rounded face, no platform chrome.
class SaveButton : public QPushButton
{
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(isDown() ? Theme::palette().blue.darker(115) : Theme::palette().blue);
        painter.drawRoundedRect(rect(), 4, 4);
        painter.setPen(Qt::white);
        painter.setFont(font());
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
    QSize sizeHint() const override
    {
        return {8 + fontMetrics().horizontalAdvance(text()) + 8, 4 + fontMetrics().height() + 4};
    }
};

} // namespace

TextPreviewView::TextPreviewView(EntryIntents& intents, const ClipboardItem& item, std::function<void()> onDismiss,
                                 QWidget* parent)
    : QWidget(parent)
    , m_intents(intents)
    , m_item(item)
    , m_onDismiss(std::move(onDismiss))
{
    setObjectName(QStringLiteral("textPreview"));
    setFixedSize(frameSize);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* titleBar = new QHBoxLayout;
    titleBar->setContentsMargins(16, 10, 16, 10);
    titleBar->addStretch();
    auto* close = new PreviewCloseButton(this);
    connect(close, &QAbstractButton::clicked, this, &TextPreviewView::cancel);
    titleBar->addWidget(close);
    column->addLayout(titleBar);
    auto* topRule = new QWidget(this);
    topRule->setObjectName(QStringLiteral("rule"));
    topRule->setFixedHeight(1);
    column->addWidget(topRule);

    m_editor = new QPlainTextEdit(this);
    m_editor->setObjectName(QStringLiteral("editor"));
    m_editor->setFont(pixelFont(14));
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->setPlainText(m_item.content);
    new EmojiHighlighter(m_editor->document());
    m_editor->installEventFilter(this);
    auto* editorBox = new QVBoxLayout;
    editorBox->setContentsMargins(8, 8, 8, 8);
    editorBox->addWidget(m_editor);
    column->addLayout(editorBox, 1);
    auto* bottomRule = new QWidget(this);
    bottomRule->setObjectName(QStringLiteral("rule"));
    bottomRule->setFixedHeight(1);
    column->addWidget(bottomRule);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(12, 12, 12, 12);
    buttons->setSpacing(8);
    auto* copy = new QPushButton(QStringLiteral("整段复制"), this);
    copy->setObjectName(QStringLiteral("copyButton"));
    copy->setFont(pixelFont(12));
    copy->setAutoDefault(false);
    auto* cancelButton = new QPushButton(QStringLiteral("取消"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setFont(pixelFont(12));
    cancelButton->setAutoDefault(false);
    auto* saveButton = new SaveButton(QStringLiteral("保存修改"), this);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    saveButton->setFont(pixelFont(12));
    saveButton->setCursor(Qt::PointingHandCursor);
    buttons->addWidget(copy);
    buttons->addStretch();
    buttons->addWidget(cancelButton);
    buttons->addWidget(saveButton);
    column->addLayout(buttons);

    connect(copy, &QPushButton::clicked, this, &TextPreviewView::copyWhole);
    connect(cancelButton, &QPushButton::clicked, this, &TextPreviewView::cancel);
    connect(saveButton, &QPushButton::clicked, this, &TextPreviewView::save);

    const auto applyTheme = [this, topRule, bottomRule] {
        const ThemePalette& palette = Theme::palette();
        const QString rule = QStringLiteral("background: %1;")
                                 .arg(ThemePalette::withOpacity(palette.secondary, 0.25).name(QColor::HexArgb));
        topRule->setStyleSheet(rule);
        bottomRule->setStyleSheet(rule);
        // The standard buttons follow the panel's theme, not the desktop's.
        QPalette own = this->palette();
        own.setColor(QPalette::Window, palette.windowBackground);
        own.setColor(QPalette::Button, palette.dark ? palette.windowBackground.lighter(140) : QColor(250, 250, 250));
        own.setColor(QPalette::ButtonText, palette.primary);
        own.setColor(QPalette::WindowText, palette.primary);
        setPalette(own);
        QPalette editorPalette = m_editor->palette();
        editorPalette.setColor(QPalette::Base, palette.textBackground);
        editorPalette.setColor(QPalette::Text, palette.primary);
        m_editor->setPalette(editorPalette);
        update();
    };
    applyTheme();
    connect(&Theme::instance(), &Theme::changed, this, applyTheme);
    m_editor->setFocus();
}

QString TextPreviewView::text() const
{
    return m_editor->toPlainText();
}

void TextPreviewView::close()
{
    if (m_onDismiss)
        m_onDismiss();
}

void TextPreviewView::copyWhole()
{
    // The text as it stands, edited or not; it never enters the history.
    Q_EMIT m_intents.textCopyRequested(text());
    close();
}

void TextPreviewView::save()
{
    Q_EMIT m_intents.editSaved(m_item, text());
    close();
}

void TextPreviewView::cancel()
{
    close();
}

void TextPreviewView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        cancel();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        save();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TextPreviewView::eventFilter(QObject* watched, QEvent* event)
{
    // Inside the editor Return breaks the line; Escape still cancels, as the editor has no use for it.
    if (watched == m_editor && event->type() == QEvent::KeyPress) {
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            cancel();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TextPreviewView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::palette().windowBackground);
    paintPreviewTitle(painter, QRect(0, 0, width(), 40), QStringLiteral("查看与编辑"));
}
