#pragma once
// The one error path of the system: every failure koru detects prints its fixed message on
// standard error and ends the process with status 1. Nothing returns an error to a caller.

#include <string_view>

namespace koru {

// Writes the message exactly as given (no line feed is added), flushes standard output and
// standard error, and ends the process with status 1.
[[noreturn]] void exitWithError(std::string_view message);

// The same for a printf-style message.
[[noreturn, gnu::format(printf, 1, 2)]] void exitWithErrorFormat(const char* format, ...);

// The same from a signal handler, where the streams, the heap and exit handlers may be in any
// state: the pieces are written straight to standard error, in order, and the process ends at once.
[[noreturn]] void exitWithErrorFromSignalHandler(const char* const* pieces, int count);

// Called with the message before anything is printed, when set; a hook that returns lets the
// error go on as above. The fuzz targets (fuzz/) set one that throws, so that a refused input ends
// one attempt instead of the fuzzing process: an exception unwinds the caller's owners of memory
// and descriptors, where a longjmp would leak them on every refused input, and a hook costs normal
// runs one null pointer, where a build option would need a build of its own to be tested. A thrown
// error only reaches the thread that raised it, so it is for callers that parse on their own
// thread. Set it before any thread starts; it returns the hook it replaces.
using ErrorHook = void (*)(std::string_view message);
ErrorHook setErrorHook(ErrorHook hook);

}  // namespace koru
