#include "sequence/string_utilities.h"

#include <gtest/gtest.h>

#include <string>

namespace koru {
namespace {

// A death-test regex that matches the text literally and whole.
std::string exactly(std::string_view text) {
    std::string regex = "^";
    for (const char c : text) {
        if (std::string_view(".[]{}()\\*+?|^$").find(c) != std::string_view::npos) regex.push_back('\\');
        regex.push_back(c);
    }
    return regex + "$";
}

TEST(StringUtilitiesTest, StrrstrFindsTheLastOccurrence) {
    const std::string_view text = "abcab";
    EXPECT_EQ(strrstr(text, "ab"), text.data() + 3);
    EXPECT_EQ(strrstr(text, "abcab"), text.data());
    EXPECT_EQ(strrstr("xyz", "ab"), nullptr);
    EXPECT_EQ(strrstr("ab", "abc"), nullptr);
    // Overlapping occurrences count, as a search that restarts one character on finds them.
    const std::string_view runs = "aaaa";
    EXPECT_EQ(strrstr(runs, "aa"), runs.data() + 2);
    // An empty needle reports nothing rather than a position past the text.
    EXPECT_EQ(strrstr(text, ""), nullptr);
    EXPECT_EQ(strrstr("", ""), nullptr);
}

TEST(StringUtilitiesTest, RegexMatchesAnywhereUnlessAnchored) {
    EXPECT_TRUE(doesStringMatchRegexPattern("read_1.seq", "\\.seq"));
    EXPECT_TRUE(doesStringMatchRegexPattern("xx_abc", "abc"));
    EXPECT_FALSE(doesStringMatchRegexPattern("xx_abc", "^abc"));
    EXPECT_TRUE(doesStringMatchRegexPattern("abc_xx", "^abc"));
    EXPECT_FALSE(doesStringMatchRegexPattern("abc", "abd"));
    // Extended syntax: + and groups without backslashes.
    EXPECT_TRUE(doesStringMatchRegexPattern("@HWI:1:2 1:N", "^@[A-Z]+:[0-9]+:([0-9]+) "));
    EXPECT_FALSE(doesStringMatchRegexPattern("", "a"));
}

TEST(StringUtilitiesDeathTest, RegexThatDoesNotCompileEndsTheProcess) {
    EXPECT_EXIT(doesStringMatchRegexPattern("abc", "a(b"), testing::ExitedWithCode(1),
                exactly("There was an application error, please contact developer for assistance.  ERROR: "
                        "doesStringMatchRegexPattern - could not compile regex \"a(b\"\n"));
}

TEST(StringUtilitiesTest, GetFieldStopsAtTheFirstDelimiter) {
    std::string field = "unchanged";
    EXPECT_TRUE(getField("gi|224589800|ref", "|", field));
    EXPECT_EQ(field, "gi");
    EXPECT_TRUE(getField("chromosome:GRCh37|x", "|:", field));
    EXPECT_EQ(field, "chromosome");
    EXPECT_TRUE(getField("|lead", "|", field));
    EXPECT_EQ(field, "");

    field = "unchanged";
    EXPECT_FALSE(getField("no delimiter here", "|", field));
    EXPECT_EQ(field, "unchanged");
    EXPECT_FALSE(getField("", "|", field));
    EXPECT_FALSE(getField("a|b", "", field));
}

TEST(StringUtilitiesTest, BooleanTexts) {
    EXPECT_TRUE(isTrue("TRUE"));
    EXPECT_TRUE(isTrue("true"));
    EXPECT_TRUE(isTrue("TrUe"));
    EXPECT_FALSE(isTrue("TRUE "));
    EXPECT_FALSE(isTrue("TRU"));
    EXPECT_FALSE(isTrue("1"));
    EXPECT_FALSE(isTrue("yes"));
    EXPECT_FALSE(isTrue(""));
}

TEST(StringUtilitiesTest, ToUpperChangesOnlyAsciiLetters) {
    std::string text = "acgt-Nn_z{\xe9";
    toUpper(text);
    EXPECT_EQ(text, "ACGT-NN_Z{\xe9");
}

}  // namespace
}  // namespace koru
