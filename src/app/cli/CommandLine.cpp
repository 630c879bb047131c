#include "CommandLine.h"

#include "HistoryClient.h"
#include "OfflineHistory.h"
#include "core/StorageManager.h"
#include "platform/Descriptors.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <unistd.h>

namespace CommandLine {

namespace {

const char* const usageText = R"(Usage: pellamor [COMMAND [ARGS]]

Without a command, starts Pellamor (or shows the panel of the one that runs).

Commands:
  list [--json] [--limit N]      list the history: one "ID<TAB>preview" line per entry
  search QUERY [--json] [--limit N]
                                 list the entries the search field would find
  get [ID]                       write an entry's text or PNG image to standard output
  copy [ID]                      put an entry back on the clipboard
  paste [ID]                     put an entry on the clipboard and paste it into the focused window
  add [--type MIME]              add standard input as a new entry (text/plain or image/png)
  delete [ID]                    delete an entry
  pin [ID] / unpin [ID]          pin or unpin an entry
  clear                          delete every unpinned entry
  pause / resume                 stop or restart recording the clipboard
  ignore-next                    do not record the next change of the clipboard
  toggle                         open or close the panel
  show                           open the panel
  --help, --version

ID is an entry's id or a line of list's output; without it, the first line of standard input is read.
list, get and search read the history file when Pellamor is not running.
Exit status: 0 on success, 1 when the entry does not exist, Pellamor is not running or the command
failed, 2 for a usage error.
)";

struct Arguments
{
    QString command;
    QStringList positional;
    bool json = false;
    qsizetype limit = 0;
    QString type;
};

class UsageError
{
public:
    explicit UsageError(QString message)
        : message(std::move(message))
    {}
    QString message;
};

void printError(const QString& message)
{
    std::fprintf(stderr, "pellamor: %s\n", message.toLocal8Bit().constData());
}

bool writeOut(const QByteArray& bytes)
{
    return Descriptors::writeFully(STDOUT_FILENO, bytes.constData(), std::size_t(bytes.size()));
}

// Everything on standard input, up to `limit` bytes; nothing when there was more.
std::optional<QByteArray> readInput(qint64 limit)
{
    QByteArray data;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            return data;
        if (data.size() + got > limit)
            return std::nullopt;
        data.append(buffer, got);
    }
}

// The id given as the argument, or on the first line of standard input: an id or a line of list's
// output, whose text after the first tab is ignored.
QString idArgument(const Arguments& arguments)
{
    if (arguments.positional.size() > 1)
        throw UsageError(QStringLiteral("%1 takes one ID").arg(arguments.command));
    QString line;
    if (!arguments.positional.isEmpty()) {
        line = arguments.positional.first();
    } else {
        if (::isatty(STDIN_FILENO))
            throw UsageError(QStringLiteral("%1 needs an ID").arg(arguments.command));
        const std::optional<QByteArray> input = readInput(qint64(1) << 20);
        if (!input)
            throw UsageError(QStringLiteral("could not read an ID from standard input"));
        const qsizetype end = input->indexOf('\n');
        line = QString::fromUtf8(end < 0 ? *input : input->left(end));
    }
    const qsizetype tab = line.indexOf(u'\t');
    const QString id = (tab < 0 ? line : line.left(tab)).trimmed();
    if (id.isEmpty())
        throw UsageError(QStringLiteral("%1 needs an ID").arg(arguments.command));
    return id;
}

void expectNoArguments(const Arguments& arguments)
{
    if (!arguments.positional.isEmpty())
        throw UsageError(QStringLiteral("%1 takes no arguments").arg(arguments.command));
}

int notRunning()
{
    printError(QStringLiteral("Pellamor is not running"));
    return failure;
}

// The answer of the running program as an exit status, its error printed.
int finish(const HistoryClient::Reply& reply)
{
    if (reply.notRunning)
        return notRunning();
    if (!reply.ok()) {
        printError(reply.error);
        return failure;
    }
    return success;
}

std::unique_ptr<OfflineHistory> offlineHistory()
{
    auto history = std::make_unique<OfflineHistory>(StorageManager::defaultAppSupportDir());
    if (const QString error = history->error(); !error.isEmpty()) {
        printError(QStringLiteral("Failed to load history: ") + error);
        return nullptr;
    }
    return history;
}

