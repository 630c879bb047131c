#pragma once

#include <optional>
#include <string>
#include <vector>

// The commands a script or a launcher runs most, sent to the running program with libdbus alone, so
// that the launcher loads no Qt and answers in a few milliseconds. Only the plain, successful case is
// handled here; everything else (an error, the program not running, an option this does not know, help)
// is the full command line's, which then runs the command again and reports as it always does.
namespace BusCommand {

struct Result
{
    // The exit status, when the command was run here.
    std::optional<int> status;
    // The words the full command line is to run instead: the original ones, or with the ID that was read
    // from standard input put in its place, since standard input cannot be read twice.
    std::vector<std::string> words;
};

// Whether this first argument asks for the command line rather than the program: a command word,
// --help or --version. Every other start (no argument, Qt's own options) starts the program.
bool handles(const char* firstArgument);

// Runs the command of argv[1] when it is one handled here.
Result run(int argc, char** argv);

} // namespace BusCommand
