// Candidate scoring and ranking against naive scores; indel detection (insertions are in read pair mapping).

#include "mapping/candidate_scoring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "candidates/candidate_generation.h"
#include "candidates/candidate_test_support.h"
#include "mapping/indel_detection.h"

namespace koru {
namespace {

using namespace koru::testing;

// The read's 100 bases, and copies of them with the given numbers of substitutions (up to 6).
struct Copies {
    std::string read;
    IndexedGenome g;
    std::vector<std::uint32_t> positions;
};

Copies copiesWith(const std::vector<int>& substitutions, unsigned seed) {
    std::mt19937 random(seed);
    Copies c{randomBases(100, random), {}, {}};
    std::string chr = randomBases(150, random);
    for (const int count : substitutions) {
        std::string copy = c.read;
        for (int i = 0; i < count; ++i) {
            char& base = copy[i * 16 + random() % 16];
            base = base == 'A' ? 'T' : 'A';
        }
        c.positions.push_back(static_cast<std::uint32_t>(chr.size()));
        chr += copy + randomBases(60, random);
    }
    c.g = indexedGenome({chr});
    return c;
}

std::vector<std::uint32_t> positionsOf(const std::vector<CandidatePosition*>& entries) {
    std::vector<std::uint32_t> positions;
    for (const CandidatePosition* c : entries) positions.push_back(c->genomePosition);
    return positions;
}

struct Expected {
    std::uint32_t position, keys, orientation;
    MismatchScores chosen;