// list and search: the running program's text, or the history file's rows when it is not running.
int printListing(const QString& query, const Arguments& arguments, HistoryClient& client)
{
    QByteArray text;
    const HistoryClient::Reply reply = client.listText(query, arguments.limit, arguments.json, text);
    if (reply.notRunning) {
        const std::unique_ptr<OfflineHistory> history = offlineHistory();
        if (!history)
            return failure;
        text = formatRows(query.isEmpty() ? history->list(arguments.limit) : history->search(query, arguments.limit),
                          arguments.json);
    } else if (!reply.ok()) {
        return finish(reply);
    }
    return writeOut(text) ? success : failure;
}

int listCommand(const Arguments& arguments, HistoryClient& client)
{
    expectNoArguments(arguments);
    return printListing(QString(), arguments, client);
}

int searchCommand(const Arguments& arguments, HistoryClient& client)
{
    if (arguments.positional.isEmpty())
        throw UsageError(QStringLiteral("search needs a QUERY"));
    return printListing(arguments.positional.join(u' '), arguments, client);
}

int getCommand(const Arguments& arguments, HistoryClient& client)
{
    const QString id = idArgument(arguments);
    // The program writes into our standard output itself: a large entry never crosses the bus.
    bool unsupported = false;
    if (const HistoryClient::Reply written = client.writeTo(id, STDOUT_FILENO, unsupported);
        !unsupported && !written.notRunning)
        return finish(written);
    QByteArray bytes;
    const HistoryClient::Reply reply = client.get(id, bytes);
    if (reply.notRunning) {
        const std::unique_ptr<OfflineHistory> history = offlineHistory();
        if (!history)
            return failure;
        switch (history->get(id, bytes)) {
        case OfflineHistory::Found::Entry:
            break;
        case OfflineHistory::Found::NoSuchEntry:
            printError(QStringLiteral("No entry with the id \"%1\"").arg(id));
            return failure;
        case OfflineHistory::Found::ImageMissing:
            printError(QStringLiteral("The image of entry %1 is missing").arg(id));
            return failure;
        }
    } else if (!reply.ok()) {
        return finish(reply);
    }
    return writeOut(bytes) ? success : failure;
}

int addCommand(const Arguments& arguments, HistoryClient& client)
{
    expectNoArguments(arguments);
    const QString type = arguments.type.isEmpty() ? QLatin1String(HistoryBus::textMimeType) : arguments.type;
    const std::optional<ClipboardItemType> kind = HistoryBus::typeOfMime(type);
    if (!kind)
        throw UsageError(QStringLiteral("unsupported type \"%1\": use text/plain or image/png").arg(type));
    const std::optional<QByteArray> data = readInput(HistoryBus::maxPayloadBytes());
    if (!data) {
        printError(QStringLiteral("standard input holds more than %1 MiB, the most an entry may hold")
                       .arg(HistoryBus::maxPayloadBytes() >> 20));
        return failure;
    }
    if (*kind == ClipboardItemType::Text && !QUtf8StringView(*data).isValidUtf8()) {
        printError(QStringLiteral("standard input is not UTF-8 text; for an image use --type image/png"));
        return failure;
    }
    QString id;
    const HistoryClient::Reply reply = client.add(*data, type, id);
    if (reply.ok() && !id.isEmpty())
        writeOut(id.toLatin1() + '\n');
    return finish(reply);
}

int idCommand(const Arguments& arguments, const std::function<HistoryClient::Reply(const QString&)>& call)
{
    return finish(call(idArgument(arguments)));
}

int plainCommand(const Arguments& arguments, HistoryClient& client, const char* method)
{
    expectNoArguments(arguments);
    return finish(client.call(QLatin1String(method)));
}

