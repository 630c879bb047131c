#include "BusCommand.h"

#include "BusNames.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dbus/dbus.h>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace BusCommand {

namespace {

// As long as the full command line waits: a program that does not answer for this long is stuck.
constexpr int callTimeoutMs = 60'000;
// An ID read from standard input comes from at most this much of it.
constexpr std::size_t maxIdInput = std::size_t(1) << 20;

struct Argument
{
    enum Kind { String, UInt32, Boolean, FileDescriptor } kind;
    std::string text;
    std::uint32_t number = 0;
};

bool isUtf8(std::string_view text)
{
    return dbus_validate_utf8(std::string(text).c_str(), nullptr);
}

bool writeFully(const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

// Calls the method and, when it succeeds, writes the byte array it returns (if any) to standard output.
// No status means the call did not succeed: the full command line is to run it.
std::optional<int> call(const char* method, const std::vector<Argument>& arguments)
{
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* connection = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!connection) {
        dbus_error_free(&error);
        return std::nullopt;
    }
    dbus_connection_set_exit_on_disconnect(connection, false);
    const auto closed = [](DBusConnection* c) {
        dbus_connection_close(c);
        dbus_connection_unref(c);
    };
    const std::unique_ptr<DBusConnection, decltype(closed)> owner(connection, closed);

    const std::unique_ptr<DBusMessage, void (*)(DBusMessage*)> message(
        dbus_message_new_method_call(HistoryBus::serviceName, HistoryBus::objectPath, HistoryBus::interfaceName,
                                     method),
        dbus_message_unref);
    if (!message)
        return std::nullopt;
    // Only a running program answers: a command never starts one.
    dbus_message_set_auto_start(message.get(), false);
    DBusMessageIter iter;
    dbus_message_iter_init_append(message.get(), &iter);
    for (const Argument& argument : arguments) {
        bool appended = false;
        switch (argument.kind) {
        case Argument::String: {
            const char* text = argument.text.c_str();
            appended = dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &text);
            break;
        }
        case Argument::UInt32:
            appended = dbus_message_iter_append_basic(&iter, DBUS_TYPE_UINT32, &argument.number);
            break;
        case Argument::Boolean: {
            const dbus_bool_t value = argument.number != 0;
            appended = dbus_message_iter_append_basic(&iter, DBUS_TYPE_BOOLEAN, &value);
            break;
        }
        case Argument::FileDescriptor: {
            // The bus library sends a duplicate; a bus that cannot pass descriptors leaves it to Qt's side.
            const int fd = int(argument.number);
            appended = dbus_connection_can_send_type(connection, DBUS_TYPE_UNIX_FD) &&
                       dbus_message_iter_append_basic(&iter, DBUS_TYPE_UNIX_FD, &fd);
            break;
        }
        }
        if (!appended)
            return std::nullopt;
    }

    const std::unique_ptr<DBusMessage, void (*)(DBusMessage*)> reply(
        dbus_connection_send_with_reply_and_block(connection, message.get(), callTimeoutMs, &error),
        dbus_message_unref);
    if (!reply) {
        // The program wrote part of the entry before the reader went away: running the command again
        // cannot mend that.
        if (dbus_error_has_name(&error, DBUS_ERROR_IO_ERROR)) {
            std::fprintf(stderr, "pellamor: %s\n", error.message);
            dbus_error_free(&error);
            return 1;
        }
        dbus_error_free(&error);
        return std::nullopt;
    }
    DBusMessageIter answer;
    if (dbus_message_iter_init(reply.get(), &answer) && dbus_message_iter_get_arg_type(&answer) == DBUS_TYPE_ARRAY &&
        dbus_message_iter_get_element_type(&answer) == DBUS_TYPE_BYTE) {
        DBusMessageIter bytes;
        dbus_message_iter_recurse(&answer, &bytes);
        const char* data = nullptr;
        int size = 0;
        dbus_message_iter_get_fixed_array(&bytes, &data, &size);
        if (!writeFully(data, std::size_t(size)))
            return 1;
    }
    return 0;
}

