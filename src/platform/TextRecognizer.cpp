#include "platform/TextRecognizer.h"

QString TextRecognizer::limitedText(const QString& text)
{
    if (text.size() * 3 <= maxTextBytes)
        return text;
    QByteArray utf8 = text.toUtf8();
    if (utf8.size() <= maxTextBytes)
        return text;
    utf8.truncate(maxTextBytes);
    // Drop a sequence cut in the middle: its continuation bytes, then its lead byte.
    qsizetype end = utf8.size();
    while (end > 0 && (uchar(utf8.at(end - 1)) & 0xC0) == 0x80)
        --end;
    if (end > 0 && (uchar(utf8.at(end - 1)) & 0x80) != 0) {
        const uchar lead = uchar(utf8.at(end - 1));
        const qsizetype need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (utf8.size() - (end - 1) < need)
            utf8.truncate(end - 1);
    }
    return QString::fromUtf8(utf8);
}