Arguments parse(const QStringList& words)
{
    Arguments arguments;
    arguments.command = words.value(1);
    bool optionsEnded = false;
    for (qsizetype i = 2; i < words.size(); ++i) {
        const QString& word = words.at(i);
        const auto value = [&](const QString& name) {
            if (word.startsWith(name + u'='))
                return word.mid(name.size() + 1);
            if (++i >= words.size())
                throw UsageError(QStringLiteral("%1 needs a value").arg(name));
            return words.at(i);
        };
        if (optionsEnded || !word.startsWith(u'-') || word == u'-') {
            arguments.positional.append(word);
        } else if (word == u"--") {
            optionsEnded = true;
        } else if (word == u"--json") {
            arguments.json = true;
        } else if (word == u"--limit" || word.startsWith(u"--limit=")) {
            bool ok = false;
            arguments.limit = value(QStringLiteral("--limit")).toLongLong(&ok);
            if (!ok || arguments.limit < 1)
                throw UsageError(QStringLiteral("--limit needs a number of entries, 1 or more"));
        } else if (word == u"--type" || word.startsWith(u"--type=")) {
            arguments.type = value(QStringLiteral("--type"));
        } else {
            throw UsageError(QStringLiteral("unknown option %1 (see pellamor --help)").arg(word));
        }
    }
    const bool listing = arguments.command == u"list" || arguments.command == u"search";
    if ((arguments.json || arguments.limit > 0) && !listing)
        throw UsageError(QStringLiteral("--json and --limit go with list and search"));
    if (!arguments.type.isEmpty() && arguments.command != u"add")
        throw UsageError(QStringLiteral("--type goes with add"));
    return arguments;
}

using Command = std::function<int(const Arguments&, HistoryClient&)>;

const std::map<QString, Command>& commands()
{
    static const std::map<QString, Command> table = {
        {QStringLiteral("list"), listCommand},
        {QStringLiteral("search"), searchCommand},
        {QStringLiteral("get"), getCommand},
        {QStringLiteral("add"), addCommand},
        {QStringLiteral("copy"),
         [](const Arguments& a, HistoryClient& c) {
             return idCommand(a, [&c](const QString& id) { return c.call(QStringLiteral("Copy"), {id}); });
         }},
        {QStringLiteral("paste"),
         [](const Arguments& a, HistoryClient& c) {
             return idCommand(a, [&c](const QString& id) { return c.call(QStringLiteral("Paste"), {id}); });
         }},
        {QStringLiteral("delete"),
         [](const Arguments& a, HistoryClient& c) {
             return idCommand(a, [&c](const QString& id) { return c.call(QStringLiteral("Delete"), {id}); });
         }},
        {QStringLiteral("pin"),
         [](const Arguments& a, HistoryClient& c) {
             return idCommand(a, [&c](const QString& id) { return c.call(QStringLiteral("SetPinned"), {id, true}); });
         }},
        {QStringLiteral("unpin"),
         [](const Arguments& a, HistoryClient& c) {
             return idCommand(a, [&c](const QString& id) { return c.call(QStringLiteral("SetPinned"), {id, false}); });
         }},
        {QStringLiteral("clear"), [](const Arguments& a, HistoryClient& c) { return plainCommand(a, c, "Clear"); }},
        {QStringLiteral("pause"), [](const Arguments& a, HistoryClient& c) { return plainCommand(a, c, "Pause"); }},
        {QStringLiteral("resume"), [](const Arguments& a, HistoryClient& c) { return plainCommand(a, c, "Resume"); }},
        {QStringLiteral("ignore-next"),
         [](const Arguments& a, HistoryClient& c) { return plainCommand(a, c, "IgnoreNext"); }},
        {QStringLiteral("toggle"), [](const Arguments& a, HistoryClient& c) { return plainCommand(a, c, "Toggle"); }},
        {QStringLiteral("show"), [](const Arguments& a, HistoryClient& c) { return plainCommand(a, c, "Show"); }},
    };
    return table;
}

} // namespace

int run(int argc, char** argv)
{
    const char* first = argv[1];
    if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0 || std::strcmp(first, "help") == 0) {
        std::fputs(usageText, stdout);
        return success;
    }
    if (std::strcmp(first, "--version") == 0) {
        std::printf("pellamor %s\n", PELLAMOR_VERSION);
        return success;
    }
    QCoreApplication application(argc, argv);
    try {
        const Arguments arguments = parse(QCoreApplication::arguments());
        const auto command = commands().find(arguments.command);
        if (command == commands().end())
            throw UsageError(QStringLiteral("unknown command \"%1\" (see pellamor --help)").arg(arguments.command));
        HistoryClient client;
        return command->second(arguments, client);
    } catch (const UsageError& error) {
        printError(error.message);
        return usageError;
    }
}

} // namespace CommandLine
