#include "ClipItemView.h"

#include "core/EntryMimeData.h"
#include "core/HistoryModel.h"
#include "core/ItemGroup.h"
#include "core/StorageManager.h"
#include "ui/EntryText.h"
#include "ui/FileNames.h"
#include "ui/PressableActionButton.h"
#include "ui/RecognizedTextBadge.h"
#include "ui/SymbolIcon.h"
#include "ui/Theme.h"
#include "ui/ThumbnailLoader.h"
#include "ui/Transition.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QFontMetricsF>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QToolTip>
#include <QtMath>

namespace {

constexpr int paddingH = 12;
constexpr int paddingV = 8;
constexpr int hoverInset = 8;
constexpr int blockSpacing = 8;
constexpr int infoHeight = 18;

} // namespace

ClipItemView::ClipItemView(const HistoryModel& history, StorageManager& storage, QWidget* parent)
    : QWidget(parent)
    , m_history(history)
    , m_storage(storage)
{
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
    m_singleClick.setSingleShot(true);
    m_singleClick.setInterval(QApplication::doubleClickInterval());
    connect(&m_singleClick, &QTimer::timeout, this, [this] {
        if (m_plainClick)
            Q_EMIT plainTextChosen(m_item);
        else
            Q_EMIT chosen(m_item);
    });

    const auto secondary = [] { return ThemePalette::withOpacity(Theme::palette().secondary, 0.8); };
    m_pinButton = new PressableActionButton(std::nullopt, QStringLiteral("pin"), secondary, this);
    m_pinButton->setObjectName(QStringLiteral("pinButton"));
    m_deleteButton = new PressableActionButton(
        std::nullopt, QStringLiteral("trash"), [] { return ThemePalette::withOpacity(Theme::palette().red, 0.8); },
        this);
    m_deleteButton->setObjectName(QStringLiteral("deleteButton"));
    m_previewButton = new PressableActionButton(
        QStringLiteral("查看 / 编辑"), std::nullopt, [] { return Theme::palette().blue; }, this);
    m_previewButton->setObjectName(QStringLiteral("previewButton"));

    connect(m_pinButton, &QAbstractButton::clicked, this, [this] { Q_EMIT pinToggleRequested(m_item.id); });
    connect(m_deleteButton, &QAbstractButton::clicked, this, [this] { Q_EMIT deleteRequested(m_item); });
    connect(m_previewButton, &QAbstractButton::clicked, this, &ClipItemView::openPreview);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
    m_pinButton->hide();
    m_deleteButton->hide();
    m_buttonTransitions = new ButtonTransitions(this);
    m_buttonTransitions->add(m_pinButton, ButtonTransitions::Kind::ScaleFade);
    m_buttonTransitions->add(m_deleteButton, ButtonTransitions::Kind::Fade);
    connect(m_buttonTransitions, &ButtonTransitions::settled, this, &ClipItemView::layoutButtons);
    updateButtons();
}

ClipItemView::~ClipItemView() = default;

void ClipItemView::setItem(const ClipboardItem& item)
{
    const bool contentChanged = item.content != m_item.content || item.type != m_item.type;
    const bool rebound = item.id != m_item.id;
    m_item = item;
    if (contentChanged) {
        m_text.reset();
        m_highlights.clear();
        m_cachedImage = QImage();
        m_imageMissing = false;
        if (m_item.isImage() && isVisible())
            loadThumbnail();
        // The preview button's label depends on the kind of entry.
        delete m_previewButton;
        m_previewButton = new PressableActionButton(
            m_item.isImage() ? QStringLiteral("查看原图") : QStringLiteral("查看 / 编辑"), std::nullopt,
            [] { return Theme::palette().blue; }, this);
        m_previewButton->setObjectName(QStringLiteral("previewButton"));
        connect(m_previewButton, &QAbstractButton::clicked, this, &ClipItemView::openPreview);
        updateGeometry();
    }
    updateButtons();
    // Another entry's row: no transition carries over from the last one.
    if (rebound)
        m_buttonTransitions->finish();
    update();
}

void ClipItemView::setFocusRing(bool ring)
{
    if (ring == m_focusRing)
        return;
    m_focusRing = ring;
    update();
}

void ClipItemView::setQuery(const TextSearch::Query& query, const QList<TextSearch::Range>& highlights)
{
    if (query.words == m_query.words && highlights == m_highlights)
        return;
    m_query = query;
    m_highlights = highlights;
    m_text.reset();
    update();
}

