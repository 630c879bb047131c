#include "ShortcutRecorder.h"

#include "SettingsWidgets.h"
#include "platform/KeySymbols.h"
#include "ui/Theme.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPainter>
#include <QWindow>

namespace {

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

bool isDeadKey(int key)
{
    return key >= Qt::Key_Dead_Grave && key <= Qt::Key_Dead_Longsolidusoverlay;
}

// A name worth showing: Qt's English key names are plain Latin text; for keys it cannot name it
// returns stray characters.
bool isReadableName(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    }
    return true;
}

// Printable characters only: with Control held, X11 reports control characters as the text.
QString printable(const QString& text)
{
    for (const QChar c : text) {
        if (!c.isPrint() || c.category() == QChar::Other_PrivateUse)
            return {};
    }
    return text;
}

QString keyText(int key, const QString& text)
{
    if (isModifierKey(key) || isDeadKey(key))
        return {};
    // Qt names character keys by their (upper-case) character, the space bar included.
    if (key >= Qt::Key_Space && key < Qt::Key_Escape) {
        const char32_t character = char32_t(key);
        return QString::fromUcs4(&character, 1).toUpper();
    }
    // Shift+Tab arrives as its own key; Shift is already among the modifiers.
    if (key == Qt::Key_Backtab)
        key = Qt::Key_Tab;
    if (key != Qt::Key_unknown && key != 0) {
        const QString name = QKeySequence(key).toString(QKeySequence::PortableText);
        if (isReadableName(name))
            return name;
    }
    // Keys the keyboard layout knows but Qt has no code for still say what they type.
    return printable(text).toUpper();
}

} // namespace

QString shortcutText(Qt::KeyboardModifiers modifiers, int key, const QString& text)
{
    const QString keyPart = keyText(key, text);
    if (keyPart.isEmpty())
        return {};
    QStringList parts;
    if (modifiers & Qt::ControlModifier)
        parts << QStringLiteral("⌃");
    if (modifiers & Qt::AltModifier)
        parts << QStringLiteral("⌥");
    if (modifiers & Qt::ShiftModifier)
        parts << QStringLiteral("⇧");
    if (modifiers & Qt::MetaModifier)
        parts << QStringLiteral("⌘");
    parts << keyPart;
    return parts.join(QStringLiteral(" + "));
}

std::optional<QKeyCombination> parseShortcutText(const QString& text)
{
    static const QString separator = QStringLiteral(" + ");
    static const std::pair<QChar, Qt::KeyboardModifier> symbols[] = {{QChar(0x2303), Qt::ControlModifier},
                                                                     {QChar(0x2325), Qt::AltModifier},
                                                                     {QChar(0x21e7), Qt::ShiftModifier},
                                                                     {QChar(0x2318), Qt::MetaModifier}};
    const auto modifierOf = [](QChar c) {
        for (const auto& [symbol, modifier] : symbols) {
            if (symbol == c)
                return modifier;
        }
        return Qt::NoModifier;
    };
    Qt::KeyboardModifiers modifiers;
    qsizetype at = 0;
    while (text.size() - at >= 1 + separator.size() && modifierOf(text.at(at)) != Qt::NoModifier &&
           QStringView(text).mid(at + 1, separator.size()) == separator) {
        modifiers |= modifierOf(text.at(at));
        at += 1 + separator.size();
    }
    const QString keyPart = text.mid(at);
    int key = 0;
    const QList<uint> characters = keyPart.toUcs4();
    if (keyPart == QLatin1String("Space")) {
        key = Qt::Key_Space;
    } else if (characters.size() == 1) {
        const char32_t character = characters.front();
        if (!QChar::isPrint(character) || modifierOf(QChar(character)) != Qt::NoModifier)
            return std::nullopt;
        key = int(QChar::toUpper(character));
    } else if (!keyPart.isEmpty()) {
        const QKeySequence sequence = QKeySequence::fromString(keyPart, QKeySequence::PortableText);
        if (sequence.count() != 1 || sequence[0].keyboardModifiers() != Qt::NoModifier)
            return std::nullopt;
        key = sequence[0].key();
    }
    if (key == 0 || key == Qt::Key_unknown || isModifierKey(key) || isDeadKey(key))
        return std::nullopt;
    return QKeyCombination(modifiers, Qt::Key(key));
}

