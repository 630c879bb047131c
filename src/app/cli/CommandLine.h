#pragma once

// `pellamor COMMAND [ARGS]`: the history from a terminal or a script, through the running program's
// history interface on the session bus. list, get and search read the history file when the program
// is not running. Exit status: 0 on success, 1 when the entry does not exist, the program is not
// running or the command failed, 2 for a usage error.
namespace CommandLine {

inline constexpr int success = 0;
inline constexpr int failure = 1;
inline constexpr int usageError = 2;

int run(int argc, char** argv);

} // namespace CommandLine
