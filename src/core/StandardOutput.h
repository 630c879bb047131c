#pragma once

#include <QString>

// The program's only user-facing diagnostics: single lines on standard output, flushed at once.
// Safe to call from any thread.
void printLine(const QString& line);
