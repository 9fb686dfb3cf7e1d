#pragma once
// Small text functions whose exact edge behaviour several readers and writers rely on.

#include <regex.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace koru {

// Sum of the bytes as unsigned values divided by their number, truncated; 0 for an empty text.
uint32_t getAverageAsciiValueOfString(std::string_view text);

// The last occurrence of needle in haystack (overlapping occurrences count), or null when there
// is none. An empty needle has no position worth reporting and also gives null.
const char* strrstr(std::string_view haystack, std::string_view needle);

// Appends the first `length` characters of text as lines of at most lineWidth characters, each
// followed by a line feed. A width of 0 means no wrapping: one line.
void splitStringOverMulitpleLines(std::string& out, std::string_view text, uint32_t length,
                                  uint32_t lineWidth);

// True when the POSIX extended regular expression matches anywhere in text. A pattern that does
// not compile, or a failing match, ends the process.
bool doesStringMatchRegexPattern(std::string_view text, std::string_view pattern);

// An extended regular expression compiled once, for patterns matched again and again; matching
// is safe from several threads at once.
class RegexPattern {
  public:
    explicit RegexPattern(const std::string& pattern);
    ~RegexPattern();
    RegexPattern(const RegexPattern&) = delete;
    RegexPattern& operator=(const RegexPattern&) = delete;

    bool matches(std::string_view text) const;

  private:
    regex_t regex_;
};

// Copies text up to the first delimiter character into out and returns true; returns false,
// leaving out unchanged, when no delimiter occurs.
bool getField(std::string_view text, std::string_view delimiters, std::string& out);

// True when text is "TRUE" in any letter case.
bool isTrue(std::string_view text);
// Upper-cases ASCII letters in place; other bytes are left alone whatever the locale.
void toUpper(std::string& text);
const char* getBoolAsString(bool value);

}  // namespace koru
