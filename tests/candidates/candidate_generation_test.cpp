// Candidate generation against a naive index, mismatch scoring against naive counts, score records.

#include "candidates/candidate_generation.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <unordered_map>

#include "candidates/candidate_test_support.h"
#include "candidates/mismatch_scoring.h"
#include "candidates/score_records.h"

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

// Windows by key under each view, those before base 0 filed at 0, sampled at multiples of the step.
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

// Keys every s bases of both strands, the last at n - 32; against a sampled index, `step` keys a slot.
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

ExecutionParameters parametersFor(const IndexedGenome& g, std::uint32_t evaluationLimit,
                                  std::uint32_t highRepeatKeys = 2) {
    ExecutionParameters params;
    params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex = evaluationLimit;
    params.maximumNumberOfPositionsAKeyCanHaveInAnIndex = g.counts->limits.indexingLimit;
    params.numberOfKeysToGenerateForHighRepeatCandidateGeneration = highRepeatKeys;
    return params;
}

CandidatePositions generate(const IndexedGenome& g, const Read& read, CandidateGenerationMethod method,
                            std::uint32_t evaluationLimit = 750, std::uint32_t highRepeatKeys = 2) {
    CandidatePositions store;
    generateCandidatePositionsForRead(parametersFor(g, evaluationLimit, highRepeatKeys), *g.indexes, read,
                                      store, method);
    return store;
}

constexpr auto keyLookup = CandidateGenerationMethod::keyLookup;
constexpr auto highRepeat = CandidateGenerationMethod::highRepeat;
constexpr auto keyLookupAndHighRepeat = CandidateGenerationMethod::keyLookupAndHighRepeat;

TEST(CandidateGenerationTest, KeyHitsAndStatisticsMatchANaiveIndexUnderTheKeySchedule) {
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
            EXPECT_EQ(std::tuple(statisticsOf(store.forwardStatistics),
                                 statisticsOf(store.reverseComplementStatistics),
                                 store.combinedStatistics.indexLookupsThatGeneratedNoCandidates,
                                 store.minCountArrayValueAboveRepeatCutoff),
                      std::tuple(model.statistics[0], model.statistics[1],
                                 model.statistics[0][2] + model.statistics[1][2], model.minCountAboveLimit));
        }
        // One base less may hold none: such a read is not looked up.
        for (std::uint32_t position = 100; position < 100 + step; ++position)
            EXPECT_TRUE(generate(g, makeRead(chr.substr(position, 30 + step)), keyLookup).keyHits.empty());
    }
    // A genome starting with a run of T lists 0 32 times under the key of 32 T: one candidate.
    random.seed(13);
    const IndexedGenome g = indexedGenome({std::string(40, 'T') + randomBases(600, random)});
    const ModelIndex index = modelIndex(g);
    for (const std::string& sequence : {g.textAt(0, 100), reverseComplementOf(g.textAt(0, 100))})
        EXPECT_EQ(hitsOf(generate(g, makeRead(sequence), keyLookup)),
                  modelKeyHits(index, sequence, 8, 750).hits);
    // High repeat alone: 32 hits per encoding from the key at 0, one from the key at 8 (listed at 8).
    EXPECT_EQ(hitsOf(generate(g, makeRead(g.textAt(0, 100)), highRepeat, 20)), (Hits{{0, 99, 0}}));
    // The key schedule.
    ExecutionParameters params;
    const auto shiftFor = [&params](std::uint32_t n) {
        Read read = makeRead(std::string(n, 'A'), 0);
        return calculateAndSetBasesToShiftBetweenKeyGenerationForRead(params, read);
    };
    EXPECT_EQ(std::vector({shiftFor(176), shiftFor(177)}), std::vector({8u, 8u}));
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

// A block repeated `copies` times; the read is the block and what follows copy 1, unlike the others.
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

