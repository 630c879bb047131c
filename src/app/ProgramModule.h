#pragma once

// The entry points of the program module, which the launcher finds by name.

#define PELLAMOR_MODULE_EXPORT __attribute__((visibility("default")))

namespace ProgramModule {
// The module's file name, and where it is installed relative to the launcher's folder (a build keeps
// both in one folder).
inline constexpr const char* fileName = "pellamor-program.so";
inline constexpr const char* mainSymbol = "pellamorProgramMain";
inline constexpr const char* commandLineSymbol = "pellamorCommandLine";
// Both entry points take main's arguments and return its exit status.
using MainFunction = int (*)(int, char**);
} // namespace ProgramModule
