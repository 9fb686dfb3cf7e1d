#pragma once
// printf-style formatting into std::string: the system's messages and reports are fixed
// printf formats, and keeping them as formats makes them easy to compare with their wording.

#include <cstdarg>
#include <string>

namespace koru {

[[gnu::format(printf, 1, 2)]] std::string stringPrintf(const char* format, ...);
[[gnu::format(printf, 2, 3)]] void appendPrintf(std::string& out, const char* format, ...);
std::string stringPrintfV(const char* format, std::va_list arguments);

}  // namespace koru
