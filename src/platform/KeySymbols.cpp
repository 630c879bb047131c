#include "platform/KeySymbols.h"

#include <QChar>
#include <QStringList>

#include <utility>

namespace {

struct NamedKey
{
    int key;
    quint32 keysym;
    const char* name;
};

// Keys without a character, and the characters whose keysym names differ from the character.
constexpr NamedKey namedKeys[] = {
    {Qt::Key_Escape, 0xff1b, "Escape"},
    {Qt::Key_Tab, 0xff09, "Tab"},
    {Qt::Key_Backtab, 0xff09, "Tab"},
    {Qt::Key_Backspace, 0xff08, "BackSpace"},
    {Qt::Key_Return, 0xff0d, "Return"},
    {Qt::Key_Enter, 0xff8d, "KP_Enter"},
    {Qt::Key_Insert, 0xff63, "Insert"},
    {Qt::Key_Delete, 0xffff, "Delete"},
    {Qt::Key_Pause, 0xff13, "Pause"},
    {Qt::Key_Print, 0xff61, "Print"},
    {Qt::Key_SysReq, 0xff15, "Sys_Req"},
    {Qt::Key_Clear, 0xff0b, "Clear"},
    {Qt::Key_Home, 0xff50, "Home"},
    {Qt::Key_End, 0xff57, "End"},
    {Qt::Key_Left, 0xff51, "Left"},
    {Qt::Key_Up, 0xff52, "Up"},
    {Qt::Key_Right, 0xff53, "Right"},
    {Qt::Key_Down, 0xff54, "Down"},
    {Qt::Key_PageUp, 0xff55, "Prior"},
    {Qt::Key_PageDown, 0xff56, "Next"},
    {Qt::Key_Menu, 0xff67, "Menu"},
    {Qt::Key_Help, 0xff6a, "Help"},
    {Qt::Key_VolumeDown, 0x1008ff11, "XF86AudioLowerVolume"},
    {Qt::Key_VolumeMute, 0x1008ff12, "XF86AudioMute"},
    {Qt::Key_VolumeUp, 0x1008ff13, "XF86AudioRaiseVolume"},
    {Qt::Key_MediaPlay, 0x1008ff14, "XF86AudioPlay"},
    {Qt::Key_MediaStop, 0x1008ff15, "XF86AudioStop"},
    {Qt::Key_MediaPrevious, 0x1008ff16, "XF86AudioPrev"},
    {Qt::Key_MediaNext, 0x1008ff17, "XF86AudioNext"},
    {Qt::Key_Space, 0x20, "space"},
    {Qt::Key_Exclam, 0x21, "exclam"},
    {Qt::Key_QuoteDbl, 0x22, "quotedbl"},
    {Qt::Key_NumberSign, 0x23, "numbersign"},
    {Qt::Key_Dollar, 0x24, "dollar"},
    {Qt::Key_Percent, 0x25, "percent"},
    {Qt::Key_Ampersand, 0x26, "ampersand"},
    {Qt::Key_Apostrophe, 0x27, "apostrophe"},
    {Qt::Key_ParenLeft, 0x28, "parenleft"},
    {Qt::Key_ParenRight, 0x29, "parenright"},
    {Qt::Key_Asterisk, 0x2a, "asterisk"},
    {Qt::Key_Plus, 0x2b, "plus"},
    {Qt::Key_Comma, 0x2c, "comma"},
    {Qt::Key_Minus, 0x2d, "minus"},
    {Qt::Key_Period, 0x2e, "period"},
    {Qt::Key_Slash, 0x2f, "slash"},
    {Qt::Key_Colon, 0x3a, "colon"},
    {Qt::Key_Semicolon, 0x3b, "semicolon"},
    {Qt::Key_Less, 0x3c, "less"},
    {Qt::Key_Equal, 0x3d, "equal"},
    {Qt::Key_Greater, 0x3e, "greater"},
    {Qt::Key_Question, 0x3f, "question"},
    {Qt::Key_At, 0x40, "at"},
    {Qt::Key_BracketLeft, 0x5b, "bracketleft"},
    {Qt::Key_Backslash, 0x5c, "backslash"},
    {Qt::Key_BracketRight, 0x5d, "bracketright"},
    {Qt::Key_AsciiCircum, 0x5e, "asciicircum"},
    {Qt::Key_Underscore, 0x5f, "underscore"},
    {Qt::Key_QuoteLeft, 0x60, "grave"},
    {Qt::Key_BraceLeft, 0x7b, "braceleft"},
    {Qt::Key_Bar, 0x7c, "bar"},
    {Qt::Key_BraceRight, 0x7d, "braceright"},
    {Qt::Key_AsciiTilde, 0x7e, "asciitilde"},
};

const NamedKey* namedKey(int key)
{
    for (const NamedKey& named : namedKeys) {
        if (named.key == key)
            return &named;
    }
    return nullptr;
}

bool isCharacterKey(int key)
{
    return key > 0 && key < Qt::Key_Escape && key <= 0x10ffff && QChar::isPrint(char32_t(key));
}

} // namespace