const EntryText& ClipItemView::entryTextFor(int rowWidth) const
{
    const int width = textWidth(rowWidth);
    if (!m_text || m_textWidth != width) {
        m_text = std::make_unique<EntryText>(m_item.content, pixelFont(13), width, 2, m_highlights);
        m_textWidth = width;
    }
    return *m_text;
}

const EntryText& ClipItemView::entryText() const
{
    return entryTextFor(width());
}

void ClipItemView::setLastInGroup(bool last)
{
    if (last == m_lastInGroup)
        return;
    m_lastInGroup = last;
    updateGeometry();
    update();
}

void ClipItemView::setHovered(bool hovered)
{
    if (hovered == m_hovered)
        return;
    m_hovered = hovered;
    updateButtons();
    update();
}

void ClipItemView::updateButtons()
{
    m_pinButton->setIcon(m_item.isPinned ? QStringLiteral("pin.fill") : QStringLiteral("pin"));
    if (m_item.isPinned)
        m_pinButton->setColor([] { return Theme::palette().orange; });
    else
        m_pinButton->setColor([] { return ThemePalette::withOpacity(Theme::palette().secondary, 0.8); });
    // A change inside the panel's animated updates transitions; a hover change alone switches at once.
    m_buttonTransitions->setShown(m_pinButton, m_item.isPinned || m_hovered);
    m_buttonTransitions->setShown(m_deleteButton, m_hovered);
    m_previewButton->setVisible(m_hovered);
    layoutButtons();
}

QRect ClipItemView::blockRect() const
{
    const int inset = m_hovered ? hoverInset : 0;
    return QRect(inset, 0, width() - 2 * inset, height() - (m_lastInGroup ? 0 : 1));
}

QRect ClipItemView::entryRect() const
{
    return blockRect();
}

void ClipItemView::layoutButtons()
{
    const QRect block = blockRect();
    const int infoTop = block.bottom() + 1 - paddingV - infoHeight;
    int right = block.right() + 1 - paddingH;
    for (PressableActionButton* button : {m_previewButton, m_deleteButton, m_pinButton}) {
        // A button fading out stays where it was and leaves its place to the others.
        if (!m_buttonTransitions->isShown(button))
            continue;
        const QSize size = button->sizeHint();
        right -= size.width();
        button->setGeometry(right, infoTop + (infoHeight - size.height()) / 2, size.width(), size.height());
        right -= 8;
    }
}

int ClipItemView::textWidth(int rowWidth)
{
    // Laid out for the narrower, hovered block, so hovering never re-wraps the text.
    return qMax(40, rowWidth - 2 * paddingH - 2 * hoverInset);
}

int ClipItemView::contentHeight(int rowWidth) const
{
    if (m_item.isImage())
        return m_cachedImage.isNull() ? QFontMetrics(pixelFont(11)).height() : thumbnailHeight;
    return qCeil(entryTextFor(rowWidth).height());
}

int ClipItemView::heightForWidth(int width) const
{
    return paddingV + contentHeight(width) + blockSpacing + infoHeight + paddingV + (m_lastInGroup ? 0 : 1);
}

int ClipItemView::estimatedHeight(const ClipboardItem& item, bool lastInGroup)
{
    int content = thumbnailHeight;
    if (item.isText()) {
        // Two lines when the text breaks or is wider than a line (about 13 pixels for a wide character,
        // 7 for a narrow one), else one.
        const QStringView head = QStringView(item.content).left(64).trimmed();
        int advance = 0;
        for (QChar c : head)
            advance += c.unicode() >= 0x2E80 ? 13 : 7;
        static const int line = QFontMetrics(pixelFont(13)).lineSpacing();
        const bool twoLines = advance > textWidth(340) || head.contains(QLatin1Char('\n'));
        content = twoLines ? 2 * line : line;
    }
    return paddingV + content + blockSpacing + infoHeight + paddingV + (lastInGroup ? 0 : 1);
}

QSize ClipItemView::sizeHint() const
{
    return {340, heightForWidth(340)};
}

void ClipItemView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutButtons();
}

