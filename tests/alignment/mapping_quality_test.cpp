#include "alignment/mapping_quality.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "alignment/alignment_test_support.h"

namespace koru {
namespace {

using testing::alignmentAt;
using testing::positionAt;
using testing::readOf;

// Quality characters with offset 33: '+' is 10, '5' is 20, '?' is 30, 'I' is 40.
class MappingQualityTest : public ::testing::Test {
  protected:
    // A 100-base region at 0 and a copy at 160 that differs at 20, 30 and 40. The read is the
    // region with base 10 changed: 1 mismatch at 0 and 4 at 160.
    std::string region;
    std::string read;
    std::unique_ptr<GenomeSequence> genome;
    AlignmentScratch scratch;
    ExecutionParameters params;

    void SetUp() override {
        std::mt19937 random(99);
        region = testing::randomBases(100, random);
        const std::string copy = testing::withMismatches(region, {20, 30, 40});
        genome = testing::fastaGenome(">r\n" + region + testing::randomBases(60, random) + copy +
                                      testing::randomBases(40, random) + "\n");
        genome->mappingQualityOfKeyBelongingToUnmappedRegion = 60;
        read = testing::withMismatches(region, {10});
    }

    std::uint32_t qualityOf(Alignment& alignment, Read& r) {
        performAlignment(params, r, alignment, *genome);
        addQualityScoreToAlignment(params, r, alignment, *genome);
        return alignment.mappingQuality;
    }
    std::uint32_t qualityOfRepeat(std::uint32_t n) {
        Read r = readOf(region);
        Alignment a = alignmentAt(positionAt(0, 0));
        a.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches = n;
        return qualityOf(a, r);
    }
    // The read at 0, the copy at 160 as second best, with these counts.
    Alignment withSecondBest(std::uint32_t primaryCount, std::uint32_t secondaryCount) {
        Alignment a = alignmentAt(positionAt(0, 1));
        a.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches = primaryCount;
        a.secondaryPosition = positionAt(160, 4);
        a.secondaryPosition.numberOfCandidatesWithSameOrFewerMismatches = secondaryCount;
        return a;
    }
    Read readWithQualities() {
        Read r = readOf(read);
        r.qualitySequence[10] = '+';
        return r;
    }
};

TEST_F(MappingQualityTest, PerfectUniqueMatchTakesTheTruncatedAverageBaseQuality) {
    Read r = readOf(region);
    Alignment a = alignmentAt(positionAt(0, 0));
    EXPECT_EQ(qualityOf(a, r), 40u);
    genome->mappingQualityOfKeyBelongingToUnmappedRegion = 25;
    EXPECT_EQ(qualityOf(a, r), 25u);
    genome->mappingQualityOfKeyBelongingToUnmappedRegion = 60;
    // (99 x 73 + 43) / 100 = 72.7, so 72 - 33.
    r.qualitySequence[0] = '+';
    EXPECT_EQ(qualityOf(a, r), 39u);
    // An average below the offset is 0, not a wrapped value.
    params.phredQualityOffset = 80;
    EXPECT_EQ(qualityOf(a, r), 0u);
}

TEST_F(MappingQualityTest, PositionsFittingAsWellShareTheRead) {
    EXPECT_EQ(qualityOfRepeat(2), 3u);
    EXPECT_EQ(qualityOfRepeat(3), 2u);
    for (std::uint32_t n = 4; n <= 9; ++n) EXPECT_EQ(qualityOfRepeat(n), 1u) << n;
    EXPECT_EQ(qualityOfRepeat(10), 0u);
    EXPECT_EQ(qualityOfRepeat(1000), 0u);
}

TEST_F(MappingQualityTest, EmptyOrUnreportableAlignmentHasNone) {
    Read r = readOf(region);
    for (const bool empty : {true, false}) {
        Alignment a = alignmentAt(positionAt(0, 0));
        (empty ? a.isEmpty : a.isReportable) = empty;  // empty, or found but unreportable
        a.mappingQuality = 12;
        addQualityScoreToAlignment(params, r, a, *genome);
        EXPECT_EQ(a.mappingQuality, 0u) << empty;
    }
}

// With mismatches the quality is the cap unless a second best counted as rarer bounds it: by the
// difference of the mismatches' qualities less the spread of the count, both stopping at 0.
TEST_F(MappingQualityTest, AReadWithMismatchesIsBoundedOnlyByASecondBestThatCountsMore) {
    Read r = readWithQualities();
    Alignment unique = alignmentAt(positionAt(0, 1));
    EXPECT_EQ(qualityOf(unique, r), 60u);
    EXPECT_EQ(calculateMappingQualityRelativeToSecondBestCandidate(params, r, unique, *genome, scratch), -1);
    Alignment equalCounts = withSecondBest(1, 1);
    EXPECT_EQ(qualityOf(equalCounts, r), 60u);
    // P = 10 (base 10); S = 10 + 3 x 40. (130 - 10) - 4.343 x log10(11 - 1) = 115.657.
    genome->mappingQualityOfKeyBelongingToUnmappedRegion = 255;
    Alignment a = withSecondBest(1, 11);
    EXPECT_EQ(qualityOf(a, r), 116u);
    EXPECT_EQ(calculateMappingQualityRelativeToSecondBestCandidate(params, r, a, *genome, scratch), 116);
    genome->mappingQualityOfKeyBelongingToUnmappedRegion = 60;
    EXPECT_EQ(qualityOf(a, r), 60u);
    // The primary at the copy: P = 130, S = 10; as an unsigned difference S - P would give the cap.
    Alignment worse = alignmentAt(positionAt(160, 4));
    worse.secondaryPosition = positionAt(0, 1);
    worse.secondaryPosition.numberOfCandidatesWithSameOrFewerMismatches = 2;
    EXPECT_EQ(qualityOf(worse, r), 0u);
    // As an unsigned difference the count would subtract about 41.8 and leave 0.
    r.qualitySequence[20] = r.qualitySequence[30] = r.qualitySequence[40] = '+';
    Alignment fewer = withSecondBest(1, 0);
    EXPECT_EQ(qualityOf(fewer, r), 60u);
}

// Only mismatches add their quality, and one below the offset adds nothing. A perfect position adds
// nothing; trimmed ends, bases after an insertion (read base 60 follows 3 inserted bases, so it is
// compared at index 57) and reversed qualities are each taken where they are.
TEST_F(MappingQualityTest, SumOfMismatchesTakesEachBasesOwnQuality) {
    EXPECT_EQ(sumBaseQualityForMismatches("MMAMC", "II+I5", 5, 33), 30u);
    EXPECT_EQ(sumBaseQualityForMismatches("MMAMC", "II+I5", 3, 33), 10u);
    // With offset 50, '+' (43) lies below it and adds nothing; '5' (53) adds 3.
    EXPECT_EQ(sumBaseQualityForMismatches("MMAMC", "II+I5", 5, 50), 3u);
    Read perfect = readOf(read);
    EXPECT_EQ(
        sumBaseQualityForPositionsMismatches("AMMM", positionAt(0, 0), perfect, *genome, params, scratch),
        0u);
    EXPECT_EQ(sumBaseQualityForPositionsMismatches("", positionAt(0, 1), perfect, *genome, params, scratch),
              40u);
    Read trimmed = readOf(testing::withMismatches(region, {0}));
    trimmed.qualitySequence[0] = '5';
    Alignment a = alignmentAt(positionAt(0, 1));
    performAlignment(params, trimmed, a, *genome);
    ASSERT_EQ(a.cigarString, "1S99M");
    EXPECT_EQ(sumBaseQualityForPositionsMismatches(a.matchString, a.primaryPosition, trimmed, *genome, params,
                                                   scratch),
              20u);
    Read inserted =
        readOf(testing::withMismatches(region.substr(0, 40) + "TTT" + region.substr(40, 57), {60}));
    inserted.qualitySequence[57] = '?';
    inserted.qualitySequence[60] = '5';
    const Position insertion = positionAt(0, 1, kForwardOrientation, testing::indelOf(kInsertion, 3, 40));
    EXPECT_EQ(sumBaseQualityForPositionsMismatches("", insertion, inserted, *genome, params, scratch), 20u);
    // Base 10 as sequenced is index 89 of the reverse complement.
    std::string bases = testing::reverseComplementOf(region);
    bases[10] = testing::otherBase(bases[10]);
    Read reverse = readOf(bases);
    reverse.qualitySequence[10] = '5';
    reverse.qualitySequence[89] = '?';
    EXPECT_EQ(sumBaseQualityForPositionsMismatches("", positionAt(0, 1, kReverseComplementOrientation),
                                                   reverse, *genome, params, scratch),
              20u);
}

}  // namespace
}  // namespace koru
