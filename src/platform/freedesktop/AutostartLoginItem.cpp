#include "platform/freedesktop/AutostartLoginItem.h"

#include "platform/freedesktop/XdgPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString entryGroup = QStringLiteral("[Desktop Entry]");

struct Entry
{
    QString exec;
    bool hidden = false;
    bool autostartEnabled = true;
};

bool isTrue(const QString& value)
{
    return value.trimmed().compare(u"true", Qt::CaseInsensitive) == 0;
}

bool isFalse(const QString& value)
{
    return value.trimmed().compare(u"false", Qt::CaseInsensitive) == 0;
}

// The escapes of a desktop entry's string values: \s, \n, \t, \r and \\.
QString unescapeValue(const QString& value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            result += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            result += u' ';
            break;
        case 'n':
            result += u'\n';
            break;
        case 't':
            result += u'\t';
            break;
        case 'r':
            result += u'\r';
            break;
        default:
            result += next;
        }
    }
    return result;
}

QString escapeValue(const QString& value)
{
    QString result;
    result.reserve(value.size() + 8);
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            result += QStringLiteral("\\\\");
            break;
        case '\n':
            result += QStringLiteral("\\n");
            break;
        case '\t':
            result += QStringLiteral("\\t");
            break;
        case '\r':
            result += QStringLiteral("\\r");
            break;
        default:
            result += c;
        }
    }
    return result;
}

// The program an Exec line starts: its first argument, quoted or not, with field-code percent signs undone.
QString firstArgument(const QString& exec)
{
    QString argument;
    qsizetype i = 0;
    while (i < exec.size() && exec.at(i).isSpace())
        ++i;
    if (i < exec.size() && exec.at(i) == u'"') {
        for (++i; i < exec.size() && exec.at(i) != u'"'; ++i) {
            if (exec.at(i) == u'\\' && i + 1 < exec.size())
                ++i;
            argument += exec.at(i);
        }
    } else {
        for (; i < exec.size() && !exec.at(i).isSpace(); ++i)
            argument += exec.at(i);
    }
    argument.replace(QStringLiteral("%%"), QStringLiteral("%"));
    return argument;
}

Entry readEntry(const QByteArray& bytes)
{
    Entry entry;
    bool inGroup = false;
    for (const QString& rawLine : QString::fromUtf8(bytes).split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inGroup = line == entryGroup;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inGroup || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = unescapeValue(line.mid(equals + 1).trimmed());
        if (key == u"Exec")
            entry.exec = value;
        else if (key == u"Hidden")
            entry.hidden = isTrue(value);
        else if (key == u"X-GNOME-Autostart-enabled")
            entry.autostartEnabled = !isFalse(value);
    }
    return entry;
}

bool programExists(const QString& program)
{
    if (program.isEmpty())
        return false;
    if (QDir::isAbsolutePath(program)) {
        const QFileInfo info(program);
        return info.isFile() && info.isExecutable();
    }
    return !QStandardPaths::findExecutable(program).isEmpty();
}

} // namespace

AutostartLoginItem::AutostartLoginItem(const QString& configFolder, const QString& program)
    : m_fileName(QDir(configFolder).filePath(QStringLiteral("autostart/pellamor.desktop")))
    , m_program(program.isEmpty() ? QCoreApplication::applicationFilePath() : program)
{}

QString AutostartLoginItem::defaultConfigFolder()
{
    return XdgPaths::configHome();
}

QString AutostartLoginItem::execValue(const QString& program)
{
    // Inside double quotes the Exec key wants ", `, $ and \ escaped; % is a field code unless doubled.
    QString quoted = QStringLiteral("\"");
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    quoted += u'"';
    // The value itself is a desktop-entry string, which escapes its backslashes a second time.
    return escapeValue(quoted);
}

LoginItem::Status AutostartLoginItem::status() const
{
    QFile file(m_fileName);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return Status::NotRegistered;
    const Entry entry = readEntry(file.readAll());
    if (entry.hidden || !entry.autostartEnabled)
        return Status::NotRegistered;
    // An entry left behind by a copy of the program that has since moved or gone starts nothing.
    if (!programExists(firstArgument(entry.exec)))
        return Status::NotFound;
    return Status::Enabled;
}

LoginItem::Result AutostartLoginItem::registerItem()
{
    if (m_program.isEmpty())
        return Result::failure(QStringLiteral("The location of the running program is unknown"));
    const QString folder = QFileInfo(m_fileName).absolutePath();
    if (!QDir().mkpath(folder))
        return Result::failure(QStringLiteral("Cannot create the folder ") + folder);

    const QByteArray content = QStringLiteral("[Desktop Entry]\n"
                                              "Type=Application\n"
                                              "Name=Pellamor\n"
                                              "Exec=%1\n"
                                              "Icon=com.pellamor.app\n"
                                              "X-GNOME-Autostart-enabled=true\n"
                                              "NoDisplay=false\n")
                                   .arg(execValue(m_program))
                                   .toUtf8();
    // Written aside and moved into place, so a session starting meanwhile never reads half an entry.
    QSaveFile file(m_fileName);
    if (!file.open(QIODevice::WriteOnly))
        return Result::failure(file.errorString());
    if (file.write(content) != content.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return Result::failure(error);
    }
    if (!file.commit())
        return Result::failure(file.errorString());
    return Result::success();
}

LoginItem::Result AutostartLoginItem::unregisterItem()
{
    const QFileInfo info(m_fileName);
    if (!info.exists() && !info.isSymLink())
        return Result::success();
    QFile file(m_fileName);
    if (!file.remove())
        return Result::failure(file.errorString());
    return Result::success();
}