    auto rank() const {
        return std::tuple(chosen.primaryScore, chosen.secondaryScore, -static_cast<int>(keys));
    }
    auto hitRank() const {
        return std::tuple(-static_cast<int>(keys), chosen.primaryScore, chosen.secondaryScore);
    }
};
using Described = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::vector<int>>;

TEST(CandidateRankingTest, RankingsMatchNaiveScoresOnRandomKeyHits) {
    const Copies c = copiesWith({0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 4, 6, 0, 1, 2, 0}, 31);
    std::mt19937 random(32);
    for (int trial = 0; trial < 60; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        const std::uint32_t capacity = trial % 3 == 0 ? 2 : 5;
        auto store = createCandidatePositions(capacity, 0);
        std::vector<Expected> expected;
        for (const std::uint32_t position : c.positions) {
            if (random() % 4 == 0) continue;
            std::uint32_t forward = random() % 4 == 0 ? 0 : random() % 4, reverse = random() % 3;
            if (trial == 0) forward = 1, reverse = 0;  // all below the key minimum: nothing is ranked
            store->keyHits.push_back({position, forward, reverse});
            if (forward + reverse < 2) continue;  // the default minimum number of keys
            const std::string reference = c.g.textAt(position, 100);
            const MismatchScores f = forward ? naiveScores(c.read, reference, 1, 4, true) : MismatchScores{};
            const MismatchScores r =
                reverse ? naiveScores(reverseComplementOf(c.read), reference, 2, 4, true) : MismatchScores{};
            const bool isForward = f.wholeReadScore < r.wholeReadScore;
            expected.push_back({position, forward + reverse, isForward ? 1u : 2u, isForward ? f : r});
        }
        Read read = makeRead(c.read);
        scoreCandidatePositions(ExecutionParameters{}, *store, *c.g.genome, read);
        std::vector<Described> actual, wanted;
        for (const CandidatePosition& a : store->candidates)
            actual.emplace_back(a.genomePosition, a.chosenMappingScores.numberOfAssociatedKeys, a.orientation,
                                fieldsOf(a.chosenMappingScores.mismatchScores));
        for (const Expected& e : expected)
            wanted.emplace_back(e.position, e.keys, e.orientation, fieldsOf(e.chosen));
        ASSERT_EQ(actual, wanted);
        // Whole-read scores: the two lowest distinct values and how many candidates have each.
        std::multiset<int> wholes;
        for (const Expected& e : expected) wholes.insert(e.chosen.wholeReadScore);
        std::vector<int> lowest(wholes.begin(), wholes.end());
        lowest.erase(std::unique(lowest.begin(), lowest.end()), lowest.end());
        lowest.resize(2, 65535);
        EXPECT_EQ(std::vector({store->bestWholeReadMismatchScore, store->secondBestWholeReadMismatchScore}),
                  std::vector<std::uint16_t>(lowest.begin(), lowest.end()));
        EXPECT_EQ(
            std::pair(store->numberWithBestWholeReadScore, store->numberWithSecondBestWholeReadScore),
            (std::pair<std::uint32_t, std::uint32_t>(wholes.count(lowest[0]), wholes.count(lowest[1]))));
        // Subset: a stable sort on (primary, secondary, more keys), cut to the capacity.
        std::vector<Expected> ranked = expected;
        std::stable_sort(ranked.begin(), ranked.end(), [](auto& x, auto& y) { return x.rank() < y.rank(); });
        std::vector<std::uint32_t> subset;
        for (std::size_t i = 0; i < std::min<std::size_t>(capacity, ranked.size()); ++i)
            subset.push_back(ranked[i].position);
        EXPECT_EQ(positionsOf(store->lowestMismatchCandidates.entries), subset);
        EXPECT_EQ(store->lowestMismatchCandidate,
                  subset.empty() ? nullptr : store->lowestMismatchCandidates.entries[0]);
        // Highest hit count: the first with most keys, then lowest primary, then lowest secondary.
        const auto highest = std::min_element(expected.begin(), expected.end(),
                                              [](auto& x, auto& y) { return x.hitRank() < y.hitRank(); });
        EXPECT_EQ(store->highestHitCountCandidate ? store->highestHitCountCandidate->genomePosition : 0u,
                  highest == expected.end() ? 0u : highest->position);
    }
}

TEST(CandidateRankingTest, CloseCandidatesOfOneOrientationBecomeIndelCandidatesProcessedFromTwoMismatches) {
    std::mt19937 random(51);
    const IndexedGenome g = indexedGenome({randomBases(2500, random)});
    ExecutionParameters params;
    params.mininumPercentageOfMismatchedBasesInReadToTriggerIndelProcessing = 1.0;  // not triggered here
    auto store = createCandidatePositions(5, 50);
    // Positions with forward (+) or reverse complement (-) keys only, which sets their orientation.
    const std::vector<std::pair<std::uint32_t, char>> hits = {
        {10, '+'},   {20, '+'},                 // near 0, where the last position starts: withdrawn
        {1000, '+'}, {1030, '+'},               // a pair
        {1200, '+'}, {1240, '+'}, {1260, '+'},  // a third close one withdraws the pair
        {1500, '+'}, {1520, '-'},               // orientations differ
        {1700, '+'}, {1751, '+'},               // 51 apart
        {1900, '+'}, {1950, '+'},               // 50 apart: a pair (until 2340)
        {2200, '+'}, {2230, '+'},               // a pair, withdrawn by the next close pair,
        {2270, '-'}, {2300, '-'},               // within twice the distance of 2230, which
        {2340, '-'}};                           // withdraws the latest record left, 1900-1950
    for (const auto& [position, o] : hits)
        store->keyHits.push_back({position, o == '+' ? 2u : 0u, o == '-' ? 2u : 0u});
    Read read = makeRead(randomBases(100, random));
    scoreCandidatePositions(params, *store, *g.genome, read);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> records;
    for (const IndelCandidate& r : store->indelCandidates->records)
        records.emplace_back(r.firstCandidatePosition->genomePosition,
                             r.secondCandidatePosition->genomePosition);
    EXPECT_EQ(records, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1000, 1030}}));
    // A 100-base read triggers indel processing at 2 mismatches (0.02 x 100).
    for (const int substitutions : {1, 2}) {
        const Copies c = copiesWith({substitutions}, 61);
        auto store = createCandidatePositions(5, 50);
        store->keyHits = {{c.positions[0], 2, 0}, {c.positions[0] + 10, 2, 0}};
        Read read = makeRead(c.read);
        scoreCandidatePositions(ExecutionParameters{}, *store, *c.g.genome, read);
        EXPECT_EQ(std::tuple(store->indelCandidates->records.size(), store->bestWholeReadMismatchScore,
                             store->numberOfCandidatesIndelProcessingWasPerformedOn),
                  std::tuple(std::size_t{1}, std::uint16_t(substitutions), substitutions == 2 ? 1u : 0u));
    }
}

using Descriptor = std::vector<std::uint32_t>;  // start, size, present, type
const Descriptor none{0, 0, 0, 0};

Descriptor descriptorOf(const CandidatePosition& c) {
    const IndelDescriptor& d = c.indelDescriptor;
    return {d.startBaseInRead, d.size, d.present, d.type};
}
// The indel found and the chosen scores.
std::pair<Descriptor, std::vector<int>> outcomeOf(const CandidatePosition& c) {
    return {descriptorOf(c), fieldsOf(c.chosenMappingScores.mismatchScores)};
}

