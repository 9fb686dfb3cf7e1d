#include "alignment/alignment.h"

#include <gtest/gtest.h>

#include <string>

#include "alignment/alignment_test_support.h"

namespace koru {
namespace {

using testing::alignmentAt;
using testing::indelOf;
using testing::positionAt;
using testing::readOf;
using testing::withMismatches;

class AlignmentSimpleTest : public ::testing::Test {
  protected:
    std::unique_ptr<GenomeSequence> genome = testing::newTestGenome();
    const std::string& chromosome = testing::testChromosomes()[0];
    ExecutionParameters params;
    static constexpr std::uint32_t p = 50;  // where the reads are placed

    std::string ref(std::size_t at, std::size_t length) const { return chromosome.substr(at, length); }
    Alignment aligned(Read& read, const Position& position) {
        Alignment alignment = alignmentAt(position);
        performAlignment(params, read, alignment, *genome);
        return alignment;
    }
};

TEST_F(AlignmentSimpleTest, CigarAndMismatchStrings) {
    const IndelDescriptor insertion = indelOf(kInsertion, 3, 40), deletion = indelOf(kDeletion, 2, 40);
    std::string reverse = testing::reverseComplementOf(ref(p, 100));
    reverse[10] = testing::otherBase(reverse[10]);  // base 89 of the reference strand
    const struct {
        std::string bases;
        Position position;
        std::string cigar, mismatches;
        std::uint32_t editDistance, segments, longest;
    } cases[] = {
        {ref(p, 100), positionAt(p, 0), "100M", "100", 0, 1, 100},
        // A score that claims mismatches compares base by base, with the same result.
        {ref(p, 100), positionAt(p, 3), "100M", "100", 0, 1, 100},
        {withMismatches(ref(p, 100), {0}), positionAt(p, 1), "1S99M", "99", 0, 1, 99},
        // Matches at 1 and 3 (and 96, 98) stand alone: the trim scans go on to 5-6 and 93-94.
        {withMismatches(ref(p, 100), {0, 2, 4, 95, 97, 99}), positionAt(p, 6), "5S90M5S", "90", 0, 1, 90},
        {withMismatches(ref(p, 100), {4, 5}), positionAt(p, 2), "100M",
         "4" + ref(p + 4, 1) + "0" + ref(p + 5, 1) + "94", 2, 2, 94},
        {ref(p, 40) + "TTT" + ref(p + 40, 57), positionAt(p, 30, kForwardOrientation, insertion), "40M3I57M",
         "97", 3, 1, 97},
        // An insertion that runs to either end of the read is a clip: no operation of length 0 beside it.
        {ref(p, 97) + "TTT", positionAt(p, 30, kForwardOrientation, indelOf(kInsertion, 3, 97)), "97M3S",
         "97", 0, 1, 97},
        {"TTT" + ref(p, 97), positionAt(p, 30, kForwardOrientation, indelOf(kInsertion, 3, 0)), "3S97M", "97",
         0, 1, 97},
        // The run before the deletion is not a segment: the base at 41 matches.
        {ref(p, 40) + ref(p + 42, 60), positionAt(p, 30, kForwardOrientation, deletion), "40M2D60M",
         "40^" + ref(p + 40, 2) + "60", 2, 1, 60},
        {withMismatches(ref(p, 40) + ref(p + 42, 60), {40}), positionAt(p, 30, kForwardOrientation, deletion),
         "40M2D60M", "40^" + ref(p + 40, 2) + "0" + ref(p + 42, 1) + "59", 3, 1, 59},
        {reverse, positionAt(p, 1, kReverseComplementOrientation), "100M", "89" + ref(p + 89, 1) + "10", 1, 2,
         89},
    };
    for (const auto& c : cases) {
        Read read = readOf(c.bases);
        const Alignment a = aligned(read, c.position);
        EXPECT_TRUE(a.isReportable) << c.cigar;
        EXPECT_EQ(a.cigarString, c.cigar);
        EXPECT_EQ(a.mismatchString, c.mismatches);
        EXPECT_EQ(a.editDistance, c.editDistance) << c.mismatches;
        EXPECT_EQ(a.numberOfMatchSegments, c.segments) << c.mismatches;
        EXPECT_EQ(a.lengthOfLongestMatchSegment, c.longest) << c.mismatches;
    }
}

// An uncalled base on either side is no evidence of a match: SAM readers count it as a mismatch,
// and a read of N must not match anywhere. Lower case is only a way of writing a base.
TEST_F(AlignmentSimpleTest, UncalledBasesMismatchAndLowerCaseOnesMatch) {
    std::string bases = ref(p, 100);
    const std::string reference = bases;
    bases[0] = bases[1] = bases[50] = 'N';
    bases[30] = static_cast<char>(bases[30] - 'A' + 'a');
    Read read = readOf(bases);
    std::string expected(100, 'M');
    for (const std::size_t i : {0, 1, 50}) expected[i] = reference[i];
    const Alignment a = aligned(read, positionAt(p, 3));
    EXPECT_EQ(a.matchString, expected);
    EXPECT_EQ(a.cigarString, "2S98M");

    std::string gapped = ref(0, p + 100);
    gapped[70] = 'N';
    genome = testing::fastaGenome(">n\n" + gapped + "\n");
    ASSERT_EQ(testing::asciiOf(*genome, 70, 1), "N");
    Read plain = readOf(ref(p, 100));
    expected.assign(100, 'M');
    expected[70 - p] = 'N';
    EXPECT_EQ(aligned(plain, positionAt(p, 0)).matchString, expected)
        << "a gap in the reference is compared even when the binary score saw none";
}

TEST_F(AlignmentSimpleTest, ReadWithoutTwoConsecutiveMatchesOrAMatchQuotientAboveOnePercentIsNotReportable) {
    std::string alternating = ref(p, 100);
    for (std::size_t i = 0; i < alternating.size(); i += 2)
        alternating[i] = testing::otherBase(alternating[i]);
    Read read = readOf(alternating);
    const Alignment a = aligned(read, positionAt(p, 50));
    EXPECT_FALSE(a.isReportable);
    EXPECT_EQ(a.cigarString + a.mismatchString, "");

    // 40 and 39 mismatched bases are trimmed; of the 21 left, base 50 mismatches:
    // (100 - 1 - 40 - 39) x 10 / (100 x 100 x 2) = 0.01 exactly. With base 51 instead, 0.011.
    std::string bases = ref(p, 100);
    for (std::size_t i = 0; i < 100; ++i)
        if (i < 40 || i >= 61) bases[i] = testing::otherBase(bases[i]);
    for (const std::size_t inner : {50, 51}) {
        Read trimmed = readOf(withMismatches(bases, {inner}));
        const Alignment t = aligned(trimmed, positionAt(p, 80));
        EXPECT_EQ(t.cigarString, "40S21M39S");
        EXPECT_EQ(t.numberOfMatchSegments, 2u);
        EXPECT_EQ(t.isReportable, inner == 51);
    }
    Read atOnePercent = readOf(withMismatches(bases, {50}));
    EXPECT_EQ(aligned(atOnePercent, positionAt(p, 80)).mismatchString, "10" + ref(p + 50, 1) + "10");
}

TEST_F(AlignmentSimpleTest, ReferenceMissingBeyondTheGenomeIsMismatched) {
    const auto padded = static_cast<std::uint32_t>(genome->paddedSequenceLength);
    ASSERT_EQ(testing::asciiOf(*genome, padded - 50, 50), std::string(50, 'N'));
    Read read = readOf(ref(p, 100));
    const std::string straddling = createSimpleMatchString(positionAt(padded - 50, 1), read, *genome);
    ASSERT_EQ(straddling.size(), 100u);
    EXPECT_EQ(straddling.find('M'), std::string::npos) << "padding is not reference";

    const auto end = static_cast<std::uint32_t>(genome->asciiEncodedArrayLength);
    for (const std::uint32_t position : {end - 10, end + 5}) {
        const Alignment a = aligned(read, positionAt(position, 1));
        EXPECT_EQ(a.matchString.find('M'), std::string::npos);
        EXPECT_FALSE(a.isReportable);
    }
}

// A read placed across a chromosome's end is clipped there, whatever the padding and the next
// chromosome hold (a run of T encodes like the padding, so even a zero binary score is checked);
// one placed in the padding stays off every chromosome and is not reported.
TEST_F(AlignmentSimpleTest, AlignmentsStayOnTheirChromosome) {
    const std::string first = ref(0, 200), second = ref(300, 200);
    genome = testing::fastaGenome(">a\n" + first + "\n>b\n" + second + "\n");
    const std::uint32_t secondStart =
        static_cast<std::uint32_t>(genome->chromosomes.at(1).startGenomePosition);
    for (const std::uint16_t score : {0, 1}) {
        Read straddling = readOf(first.substr(130) + std::string(30, 'T'));
        const Alignment a = aligned(straddling, positionAt(130, score));
        EXPECT_EQ(a.cigarString, "70M30S") << score;
        EXPECT_EQ(a.mismatchString, "70") << score;
    }
    Read fromPadding = readOf(std::string(20, 'T') + second.substr(0, 80));
    EXPECT_FALSE(aligned(fromPadding, positionAt(secondStart - 20, 1)).isReportable);
}

TEST(AlignmentRecordTest, ChromosomeAnnotationOfReportableAlignmentsOnly) {
    const auto genome = testing::newTestGenome();
    const auto annotated = [&](std::uint32_t position, bool copyName, bool reportable = true) {
        Alignment a = alignmentAt(positionAt(position, 0));
        a.isReportable = reportable;
        addChromosomeInformationToAlignment(a, *genome, copyName);
        return std::tuple(a.chromosomeNumber, a.chromosomePosition, a.chromosomeName);
    };
    EXPECT_EQ(annotated(testing::kSecondChromosomeStart + 25, false), std::tuple(2u, 25u, ""));
    EXPECT_EQ(annotated(testing::kSecondChromosomeStart + 25, true), std::tuple(2u, 25u, "c2"));
    EXPECT_EQ(annotated(30, true), std::tuple(1u, 30u, "c1"));
    // Beyond the genome, or not reportable: left unannotated.
    EXPECT_EQ(annotated(100000, true), std::tuple(0u, 0u, ""));
    EXPECT_EQ(annotated(30, true, false), std::tuple(0u, 0u, ""));
}

}  // namespace
}  // namespace koru