QString ClipItemView::formattedTime(const QDateTime& timestamp, const QDateTime& now)
{
    const QDateTime local = timestamp.toLocalTime();
    const QDate today = now.toLocalTime().date();
    if (local.date() == today)
        return QStringLiteral("今天 ") + local.toString(QStringLiteral("HH:mm"));
    if (local.date() == today.addDays(-1))
        return QStringLiteral("昨天");
    return local.toString(QStringLiteral("MM-dd"));
}

void ClipItemView::paintEvent(QPaintEvent*)
{
    const ThemePalette& palette = Theme::palette();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect block = blockRect();
    if (m_hovered) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(ThemePalette::withOpacity(palette.accent, 0.15));
        painter.drawRoundedRect(block, 12, 12);
        if (m_focusRing) {
            painter.setPen(QPen(ThemePalette::withOpacity(palette.accent, 0.8), 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(block).adjusted(0.75, 0.75, -0.75, -0.75), 12, 12);
            painter.setPen(Qt::NoPen);
        }
    }

    const QRect content(block.left() + paddingH, block.top() + paddingV, block.width() - 2 * paddingH,
                        contentHeight(width()));
    const HistoryModel::KeptSummary* kept = m_item.isText() ? m_history.keptSummary(m_item.id) : nullptr;
    if (kept && kept->files) {
        FileNames::paint(painter, content, *kept, pixelFont(13), palette.primary, 2);
    } else if (m_item.isText()) {
        entryTextFor(width()).draw(painter, content.topLeft(), palette.primary,
                                   ThemePalette::withOpacity(palette.accent, 0.25));
    } else if (!m_cachedImage.isNull()) {
        QPainterPath clip;
        clip.addRoundedRect(content, 4, 4);
        painter.save();
        painter.setClipPath(clip);
        // Scaled to fill the frame, top-aligned, clipped.
        const QSizeF scaled = QSizeF(m_cachedImage.size()).scaled(content.size(), Qt::KeepAspectRatioByExpanding);
        const QRectF target(content.left() + (content.width() - scaled.width()) / 2, content.top(), scaled.width(),
                            scaled.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, m_cachedImage);
        painter.restore();
        // During a search an image is listed only for the text read from it: say so on the thumbnail.
        if (!m_query.isEmpty())
            RecognizedTextBadge::paint(painter, textBadgeRect(), palette);
    } else {
        const QColor secondary = palette.secondary;
        SymbolIcon::paint(painter, QRectF(content.left(), content.top(), 14, content.height()),
                          QStringLiteral("photo.badge.exclamationmark"), secondary, 11);
        painter.setFont(pixelFont(11));
        painter.setPen(secondary);
        painter.drawText(QRect(content.left() + 18, content.top(), content.width() - 18, content.height()),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         m_imageMissing ? QStringLiteral("图片不存在或已被删除") : QStringLiteral("图片加载中..."));
    }

    const QColor infoGray = QColor::fromRgbF(0.55, 0.55, 0.55);
    const int infoTop = block.bottom() + 1 - paddingV - infoHeight;
    const QRectF iconRect(block.left() + paddingH, infoTop, 12, infoHeight);
    const QString symbol = m_item.isImage()      ? QStringLiteral("photo")
                           : kept && kept->files ? QStringLiteral("doc.on.doc")
                                                 : QStringLiteral("doc.text");
    SymbolIcon::paint(painter, iconRect, symbol, infoGray, 10);
    painter.setFont(pixelFont(10));
    painter.setPen(infoGray);
    const QString time = formattedTime(m_item.timestamp, QDateTime::currentDateTime());
    painter.drawText(QRectF(iconRect.right() + 6, infoTop, 120, infoHeight), Qt::AlignLeft | Qt::AlignVCenter, time);
    // A text kept with its formatting says so beside its time.
    if (kept && kept->formatted) {
        const qreal left = iconRect.right() + 6 + QFontMetricsF(pixelFont(10)).horizontalAdvance(time) + 6;
        RecognizedTextBadge::paint(painter, QRectF(left, infoTop + 2, 26, infoHeight - 4), palette, 9,
                                   RecognizedTextBadge::formattedLabel);
    }

    if (!m_lastInGroup && !m_hovered) {
        painter.fillRect(QRect(paddingH, height() - 1, width() - paddingH, 1),
                         ThemePalette::withOpacity(palette.secondary, 0.15));
    }
}

