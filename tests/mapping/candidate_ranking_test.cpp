// Scoring and ranking of a read's candidates: copies of the read's region with known
// substitutions, hit by chosen numbers of keys, against rankings computed from naive scores.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "candidates/candidate_test_support.h"
#include "mapping/candidate_scoring.h"

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
        ASSERT_EQ(store->candidates.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const CandidatePosition& actual = store->candidates[i];
            EXPECT_EQ(actual.genomePosition, expected[i].position);
            EXPECT_EQ(actual.orientation, expected[i].orientation);
            EXPECT_EQ(actual.chosenMappingScores.numberOfAssociatedKeys, expected[i].keys);
            EXPECT_EQ(fieldsOf(actual.chosenMappingScores.mismatchScores), fieldsOf(expected[i].chosen));
        }
        // Whole-read scores: the two lowest distinct values and how many candidates have each.
        std::multiset<int> wholes;
        for (const Expected& e : expected) wholes.insert(e.chosen.wholeReadScore);
        std::vector<int> lowest(wholes.begin(), wholes.end());
        lowest.erase(std::unique(lowest.begin(), lowest.end()), lowest.end());
        lowest.resize(2, 65535);
        EXPECT_EQ(std::vector({store->bestWholeReadMismatchScore, store->secondBestWholeReadMismatchScore}),
                  std::vector<std::uint16_t>(lowest.begin(), lowest.end()));
        EXPECT_EQ(store->numberWithBestWholeReadScore, wholes.count(lowest[0]));
        EXPECT_EQ(store->numberWithSecondBestWholeReadScore, wholes.count(lowest[1]));
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

TEST(CandidateRankingTest, CloseCandidatesOfOneOrientationBecomeIndelCandidates) {
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
    EXPECT_EQ(store->numberOfCandidatesIndelProcessingWasPerformedOn, 0u);
}

// A 100-base read triggers indel processing at 2 mismatches (0.02 x 100).
TEST(CandidateRankingTest, IndelProcessingTrigger) {
    for (const int substitutions : {1, 2}) {
        const Copies c = copiesWith({substitutions}, 61);
        auto store = createCandidatePositions(5, 50);
        store->keyHits = {{c.positions[0], 2, 0}, {c.positions[0] + 10, 2, 0}};
        Read read = makeRead(c.read);
        scoreCandidatePositions(ExecutionParameters{}, *store, *c.g.genome, read);
        ASSERT_EQ(store->indelCandidates->records.size(), 1u);
        EXPECT_EQ(store->bestWholeReadMismatchScore, substitutions);
        EXPECT_EQ(store->numberOfCandidatesIndelProcessingWasPerformedOn, substitutions == 2 ? 1u : 0u);
    }
}

}  // namespace
}  // namespace koru
