#include "support/diagnostics.h"

#include <execinfo.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "support/errors.h"

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

namespace {

// The handler reads these without locks: a slot is claimed (address 1) before it is filled, and its
// address published last and cleared first; threads mapping sequence files register at once.
struct MappedFile {
    std::atomic<std::uintptr_t> start{0};
    std::size_t bytes = 0;
    const char* kind = "";
    char name[PATH_MAX + 1] = {};
};
MappedFile mappedFiles[16];

void reportBusError(int signalNumber, siginfo_t* information, void*) {
    const auto address = reinterpret_cast<std::uintptr_t>(information->si_addr);
    for (const MappedFile& file : mappedFiles) {
        const std::uintptr_t start = file.start.load(std::memory_order_acquire);
        if (start <= 1 || address < start || address - start >= file.bytes) continue;
        const char* const pieces[] = {"ERROR: The ", file.kind, " \"", file.name,
                                      "\" changed or shrank while koru was using it; replace such a file by "
                                      "renaming a new one into its place, never by writing over it.\n"};
        exitWithErrorFromSignalHandler(pieces, 5);
    }
    printStackTraceOnSegFaultSignalHandler(signalNumber);
}

}  // namespace

void registerMappedFile(const void* start, std::size_t bytes, const char* kind, const std::string& fileName) {
    for (MappedFile& file : mappedFiles) {
        std::uintptr_t free = 0;
        if (!file.start.compare_exchange_strong(free, 1, std::memory_order_acq_rel)) continue;
        file.bytes = bytes;
        file.kind = kind;
        const std::size_t length = std::min(fileName.size(), sizeof file.name - 1);
        fileName.copy(file.name, length);
        file.name[length] = '\0';
        file.start.store(reinterpret_cast<std::uintptr_t>(start), std::memory_order_release);
        return;
    }
}

void unregisterMappedFile(const void* start) {
    for (MappedFile& file : mappedFiles)
        if (file.start.load(std::memory_order_acquire) == reinterpret_cast<std::uintptr_t>(start))
            file.start.store(0, std::memory_order_release);
}

void installCrashHandler() {
    std::signal(SIGSEGV, printStackTraceOnSegFaultSignalHandler);
    struct sigaction action {};
    action.sa_sigaction = reportBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
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
