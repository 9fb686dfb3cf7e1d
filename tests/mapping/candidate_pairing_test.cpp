// The pairing of two reads' candidates inside the window, against every pair taken in order.

#include "mapping/candidate_pairing.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace koru {
namespace {

struct Scored {
    std::uint32_t position;
    std::uint16_t primary;
    std::uint16_t secondary;
    std::uint32_t keys;
};

std::vector<CandidatePosition> candidatesOf(const std::vector<Scored>& scored) {
    std::vector<CandidatePosition> candidates(scored.size());
    for (std::size_t i = 0; i < scored.size(); ++i) {
        candidates[i].genomePosition = scored[i].position;
        candidates[i].chosenMappingScores.mismatchScores.primaryScore = scored[i].primary;
        candidates[i].chosenMappingScores.mismatchScores.secondaryScore = scored[i].secondary;
        candidates[i].chosenMappingScores.numberOfAssociatedKeys = scored[i].keys;
    }
    return candidates;
}

// The outcome as indices: the best pair (-1 for none), the tie flags and the pairs evaluated.
struct Outcome {
    int a = -1, b = -1;
    bool tiedA = false, tiedB = false;
    std::uint64_t evaluated = 0;
    bool operator==(const Outcome&) const = default;
};

Outcome outcomeOf(const std::vector<Scored>& a, const std::vector<Scored>& b, std::uint32_t window) {
    std::vector<CandidatePosition> readA = candidatesOf(a), readB = candidatesOf(b);
    PairingScratch scratch;
    const Pairing pairing = pairInsideWindow(readA, readB, window, scratch);
    Outcome outcome{-1, -1, pairing.tiedA, pairing.tiedB, pairing.pairsEvaluated};
    EXPECT_EQ(pairing.hasConcordantPair(), pairing.best.candidateA != nullptr);
    if (pairing.best.candidateA != nullptr) {
        outcome.a = static_cast<int>(pairing.best.candidateA - readA.data());
        outcome.b = static_cast<int>(pairing.best.candidateB - readB.data());
    }
    return outcome;
}

// Every pair, read A's candidates then read B's in order: lower summed primary, then secondary, then
// more keys wins; a later pair with the best scores marks the read whose candidate differs.
Outcome everyPair(const std::vector<Scored>& a, const std::vector<Scored>& b, std::uint32_t window) {
    Outcome best;
    for (int i = 0; i < static_cast<int>(a.size()); ++i) {
        for (int j = 0; j < static_cast<int>(b.size()); ++j) {
            const std::uint32_t x = a[i].position, y = b[j].position;
            if ((x > y ? x - y : y - x) > window) continue;
            ++best.evaluated;
            const int primary = a[i].primary + b[j].primary, secondary = a[i].secondary + b[j].secondary;
            const std::uint32_t keys = a[i].keys + b[j].keys;
            if (best.a >= 0) {
                const int bestPrimary = a[best.a].primary + b[best.b].primary;
                const int bestSecondary = a[best.a].secondary + b[best.b].secondary;
                const std::uint32_t bestKeys = a[best.a].keys + b[best.b].keys;
                if (primary == bestPrimary && secondary == bestSecondary) {
                    best.tiedA |= i != best.a;
                    best.tiedB |= j != best.b;
                    if (keys > bestKeys) best.a = i, best.b = j;
                    continue;
                }
                if (primary > bestPrimary || (primary == bestPrimary && secondary > bestSecondary)) continue;
            }
            best.a = i, best.b = j, best.tiedA = best.tiedB = false;
        }
    }
    return best;
}

TEST(CandidatePairingTest, WindowEdgesKeysAndTies) {
    // A mate exactly the window away pairs; one base further does not.
    EXPECT_EQ(outcomeOf({{100, 1, 2, 2}}, {{90, 0, 0, 2}, {111, 0, 0, 2}}, 10),
              (Outcome{0, 0, false, false, 1}));
    EXPECT_EQ(outcomeOf({{100, 1, 2, 2}}, {{89, 0, 0, 2}}, 10), (Outcome{-1, -1, false, false, 0}));
    // Equal scores: more keys win, and both reads have another place that fits as well.
    EXPECT_EQ(outcomeOf({{100, 1, 4, 2}, {200, 1, 4, 3}}, {{150, 0, 1, 2}, {160, 0, 1, 5}}, 100),
              (Outcome{1, 1, true, true, 4}));
    // A full tie keeps the earlier pair; a better pair after a tie clears the marks.
    EXPECT_EQ(outcomeOf({{100, 1, 4, 2}}, {{150, 0, 1, 2}, {160, 0, 1, 2}}, 100),
              (Outcome{0, 0, false, true, 2}));
    EXPECT_EQ(outcomeOf({{100, 1, 4, 2}}, {{150, 0, 1, 2}, {160, 0, 1, 2}, {170, 0, 0, 2}}, 100),
              (Outcome{0, 2, false, false, 3}));
    // The primary score outranks the secondary, which outranks the keys.
    EXPECT_EQ(outcomeOf({{100, 0, 9, 2}, {120, 1, 0, 9}}, {{110, 0, 0, 2}}, 100),
              (Outcome{0, 0, false, false, 2}));
}

TEST(CandidatePairingTest, AgreesWithEveryPairTakenInOrder) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 500; ++trial) {
        std::vector<Scored> a(random() % 12), b(random() % 12);
        for (auto* read : {&a, &b}) {
            std::uint32_t position = random() % 20;
            for (Scored& s : *read) {
                // Few distinct scores, so that ties are common; clustered positions, some shared.
                position += random() % 8;
                s = {position, static_cast<std::uint16_t>(random() % 3),
                     static_cast<std::uint16_t>(random() % 4), 1 + static_cast<std::uint32_t>(random() % 3)};
            }
        }
        const std::uint32_t window = random() % 30;
        ASSERT_EQ(outcomeOf(a, b, window), everyPair(a, b, window)) << "trial " << trial;
    }
}

}  // namespace
}  // namespace koru
