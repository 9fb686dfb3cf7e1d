// The memory rule that picks an index's sampling step and refuses builds that would not fit.

#include "index/index_memory.h"

#include <gtest/gtest.h>

#include <random>

#include "index/binary_indexes.h"

namespace koru {
namespace {

constexpr std::uint64_t gibibyte = std::uint64_t{1} << 30;

TEST(IndexMemoryDeathTest, DefaultStepGrowsWithTheGenomeAndBuildsThatWouldNotFitAreRefusedUpFront) {
    EXPECT_EQ(std::vector({defaultSamplingStep(400'000'000), defaultSamplingStep(1'500'000'000),
                           defaultSamplingStep(3'100'000'000), defaultSamplingStep(std::uint64_t{1} << 32)}),
              std::vector<std::uint32_t>({1, 2, 4, 8}));
    // A human genome: the build within 16 GiB, the index (and so its file) within 14 GiB.
    const IndexMemoryEstimate human = estimateIndexMemory(3'100'000'000, defaultSamplingStep(3'100'000'000));
    EXPECT_LE(human.minimumBuildBytes, 16 * gibibyte);
    EXPECT_LE(human.tableBytes + human.genomeBytes, 14 * gibibyte);
    EXPECT_LE(indexBuildMemoryBudget(3'100'000'000, 4), 15 * gibibyte);
    EXPECT_EQ(chooseSamplingStep(0, 3'100'000'000, "h.fa", 24 * gibibyte).step, 4u);
    EXPECT_EQ(chooseSamplingStep(8, 3'100'000'000, "h.fa", 24 * gibibyte).step, 8u);
    EXPECT_EXIT(
        chooseSamplingStep(1, 3'100'000'000, "h.fa", 24 * gibibyte), ::testing::ExitedWithCode(1),
        "^ERROR: Indexing the genome in \"h.fa\" at --indexSamplingStep 1 needs about 46.2 GiB of memory, "
        "more than the 24.0 GiB of this machine; give a larger --indexSamplingStep \\(1, 2, 4 or 8\\).\n$");
    EXPECT_EXIT(chooseSamplingStep(0, 3'100'000'000, "h.fa", 8 * gibibyte), ::testing::ExitedWithCode(1),
                "at --indexSamplingStep 4 needs about 12.6 GiB of memory, more than the 8.0 GiB");
}

// The estimate, made before a table is allocated, bounds what a build of a random genome really
// takes, and closely: such a genome lists nearly every window.
TEST(IndexMemory, EstimateBoundsTheTablesOfARealBuild) {
    constexpr std::size_t words = 1 << 16;
    GenomeSequence genome;
    genome.planeWords = allocateZeroedArray<std::uint32_t>(2 * words);
    std::mt19937 random(5);
    for (std::size_t i = 0; i + 2 < words; ++i) genome.setWords(i, random(), random());
    genome.utilizedBinaryEncodedArraySize = genome.allocatedBinaryEncodedArraySize = words;
    genome.paddedSequenceLength = 32 * words;
    for (const std::uint32_t step : {1u, 2u, 4u, 8u}) {
        const auto arrays = buildCountArrays(genome, {}, nullptr, {step, 0, 0});
        std::uint64_t built = 0;
        for (const KeyTable& table : arrays->keyTables) built += keyTableBytes(table);
        const std::uint64_t estimated = estimateIndexMemory(genome.paddedSequenceLength, step).tableBytes;
        EXPECT_LE(built, estimated) << "step " << step;
        EXPECT_GE(built, estimated * 99 / 100) << "step " << step;
    }
}

}  // namespace
}  // namespace koru
