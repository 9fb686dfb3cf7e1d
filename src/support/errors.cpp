#include "support/errors.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "support/text_format.h"

namespace koru {

namespace {

ErrorHook errorHook = nullptr;

}  // namespace

ErrorHook setErrorHook(ErrorHook hook) {
    return std::exchange(errorHook, hook);
}

void exitWithError(std::string_view message) {
    if (errorHook != nullptr) errorHook(message);
    std::fflush(stdout);
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fflush(stderr);
    std::exit(1);
}

void exitWithErrorFromSignalHandler(const char* const* pieces, int count) {
    for (int i = 0; i < count; ++i) {
        [[maybe_unused]] const auto written = ::write(STDERR_FILENO, pieces[i], std::strlen(pieces[i]));
    }
    ::_exit(1);
}

void exitWithErrorFormat(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const std::string message = stringPrintfV(format, arguments);
    va_end(arguments);
    exitWithError(message);
}

}  // namespace koru