quint32 keysymForKey(int key)
{
    if (const NamedKey* named = namedKey(key))
        return named->keysym;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return 0xffbe + quint32(key - Qt::Key_F1);
    if (!isCharacterKey(key))
        return 0;
    const char32_t lower = QChar::toLower(char32_t(key));
    // Latin-1 characters are their own keysyms; the rest of Unicode has a keysym range of its own.
    return lower < 0x100 ? quint32(lower) : 0x01000000 | quint32(lower);
}

QString xdgTrigger(QKeyCombination combination)
{
    const int key = combination.key();
    QString name;
    if (const NamedKey* named = namedKey(key))
        name = QString::fromLatin1(named->name);
    else if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        name = QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    else if (isCharacterKey(key)) {
        const char32_t lower = QChar::toLower(char32_t(key));
        name = QString::fromUcs4(&lower, 1);
    }
    if (name.isEmpty())
        return {};
    QStringList parts;
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    if (modifiers & Qt::ControlModifier)
        parts << QStringLiteral("CTRL");
    if (modifiers & Qt::AltModifier)
        parts << QStringLiteral("ALT");
    if (modifiers & Qt::ShiftModifier)
        parts << QStringLiteral("SHIFT");
    if (modifiers & Qt::MetaModifier)
        parts << QStringLiteral("LOGO");
    parts << name;
    return parts.join(QLatin1Char('+'));
}

bool isGlobalShortcutAllowed(QKeyCombination combination)
{
    if (combination.keyboardModifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return true;
    const int key = combination.key();
    return combination.keyboardModifiers() == Qt::NoModifier && key >= Qt::Key_F1 && key <= Qt::Key_F24;
}

QString shortcutDisplayText(const QString& stored)
{
    static const QString separator = QStringLiteral(" + ");
    static const std::pair<QChar, const char*> names[] = {
        {QChar(0x2303), "Ctrl"}, {QChar(0x2325), "Alt"}, {QChar(0x21e7), "Shift"}, {QChar(0x2318), "Super"}};
    const auto nameOf = [](QChar c) -> const char* {
        for (const auto& [symbol, name] : names) {
            if (symbol == c)
                return name;
        }
        return nullptr;
    };
    QStringList parts;
    qsizetype at = 0;
    while (stored.size() - at >= 1 + separator.size() && nameOf(stored.at(at)) &&
           QStringView(stored).mid(at + 1, separator.size()) == separator) {
        parts << QString::fromLatin1(nameOf(stored.at(at)));
        at += 1 + separator.size();
    }
    const QString key = stored.mid(at);
    if (key.isEmpty())
        return stored;
    parts << (key == QLatin1String(" ") ? QStringLiteral("Space") : key);
    return parts.join(separator);
}
