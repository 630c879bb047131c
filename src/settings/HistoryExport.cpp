#include "HistoryExport.h"

#include <QRegularExpression>
#include <QSaveFile>

namespace {

// Locales shorten the year in their short date; the numeric date shows all of it.
QString withFullYear(QString format)
{
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    return format.replace(twoDigitYear, QStringLiteral("yyyy"));
}

} // namespace

QString exportTimestamp(const QDateTime& timestamp, const QLocale& locale)
{
    const QDateTime local = timestamp.toLocalTime();
    return locale.toString(local, withFullYear(locale.dateFormat(QLocale::ShortFormat)) + u' ' +
                                      locale.timeFormat(QLocale::ShortFormat));
}

QByteArray exportText(const ClipboardItems& items, const QLocale& locale)
{
    QStringList blocks;
    blocks.reserve(items.size());
    for (const ClipboardItem& item : items) {
        const QString kind = item.isText() ? QStringLiteral("[文字]") : QStringLiteral("[图片/其它]");
        blocks << QStringLiteral("----------------------------------------\n") + QStringLiteral("时间: ") +
                      exportTimestamp(item.timestamp, locale) + QStringLiteral(" 类型: ") + kind + u'\n' +
                      item.content + u'\n';
    }
    return blocks.join(u'\n').toUtf8();
}

QString exportFileName(const QDateTime& moment)
{
    return QStringLiteral("Pellamor_History_") + moment.toLocalTime().toString(QStringLiteral("yyyy-MM-dd_HHmm")) +
           QStringLiteral(".txt");
}

bool writeExportFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    // Whatever was at `path` before stays untouched unless the whole new file made it to disk.
    const auto fail = [&] {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    if (!bytes.isEmpty() && file.write(bytes) != bytes.size())
        return fail();
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
