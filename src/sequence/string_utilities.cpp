#include "sequence/string_utilities.h"

#include <algorithm>

#include "support/errors.h"

namespace koru {

namespace {

constexpr char toUpperAscii(char character) {
    return character >= 'a' && character <= 'z' ? static_cast<char>(character - 'a' + 'A') : character;
}

}  // namespace

uint32_t getAverageAsciiValueOfString(std::string_view text) {
    if (text.empty()) return 0;
    uint64_t sum = 0;
    for (const char character : text) sum += static_cast<unsigned char>(character);
    return static_cast<uint32_t>(sum / text.size());
}

const char* strrstr(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return nullptr;
    const size_t position = haystack.rfind(needle);
    return position == std::string_view::npos ? nullptr : haystack.data() + position;
}

void splitStringOverMulitpleLines(std::string& out, std::string_view text, uint32_t length,
                                  uint32_t lineWidth) {
    const std::string_view wanted = text.substr(0, length);
    if (wanted.empty()) return;
    const size_t width = lineWidth == 0 ? wanted.size() : lineWidth;
    for (size_t start = 0; start < wanted.size(); start += width) {
        out.append(wanted.substr(start, width));
        out.push_back('\n');
    }
}

RegexPattern::RegexPattern(const std::string& pattern) {
    if (regcomp(&regex_, pattern.c_str(), REG_EXTENDED | REG_NOSUB) != 0)
        exitWithErrorFormat(
            "There was an application error, please contact developer for assistance.  ERROR: "
            "doesStringMatchRegexPattern - could not compile regex \"%s\"\n",
            pattern.c_str());
}

RegexPattern::~RegexPattern() {
    regfree(&regex_);
}

bool RegexPattern::matches(std::string_view text) const {
    const std::string subject(text);
    const int result = regexec(&regex_, subject.c_str(), 0, nullptr, 0);
    if (result == 0) return true;
    if (result == REG_NOMATCH) return false;
    char reason[101];
    regerror(result, &regex_, reason, sizeof reason);
    exitWithErrorFormat(
        "There was an application error, please contact developer for assistance.  ERROR: "
        "doesStringMatchRegexPattern - %s\n",
        reason);
}

bool doesStringMatchRegexPattern(std::string_view text, std::string_view pattern) {
    return RegexPattern(std::string(pattern)).matches(text);
}

bool getField(std::string_view text, std::string_view delimiters, std::string& out) {
    const size_t position = text.find_first_of(delimiters);
    if (position == std::string_view::npos) return false;
    out.assign(text.substr(0, position));
    return true;
}

bool isTrue(std::string_view text) {
    constexpr std::string_view kTrue = "TRUE";
    return text.size() == kTrue.size() && std::equal(text.begin(), text.end(), kTrue.begin(),
                                                     [](char a, char b) { return toUpperAscii(a) == b; });
}

void toUpper(std::string& text) {
    for (char& character : text) character = toUpperAscii(character);
}

const char* getBoolAsString(bool value) {
    return value ? "true" : "false";
}

}  // namespace koru
