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

}  // namespace koru
