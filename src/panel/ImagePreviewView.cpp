#include "ImagePreviewView.h"

#include "core/EntryIntents.h"
#include "core/HistoryModel.h"
#include "core/StorageManager.h"
#include "ui/FooterButton.h"
#include "ui/PreviewChrome.h"
#include "ui/SymbolIcon.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>

namespace {

constexpr int titleBarHeight = 10 + 20 + 10;
constexpr int imagePadding = 16;
constexpr QSize placeholderSize(300, 200);

} // namespace

ImagePreviewView::ImagePreviewView(StorageManager& storage, const QString& filename, std::function<void()> onDismiss,
                                   QWidget* parent)
    : QWidget(parent)
    , m_storage(storage)
    , m_filename(filename)
    , m_onDismiss(std::move(onDismiss))
{
    setObjectName(QStringLiteral("imagePreview"));
    setFixedSize(frameSize);
    // Holds the keyboard focus of its window, so Escape reaches it.
    setFocusPolicy(Qt::StrongFocus);
    setFocus();
    m_closeButton = new PreviewCloseButton(this);
    connect(static_cast<PreviewCloseButton*>(m_closeButton), &QAbstractButton::clicked, this, [this] {
        if (m_onDismiss)
            m_onDismiss();
    });
    auto* copyText = new FooterButton(
        QStringLiteral("doc.text"), QStringLiteral("复制识别的文字"), [] { return Theme::palette().secondary; },
        [] { return ThemePalette::withOpacity(Theme::palette().secondary, 0.1); }, false, this);
    copyText->setObjectName(QStringLiteral("copyRecognizedTextButton"));
    copyText->hide();
    connect(copyText, &QAbstractButton::clicked, this, [this] {
        if (m_copyText && !m_recognizedText.isEmpty())
            m_copyText(m_recognizedText);
    });
    m_copyTextButton = copyText;
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

void ImagePreviewView::setRecognizedText(const QString& text, std::function<void(const QString&)> copyText)
{
    m_recognizedText = text;
    m_copyText = std::move(copyText);
    m_copyTextButton->setVisible(!text.isEmpty() && m_copyText);
    layoutButtons();
}

void ImagePreviewView::offerRecognizedText(const HistoryModel& history, EntryIntents& intents)
{
    setRecognizedText(history.imageText(m_filename),
                      [&intents](const QString& text) { Q_EMIT intents.textCopyRequested(text); });
}

QImage ImagePreviewView::currentImage() const
{
    return m_storage.loadImage(m_filename);
}

bool ImagePreviewView::showsPlaceholder() const
{
    return currentImage().isNull();
}

QSize ImagePreviewView::fittedImageSize(const QSize& image)
{
    if (image.isEmpty())
        return {};
    return image.scaled(maxImageSize, Qt::KeepAspectRatio);
}

QRect ImagePreviewView::columnRect() const
{
    const QImage image = currentImage();
    const int bodyHeight =
        image.isNull() ? placeholderSize.height() : fittedImageSize(image.size()).height() + 2 * imagePadding;
    const int height = qMin(frameSize.height(), titleBarHeight + 1 + bodyHeight);
    return QRect(0, (frameSize.height() - height) / 2, frameSize.width(), height);
}

QRect ImagePreviewView::imageRect() const
{
    const QImage image = currentImage();
    if (image.isNull())
        return {};
    const QRect column = columnRect();
    const QSize fitted = fittedImageSize(image.size());
    const int bodyTop = column.top() + titleBarHeight + 1;
    return QRect((frameSize.width() - fitted.width()) / 2,
                 bodyTop + (column.bottom() + 1 - bodyTop - fitted.height()) / 2, fitted.width(), fitted.height());
}

void ImagePreviewView::layoutButtons()
{
    const QRect column = columnRect();
    m_closeButton->setGeometry(frameSize.width() - 16 - 20, column.top() + 10, 20, 20);
    const QSize copySize = m_copyTextButton->sizeHint();
    m_copyTextButton->setGeometry(m_closeButton->geometry().left() - 10 - copySize.width(),
                                  column.top() + (titleBarHeight - copySize.height()) / 2, copySize.width(),
                                  copySize.height());
}

void ImagePreviewView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutButtons();
}

void ImagePreviewView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (m_onDismiss)
            m_onDismiss();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ImagePreviewView::paintEvent(QPaintEvent*)
{
    layoutButtons();
    const ThemePalette& palette = Theme::palette();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), palette.windowBackground);

    const QRect column = columnRect();
    paintPreviewTitle(painter, QRect(0, column.top(), width(), titleBarHeight), QStringLiteral("图片预览"));
    painter.fillRect(QRect(0, column.top() + titleBarHeight, width(), 1),
                     ThemePalette::withOpacity(palette.secondary, 0.25));

    const QImage image = currentImage();
    if (!image.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(imageRect(), image);
        return;
    }
    const QRect body((width() - placeholderSize.width()) / 2, column.top() + titleBarHeight + 1,
                     placeholderSize.width(), placeholderSize.height());
    SymbolIcon::paint(painter, QRectF(body.left(), body.center().y() - 34, body.width(), 40),
                      QStringLiteral("photo.badge.exclamationmark"), palette.secondary, 32);
    QFont font = QApplication::font();
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setPen(palette.secondary);
    painter.drawText(QRect(body.left(), body.center().y() + 14, body.width(), 20), Qt::AlignCenter,
                     QStringLiteral("图片不存在或已被删除"));
}