QRect ClipItemView::textBadgeRect() const
{
    const QRect block = blockRect();
    const QRect content(block.left() + paddingH, block.top() + paddingV, block.width() - 2 * paddingH,
                        contentHeight(width()));
    return {content.right() - 36, content.top() + 6, 30, 18};
}

bool ClipItemView::event(QEvent* event)
{
    // Hovering the "文字" badge shows where the search matched the text read from the image.
    if (event->type() == QEvent::ToolTip && m_item.isImage() && !m_query.isEmpty()) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = textBadgeRect().contains(help->pos())
                                ? RecognizedTextBadge::matchedContext(m_history.imageText(m_item.content), m_query)
                                : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}

void ClipItemView::enterEvent(QEnterEvent* event)
{
    if (m_onHoverSet)
        m_onHoverSet(m_item.id);
    QWidget::enterEvent(event);
}

void ClipItemView::leaveEvent(QEvent* event)
{
    if (m_onHoverSet)
        m_onHoverSet(std::nullopt);
    QWidget::leaveEvent(event);
}

void ClipItemView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && entryRect().contains(event->position().toPoint())) {
        m_pressed = true;
        m_dragStarted = false;
        m_pressPosition = event->position().toPoint();
    }
    QWidget::mousePressEvent(event);
}

void ClipItemView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed || m_dragStarted || !(event->buttons() & Qt::LeftButton))
        return;
    if ((event->position().toPoint() - m_pressPosition).manhattanLength() < QApplication::startDragDistance())
        return;
    m_dragStarted = true;
    m_pressed = false;
    m_singleClick.stop();
    auto* drag = new QDrag(this);
    drag->setMimeData(new EntryMimeData(m_item, m_storage));
    if (!m_cachedImage.isNull())
        drag->setPixmap(QPixmap::fromImage(m_cachedImage.scaledToHeight(thumbnailHeight, Qt::SmoothTransformation)));
    drag->exec(Qt::CopyAction);
}

void ClipItemView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_pressed && event->button() == Qt::LeftButton && !m_dragStarted &&
        entryRect().contains(event->position().toPoint())) {
        m_plainClick = m_item.isText() && event->modifiers().testFlag(Qt::ShiftModifier);
        m_singleClick.start();
    }
    m_pressed = false;
    QWidget::mouseReleaseEvent(event);
}

void ClipItemView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && entryRect().contains(event->position().toPoint())) {
        // A double click opens the preview and does not also copy.
        m_singleClick.stop();
        m_pressed = false;
        openPreview();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void ClipItemView::openPreview()
{
    Q_EMIT previewRequested(m_item);
}

void ClipItemView::contextMenuEvent(QContextMenuEvent* event)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("rowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("粘贴"), this, [this, item = m_item] { Q_EMIT pasteRequested(item); });
    if (m_item.isText() && m_history.keptSummary(m_item.id)) {
        menu->addAction(QStringLiteral("粘贴为纯文本"), this, [this, item = m_item] { Q_EMIT plainTextChosen(item); });
    }
    menu->popup(event->globalPos());
}

void ClipItemView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    loadThumbnail();
}

void ClipItemView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_buttonTransitions->finish();
    // Rows that leave the screen give their thumbnails back; the storage cache makes reloading cheap.
    if (m_item.isImage() && !m_cachedImage.isNull()) {
        m_cachedImage = QImage();
        updateGeometry();
    }
}

void ClipItemView::loadThumbnail()
{
    if (!m_item.isImage() || !m_cachedImage.isNull() || (m_thumbnailWatcher && m_thumbnailWatcher->isRunning()))
        return;
    const qreal ratio = devicePixelRatioF();
    const QSize size = QSize(qMax(1, width() - 2 * paddingH), thumbnailHeight) * ratio;
    if (!m_thumbnailWatcher) {
        m_thumbnailWatcher = new QFutureWatcher<QImage>(this);
        connect(m_thumbnailWatcher, &QFutureWatcher<QImage>::finished, this, [this] {
            QImage image = m_thumbnailWatcher->result();
            image.setDevicePixelRatio(1.0);
            const bool grew = m_cachedImage.isNull() != image.isNull();
            m_cachedImage = image;
            m_imageMissing = image.isNull();
            if (grew)
                updateGeometry();
            update();
        });
    }
    m_thumbnailWatcher->setFuture(ThumbnailLoader::load(m_storage, m_item.content, size));
}