ShortcutRecorder::ShortcutRecorder(QWidget* scope)
    : QObject(scope)
    , m_scope(scope)
{}

ShortcutRecorder::~ShortcutRecorder()
{
    if (m_watching)
        QCoreApplication::instance()->removeEventFilter(this);
}

void ShortcutRecorder::setRecording(bool recording)
{
    if (recording == m_recording)
        return;
    m_recording = recording;
    // Exactly one watcher while recording, none while idle.
    if (recording && !m_watching) {
        QCoreApplication::instance()->installEventFilter(this);
        m_watching = true;
    } else if (!recording && m_watching) {
        QCoreApplication::instance()->removeEventFilter(this);
        m_watching = false;
    }
    Q_EMIT recordingChanged(recording);
}

bool ShortcutRecorder::inScope(QObject* receiver) const
{
    if (!m_scope)
        return false;
    QWidget* window = m_scope->window();
    if (auto* widget = qobject_cast<QWidget*>(receiver))
        return widget->window() == window;
    if (auto* handle = qobject_cast<QWindow*>(receiver))
        return handle == window->windowHandle();
    return false;
}

bool ShortcutRecorder::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::ShortcutOverride) || !m_recording || !inScope(watched))
        return QObject::eventFilter(watched, event);

    // Claiming the override keeps window shortcuts from taking the combination being recorded.
    if (type == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
        setRecording(false);
        return true;
    }
    const QString text = shortcutText(key->modifiers(), key->key(), key->text());
    if (text.isEmpty())
        return false;
    const std::optional<QKeyCombination> combination = parseShortcutText(text);
    if (!combination || !isGlobalShortcutAllowed(*combination)) {
        Q_EMIT refused(needsModifierText);
        return true;
    }
    Q_EMIT recorded(text);
    setRecording(false);
    return true;
}

const QString ShortcutButton::recordingText = QStringLiteral("录制中...");
const QString ShortcutRecorder::needsModifierText = QStringLiteral("快捷键需要包含 Ctrl、Alt 或 Super");

ShortcutButton::ShortcutButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setFont(pixelFont(11, QFont::Medium));
    setCursor(Qt::PointingHandCursor);
    // Never focused, so the space bar recorded as a key cannot also press the button.
    setFocusPolicy(Qt::NoFocus);
    setToolTip(QStringLiteral("点击并按下新的按键组合"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(&Theme::instance(), &Theme::changed, this, qOverload<>(&QWidget::update));
}

void ShortcutButton::setShortcut(const QString& shortcut)
{
    m_shortcut = shortcut;
    setText(m_recording ? recordingText : shortcutDisplayText(m_shortcut));
    updateGeometry();
    update();
}

void ShortcutButton::setRecording(bool recording)
{
    m_recording = recording;
    setShortcut(m_shortcut);
}

QSize ShortcutButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {8 + metrics.horizontalAdvance(text()) + 8, 4 + metrics.height() + 4};
}

void ShortcutButton::paintEvent(QPaintEvent*)
{
    const ThemePalette& palette = Theme::palette();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25);
    painter.setBrush(ThemePalette::withOpacity(palette.secondary, 0.1));
    painter.setPen(QPen(ThemePalette::withOpacity(palette.secondary, 0.2), 0.5));
    painter.drawRoundedRect(face, 4, 4);
    painter.setFont(font());
    painter.setPen(palette.primary);
    painter.drawText(rect(), Qt::AlignCenter, text());
}
