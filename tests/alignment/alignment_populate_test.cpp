#include <gtest/gtest.h>

#include <vector>

#include "alignment/alignment.h"
#include "alignment/alignment_test_support.h"

namespace koru {
namespace {

// A store whose subset holds candidates of these whole-read scores, best first, with the best and
// second-best groups counted as given (the counts cover the whole genome, not just the subset).
struct Store {
    CandidatePositions store;

    Store(const std::vector<std::uint16_t>& subsetScores, std::uint16_t best, std::uint32_t bestCount,
          std::uint16_t second, std::uint32_t secondCount) {
        store.candidates.resize(subsetScores.size());
        for (std::size_t i = 0; i < subsetScores.size(); ++i) {
            CandidatePosition& c = store.candidates[i];
            c.genomePosition = 1000 * static_cast<std::uint32_t>(i + 1);
            c.orientation = i % 2 == 0 ? kForwardOrientation : kReverseComplementOrientation;
            c.chosenMappingScores.numberOfAssociatedKeys = 10 + static_cast<std::uint32_t>(i);
            c.chosenMappingScores.mismatchScores.wholeReadScore = subsetScores[i];
            store.lowestMismatchCandidates.entries.push_back(&c);
        }
        store.lowestMismatchCandidates.capacity = static_cast<std::uint32_t>(subsetScores.size());
        store.lowestMismatchCandidate = &store.candidates[0];
        store.bestWholeReadMismatchScore = best;
        store.numberWithBestWholeReadScore = bestCount;
        store.secondBestWholeReadMismatchScore = second;
        store.numberWithSecondBestWholeReadScore = secondCount;
    }

    CandidatePosition* operator[](std::size_t i) { return &store.candidates[i]; }
    // An alignment reused from a read that had a secondary: populating must clear it when due.
    Alignment populate(CandidatePosition* candidate, std::uint32_t type = primaryAlignmentType) {
        Alignment a = testing::alignmentAt(testing::positionAt(77, 0));
        a.secondaryPosition = testing::positionAt(88, 0);
        a.chromosomeNumber = 3;
        a.chromosomePosition = 5;
        populateAlignmentFromCandidatePosition(a, candidate, store, type);
        return a;
    }
};

TEST(AlignmentPopulateTest, NoCandidateGivesAnEmptyUnreportableAlignment) {
    Store s({1}, 1, 1, 2, 0);
    const Alignment a = s.populate(nullptr, alternateAlignmentType);
    EXPECT_TRUE(a.isEmpty);
    EXPECT_FALSE(a.isReportable);
    EXPECT_EQ(a.alignmentType, emptyAlignmentType);
    EXPECT_EQ(std::tuple(a.chromosomeNumber, a.chromosomePosition), std::tuple(0u, 0u));
    EXPECT_TRUE(a.primaryPosition.isEmpty);
}

TEST(AlignmentPopulateTest, BestCandidateTakesItsPlacementAndTheRunnerUp) {
    Store s({1, 1, 3, 4}, 1, 2, 3, 1);
    s[0]->indelDescriptor = testing::indelOf(kDeletion, 2, 40);
    const Alignment a = s.populate(s[0], indelAlignmentType);
    EXPECT_EQ(std::tuple(a.isEmpty, a.isReportable, a.alignmentType, s[0]->usedInAlignment),
              std::tuple(0u, 1u, indelAlignmentType, true));
    const Position &primary = a.primaryPosition, &secondary = a.secondaryPosition;
    EXPECT_EQ(std::tuple(primary.isEmpty, primary.genomePosition, primary.orientation,
                         primary.mappingScores.numberOfAssociatedKeys, primary.indelDescriptor.size,
                         primary.indelDescriptor.type, primary.numberOfCandidatesWithSameOrFewerMismatches),
              std::tuple(0u, 1000u, kForwardOrientation, 10u, 2u, kDeletion, 2u));
    // The runner-up shares the best score, so only the best group counts for it.
    EXPECT_EQ(std::tuple(secondary.isEmpty, secondary.genomePosition, secondary.orientation,
                         secondary.mappingScores.mismatchScores.wholeReadScore,
                         secondary.numberOfCandidatesWithSameOrFewerMismatches),
              std::tuple(0u, 2000u, kReverseComplementOrientation, std::uint16_t{1}, 2u));
}

// Counts of candidates fitting as well as the chosen one, and of its runner-up (0: none). Only
// the best candidate with another subset entry has a runner-up.
TEST(AlignmentPopulateTest, CountsOfCandidatesWithSameOrFewerMismatches) {
    const struct {
        std::vector<std::uint16_t> scores;
        std::uint16_t best;
        std::uint32_t bestCount;
        std::uint16_t second;
        std::uint32_t secondCount, chosen, count, runnerUpCount;
    } cases[] = {
        {{1, 3, 4}, 1, 1, 3, 4, 0, 1, 5},  // a runner-up with a worse score counts both groups
        {{1, 3, 4}, 1, 1, 3, 1, 1, 2, 0},  // the second-best score counts both groups
        {{2}, 2, 1, 65535, 0, 0, 1, 0},
        // Ranked by their best window, so whole-read scores need not rise: counting stops at the 7.
        {{1, 1, 3, 4, 7, 4}, 1, 2, 3, 1, 3, 4, 0},
        {{1, 1, 3, 4, 7, 4}, 1, 2, 3, 1, 5, 4, 0},
        {{1, 1, 3, 4, 7, 4}, 1, 2, 3, 1, 4, 6, 0},
        // Beyond a subset that ends before a higher score: one more than both groups.
        {{1, 1, 3, 4}, 1, 2, 3, 2, 3, 5, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("candidate " + std::to_string(c.chosen) + " of " + std::to_string(c.scores.size()));
        Store s(c.scores, c.best, c.bestCount, c.second, c.secondCount);
        const Alignment a = s.populate(s[c.chosen]);
        EXPECT_EQ(a.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches, c.count);
        EXPECT_EQ(a.secondaryPosition.isEmpty, c.runnerUpCount == 0);
        if (c.runnerUpCount != 0) {
            EXPECT_EQ(a.secondaryPosition.numberOfCandidatesWithSameOrFewerMismatches, c.runnerUpCount);
        }
    }
}

}  // namespace
}  // namespace koru
