#include "alignment/junction_split.h"

#include <gtest/gtest.h>

#include <string>

#include "alignment/alignment_test_support.h"

namespace koru {
namespace {

using testing::alignmentAt;
using testing::positionAt;
using testing::readOf;
using testing::reverseComplementOf;
using testing::withMismatches;

constexpr std::uint32_t kForward = kForwardOrientation;
constexpr std::uint32_t kReverse = kReverseComplementOrientation;

// Reads built from two places of the test genome, aligned at both as mapping aligns them: the
// chosen alignment at p holds the read's first 60 bases, the fragment at q its last 40.
class JunctionSplitTest : public ::testing::Test {
  protected:
    std::unique_ptr<GenomeSequence> genome = testing::newTestGenome();
    const std::string& chromosome = testing::testChromosomes()[0];
    ExecutionParameters params;
    static constexpr std::uint32_t p = 50, q = 250;

    std::string ref(std::size_t at, std::size_t length) const { return chromosome.substr(at, length); }
    // The match string of the read at a genome position, as the simple alignment leaves it.
    std::string matchAt(Read& read, std::uint32_t position, std::uint32_t orientation) {
        Alignment alignment = alignmentAt(positionAt(position, 30, orientation));
        performAlignment(params, read, alignment, *genome);
        return alignment.matchString;
    }
    JunctionSplit split(const std::string& bases, std::uint32_t primaryAt, std::uint32_t primaryOrientation,
                        std::uint32_t fragmentAt, std::uint32_t fragmentOrientation) {
        Read read = readOf(bases);
        const std::string primary = matchAt(read, primaryAt, primaryOrientation);
        const std::string fragment = matchAt(read, fragmentAt, fragmentOrientation);
        JunctionSplit result;
        EXPECT_TRUE(splitJunctionRead({primary, primaryOrientation == kReverse},
                                      {fragment, fragmentOrientation == kReverse}, read.length, result));
        return result;
    }
};

JunctionPart part(std::uint32_t clippedStart, std::uint32_t clippedEnd, std::uint32_t editDistance,
                  std::string cigar, std::string mismatches) {
    return {clippedStart, clippedEnd, editDistance, std::move(cigar), std::move(mismatches)};
}
auto fieldsOf(const JunctionPart& p) {
    return std::tuple(p.clippedStart, p.clippedEnd, p.editDistance, p.cigar, p.mismatches);
}

// Reads of bases 10 and 80 changed, made of the first 60 bases at p and the last 40 at q, each
// part forward or reverse. Neither part's bases at the junction match the other place, so the split
// falls exactly on it. A reverse fragment leads the read in its own orientation (40M60S) while the
// split, in the read's orientation, stays at 60; a reverse primary holds the read's end. The outer
// ends are trimmed as a whole alignment's are: a lone match between mismatches anchors no part.
TEST_F(JunctionSplitTest, PartsOfEachOrientation) {
    ASSERT_NE(ref(p + 60, 1), ref(q, 1));
    ASSERT_NE(ref(q - 1, 1), ref(p + 59, 1));
    ASSERT_NE(reverseComplementOf(ref(q + 39, 1)), ref(p + 60, 1));
    ASSERT_NE(reverseComplementOf(ref(p + 59, 1)), ref(q + 40, 1));
    const std::string pq = ref(p, 60) + ref(q, 40), pqReverse = ref(p, 60) + reverseComplementOf(ref(q, 40));
    const std::string primaryMismatches = "10" + ref(p + 10, 1) + "49";
    const struct {
        std::string bases;
        std::uint32_t primaryOrientation, fragmentAt, fragmentOrientation, split;
        bool primaryFirst;
        JunctionPart primary, fragment;
    } cases[] = {
        {withMismatches(pq, {10, 80}), kForward, q - 60, kForward, 60, true,
         part(0, 40, 1, "60M40S", primaryMismatches), part(60, 0, 1, "60S40M", "20" + ref(q + 20, 1) + "19")},
        // Read base 80 is the reverse fragment's base 19.
        {withMismatches(pqReverse, {10, 80}), kForward, q, kReverse, 60, true,
         part(0, 40, 1, "60M40S", primaryMismatches), part(0, 60, 1, "40M60S", "19" + ref(q + 19, 1) + "20")},
        {reverseComplementOf(pqReverse), kReverse, q, kForward, 40, false, part(0, 40, 0, "60M40S", "60"),
         part(0, 60, 0, "40M60S", "40")},
        {withMismatches(pq, {0, 2, 97, 99}), kForward, q - 60, kForward, 60, true,
         part(3, 40, 0, "3S57M40S", "57"), part(60, 3, 0, "60S37M3S", "37")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.primary.cigar + " " + c.fragment.cigar);
        const JunctionSplit s = split(c.bases, p, c.primaryOrientation, c.fragmentAt, c.fragmentOrientation);
        EXPECT_EQ(std::tuple(s.split, s.primaryFirst), std::tuple(c.split, c.primaryFirst));
        EXPECT_EQ(fieldsOf(s.primary), fieldsOf(c.primary));
        EXPECT_EQ(fieldsOf(s.fragment), fieldsOf(c.fragment));
    }
}

// Hand-made match strings: bases matching both sides go to the chosen alignment, whichever side
// of the read it holds. Strings that do not cover the read, and a fragment's side without two
// consecutive matches or with only noise, give no split.
TEST(JunctionSplitChoiceTest, ContestedBasesStayWithTheChosenAlignment) {
    const struct {
        std::string primary, fragment, split;  // the split, which side comes first and the CIGARs
    } cases[] = {
        {"MMMMMMACGT", "ACGTMMMMMM", "6 primary first 6M4S 6S4M"},
        {"ACGTMMMMMM", "MMMMMMACGT", "4 fragment first 4S6M 4M6S"},
        // A base neither matches is cut from both: the split keeps it with the chosen alignment,
        // whose trim then drops it.
        {"MMMMMCACGT", "ACGTAGMMMM", "6 primary first 5M5S 6S4M"},
        // An indel's match string is shorter than the read; a perfect match has none.
        {"MMMMMACGT", "ACGTMMMMMM", ""},
        {"", "ACGTMMMMMM", ""},
        {"M", "M", ""},
        {"MMMMMMACGT", "ACGTAMCMAM", ""},
        // Runs of two anchor the fragment's part (its first 19 bases after the split), but 11 matches
        // in nine runs, none longer than 2, are noise: 11 x 2 / (19 x 19 x 9) is below 1%.
        {std::string(20, 'M') + std::string(20, 'A'), std::string(20, 'A') + "MMAMCMAMCMAMCMAMCMMA", ""},
    };
    for (const auto& c : cases) {
        JunctionSplit s;
        const bool split = splitJunctionRead({c.primary, false}, {c.fragment, false},
                                             static_cast<std::uint32_t>(c.fragment.size()), s);
        EXPECT_EQ(split ? std::to_string(s.split) + (s.primaryFirst ? " primary" : " fragment") + " first " +
                              s.primary.cigar + " " + s.fragment.cigar
                        : "",
                  c.split)
            << c.primary << " " << c.fragment;
    }
}

}  // namespace
}  // namespace koru
