#include "support/diagnostics.h"

#include <execinfo.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>

namespace koru {

void printStackTraceOnSegFaultSignalHandler(int signalNumber) {
    // Only async-signal-safe calls before the streams are flushed: the heap may be broken.
    char line[64];
    const int length = std::snprintf(line, sizeof line, "Error: signal %d:\n", signalNumber);
    if (length > 0) {
        [[maybe_unused]] const auto written = write(STDERR_FILENO, line, static_cast<std::size_t>(length));
    }
    void* frames[10];
    const int depth = backtrace(frames, 10);
    backtrace_symbols_fd(frames, depth, STDERR_FILENO);
    std::fflush(stderr);
    std::fflush(stdout);
    _exit(1);
}

void installCrashHandler() {
    std::signal(SIGSEGV, printStackTraceOnSegFaultSignalHandler);
    std::signal(SIGBUS, printStackTraceOnSegFaultSignalHandler);
}

void logMessage(const char* tag, const char* source, int line, const char* message) {
    const std::time_t now = std::time(nullptr);
    char timeText[64] = {};
    ctime_r(&now, timeText);
    timeText[std::strcspn(timeText, "\n")] = '\0';
    std::printf("%s: %s: %s: line=%d: %s\n", tag, timeText, source, line, message);
}

void printDataTypeLimits(std::FILE* stream) {
    std::fprintf(stream, "Datatype Limits:\n");
    std::fprintf(stream, "\tchar: %d to %d\n", CHAR_MIN, CHAR_MAX);
    std::fprintf(stream, "\tunsigned char: 0 to %u\n", static_cast<unsigned>(UCHAR_MAX));
    std::fprintf(stream, "\tshort: %d to %d\n", SHRT_MIN, SHRT_MAX);
    std::fprintf(stream, "\tunsigned short: 0 to %u\n", static_cast<unsigned>(USHRT_MAX));
    std::fprintf(stream, "\tint: %d to %d\n", INT_MIN, INT_MAX);
    std::fprintf(stream, "\tunsigned int: 0 to %u\n", UINT_MAX);
    std::fprintf(stream, "\tlong: %ld to %ld\n", LONG_MIN, LONG_MAX);
    std::fprintf(stream, "\tunsigned long: 0 to %lu\n", ULONG_MAX);
    std::fprintf(stream, "\tlong long: %lld to %lld\n", LLONG_MIN, LLONG_MAX);
    std::fprintf(stream, "\tunsigned long long: 0 to %llu\n", ULLONG_MAX);
}

void printDataTypeSizes(std::FILE* stream) {
    std::fprintf(stream, "Datatype Sizes in Bytes:\n");
    std::fprintf(stream, "\tchar = %zu\n", sizeof(char));
    std::fprintf(stream, "\tshort = %zu\n", sizeof(short));
    std::fprintf(stream, "\tint = %zu\n", sizeof(int));
    std::fprintf(stream, "\tlong = %zu\n", sizeof(long));
    std::fprintf(stream, "\tlong long = %zu\n", sizeof(long long));
    std::fprintf(stream, "\tpointer = %zu\n", sizeof(void*));
    std::fprintf(stream, "\tsize_t = %zu\n", sizeof(std::size_t));
}

}  // namespace koru
