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
    std::uint32_t countFor(std::size_t i) {
        Alignment a;
        initAlignment(a);
        populateAlignmentFromCandidatePosition(a, (*this)[i], store, primaryAlignmentType);
        return a.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches;
    }
};

TEST(AlignmentPopulateTest, NoCandidateGivesAnEmptyUnreportableAlignment) {
    Store s({1}, 1, 1, 2, 0);
    Alignment a = testing::alignmentAt(testing::positionAt(77, 0));
    a.chromosomeNumber = 3;
    a.chromosomePosition = 5;
    populateAlignmentFromCandidatePosition(a, nullptr, s.store, alternateAlignmentType);
    EXPECT_TRUE(a.isEmpty);
    EXPECT_FALSE(a.isReportable);
    EXPECT_EQ(a.alignmentType, emptyAlignmentType);
    EXPECT_EQ(a.chromosomeNumber, 0u);
    EXPECT_EQ(a.chromosomePosition, 0u);
    EXPECT_TRUE(a.primaryPosition.isEmpty);
}

TEST(AlignmentPopulateTest, BestCandidateTakesItsPlacementAndTheRunnerUp) {
    Store s({1, 1, 3, 4}, 1, 2, 3, 1);
    s[0]->indelDescriptor = testing::indelOf(kDeletion, 2, 40);
    Alignment a;
    initAlignment(a);
    populateAlignmentFromCandidatePosition(a, s[0], s.store, indelAlignmentType);
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

TEST(AlignmentPopulateTest, RunnerUpWithAWorseScoreCountsBothGroups) {
    Store s({1, 3, 4}, 1, 1, 3, 4);
    Alignment a;
    initAlignment(a);
    populateAlignmentFromCandidatePosition(a, s[0], s.store, primaryAlignmentType);
    EXPECT_EQ(a.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches, 1u);
    EXPECT_EQ(a.secondaryPosition.numberOfCandidatesWithSameOrFewerMismatches, 5u);
}

TEST(AlignmentPopulateTest, OnlyTheBestCandidateWithAnotherEntryHasASecondary) {
    Store s({1, 3, 4}, 1, 1, 3, 1);
    Alignment a;
    initAlignment(a);
    populateAlignmentFromCandidatePosition(a, s[1], s.store, alternateAlignmentType);
    EXPECT_TRUE(a.secondaryPosition.isEmpty);
    // The second-best score counts both groups.
    EXPECT_EQ(a.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches, 2u);

    Store lone({2}, 2, 1, 65535, 0);
    populateAlignmentFromCandidatePosition(a, lone[0], lone.store, primaryAlignmentType);
    EXPECT_TRUE(a.secondaryPosition.isEmpty);
    EXPECT_EQ(a.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches, 1u);
}

TEST(AlignmentPopulateTest, WorseScoreCountsLeadingSubsetEntriesUpToAHigherOne) {
    // Ranked by their best window, so whole-read scores need not rise: counting stops at the 7.
    Store s({1, 1, 3, 4, 7, 4}, 1, 2, 3, 1);
    EXPECT_EQ(s.countFor(3), 4u);
    EXPECT_EQ(s.countFor(5), 4u);
    EXPECT_EQ(s.countFor(4), 6u);
    // Beyond a subset that ends before a higher score: one more than both groups.
    Store small({1, 1, 3, 4}, 1, 2, 3, 2);
    EXPECT_EQ(small.countFor(3), 5u);
}

}  // namespace
}  // namespace koru
