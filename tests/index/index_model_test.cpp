// The compact index against a naive model of the dense tables: every key's count, statistics
// and position list, under all three encodings and every sampling step.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <unordered_map>
#include <vector>

#include "index/binary_indexes.h"
#include "index/count_arrays.h"

namespace koru {
namespace {

std::unique_ptr<GenomeSequence> genomeFromPlanes(const std::vector<std::uint32_t>& base,
                                                 const std::vector<std::uint32_t>& check) {
    auto genome = std::make_unique<GenomeSequence>();
    genome->planeWords = allocateZeroedArray<std::uint32_t>(2 * (base.size() + 1));
    for (std::size_t w = 0; w < base.size(); ++w) genome->setWords(w, base[w], check[w]);
    genome->utilizedBinaryEncodedArraySize = base.size();
    genome->allocatedBinaryEncodedArraySize = base.size() + 1;
    genome->paddedSequenceLength = 32 * base.size();
    return genome;
}

// The dense tables as a model: keys rolled in bit by bit, one counting step per occurrence.
struct ModelEncoding {
    std::unordered_map<std::uint32_t, std::uint16_t> counts;
    std::map<std::uint32_t, std::vector<std::uint32_t>> positions;
    CountStatistics statistics;
};

// A window is listed when its start (before the genome for the first 31) is a multiple of the step;
// the limits are those the step applies to listed windows.
ModelEncoding buildModel(const GenomeSequence& genome, int encoding, const CountLimits& limits,
                         std::uint32_t step) {
    ModelEncoding model;
    std::uint32_t key = 0;
    for (std::uint64_t w = 0; w + 2 < genome.utilizedBinaryEncodedArraySize; ++w) {
        const std::uint32_t base = genome.baseWord(w), check = genome.checkWord(w);
        const std::uint32_t word = encoding == 0 ? base : encoding == 1 ? check : base ^ check;
        for (int bit = 31; bit >= 0; --bit) {
            key = (key << 1) | ((word >> bit) & 1u);
            const std::int64_t start = static_cast<std::int64_t>(32 * w) + (31 - bit) - 31;
            if ((start + 64) % step != 0) continue;
            calculateCount(limits.evaluationLimit, limits.indexingLimit, model.counts[key], model.statistics);
            model.positions[key].push_back(static_cast<std::uint32_t>(std::max<std::int64_t>(0, start)));
        }
    }
    return model;
}

// Builds the index and compares it with the model under every encoding, present and absent keys.
// Batched lookups are held against a naive index in tests/candidates/candidate_generation_test.cpp.
void expectIndexMatchesModel(const GenomeSequence& genome, const CountLimits& limits,
                             const IndexBuildOptions& options = {}) {
    auto counts = buildCountArrays(genome, limits, nullptr, options);
    auto indexes = buildBinaryIndexes(*counts, genome, nullptr);
    EXPECT_EQ(indexes->samplingStep(), options.samplingStep);
    std::mt19937 random(7);
    for (int e = 0; e < numberOfKeyEncodings; ++e) {
        SCOPED_TRACE("encoding " + std::to_string(e) + ", step " + std::to_string(options.samplingStep));
        const CountLimits sampled = sampledCountLimits(limits, options.samplingStep);
        const ModelEncoding model = buildModel(genome, e, sampled, options.samplingStep);
        EXPECT_EQ(std::memcmp(&counts->statistics[e], &model.statistics, sizeof model.statistics), 0);
        std::uint64_t listed = 1;
        for (const auto& [key, positions] : model.positions) {
            const KeyPositions found = indexes->lookup(e, key);
            ASSERT_EQ(found.count, model.counts.at(key)) << "key " << key;
            const std::uint64_t c = positions.size();
            if (c == 1 || (c <= sampled.indexingLimit && c < 65535)) {
                ASSERT_TRUE(std::equal(positions.begin(), positions.end(), found.positions().begin(),
                                       found.positions().end()))
                    << "key " << key;
                if (c > 1) listed += c;
            } else {
                ASSERT_TRUE(found.hasTooManyPositions() && found.positions().empty()) << "key " << key;
            }
        }
        EXPECT_EQ(counts->listedPositions[e], listed);
        for (int i = 0; i < 2000; ++i) {
            const auto key = static_cast<std::uint32_t>(random());
            if (model.counts.count(key) == 0) {
                ASSERT_EQ(indexes->lookup(e, key).count, 0) << "absent key " << key;
            }
        }
    }
}

std::vector<std::uint32_t> randomWords(std::size_t n, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint32_t> words(n);
    for (auto& w : words) w = static_cast<std::uint32_t>(random());
    return words;
}

TEST(IndexModel, RepetitiveAndGappedGenomesUnderSmallAndLargeLimits) {
    // A 200-base unit repeated, with a few mutated copies: many keys with a handful of positions.
    std::vector<std::uint32_t> base, check;
    const auto unitBase = randomWords(7, 3), unitCheck = randomWords(7, 4);
    for (int copy = 0; copy < 60; ++copy)
        for (std::size_t i = 0; i < unitBase.size(); ++i) {
            base.push_back(unitBase[i] ^ (copy % 7 == 0 ? 1u << (copy % 32) : 0u));
            check.push_back(unitCheck[i]);
        }
    const auto repetitive = genomeFromPlanes(base, check);
    // At limits of 1, a key with two positions is over both.
    for (const CountLimits& limits :
         {CountLimits{3, 5}, CountLimits{4, 4}, CountLimits{8, 100}, CountLimits{1, 1}})
        expectIndexMatchesModel(*repetitive, limits);
    // Zero words stand for runs of N (and T); short random stretches between them for many short
    // chromosomes with their separators.
    base = randomWords(4000, 5), check = randomWords(4000, 6);
    for (std::size_t i = 0; i < 4000; ++i)
        if (i % 5 == 4 || (i > 1000 && i < 1400)) base[i] = check[i] = 0;
    const auto gapped = genomeFromPlanes(base, check);
    expectIndexMatchesModel(*gapped, {});
    expectIndexMatchesModel(*gapped, {10, 20});
}

// Built whole, in ranges of a few partitions, at the widest partitioning and both; then sampled
// at every step. Repeats and runs of zero words give sampled keys lists and unlisted keys.
TEST(IndexModel, EveryPartitioningAndSamplingStep) {
    std::vector<std::uint32_t> base = randomWords(3000, 12), check = randomWords(3000, 13);
    for (std::size_t i = 1500; i < 3000; ++i) {
        base[i] = base[i % 300];
        check[i] = i % 97 == 0 ? 0 : check[i % 300];
    }
    for (std::size_t i = 2200; i < 2500; ++i) base[i] = check[i] = 0;
    const auto genome = genomeFromPlanes(base, check);
    for (const IndexBuildOptions& options :
         {IndexBuildOptions{1, 0, 0}, IndexBuildOptions{1, 4096, 0}, IndexBuildOptions{1, 0, 10},
          IndexBuildOptions{1, 20000, 9}, IndexBuildOptions{2, 0, 0}, IndexBuildOptions{4, 0, 0},
          IndexBuildOptions{8, 0, 0}})
        expectIndexMatchesModel(*genome, {}, options);
    for (std::uint32_t step : {2u, 4u, 8u}) expectIndexMatchesModel(*genome, {3, 6}, {step, 3000, 8});
}

TEST(IndexModel, TinyGenomesAndAKeyOccurringMoreThan65535Times) {
    for (std::size_t words : {0u, 1u, 2u, 3u, 4u})
        expectIndexMatchesModel(*genomeFromPlanes(randomWords(words, 10), randomWords(words, 11)), {});
    // 2100 zero words: key 0 occurs about 67,000 times under every encoding.
    std::vector<std::uint32_t> base(2100, 0), check(2100, 0);
    base[50] = 0x12345678;
    check[51] = 0x9ABCDEF0;
    const auto genome = genomeFromPlanes(base, check);
    expectIndexMatchesModel(*genome, {750, 100000});
    EXPECT_EQ(buildCountArrays(*genome, {750, 100000}, nullptr)->count(agKeyEncoding, 0), 65535);
}

TEST(CountStatistics, TheTooManyPositionsQuality) {
    std::array<CountStatistics, 3> statistics{};
    for (auto& s : statistics)
        s.numberOfPopulatedKeys = 100, s.keysWhoseNumberOfPositionsIsAboveEvaluationLimit = 1;
    EXPECT_EQ(calculateMappingQualityOfKeyWithTooManyPositions(statistics), 20);
    statistics[0].numberOfPopulatedKeys = 150;
    EXPECT_EQ(calculateMappingQualityOfKeyWithTooManyPositions(statistics), 20) << "min of 22, 20 and 20";
    std::array<CountStatistics, 3> none{};
    none[1].numberOfPopulatedKeys = 10;
    EXPECT_EQ(calculateMappingQualityOfKeyWithTooManyPositions(none), 2147483647) << "no key above the limit";
}

// Equal limits are both crossed, and crossing counts the limit + 1 positions; a saturated count stays.
TEST(CountStatistics, CountingStepAtTheLimits) {
    CountStatistics s, saturated;
    std::uint16_t entry = 0;
    for (int i = 0; i < 4; ++i) calculateCount(3, 3, entry, s);
    EXPECT_EQ(std::tuple(entry, s.keysWhoseNumberOfPositionsIsAboveEvaluationLimit,
                         s.keysWhoseNumberOfPositionsIsAboveIndexingLimit,
                         s.numberOfReferenceGenomePositionsOverEvaluationLimit),
              std::tuple(4, 1u, 1u, 4u));
    entry = 65535;
    EXPECT_EQ(calculateCount(3, 3, entry, saturated), 65535);
    EXPECT_EQ(std::tuple(entry, saturated.numberOfReferenceGenomePositionsOverCountLimit),
              std::tuple(65535, 1u));
}

}  // namespace
}  // namespace koru