TEST(CandidateGenerationTest, EvaluationAndIndexingLimitsAndTheHighRepeatMethod) {
    // Exactly E = 3 positions are merged, and left to the key lookup by the high-repeat method.
    const RepeatedBlock at = repeatedBlock(3, 32, {3, 6});
    for (const auto method : {keyLookup, keyLookupAndHighRepeat})
        EXPECT_EQ(hitsOf(generate(at.g, at.read, method, 3)),
                  (Hits{{at.copies[0], 3, 0}, {at.copies[1], 30, 0}, {at.copies[2], 3, 0}}));
    // E + 1 are too many for the key lookup; the high-repeat pass adds those of the copy that fits on.
    const RepeatedBlock above = repeatedBlock(4, 32, {3, 6});
    const CandidatePositions both = generate(above.g, above.read, keyLookupAndHighRepeat, 3);
    EXPECT_EQ(std::pair(hitsOf(both), statisticsOf(both.highRepeatStatistics)),
              std::pair(Hits{{above.copies[1], 30, 0}}, Statistics{6, 0, 6}));
    // Beyond the indexing limit the high-repeat method gives up on the key.
    const RepeatedBlock unlisted = repeatedBlock(7, 32, {3, 6});
    const CandidatePositions none = generate(unlisted.g, unlisted.read, highRepeat, 3);
    EXPECT_EQ(std::pair(hitsOf(none), statisticsOf(none.highRepeatStatistics)),
              std::pair(Hits{}, Statistics{6, 3, 9}));
    // A 48-base block repeats the keys at 0, 8 and 16: the high-repeat method examines the first H.
    const RepeatedBlock r = repeatedBlock(3, 48, {2, 8});
    for (const std::uint32_t h : {1u, 2u, 3u})
        EXPECT_EQ(hitsOf(generate(r.g, r.read, highRepeat, 2, h)), (Hits{{r.copies[1], 3 * h, 0}}));
    EXPECT_EQ(hitsOf(generate(r.g, r.read, keyLookupAndHighRepeat, 2)), (Hits{{r.copies[1], 27, 0}}));
    // Failing the test of the key at 0 rejects the near copy for good, though it passes the key at 8's.
    const RepeatedBlock near = repeatedBlock(3, 48, {2, 8}, true);
    EXPECT_EQ(hitsOf(generate(near.g, near.read, highRepeat, 2)), (Hits{{near.copies[1], 6, 0}}));
    // The pass after the key lookup tests from lookups what a call of its own tests on the genome.
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
    for (const std::uint32_t step : {1u, 4u}) {
        const IndexedGenome g = indexedGenome({chr}, {3, 256}, step);
        const ExecutionParameters params = parametersFor(g, 3);
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

const MismatchScores& scoresFor(const CandidatePosition& c, std::uint32_t orientation) {
    return (orientation == kForwardOrientation ? c.forwardMappingScores : c.reverseComplementMappingScores)
        .mismatchScores;
}

// Scores `text`, the read in the given orientation, with both variants against the naive counts.
CandidatePosition scoreBoth(const IndexedGenome& g, std::uint32_t position, const std::string& text,
                            std::uint32_t orientation, std::uint32_t basesToShift, std::uint32_t step,
                            std::uint32_t allocatedLength = 0) {
    Read read = makeRead(orientation == kForwardOrientation ? text : reverseComplementOf(text), basesToShift,
                         allocatedLength);
    CandidatePosition candidate;
    candidate.genomePosition = position;
    const std::string reference = g.textAt(position, text.size());
    calculateMismatchScoresUsingBinaryEncodings(read, orientation, candidate, *g.genome);
    calculateMismatchScoresUsingAsciiEncodings(read, orientation, candidate, *g.genome);
    EXPECT_EQ(fieldsOf(scoresFor(candidate, orientation)),
              fieldsOf(naiveScores(text, reference, orientation, step, true)));
    EXPECT_EQ(fieldsOf(candidate.chosenMappingScores.mismatchScores),
              fieldsOf(naiveScores(text, reference, orientation, 1, false)));
    return candidate;
}

// Random places, lengths and substitutions, N now and then (only the character variant counts it).
TEST(MismatchScoringTest, VariantsAgreeWithNaiveCountsAndTiesChooseTheReverseComplement) {
    std::mt19937 random(17);
    const IndexedGenome g = indexedGenome({randomBases(1500, random), randomBases(900, random)});
    // Bases to shift and window step, up to the widest step, which crosses a word at every window.
    const std::uint32_t shifts[][2] = {{1, 1}, {3, 3}, {8, 4}, {14, 7}, {31, 31}, {32, 16}};
    for (int trial = 0; trial < 200; ++trial) {
        const std::uint32_t n = trial % 10 == 0 ? 64 : 64 + random() % 240;
        const ChromosomeInformation& chromosome = g.genome->chromosomes[random() % 2];
        const auto position = static_cast<std::uint32_t>(chromosome.startGenomePosition +
                                                         random() % (chromosome.basePairs - n + 1));
        std::string text = g.textAt(position, n);
        for (int m = random() % 9; m > 0; --m) text[random() % n] = "ACGTN"[random() % (trial % 5 ? 4 : 5)];
        const std::uint32_t orientation = 1 + random() % 2, allocated = trial % 3 == 0 ? 512 : 0;
        const auto [s, step] = shifts[trial % 6];
        SCOPED_TRACE("trial " + std::to_string(trial));
        scoreBoth(g, position, text, orientation, s, step, allocated);
        scoreBoth(g, position, reverseComplementOf(text), 3 - orientation, s, step, allocated);
    }
    // A reverse complement starts bits into its words: at 0 its window starts before the genome.
    for (const std::uint32_t allocated : {0u, 512u}) scoreBoth(g, 0, g.textAt(0, 100), 2, 8, 4, allocated);
    // Over the last chromosome's end, its padding and 10 bases past the genome.
    const auto end = static_cast<std::uint32_t>(g.genome->paddedSequenceLength - 90);
    for (const std::uint32_t orientation : {1u, 2u})
        scoreBoth(g, end, g.textAt(end, 30) + randomBases(70, random), orientation, 8, 4);
    // Substitutions every 16 bases leave two in every window of the read and one in the window a
    // step past its last, which must not count.
    std::string spaced = g.textAt(200, 150);
    for (std::size_t i = 6; i < spaced.size(); i += 16) spaced[i] = spaced[i] == 'A' ? 'C' : 'A';
    for (const std::uint32_t orientation : {1u, 2u}) scoreBoth(g, 200, spaced, orientation, 8, 4);
    // A palindrome ties, which chooses the reverse complement, unless it has no keys and is not scored.
    random.seed(12);
    const std::string half = randomBases(50, random);
    const IndexedGenome palindrome =
        indexedGenome({randomBases(300, random) + half + reverseComplementOf(half)});
    for (const std::uint32_t reverseKeys : {3u, 0u}) {
        CandidatePosition c;
        c.genomePosition = 300;
        c.forwardMappingScores.numberOfAssociatedKeys = 2;
        c.reverseComplementMappingScores.numberOfAssociatedKeys = reverseKeys;
        EXPECT_EQ(calculateMappingScoresForCandidatePosition(makeRead(palindrome.textAt(300, 100)), c,
                                                             *palindrome.genome),
                  2 + reverseKeys);
        EXPECT_EQ(c.orientation, reverseKeys ? kReverseComplementOrientation : kForwardOrientation);
        EXPECT_EQ(fieldsOf(c.chosenMappingScores.mismatchScores), std::vector<int>(7, 0));
        EXPECT_EQ(fieldsOf(c.reverseComplementMappingScores.mismatchScores),
                  std::vector<int>(7, reverseKeys ? 0 : 65535));
    }
}

TEST(MismatchScoringDeathTest, UnsupportedOrientationEndsTheProcess) {
    std::mt19937 random(1);
    const IndexedGenome g = indexedGenome({randomBases(300, random)});
    CandidatePosition c;
    EXPECT_EXIT(
        calculateMismatchScoresUsingBinaryEncodings(makeRead(randomBases(100, random)), 3, c, *g.genome),
        ::testing::ExitedWithCode(1),
        "^ERROR: A read was scored in an orientation that is neither forward nor reverse complement\\.\n$");
}

// The bases compared and the texts after the indel, if any, is applied for a read of `length` bases.
std::tuple<std::uint32_t, std::string, std::string> applied(const IndelDescriptor* indel,
                                                            std::uint32_t length, const char* read,
                                                            const char* reference) {
    Read r;
    allocateMemberArraysForRead(r, length, 0);
    std::string buffer;
    const std::uint32_t compared =
        applyIndelToReadAndReferenceSequencePointers(indel, r, read, reference, buffer);
    return {compared, read, reference};
}

TEST(ScoreRecordsTest, AggregatesReadMasksAndIndelsAppliedToTheTexts) {
    MismatchScores unscored, result;
    calculateAggregateMismatchScores(result, unscored, unscored);
    EXPECT_EQ(fieldsOf(result), std::vector<int>(7, 65534));
    calculateAggregateMismatchScores(result, {1, 2, 3, 4, 5, 6, 7}, {10, 20, 30, 40, 50, 60, 70});
    EXPECT_EQ(fieldsOf(result), (std::vector<int>{11, 22, 33, 44, 55, 66, 77}));
    // The read mask marks words below five mismatches.
    const auto mask = [](std::uint16_t first, std::uint16_t middle, std::uint16_t last) {
        return getReadMask({0, 0, first, last, middle, 0, 0});
    };
    EXPECT_EQ(std::vector({getReadMask(MismatchScores{}), mask(4, 5, 0), mask(4, 4, 5), mask(5, 4, 4)}),
              std::vector({0u, 5u, 6u, 3u}));
    // An applied deletion skips reference bases, an insertion removes read bases.
    const IndelDescriptor none;
    for (const IndelDescriptor* indel : {&none, static_cast<const IndelDescriptor*>(nullptr)})
        EXPECT_EQ(applied(indel, 8, "ACGTACGT", "ACGTACGTTT"), std::tuple(8u, "ACGTACGT", "ACGTACGTTT"));
    const struct {
        uint32_t length;
        const char *read, *reference;
        uint32_t type, size, start, compared;
        std::string readAfter, referenceAfter;
    } cases[] = {
        {8, "AAAACCCC", "AAAAGGCCCCTT", kDeletion, 2, 4, 8, "AAAACCCC", "AAAACCCC"},
        {10, "AAAATTCCCC", "AAAACCCCGG", kInsertion, 2, 4, 8, "AAAACCCC", "AAAACCCCGG"},
        // Any type but deletion is handled as an insertion.
        {10, "AAAATTCCCC", "AAAACCCCGG", kNeitherInsertionNorDeletion, 2, 4, 8, "AAAACCCC", "AAAACCCCGG"},
        // An insertion running past the read removes only what the read has; a split beyond it, nothing.
        {6, "ACGTAC", "ACGTACGG", kInsertion, 10, 4, 4, "ACGT", "ACGTACGG"},
        {6, "ACGTAC", "ACGTACGG", kInsertion, 3, 50, 6, "ACGTAC", "ACGTACGG"},
        // A deletion reaching past a short reference copies what there is.
        {6, "ACGTAC", "ACGTACG", kDeletion, 2, 3, 6, "ACGTAC", "ACGCG"},
        // A read text shorter than the read length is never read past its end.
        {6, "AC", "ACGTACG", kInsertion, 1, 1, 5, "A", "ACGTACG"},
    };
    for (const auto& c : cases) {
        IndelDescriptor indel;
        populateIndelDescriptor(indel, c.size, c.type, c.start);
        EXPECT_EQ(applied(&indel, c.length, c.read, c.reference),
                  std::tuple(c.compared, c.readAfter, c.referenceAfter))
            << c.read;
    }
}

}  // namespace
}  // namespace koru
