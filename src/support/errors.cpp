#include "support/errors.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "support/text_format.h"

namespace koru {

void exitWithError(std::string_view message) {
    std::fflush(stdout);
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fflush(stderr);
    std::exit(1);
}

void exitWithErrorFormat(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const std::string message = stringPrintfV(format, arguments);
    va_end(arguments);
    exitWithError(message);
}

}  // namespace koru
