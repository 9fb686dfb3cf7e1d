#pragma once
// The crash handler and small diagnostic reports.

#include <cstdio>

namespace koru {

// Prints "Error: signal N:" and a backtrace of at most 10 frames on standard error, flushes
// both standard streams and ends the process with status 1.
[[noreturn]] void printStackTraceOnSegFaultSignalHandler(int signalNumber);

// Installs the handler for segmentation faults, and for bus errors, which a file shrinking
// under a mapping raises.
void installCrashHandler();

void logMessage(const char* tag, const char* source, int line, const char* message);
void printDataTypeLimits(std::FILE* stream);
void printDataTypeSizes(std::FILE* stream);

}  // namespace koru
