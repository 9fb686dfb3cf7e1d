#pragma once
// The crash handler and small diagnostic reports.

#include <cstddef>
#include <cstdio>
#include <string>

namespace koru {

// Prints "Error: signal N:" and a backtrace of at most 10 frames on standard error, flushes
// both standard streams and ends the process with status 1.
[[noreturn]] void printStackTraceOnSegFaultSignalHandler(int signalNumber);

// Installs the handler for segmentation faults, and for bus errors, which a file shrinking
// under a mapping raises.
void installCrashHandler();

// Files mapped into memory, so that a bus error inside one is reported as what it is: the file
// changed or shrank under the process (written over in place, as cp does, instead of a new file
// renamed into place). `kind` names the file for the message ("index file"); it must outlive the
// mapping. Mappings beyond the few the handler keeps are reported as plain signals.
void registerMappedFile(const void* start, std::size_t bytes, const char* kind, const std::string& fileName);
void unregisterMappedFile(const void* start);

void logMessage(const char* tag, const char* source, int line, const char* message);
void printDataTypeLimits(std::FILE* stream);
void printDataTypeSizes(std::FILE* stream);

}  // namespace koru
