// The memory rule that picks an index's sampling step and refuses builds that would not fit.

#include "index/index_memory.h"

#include <gtest/gtest.h>

#include <random>

#include "index/binary_indexes.h"

namespace koru {
namespace {

constexpr std::uint64_t gibibyte = std::uint64_t{1} << 30;

TEST(IndexMemory, DefaultStepGrowsWithTheGenomeAndKeepsHumanWithinTheGoal) {
    EXPECT_EQ(defaultSamplingStep(5'000'000), 1u);
    EXPECT_EQ(defaultSamplingStep(400'000'000), 1u);
    EXPECT_EQ(defaultSamplingStep(1'500'000'000), 2u);
    EXPECT_EQ(defaultSamplingStep(3'100'000'000), 4u);
    EXPECT_EQ(defaultSamplingStep(std::uint64_t{1} << 32), 8u) << "the most positions a genome can have";
    // A human genome: the build within 16 GiB, the index (and so its file) within 14 GiB.
    const IndexMemoryEstimate human = estimateIndexMemory(3'100'000'000, defaultSamplingStep(3'100'000'000));
    EXPECT_LE(human.minimumBuildBytes, 16 * gibibyte);
    EXPECT_LE(human.tableBytes + human.genomeBytes, 14 * gibibyte);
    EXPECT_LE(indexBuildMemoryBudget(3'100'000'000, 4), 15 * gibibyte);
}

// The estimate, made before a table is allocated, bounds what a build really takes.
TEST(IndexMemory, EstimateBoundsTheTablesOfARealBuild) {
    constexpr std::size_t words = 1 << 16;
    GenomeSequence genome;
    genome.planeWords = allocateZeroedArray<std::uint32_t>(2 * words);
    std::mt19937 random(5);
    for (std::size_t i = 0; i + 2 < words; ++i) {
        genome.setWords(i, static_cast<std::uint32_t>(random()), static_cast<std::uint32_t>(random()));
    }
    genome.utilizedBinaryEncodedArraySize = genome.allocatedBinaryEncodedArraySize = words;
    genome.paddedSequenceLength = 32 * words;
    for (const std::uint32_t step : {1u, 2u, 4u, 8u}) {
        IndexBuildOptions options;
        options.samplingStep = step;
        const auto arrays = buildCountArrays(genome, {750, 32768}, nullptr, options);
        std::uint64_t built = 0;
        for (const KeyTable& table : arrays->keyTables) built += keyTableBytes(table);
        const std::uint64_t estimated = estimateIndexMemory(genome.paddedSequenceLength, step).tableBytes;
        EXPECT_LE(built, estimated) << "step " << step;
        EXPECT_GE(built, estimated * 99 / 100) << "a random genome lists nearly every window, step " << step;
    }
}

TEST(IndexMemoryDeathTest, BuildsThatWouldNotFitAreRefusedUpFront) {
    EXPECT_EQ(chooseSamplingStep(0, 3'100'000'000, "h.fa", 24 * gibibyte).step, 4u);
    EXPECT_EQ(chooseSamplingStep(8, 3'100'000'000, "h.fa", 24 * gibibyte).step, 8u);
    EXPECT_EXIT(
        chooseSamplingStep(1, 3'100'000'000, "h.fa", 24 * gibibyte), ::testing::ExitedWithCode(1),
        "^ERROR: Indexing the genome in \"h.fa\" at --indexSamplingStep 1 needs about 46.2 GiB of memory, "
        "more than the 24.0 GiB of this machine; give a larger --indexSamplingStep \\(1, 2, 4 or 8\\).\n$");
    EXPECT_EXIT(chooseSamplingStep(0, 3'100'000'000, "h.fa", 8 * gibibyte), ::testing::ExitedWithCode(1),
                "at --indexSamplingStep 4 needs about 12.6 GiB of memory, more than the 8.0 GiB");
}

}  // namespace
}  // namespace koru