// The lowest total of mismatches before and shifted after splits 30 to L - 31, the smallest on ties.
IndelSplit naiveSplit(std::string_view x, std::string_view y, std::uint32_t shift, std::uint32_t length,
                      std::uint32_t compared) {
    const auto differs = [&](std::size_t i, std::size_t j) {
        return i >= x.size() || j >= y.size() || x[i] != y[j];
    };
    IndelSplit best{0, 65535};
    for (std::uint32_t s = 30; s + 31 <= length; ++s) {
        std::uint32_t total = 0;
        for (std::uint32_t i = 0; i < s; ++i) total += differs(i, i);
        for (std::uint32_t j = s; j < compared; ++j) total += differs(j + shift, j);
        if (total < best.total) best = {s, static_cast<std::uint16_t>(total)};
    }
    return best;
}

std::pair<std::uint32_t, std::uint32_t> splitOf(const IndelSplit& s) {
    return {s.split, s.total};
}

// Bases `shift` apart between `from` and `to` differ under a changing view: no key across an indel
// there matches by chance, and the split cannot slide.
std::string chromosomeAround(std::size_t from, std::size_t to, std::size_t shift, unsigned seed) {
    std::mt19937 random(seed);
    std::string chr = randomBases(1500, random);
    for (std::size_t j = from, encoding = 0; j < to; ++j) {
        encoding = (encoding + 1 + random() % 2) % 3;
        chr[j + shift] = substituteKeeping(chr[j], static_cast<int>(encoding));
    }
    return chr;
}

std::unique_ptr<CandidatePositions> generateAndScore(const IndexedGenome& g, const std::string& sequence) {
    auto store = createCandidatePositions(5, 50);
    Read read = makeRead(sequence);
    generateCandidatePositionsForRead(ExecutionParameters{}, *g.indexes, read, *store,
                                      CandidateGenerationMethod::keyLookup);
    scoreCandidatePositions(ExecutionParameters{}, *store, *g.genome, read);
    return store;
}

// Reads lacking bases 740 to 742: the candidate at 700 takes the keys of 703 and is rescored across.
TEST(IndelDetectionTest, DeletionOfThreeBasesAtSplit40) {
    const std::string chr = chromosomeAround(716, 764, 3, 71);
    const IndexedGenome g = indexedGenome({chr});
    const std::string sequence = chr.substr(700, 40) + chr.substr(743, 60);
    const auto before = naiveScores(sequence, g.textAt(700, 100), 1, 4, true).wholeReadScore;
    const auto after = naiveScores(sequence, g.textAt(703, 100), 1, 4, true);
    const auto store = generateAndScore(g, sequence);
    ASSERT_EQ(store->candidates.size(), 2u);
    const CandidatePosition &first = store->candidates[0], &second = store->candidates[1];
    EXPECT_EQ(std::vector({first.genomePosition, first.chosenMappingScores.numberOfAssociatedKeys,
                           second.genomePosition, second.chosenMappingScores.numberOfAssociatedKeys}),
              std::vector({700u, 21u, 703u, 15u}));
    EXPECT_EQ(outcomeOf(first), std::pair(Descriptor{40, 3, 1, kDeletion}, std::vector<int>(7, 0)));
    EXPECT_EQ(outcomeOf(second), std::pair(none, fieldsOf(after)));  // left as scored
    // Rankings take the rescored candidate in.
    EXPECT_EQ(store->highestHitCountCandidate, &first);
    EXPECT_EQ(store->lowestMismatchCandidates.entries,
              (std::vector<CandidatePosition*>{&store->candidates[0], &store->candidates[1]}));
    EXPECT_EQ(std::vector({store->bestWholeReadMismatchScore, store->secondBestWholeReadMismatchScore}),
              std::vector<std::uint16_t>({0, std::min(before, after.wholeReadScore)}));
    EXPECT_EQ(std::vector({store->numberWithBestWholeReadScore, store->numberWithSecondBestWholeReadScore}),
              std::vector({1u, before == after.wholeReadScore ? 2u : 1u}));
    // Reversed, base 9 as sequenced changed: the split in the aligned orientation, the change in word one.
    std::string aligned = sequence;
    aligned[90] = substituteKeeping(aligned[90], 0);
    const auto reverse = generateAndScore(g, reverseComplementOf(aligned));
    ASSERT_EQ(reverse->candidates.size(), 2u);
    const CandidatePosition& receiver = reverse->candidates[0];
    EXPECT_EQ(std::pair(receiver.chosenMappingScores.numberOfAssociatedKeys, receiver.orientation),
              std::pair(17u, kReverseComplementOrientation));
    EXPECT_EQ(outcomeOf(receiver),
              std::pair(Descriptor{40, 3, 1, kDeletion}, std::vector<int>{1, 0, 1, 0, 0, 0, 1}));
}

