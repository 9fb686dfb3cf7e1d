// A concordant pair lends each read its mate's quality, unless another place of the read pairs
// with the mate as well: then the mate cannot choose between them, and the read keeps its own low
// quality (a read in a tandem duplication was reported at quality 254 at the wrong copy).

#include <gtest/gtest.h>

#include "alignment/alignment_test_support.h"
#include "alignment/mapping_quality.h"
#include "mapping/read_pair_mapping.h"

namespace koru {
namespace {

using namespace koru::testing;

struct PairQualities {
    std::uint32_t a = 0, b = 0;
    bool tiedA = false, tiedB = false;
};

// Read A is the 100 bases at 1000, copied to `copyAt`; read B is unique, reverse at 1800.
PairQualities mapWithCopyAt(std::size_t copyAt) {
    std::mt19937 random(77);
    std::string chr = randomBases(8000, random);
    chr.replace(copyAt, 100, chr.substr(1000, 100));
    const IndexedGenome g = indexedGenome({chr});
    ExecutionParameters params;
    params.concordantReadPairBasePairWindowSize = 1000;
    ReadPair pair;
    pair.readA = readOf(chr.substr(1000, 100));
    pair.readB = readOf(reverseComplementOf(chr.substr(1800, 100)));
    auto statistics = createReadPairMappingStatistics(params);
    auto result = mapReadPair(params, pair, *g.indexes, *statistics);
    PairedAlignment& paired = result->pairedAlignments.at(0);
    EXPECT_EQ(paired.type, concordantPairedAlignmentType);
    Alignment& a = paired.readAAlignments.alignments[0];
    Alignment& b = paired.readBAlignments.alignments[0];
    for (auto [alignment, read] : {std::pair{&a, &pair.readA}, std::pair{&b, &pair.readB}}) {
        performAlignment(params, *read, *alignment, *g.genome);
        addQualityScoreToAlignment(params, *read, *alignment, *g.genome);
    }
    return {reportedMappingQuality(a, &b, true), reportedMappingQuality(b, &a, true), a.tiedWithinPair != 0,
            b.tiedWithinPair != 0};
}

TEST(TiedPairQualityTest, CopyInsideTheWindowLeavesTheReadItsOwnQuality) {
    const PairQualities inside = mapWithCopyAt(1400);
    EXPECT_TRUE(inside.tiedA);
    EXPECT_FALSE(inside.tiedB);
    EXPECT_LE(inside.a, 3u);  // two places fit equally well
    EXPECT_GE(inside.b, 20u);
}

TEST(TiedPairQualityTest, CopyOutsideTheWindowIsResolvedByTheMate) {
    const PairQualities outside = mapWithCopyAt(5000);
    EXPECT_FALSE(outside.tiedA);
    EXPECT_FALSE(outside.tiedB);
    EXPECT_GE(outside.a, 20u);
    EXPECT_EQ(outside.a, outside.b);
}

}  // namespace
}  // namespace koru
