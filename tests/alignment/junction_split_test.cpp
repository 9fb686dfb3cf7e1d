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

void expectPart(const JunctionPart& part, std::uint32_t clippedStart, const std::string& cigar,
                const std::string& mismatches, std::uint32_t editDistance) {
    EXPECT_EQ(part.clippedStart, clippedStart) << cigar;
    EXPECT_EQ(part.cigar, cigar);
    EXPECT_EQ(part.mismatches, mismatches);
    EXPECT_EQ(part.editDistance, editDistance) << mismatches;
}

// A substitution in each part (read bases 10 and 80); neither part's bases at the junction match
// the other place, so the split falls exactly on it.
TEST_F(JunctionSplitTest, BothForwardSplitAtTheJunction) {
    ASSERT_NE(ref(p + 60, 1), ref(q, 1));
    ASSERT_NE(ref(q - 1, 1), ref(p + 59, 1));
    const JunctionSplit s =
        split(withMismatches(ref(p, 60) + ref(q, 40), {10, 80}), p, kForward, q - 60, kForward);
    EXPECT_EQ(s.split, 60u);
    EXPECT_TRUE(s.primaryFirst);
    expectPart(s.primary, 0, "60M40S", "10" + ref(p + 10, 1) + "49", 1);
    // The fragment's first aligned base is read base 60, at q.
    expectPart(s.fragment, 60, "60S40M", "20" + ref(q + 20, 1) + "19", 1);
    EXPECT_EQ(s.fragment.clippedEnd, 0u);
}

// The fragment's part is the reverse complement of q..q+39: in its own orientation it leads the
// read, so its CIGAR is 40M60S while the split, in the read's orientation, is still at 60.
TEST_F(JunctionSplitTest, ForwardPrimaryReverseFragment) {
    ASSERT_NE(reverseComplementOf(ref(q + 39, 1)), ref(p + 60, 1));
    ASSERT_NE(reverseComplementOf(ref(p + 59, 1)), ref(q + 40, 1));
    const std::string bases = withMismatches(ref(p, 60) + reverseComplementOf(ref(q, 40)), {10, 80});
    const JunctionSplit s = split(bases, p, kForward, q, kReverse);
    EXPECT_EQ(s.split, 60u);
    EXPECT_TRUE(s.primaryFirst);
    expectPart(s.primary, 0, "60M40S", "10" + ref(p + 10, 1) + "49", 1);
    // Read base 80 is the fragment's base 19.
    expectPart(s.fragment, 0, "40M60S", "19" + ref(q + 19, 1) + "20", 1);
    EXPECT_EQ(s.fragment.clippedEnd, 60u);
}

// The same read sequenced from the other strand: the chosen alignment is reverse and holds the
// read's last 60 bases, the fragment (forward, at q - 40) its first 40.
TEST_F(JunctionSplitTest, ReversePrimaryHoldsTheReadsEnd) {
    const std::string bases = reverseComplementOf(ref(p, 60) + reverseComplementOf(ref(q, 40)));
    ASSERT_EQ(bases, ref(q, 40) + reverseComplementOf(ref(p, 60)));
    ASSERT_NE(ref(q + 40, 1), reverseComplementOf(ref(p + 59, 1)));
    ASSERT_NE(reverseComplementOf(ref(q + 39, 1)), ref(p + 60, 1));
    const JunctionSplit s = split(bases, p, kReverse, q, kForward);
    EXPECT_EQ(s.split, 40u);
    EXPECT_FALSE(s.primaryFirst);
    expectPart(s.primary, 0, "60M40S", "60", 0);
    expectPart(s.fragment, 0, "40M60S", "40", 0);
}

// The read's outer ends are trimmed as a whole alignment's are: a lone match between mismatches
// (read bases 1 and 98) does not anchor a part.
TEST_F(JunctionSplitTest, OuterEndsAreTrimmedAsAWholeAlignmentsAre) {
    const std::string bases = withMismatches(ref(p, 60) + ref(q, 40), {0, 2, 97, 99});
    const JunctionSplit s = split(bases, p, kForward, q - 60, kForward);
    expectPart(s.primary, 3, "3S57M40S", "57", 0);
    expectPart(s.fragment, 60, "60S37M3S", "37", 0);
}

// Hand-made match strings of ten bases: bases matching both sides go to the chosen alignment,
// whichever side of the read it holds.
TEST(JunctionSplitChoiceTest, ContestedBasesStayWithTheChosenAlignment) {
    const struct {
        std::string primary, fragment;
        std::uint32_t split;
        bool primaryFirst;
        std::string primaryCigar, fragmentCigar;
    } cases[] = {
        {"MMMMMMACGT", "ACGTMMMMMM", 6, true, "6M4S", "6S4M"},
        {"ACGTMMMMMM", "MMMMMMACGT", 4, false, "4S6M", "4M6S"},
        // A base neither matches is cut from both: the split keeps it with the chosen alignment,
        // whose trim then drops it.
        {"MMMMMCACGT", "ACGTAGMMMM", 6, true, "5M5S", "6S4M"},
    };
    for (const auto& c : cases) {
        JunctionSplit s;
        ASSERT_TRUE(splitJunctionRead({c.primary, false}, {c.fragment, false}, 10, s)) << c.primary;
        EXPECT_EQ(s.split, c.split) << c.primary;
        EXPECT_EQ(s.primaryFirst, c.primaryFirst) << c.primary;
        EXPECT_EQ(s.primary.cigar, c.primaryCigar);
        EXPECT_EQ(s.fragment.cigar, c.fragmentCigar);
    }
}

TEST(JunctionSplitChoiceTest, ReadsThatCannotBeSplit) {
    JunctionSplit s;
    // Match strings that do not cover the read (an indel's, or none for a perfect match).
    EXPECT_FALSE(splitJunctionRead({"MMMMMACGT", false}, {"ACGTMMMMMM", false}, 10, s));
    EXPECT_FALSE(splitJunctionRead({"", false}, {"ACGTMMMMMM", false}, 10, s));
    EXPECT_FALSE(splitJunctionRead({"M", false}, {"M", false}, 1, s));
    // The fragment's side holds no two consecutive matches.
    EXPECT_FALSE(splitJunctionRead({"MMMMMMACGT", false}, {"ACGTAMCMAM", false}, 10, s));
    // Runs of two anchor the fragment's part (its first 19 bases after the split), but 11 matches
    // in nine runs, none longer than 2, are noise: 11 x 2 / (19 x 19 x 9) is below 1%.
    const std::string noisy = "MMAMCMAMCMAMCMAMCMMA";
    EXPECT_FALSE(splitJunctionRead({std::string(20, 'M') + std::string(20, 'A'), false},
                                   {std::string(20, 'A') + noisy, false}, 40, s));
}

}  // namespace
}  // namespace koru