// Two forward candidates with chosen (first word, last word, whole read) scores, paired by hand.
std::unique_ptr<CandidatePositions> processPair(const IndexedGenome& g, const std::string& sequence,
                                                std::uint32_t firstPosition, std::array<int, 3> firstScores,
                                                std::uint32_t secondPosition,
                                                std::array<int, 3> secondScores) {
    auto store = createCandidatePositions(5, 50);
    store->candidates.resize(2);
    for (int i = 0; i < 2; ++i) {
        CandidatePosition& c = store->candidates[i];
        const std::array<int, 3>& s = i == 0 ? firstScores : secondScores;
        c.genomePosition = i == 0 ? firstPosition : secondPosition;
        c.orientation = kForwardOrientation;
        c.chosenMappingScores.numberOfAssociatedKeys = 5;
        MismatchScores& m = c.chosenMappingScores.mismatchScores;
        m.firstWordScore = s[0];
        m.lastWordScore = s[1];
        m.wholeReadScore = m.secondaryScore = m.primaryScore = s[2];
    }
    store->highestHitCountCandidate = &store->candidates[0];
    addIndelCandidate(*store->indelCandidates, &store->candidates[0], &store->candidates[1]);
    Read read = makeRead(sequence);
    processIndelCandidates(ExecutionParameters{}, *store, read, *g.genome);
    EXPECT_EQ(store->numberOfCandidatesIndelProcessingWasPerformedOn, 1u);
    return store;
}

TEST(IndelDetectionTest, AcceptanceNeedsWordScoresAFittingSizeAndALowerTotalAtTheBestSplit) {
    const std::string chr = chromosomeAround(716, 764, 3, 75);
    const IndexedGenome g = indexedGenome({chr});
    std::mt19937 random(74);
    // A 100-base read takes insertions of up to 36 bases; a 64-base read none.
    for (const auto& [length, size, recorded] :
         {std::tuple{100u, 36u, true}, std::tuple{100u, 37u, false}, std::tuple{64u, 1u, false}}) {
        const std::string sequence =
            chr.substr(100, 32) + randomBases(size, random) + chr.substr(132, length - 32 - size);
        const auto store = processPair(g, sequence, 100 - size, {10, 0, 20}, 100, {0, 10, 20});
        EXPECT_EQ(store->candidates[1].indelDescriptor.present, recorded);
        EXPECT_EQ(store->candidates[0].indelDescriptor.present, 0u);
    }
    // A deletion with two substitutions: its best total is 2.
    std::string sequence = chr.substr(700, 40) + chr.substr(743, 60);
    sequence[10] = sequence[10] == 'A' ? 'C' : 'A';
    sequence[80] = sequence[80] == 'A' ? 'C' : 'A';
    ASSERT_EQ(splitOf(naiveSplit(g.textAt(700, 103), sequence, 3, 100, 100)), std::pair(40u, 2u));
    // Equal first words: no case applies.
    EXPECT_EQ(descriptorOf(processPair(g, sequence, 700, {10, 10, 30}, 703, {10, 0, 30})->candidates[0]),
              none);
    // A total equal to either candidate's whole-read score is not an improvement.
    for (const auto& [receiver, other, recorded] :
         {std::tuple{2, 3, false}, std::tuple{3, 2, false}, std::tuple{3, 3, true}}) {
        const auto store = processPair(g, sequence, 700, {0, 10, receiver}, 703, {10, 0, other});
        EXPECT_EQ(descriptorOf(store->candidates[0]), (recorded ? Descriptor{40, 3, 1, kDeletion} : none));
    }
    // The best split against a naive search of random indels; splits often tie, and the smallest wins.
    random.seed(76);
    for (int trial = 0; trial < 300; ++trial) {
        const std::uint32_t length = std::array{64u, 65u, 100u, 150u}[trial % 4], shift = 1 + random() % 20;
        std::string x = randomBases(length + shift, random);
        const std::uint32_t at = random() % length;
        std::string y = x.substr(0, at) + x.substr(at + shift);
        for (int m = random() % 4; m > 0; --m) y[random() % y.size()] = "ACGT"[random() % 4];
        if (trial % 5 == 0) x.resize(length + shift - random() % (shift + 10));
        const std::uint32_t compared = trial % 3 == 0 ? length - shift : length;  // insertion or deletion
        SCOPED_TRACE("trial " + std::to_string(trial));
        EXPECT_EQ(splitOf(findBestIndelSplit(x, y, shift, length, compared)),
                  splitOf(naiveSplit(x, y, shift, length, compared)));
    }
}

}  // namespace
}  // namespace koru
