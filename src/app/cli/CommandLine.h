#pragma once

#include <functional>
#include <memory>

class HistoryFileReader;

// `pellamor COMMAND [ARGS]`: the history from a terminal or a script, through the running program's
// history interface on the session bus. list, get and search read the history file when the program
// is not running. Exit status: 0 on success, 1 when the entry does not exist, the program is not
// running or the command failed, 2 for a usage error.
namespace CommandLine {

inline constexpr int success = 0;
inline constexpr int failure = 1;
inline constexpr int usageError = 2;

// Whether this first argument asks for the command line rather than the program: a command word,
// --help or --version. Every other start (no argument, Qt's own options) starts the program.
bool handles(const char* firstArgument);

// Opens the history file for a command that reads it while the program is not running; null, having
// printed why, when it cannot.
using HistoryFileOpener = std::function<std::unique_ptr<HistoryFileReader>()>;

int run(int argc, char** argv, HistoryFileOpener openHistoryFile);

} // namespace CommandLine
