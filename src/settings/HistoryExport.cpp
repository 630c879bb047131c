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

// The locale's long date without the weekday and with the month abbreviated: what is left of
// "dddd, MMMM d, yyyy" is "MMM d, yyyy", of "yyyy年M月d日dddd" it is "yyyy年M月d日".
QString dateWithAbbreviatedMonth(const QLocale& locale)
{
    static const QRegularExpression leadingWeekday(QStringLiteral("^d{3,}[\\s,،]*"));
    static const QRegularExpression weekday(QStringLiteral("[\\s,،]*d{3,}"));
    static const QRegularExpression fullMonth(QStringLiteral("M{4,}"));
    QString format = locale.dateFormat(QLocale::LongFormat);
    format.remove(leadingWeekday);
    format.remove(weekday);
    format.replace(fullMonth, QStringLiteral("MMM"));
    return format.trimmed();
}

// Hour and minute only: some locales' short time (the C locale's among them) carries seconds.
QString withoutSeconds(QString format)
{
    static const QRegularExpression seconds(QStringLiteral("[:.\\s]*s{1,2}(\\.z+)?"));
    return format.remove(seconds).trimmed();
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

QString exportFileName(const QDateTime& moment, const QLocale& locale)
{
    const QString format =
        dateWithAbbreviatedMonth(locale) + u' ' + withoutSeconds(locale.timeFormat(QLocale::ShortFormat));
    QString stamp = locale.toString(moment.toLocalTime(), format);
    stamp.replace(u'/', u'-');
    return QStringLiteral("Pellamor_Export_") + stamp + QStringLiteral(".txt");
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
