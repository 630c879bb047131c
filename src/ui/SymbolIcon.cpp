#include "SymbolIcon.h"

#include <QFontDatabase>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStandardPaths>
#include <QtMath>

namespace {

struct Symbol
{
    char16_t codepoint;    // Material Icons
    bool outline;          // drawn as the glyph's outline: the design's unfilled variant
    const char* themeName; // freedesktop icon name, when the font is missing
    char16_t cutout = 0;   // a second glyph cut out of the first, half its size, for composed symbols
};

const QHash<QString, Symbol>& symbols()
{
    static const QHash<QString, Symbol> table = {
        {QStringLiteral("clipboard"), {0xe14f, false, "edit-paste"}},
        {QStringLiteral("list.clipboard.fill"), {0xe85d, false, "edit-paste"}},
        {QStringLiteral("lock.fill"), {0xe897, false, "object-locked"}},
        {QStringLiteral("lock.open.fill"), {0xe898, false, "object-unlocked"}},
        {QStringLiteral("pin.fill"), {0xf10d, false, "pin"}},
        {QStringLiteral("pin"), {0xf10d, true, "pin"}},
        {QStringLiteral("gearshape.fill"), {0xe8b8, false, "preferences-system"}},
        {QStringLiteral("power"), {0xe8ac, false, "system-shutdown"}},
        {QStringLiteral("trash"), {0xe92e, false, "edit-delete"}},
        {QStringLiteral("trash.fill"), {0xe872, false, "edit-delete"}},
        {QStringLiteral("doc.text"), {0xe873, false, "text-x-generic"}},
        {QStringLiteral("doc.on.doc"), {0xe173, false, "edit-copy"}},
        {QStringLiteral("photo"), {0xe3f4, false, "image-x-generic"}},
        {QStringLiteral("photo.badge.exclamationmark"), {0xe3ad, false, "image-missing"}},
        {QStringLiteral("xmark.circle.fill"), {0xe5c9, false, "window-close"}},
        {QStringLiteral("tray"), {0xe156, false, "mail-inbox"}},
        {QStringLiteral("magnifyingglass"), {0xe8b6, false, "edit-find"}},
        {QStringLiteral("square.and.arrow.up"), {0xe6b8, false, "document-export"}},
        {QStringLiteral("hand.raised.shield.fill"), {0xe9e0, false, "security-high", 0xe769}},
        {QStringLiteral("envelope"), {0xe158, false, "mail-send"}},
        {QStringLiteral("chevron.right"), {0xe5cc, false, "go-next"}},
        {QStringLiteral("arrow.counterclockwise.circle"), {0xe8ba, false, "edit-undo"}},
    };
    return table;
}

QString materialFamily()
{
    static const QString family = [] {
        const QString name = QStringLiteral("Material Icons");
        if (QFontDatabase::families().contains(name))
            return name;
        // Not known to fontconfig (for example in a minimal test environment): load the packaged file.
        const QString file = QStandardPaths::locate(
            QStandardPaths::GenericDataLocation,
            QStringLiteral("fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf"));
        const int id = file.isEmpty() ? -1 : QFontDatabase::addApplicationFont(file);
        const QStringList families = id >= 0 ? QFontDatabase::applicationFontFamilies(id) : QStringList();
        return families.isEmpty() ? QString() : families.first();
    }();
    return family;
}

} // namespace

namespace SymbolIcon {

bool fontAvailable()
{
    return !materialFamily().isEmpty();
}

bool isKnown(const QString& name)
{
    return symbols().contains(name);
}

QStringList knownNames()
{
    return symbols().keys();
}

void paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color, qreal pointSize,
           QFont::Weight weight)
{
    const auto found = symbols().constFind(name);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // Symbols are drawn a little larger than the text size they sit beside, as symbol fonts are.
    const qreal glyphSize = pointSize * 1.25;
    if (found != symbols().constEnd() && fontAvailable()) {
        QFont font(materialFamily());
        font.setPixelSize(qMax(1, qRound(glyphSize)));
        font.setWeight(weight);
        const QString glyph(QChar(found->codepoint));
        if (found->cutout) {
            // A shield with a raised hand: the hand is cut out of the filled shield, a little below its middle.
            QPainterPath path;
            path.addText(0, 0, font, glyph);
            path.translate(rect.center() - path.boundingRect().center());
            QFont small = font;
            small.setPixelSize(qMax(1, qRound(glyphSize * 0.5)));
            QPainterPath hole;
            hole.addText(0, 0, small, QString(QChar(found->cutout)));
            hole.translate(path.boundingRect().center() + QPointF(0, glyphSize * 0.04) - hole.boundingRect().center());
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            painter.drawPath(path.subtracted(hole));
        } else if (found->outline) {
            QPainterPath path;
            path.addText(0, 0, font, glyph);
            const QRectF bounds = path.boundingRect();
            path.translate(rect.center() - bounds.center());
            painter.setPen(QPen(color, qMax(1.0, glyphSize / 14.0)));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(path);
        } else {
            painter.setFont(font);
            painter.setPen(color);
            painter.drawText(rect, Qt::AlignCenter, glyph);
        }
    } else {
        const QIcon themed =
            found != symbols().constEnd() ? QIcon::fromTheme(QString::fromLatin1(found->themeName)) : QIcon();
        const QRectF square(rect.center() - QPointF(glyphSize / 2, glyphSize / 2), QSizeF(glyphSize, glyphSize));
        if (!themed.isNull()) {
            themed.paint(&painter, square.toAlignedRect());
        } else {
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            painter.drawEllipse(square.adjusted(glyphSize / 4, glyphSize / 4, -glyphSize / 4, -glyphSize / 4));
        }
    }
    painter.restore();
}

QIcon icon(const QString& name, const QColor& color, qreal pointSize, qreal devicePixelRatio)
{
    const int side = qCeil(pointSize * 1.4);
    QPixmap pixmap(QSize(side, side) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(painter, QRectF(0, 0, side, side), name, color, pointSize);
    painter.end();
    return QIcon(pixmap);
}

} // namespace SymbolIcon
