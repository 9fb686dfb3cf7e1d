#include "support/text_format.h"

#include <cstdio>

namespace koru {

namespace {

void appendPrintfV(std::string& out, const char* format, std::va_list arguments) {
    std::va_list measure;
    va_copy(measure, arguments);
    char small[256];
    const int needed = std::vsnprintf(small, sizeof small, format, measure);
    va_end(measure);
    if (needed <= 0) return;
    if (static_cast<size_t>(needed) < sizeof small) {
        out.append(small, static_cast<size_t>(needed));
        return;
    }
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(needed) + 1);
    std::vsnprintf(out.data() + start, static_cast<size_t>(needed) + 1, format, arguments);
    out.resize(start + static_cast<size_t>(needed));
}

}  // namespace

std::string stringPrintfV(const char* format, std::va_list arguments) {
    std::string out;
    appendPrintfV(out, format, arguments);
    return out;
}

std::string stringPrintf(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::string out = stringPrintfV(format, arguments);
    va_end(arguments);
    return out;
}

void appendPrintf(std::string& out, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    appendPrintfV(out, format, arguments);
    va_end(arguments);
}

}  // namespace koru