// list and search: --json and --limit N as the full command line reads them; the query is the other words.
std::optional<int> listing(const std::vector<std::string_view>& words, bool search)
{
    std::string query;
    bool json = false;
    std::uint32_t limit = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string_view word = words[i];
        std::string_view number;
        if (word == "--json") {
            json = true;
            continue;
        } else if (word == "--limit" && i + 1 < words.size()) {
            number = words[++i];
        } else if (word.starts_with("--limit=")) {
            number = word.substr(std::strlen("--limit="));
        } else if (search && !word.starts_with('-')) {
            query += (query.empty() ? "" : " ") + std::string(word);
            continue;
        } else {
            return std::nullopt;
        }
        char* end = nullptr;
        const std::string digits(number);
        errno = 0;
        const unsigned long long value = std::strtoull(digits.c_str(), &end, 10);
        if (digits.empty() || digits[0] == '-' || *end != '\0' || errno != 0 || value < 1 || value > UINT32_MAX)
            return std::nullopt;
        limit = std::uint32_t(value);
    }
    if ((search && query.empty()) || !isUtf8(query))
        return std::nullopt;
    return call("ListText", {{Argument::String, query}, {Argument::UInt32, {}, limit}, {Argument::Boolean, {}, json}});
}

// The ID as the argument or the first line of standard input, up to its first tab, without the
// surrounding white space.
std::optional<std::string> idOf(const std::vector<std::string_view>& words, bool& fromInput)
{
    std::string line;
    if (words.size() > 1 || (words.size() == 1 && words[0].starts_with('-')))
        return std::nullopt;
    if (words.size() == 1) {
        line = words[0];
    } else if (!::isatty(STDIN_FILENO)) {
        fromInput = true;
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 || line.size() + std::size_t(got) > maxIdInput)
                return std::nullopt;
            if (got == 0)
                break;
            line.append(buffer, std::size_t(got));
        }
    } else {
        // A usage error, which the full command line words.
        return std::string();
    }
    line = line.substr(0, line.find('\n'));
    line = line.substr(0, line.find('\t'));
    const std::size_t first = line.find_first_not_of(" \t\r\v\f");
    if (first == std::string::npos)
        return std::string();
    return line.substr(first, line.find_last_not_of(" \t\r\v\f") + 1 - first);
}

} // namespace

bool handles(const char* firstArgument)
{
    // Options of Qt and the program's own start (-platform, --surface=...) start the program.
    if (firstArgument[0] == '-')
        return std::strcmp(firstArgument, "--help") == 0 || std::strcmp(firstArgument, "-h") == 0 ||
               std::strcmp(firstArgument, "--version") == 0;
    return true;
}

Result run(int argc, char** argv)
{
    Result result;
    result.words.assign(argv, argv + argc);
    const std::string_view command = argv[1];
    const std::vector<std::string_view> words(argv + 2, argv + argc);

    if (command == "list" || command == "search") {
        result.status = listing(words, command == "search");
        return result;
    }

    static constexpr std::pair<std::string_view, const char*> plain[] = {
        {"clear", "Clear"},   {"pause", "Pause"}, {"resume", "Resume"},
        {"toggle", "Toggle"}, {"show", "Show"},   {"ignore-next", "IgnoreNext"},
    };
    for (const auto& [name, method] : plain) {
        if (command == name && words.empty())
            result.status = call(method, {});
        if (command == name)
            return result;
    }

    static constexpr std::pair<std::string_view, const char*> withId[] = {
        {"copy", "Copy"},     {"paste", "Paste"},     {"delete", "Delete"},
        {"pin", "SetPinned"}, {"unpin", "SetPinned"}, {"get", "WriteTo"},
    };
    for (const auto& [name, method] : withId) {
        if (command != name)
            continue;
        bool fromInput = false;
        const std::optional<std::string> id = idOf(words, fromInput);
        if (fromInput && !id) {
            std::fputs("pellamor: could not read an ID from standard input\n", stderr);
            result.status = 2;
            return result;
        }
        // What was read is handed on: the full command line finds it where it looks first.
        if (fromInput && id && !id->empty()) {
            result.words.resize(2);
            result.words.push_back(*id);
        }
        if (!id || id->empty() || !isUtf8(*id))
            return result;
        std::vector<Argument> arguments = {{Argument::String, *id}};
        if (command == "pin" || command == "unpin")
            arguments.push_back({Argument::Boolean, {}, command == "pin"});
        // The program writes the entry into our standard output itself: it never crosses the bus.
        if (command == "get")
            arguments.push_back({Argument::FileDescriptor, {}, STDOUT_FILENO});
        result.status = call(method, arguments);
        return result;
    }
    return result;
}

} // namespace BusCommand
