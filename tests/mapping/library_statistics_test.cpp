// The library report's histograms, from hand-made primary paired alignments.

#include "mapping/library_statistics.h"

#include <gtest/gtest.h>

#include <numeric>

#include "alignment/mapping_quality.h"

namespace koru {
namespace {

std::uint64_t total(const std::vector<std::uint64_t>& bins) {
    return std::accumulate(bins.begin(), bins.end(), std::uint64_t{0});
}

class LibraryStatisticsTest : public ::testing::Test {
  protected:
    std::unique_ptr<ReadPair> pair = createReadPair(100, 8);
    std::unique_ptr<PairedAlignments> alignments = createPairedAlignments(*pair, 1);
    LibraryStatistics library;

    LibraryStatisticsTest() {
        initPairedAlignment(alignments->pairedAlignments[0], *pair, 2, concordantPairedAlignmentType);
        alignments->numberOfPopulatedPairedAlignments = 1;
        alignments->primarySlot = 0;
    }
    Alignment& read(int which) {
        PairedAlignment& paired = alignments->pairedAlignments[0];
        return (which == 0 ? paired.readAAlignments : paired.readBAlignments).alignments[0];
    }
    void place(int which, std::uint32_t offset, bool reverse, std::uint32_t quality = 20) {
        Alignment& a = read(which);
        a.isEmpty = 0;
        a.isReportable = 1;
        a.chromosomePosition = offset;
        a.primaryPosition.orientation = reverse ? kReverseComplementOrientation : kForwardOrientation;
        a.mappingQuality = quality;
        a.matchString.assign(100, 'M');
    }
    void collect() { collectLibraryStatistics(library, *alignments, *pair); }
};

TEST(OrientationClass, ByTheStrandOfTheLeftmostRead) {
    EXPECT_EQ(orientationClassOf(100, false, 400, true), forwardReverseClass);
    EXPECT_EQ(orientationClassOf(400, true, 100, false), forwardReverseClass);
    EXPECT_EQ(orientationClassOf(100, true, 400, false), reverseForwardClass);
    EXPECT_EQ(orientationClassOf(400, false, 100, true), reverseForwardClass);
    EXPECT_EQ(orientationClassOf(100, false, 400, false), sameStrandClass);
    EXPECT_EQ(orientationClassOf(100, true, 400, true), sameStrandClass);
    // On a tie read A counts as the leftmost.
    EXPECT_EQ(orientationClassOf(100, true, 100, false), reverseForwardClass);
}

TEST_F(LibraryStatisticsTest, AnOutwardPairCountsItsSpanAsAnRfInsertAndSumsAddUp) {
    place(0, 5000, false);
    place(1, 2000, true);
    read(0).matchString[7] = 'T';
    read(0).editDistance = 1;
    collect();
    EXPECT_EQ(library.pairsBothReadsMapped, 1u);
    EXPECT_EQ(library.pairsConcordant, 1u);
    // From read B's first base to read A's last: 5000 + 100 - 2000.
    EXPECT_EQ(library.insertSizes[reverseForwardClass][3100], 1u);
    EXPECT_EQ(total(library.insertSizes[forwardReverseClass]), 0u);
    // Both reads carry the concordant pair's combined quality.
    EXPECT_EQ(library.mappingQualities[0][40], 2u);
    // Threads' statistics are summed histogram by histogram.
    LibraryStatistics sum;
    addLibraryStatistics(sum, library);
    addLibraryStatistics(sum, library);
    EXPECT_EQ(sum.pairsConcordant, 2u);
    EXPECT_EQ(sum.insertSizes[reverseForwardClass][3100], 2u);
    EXPECT_EQ(sum.mappingQualities[0][40], 4u);
    EXPECT_EQ(sum.mismatchedBases[0][7], 2u);
    EXPECT_EQ(total(alignedBasesByPosition(sum, 1)), 200u);
}

TEST_F(LibraryStatisticsTest, HugeInsertsShareTheLastBinAndOtherChromosomesHaveNone) {
    place(0, 0, false);
    place(1, 200000, true);
    alignments->pairedAlignments[0].type = discordantPairedAlignmentType;
    collect();
    EXPECT_EQ(library.insertSizes[forwardReverseClass][insertSizeBins - 1], 1u);
    EXPECT_EQ(library.pairsDiscordant, 1u);
    // A discordant pair's reads carry their own qualities.
    EXPECT_EQ(library.mappingQualities[1][20], 2u);
    read(1).chromosomeNumber = 1;
    collect();
    EXPECT_EQ(library.pairsOnDifferentChromosomes, 1u);
    EXPECT_EQ(total(library.insertSizes[forwardReverseClass]), 1u);
}

TEST_F(LibraryStatisticsTest, UnmappedAndHalfMappedPairsHaveNoInsert) {
    collect();  // no read placed
    place(0, 300, false, 300);
    read(1).isEmpty = 0;
    read(1).isReportable = 0;  // found but not worth reporting
    collect();
    alignments->primarySlot = -1;
    collect();
    EXPECT_EQ(library.pairsUnmapped, 2u);
    EXPECT_EQ(library.pairsOneReadMapped, 1u);
    EXPECT_EQ(library.pairsBothReadsMapped, 0u);
    // The lone read's quality is its own, capped as SAM caps it.
    EXPECT_EQ(library.mappingQualities[1][maximumReportedMappingQuality], 1u);
    for (const auto& bins : library.insertSizes) EXPECT_EQ(total(bins), 0u);
}

TEST_F(LibraryStatisticsTest, MismatchesCountAtTheirPositionAsSequencedWithoutClippedBases) {
    place(0, 1000, false);
    place(1, 1200, true);
    read(0).matchString[3] = 'A';
    read(0).matchString[98] = 'T';
    read(0).editDistance = 2;
    read(1).matchString[3] = 'C';  // a reverse read's alignment base 3 is its sequenced base 96
    read(1).matchString[99] = 'G';
    read(1).numberOfBasesTrimmedFromEnd = 1;  // and base 99 is clipped
    read(1).editDistance = 1;
    collect();
    const std::vector<std::uint64_t> alignedA = alignedBasesByPosition(library, 0);
    const std::vector<std::uint64_t> alignedB = alignedBasesByPosition(library, 1);
    EXPECT_EQ(std::tuple(library.mismatchedBases[0][3], library.mismatchedBases[0][98],
                         library.mismatchedBases[1][96], total(library.mismatchedBases[1])),
              std::tuple(1u, 1u, 1u, 1u));
    EXPECT_EQ(std::tuple(alignedA[0], alignedA[99], alignedA[100]), std::tuple(1u, 1u, 0u));
    EXPECT_EQ(alignedB[0], 0u);  // the clipped base, first as sequenced
    EXPECT_EQ(total(alignedB), 99u);
}

TEST_F(LibraryStatisticsTest, JunctionReadsAreSplitOnceAndLeftOutOfTheErrorProfile) {
    place(0, 1000, false);
    place(1, 1200, true);
    Alignments& readA = alignments->pairedAlignments[0].readAAlignments;
    readA.hasBiotinJunction = 1;
    readA.numberOfPopulatedAlignments = 2;
    // The first 60 bases fit the chosen place, the last 40 the fragment.
    readA.alignments[0].matchString = std::string(60, 'M') + std::string(40, 'A');
    Alignment& fragment = readA.alignments[1];
    fragment.isEmpty = 0;
    fragment.alignmentType = biotinJunctionAlignmentType;
    fragment.primaryPosition.orientation = kForwardOrientation;
    fragment.matchString = std::string(60, 'C') + std::string(40, 'M');
    collect();
    EXPECT_EQ(library.junctionReadsSplit, 1u);
    EXPECT_EQ(library.junctionSplitPoints[60], 1u);
    EXPECT_EQ(total(alignedBasesByPosition(library, 0)), 0u);
    EXPECT_EQ(total(alignedBasesByPosition(library, 1)), 100u);
}

}  // namespace
}  // namespace koru
