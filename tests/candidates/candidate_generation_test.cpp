// Candidate generation against a naive index of the genome text, with reads cut from small
// genomes and mutated on purpose.

#include "candidates/candidate_generation.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <unordered_map>

#include "candidates/candidate_test_support.h"

namespace koru {
namespace {

using namespace koru::testing;
using Hits = std::vector<std::array<std::uint32_t, 3>>;  // position, forward keys, reverse keys
using Statistics = std::array<std::uint32_t, 3>;         // none, too many, lookups without candidates

Hits hitsOf(const CandidatePositions& store) {
    Hits hits;
    for (const auto& h : store.keyHits)
        hits.push_back({h.genomePosition, h.forwardKeys, h.reverseComplementKeys});
    return hits;
}

Statistics statisticsOf(const IndexLookupStatistics& s) {
    return {s.keysWithNoCandidates, s.keysWithTooManyCandidates, s.indexLookupsThatGeneratedNoCandidates};
}

// Every indexed window by its key under each view: windows end in all words but the last two;
// those starting before base 0 are filed at 0 with zeros on top. A sampled index lists the windows
// whose start is a multiple of its step.
using ModelIndex = std::array<std::unordered_map<std::uint32_t, std::vector<std::uint32_t>>, 3>;

ModelIndex modelIndex(const IndexedGenome& g, std::uint32_t step = 1) {
    const std::string text = g.textAt(0, 32 * (g.genome->utilizedBinaryEncodedArraySize - 2));
    ModelIndex index;
    for (int e = 0; e < 3; ++e) {
        std::uint32_t key = 0;
        for (std::uint32_t b = 0; b < text.size(); ++b) {
            key = (key << 1) | viewBit(text[b], e);
            if ((b + 1) % step == 0) index[e][key].push_back(b < 31 ? 0 : b - 31);
        }
    }
    return index;
}

struct ModelResult {
    Hits hits;
    std::array<Statistics, 2> statistics{};
    std::uint16_t minCountAboveLimit = kNotScored;
};

// Keys every s bases of the read as sequenced and of its reverse complement, the last at n - 32;
// against a sampled index each of those slots takes the `step` keys from its offset on, moved back
// to end at n - 32. A slot's lookup under an encoding finds nothing when none of its keys does.
ModelResult modelKeyHits(const ModelIndex& index, std::string_view read, std::uint32_t s, std::uint32_t limit,
                         std::uint32_t step = 1) {
    ModelResult result;
    std::map<std::uint32_t, std::array<std::uint32_t, 2>> hits;
    const auto n = static_cast<std::uint32_t>(read.size());
    for (int o = 0; o < 2; ++o) {
        const std::string text = o == 0 ? std::string(read) : reverseComplementOf(read);
        Statistics& statistics = result.statistics[o];
        for (std::uint32_t slot = 0;; slot = std::min(n - 32, slot + s)) {
            const std::uint32_t first = std::min(slot, n - 32 + 1 - step);
            for (int e = 0; e < 3; ++e) {
                int outcome = 0;  // none, too many, candidates
                for (std::uint32_t k = first; k < first + step; ++k) {
                    std::uint32_t key = 0;  // N is encoded as T, so the complemented planes hold it as A
                    for (std::uint32_t i = k; i < k + 32; ++i)
                        key = (key << 1) | viewBit(o == 1 && text[i] == 'N' ? 'A' : text[i], e);
                    const auto found = index[e].find(key);
                    const std::size_t count = found == index[e].end() ? 0 : found->second.size();
                    if (count > limit) {
                        outcome = std::max(outcome, 1);
                        result.minCountAboveLimit = std::min<std::size_t>(result.minCountAboveLimit, count);
                    } else if (count > 0) {
                        outcome = 2;
                        for (const std::uint32_t p : found->second)
                            if (p >= k) ++hits[p - k][o];
                    }
                }
                if (outcome < 2) ++statistics[outcome];
            }
            if (slot == n - 32) break;
        }
        statistics[2] = statistics[0] + statistics[1];
    }
    for (const auto& [position, keys] : hits) result.hits.push_back({position, keys[0], keys[1]});
    return result;
}

CandidatePositions generate(const IndexedGenome& g, const Read& read, CandidateGenerationMethod method,
                            std::uint32_t evaluationLimit = 750, std::uint32_t highRepeatKeys = 2) {
    ExecutionParameters params;
    params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex = evaluationLimit;
    params.maximumNumberOfPositionsAKeyCanHaveInAnIndex = g.counts->limits.indexingLimit;
    params.numberOfKeysToGenerateForHighRepeatCandidateGeneration = highRepeatKeys;
    CandidatePositions store;
    generateCandidatePositionsForRead(params, *g.indexes, read, store, method);
    return store;
}

constexpr auto keyLookup = CandidateGenerationMethod::keyLookup;
constexpr auto highRepeat = CandidateGenerationMethod::highRepeat;

// Reads of every kind of place, length and mutation (substitutions keeping one view, N) against the
// model, on the full index and on sampled ones, where a read meets as many listed windows as it would
// with every window listed: key offsets, views and positions for every read length.
TEST(CandidateGenerationTest, KeyHitsAndStatisticsMatchANaiveIndex) {
    std::mt19937 random(11);
    // Blocks repeated 3 and 2 times give keys above and at an evaluation limit of 2.
    const std::string b1 = randomBases(40, random), b2 = randomBases(40, random);
    const std::string chr = randomBases(600, random) + b1 + randomBases(300, random) + b1 +
                            randomBases(200, random) + b2 + randomBases(200, random) + b2 +
                            randomBases(100, random) + b1 + randomBases(100, random);
    for (const std::uint32_t step : {1u, 2u, 4u, 8u}) {
        const IndexedGenome g = indexedGenome({chr, randomBases(700, random)}, {2, 32768}, step);
        const ModelIndex index = modelIndex(g, step);
        // An evaluation limit of 8 with every window listed is one of 8 / step listed windows.
        const std::uint32_t limit = step == 1 ? 2 : 8;
        for (int trial = 0; trial < (step == 1 ? 90 : 30); ++trial) {
            // A read of 31 + step bases holds step windows, one of them listed.
            const std::uint32_t n =
                std::array{31 + step, 40u, 64u, 65u, 100u, 150u, 177u, 250u}[random() % 8];
            // Anywhere, at the genome start, near it, over a chromosome's end, in the next, over the start.
            const std::uint64_t places[] = {random() % (chr.size() - n), 0, 3, chr.size() - n + random() % 8,
                                            g.genome->chromosomes[1].startGenomePosition + random() % 300};
            std::string sequence =
                g.textAt(trial % 6 == 5 ? -10 : static_cast<std::int64_t>(places[trial % 6]), n);
            for (char& base : sequence)
                if (base == '\0' || base == 'N') base = "ACGT"[random() % 4];
            for (int m = random() % 4; m > 0; --m) {
                char& base = sequence[random() % n];
                base = random() % 5 == 0 ? 'N' : base == 'N' ? 'A' : substituteKeeping(base, random() % 3);
            }
            if (random() % 2) sequence = reverseComplementOf(sequence);
            Read read = makeRead(sequence, 8, trial % 3 == 0 ? 512 : 0);
            calculateAndSetBasesToShiftBetweenKeyGenerationForRead(ExecutionParameters{}, read);
            SCOPED_TRACE("step " + std::to_string(step) + ", trial " + std::to_string(trial));
            const CandidatePositions store = generate(g, read, keyLookup, limit);
            const ModelResult model =
                modelKeyHits(index, sequence, read.basesToShiftBetweenKeyGeneration, limit / step, step);
            EXPECT_EQ(hitsOf(store), model.hits);
            EXPECT_EQ(statisticsOf(store.forwardStatistics), model.statistics[0]);
            EXPECT_EQ(statisticsOf(store.reverseComplementStatistics), model.statistics[1]);
            EXPECT_EQ(store.combinedStatistics.indexLookupsThatGeneratedNoCandidates,
                      model.statistics[0][2] + model.statistics[1][2]);
            EXPECT_EQ(store.minCountArrayValueAboveRepeatCutoff, model.minCountAboveLimit);
        }
        // One base less may hold none: such a read is not looked up.
        for (std::uint32_t position = 100; position < 100 + step; ++position)
            EXPECT_TRUE(generate(g, makeRead(chr.substr(position, 30 + step)), keyLookup).keyHits.empty());
    }
}

// Every window that starts before the genome is listed at 0, so a genome starting with a run of T
// lists 0 32 times under the key of 32 T (all three encodings): each is a hit on one candidate.
TEST(CandidateGenerationTest, RepeatedPositionZeroIsOneCandidate) {
    std::mt19937 random(13);
    const IndexedGenome g = indexedGenome({std::string(40, 'T') + randomBases(600, random)});
    const ModelIndex index = modelIndex(g);
    for (const std::string& sequence : {g.textAt(0, 100), reverseComplementOf(g.textAt(0, 100))})
        EXPECT_EQ(hitsOf(generate(g, makeRead(sequence), keyLookup)),
                  modelKeyHits(index, sequence, 8, 750).hits);
    // High repeat alone: 32 hits per encoding from the key at 0, one from the key at 8 (listed at 8).
    EXPECT_EQ(hitsOf(generate(g, makeRead(g.textAt(0, 100)), highRepeat, 20)), (Hits{{0, 99, 0}}));
}

// A block repeated `copies` times; the read is the block and what follows copy 1. What follows the
// other copies starts differently under every view, so only keys inside the block are repeated.
struct RepeatedBlock {
    IndexedGenome g;
    std::vector<std::uint32_t> copies;
    Read read;
};

RepeatedBlock repeatedBlock(int copies, std::size_t blockLength, CountLimits limits, bool nearCopy = false) {
    std::mt19937 random(21);
    const std::string block = randomBases(blockLength, random), follow = randomBases(150, random);
    std::string chr = randomBases(100, random);
    std::vector<std::uint32_t> positions;
    for (int i = 0; i < copies; ++i) {
        std::string after = i == 1 ? follow : randomBases(150, random);
        for (std::size_t j = 0; i != 1 && j < 16; ++j) after[j] = breakBase(follow[j], j);
        positions.push_back(static_cast<std::uint32_t>(chr.size()));
        chr += block + after;
    }
    if (nearCopy) {  // a copy of the read unlike it at 35 and 50, each base keeping another view
        std::string copy = block + follow;
        copy[35] = substituteKeeping(copy[35], 1);
        copy[50] = substituteKeeping(copy[50], 0);
        chr += copy;
    }
    return {indexedGenome({chr}, limits), positions, makeRead(chr.substr(positions[1], 100))};
}

TEST(CandidateGenerationTest, EvaluationAndIndexingLimits) {
    // Exactly E = 3 positions are merged, and left to the key lookup by the high-repeat method.
    const RepeatedBlock at = repeatedBlock(3, 32, {3, 6});
    for (const auto method : {keyLookup, CandidateGenerationMethod::keyLookupAndHighRepeat})
        EXPECT_EQ(hitsOf(generate(at.g, at.read, method, 3)),
                  (Hits{{at.copies[0], 3, 0}, {at.copies[1], 30, 0}, {at.copies[2], 3, 0}}));
    // E + 1 are too many for the key lookup; the high-repeat pass then keeps the copy whose next
    // 32 bases match and adds the key's three hits to it. The reverse complement's keys are absent.
    const RepeatedBlock above = repeatedBlock(4, 32, {3, 6});
    ExecutionParameters params;
    params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex = 3;
    params.maximumNumberOfPositionsAKeyCanHaveInAnIndex = 6;
    CandidatePositions store;
    generateCandidatePositionsForRead(params, *above.g.indexes, above.read, store, keyLookup);
    EXPECT_EQ(hitsOf(store), (Hits{{above.copies[1], 27, 0}}));
    EXPECT_EQ(store.forwardStatistics.keysWithTooManyCandidates, 3u);
    EXPECT_EQ(store.minCountArrayValueAboveRepeatCutoff, 4u);
    generateCandidatePositionsForRead(params, *above.g.indexes, above.read, store, highRepeat);
    EXPECT_EQ(hitsOf(store), (Hits{{above.copies[1], 30, 0}}));
    EXPECT_EQ(statisticsOf(store.highRepeatStatistics), (Statistics{6, 0, 6}));
    // Beyond the indexing limit the high-repeat method gives up on the key.
    const RepeatedBlock unlisted = repeatedBlock(7, 32, {3, 6});
    const CandidatePositions none = generate(unlisted.g, unlisted.read, highRepeat, 3);
    EXPECT_TRUE(none.keyHits.empty());
    EXPECT_EQ(statisticsOf(none.highRepeatStatistics), (Statistics{6, 3, 9}));
}

// A 48-base block repeats the keys at 0, 8 and 16: the high-repeat method alone examines the first
// H of them, three hits each; with the key lookup too, the 7 unique keys add theirs.
TEST(CandidateGenerationTest, HighRepeatMethodExaminesTheFirstKeys) {
    const RepeatedBlock r = repeatedBlock(3, 48, {2, 8});
    for (const std::uint32_t h : {1u, 2u, 3u})
        EXPECT_EQ(hitsOf(generate(r.g, r.read, highRepeat, 2, h)), (Hits{{r.copies[1], 3 * h, 0}}));
    EXPECT_EQ(hitsOf(generate(r.g, r.read, CandidateGenerationMethod::keyLookupAndHighRepeat, 2)),
              (Hits{{r.copies[1], 27, 0}}));
    // The near copy fails the next 32 bases of the key at 0 under every view, which rejects it for
    // good, although it passes those of the key at 8 (bases 40 to 71) under AG.
    const RepeatedBlock near = repeatedBlock(3, 48, {2, 8}, true);
    EXPECT_EQ(hitsOf(generate(near.g, near.read, highRepeat, 2)), (Hits{{near.copies[1], 6, 0}}));
}

// After the key lookup pass the high-repeat pass answers its test from the lookups of the keys 32
// bases on, where a high-repeat call of its own reads the genome: both keep the same positions.
// Copies of a block are followed by the read's next bases, by them with one substitution (one view
// still matches) or two (none does), or by other bases; the last copy ends the genome, where the
// window after it is not listed although the padding reads as the read's T.
TEST(CandidateGenerationTest, HighRepeatPassAfterTheKeyLookupKeepsWhatTheGenomeTestKeeps) {
    std::mt19937 random(23);
    const std::string block = randomBases(48, random), follow = randomBases(6, random) + std::string(74, 'T');
    std::string chr = randomBases(60, random);
    for (int i = 0; i < 40; ++i) {
        std::string after = follow;
        const std::size_t j = random() % 16;
        if (i % 4 == 1) after[j] = substituteKeeping(after[j], i % 3);
        if (i % 4 == 2) after[j] = breakBase(after[j], j), after[j + 1] = breakBase(after[j + 1], j + 1);
        if (i % 4 == 3) after = randomBases(80, random);
        chr += block + after;
    }
    chr += block + follow.substr(0, 6);
    ExecutionParameters params;
    params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex = 3;
    params.maximumNumberOfPositionsAKeyCanHaveInAnIndex = 256;
    for (const std::uint32_t step : {1u, 4u}) {
        const IndexedGenome g = indexedGenome({chr}, {3, 256}, step);
        for (std::uint32_t start = 0; start < 16; ++start) {
            const Read read = makeRead(block.substr(start) + follow.substr(0, 52 + start));
            CandidatePositions passes, calls;
            CandidateGenerationScratch scratch;
            generateCandidatePositionsForRead(params, *g.indexes, read, passes, scratch);
            generateCandidatePositionsForRead(params, *g.indexes, read, calls, keyLookup);
            ASSERT_TRUE(useHighCandidateGenerationMethod(params, read, calls));
            generateCandidatePositionsForRead(params, *g.indexes, read, calls, highRepeat);
            EXPECT_EQ(hitsOf(passes), hitsOf(calls)) << "step " << step << ", start " << start;
            EXPECT_EQ(statisticsOf(passes.highRepeatStatistics), statisticsOf(calls.highRepeatStatistics));
            EXPECT_GE(calls.keyHits.size(), 10u);
        }
    }
}

TEST(CandidateGenerationTest, KeyScheduleParameters) {
    ExecutionParameters params;
    const auto shiftFor = [&params](std::uint32_t n) {
        Read read = makeRead(std::string(n, 'A'), 0);
        return calculateAndSetBasesToShiftBetweenKeyGenerationForRead(params, read);
    };
    EXPECT_EQ(std::vector({shiftFor(176), shiftFor(177), shiftFor(300), shiftFor(512)}),
              std::vector({8u, 8u, 14u, 26u}));
    ReadPair pair{0, 0, makeRead(std::string(300, 'A'), 0), makeRead(std::string(512, 'C'), 0)};
    calculateAndSetBasesToShiftBetweenKeyGenerationForReadPair(params, pair);
    EXPECT_EQ(
        std::tuple(pair.readA.basesToShiftBetweenKeyGeneration, pair.readB.basesToShiftBetweenKeyGeneration),
        std::tuple(14u, 26u));
    params.defaultBasesToShiftBetweenKeyGeneration = 5;
    EXPECT_EQ(shiftFor(176), 5u);
    // A 100-base read: 60 lookups, so 42 without candidates in all or 21 in one orientation.
    EXPECT_EQ(std::vector({numberOfIndexLookupsPerformed(100, 8), numberOfIndexLookupsPerformed(64, 8),
                           numberOfIndexLookupsPerformed(65, 8)}),
              std::vector({60u, 30u, 36u}));
    const Read read = makeRead(std::string(100, 'A'));
    const auto uses = [&](std::uint32_t combined, std::uint32_t forward, std::uint32_t reverse) {
        CandidatePositions store;
        store.combinedStatistics.indexLookupsThatGeneratedNoCandidates = combined;
        store.forwardStatistics.indexLookupsThatGeneratedNoCandidates = forward;
        store.reverseComplementStatistics.indexLookupsThatGeneratedNoCandidates = reverse;
        return useHighCandidateGenerationMethod(ExecutionParameters{}, read, store);
    };
    EXPECT_EQ(std::vector({uses(41, 20, 20), uses(42, 20, 20), uses(21, 21, 0), uses(21, 0, 21)}),
              std::vector({false, true, true, true}));
}

}  // namespace
}  // namespace koru
