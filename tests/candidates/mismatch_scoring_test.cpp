// Mismatch scoring: both variants against naive base-by-base counts, and against each other.

#include "candidates/mismatch_scoring.h"

#include <gtest/gtest.h>

#include "candidates/candidate_test_support.h"

namespace koru {
namespace {

using namespace koru::testing;

const MismatchScores& scoresFor(const CandidatePosition& c, std::uint32_t orientation) {
    return (orientation == kForwardOrientation ? c.forwardMappingScores : c.reverseComplementMappingScores)
        .mismatchScores;
}

// Scores `text` (the read in the given orientation) at a position with both variants and checks
// each against the naive counts.
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

// Random places, lengths (64, with no middle words, and more) and substitutions, with an N now
// and then: the binary variant never counts an N, the character variant does.
TEST(MismatchScoringTest, VariantsAgreeWithNaiveCountsAndEachOther) {
    std::mt19937 random(17);
    const IndexedGenome g = indexedGenome({randomBases(1500, random), randomBases(900, random)});
    const std::uint32_t shifts[][2] = {{1, 1}, {3, 3}, {8, 4}, {14, 7}};  // bases to shift, window step
    for (int trial = 0; trial < 200; ++trial) {
        const std::uint32_t n = trial % 10 == 0 ? 64 : 64 + random() % 240;
        const ChromosomeInformation& chromosome = g.genome->chromosomes[random() % 2];
        const auto position = static_cast<std::uint32_t>(chromosome.startGenomePosition +
                                                         random() % (chromosome.basePairs - n + 1));
        std::string text = g.textAt(position, n);
        for (int m = random() % 9; m > 0; --m) text[random() % n] = "ACGTN"[random() % (trial % 5 ? 4 : 5)];
        const std::uint32_t orientation = 1 + random() % 2, allocated = trial % 3 == 0 ? 512 : 0;
        const auto [s, step] = shifts[trial % 4];
        SCOPED_TRACE("trial " + std::to_string(trial));
        const CandidatePosition c = scoreBoth(g, position, text, orientation, s, step, allocated);
        const std::vector<int> binary = fieldsOf(scoresFor(c, orientation));
        const std::vector<int> character = fieldsOf(c.chosenMappingScores.mismatchScores);
        for (std::size_t field = 0; field < binary.size() && text.find('N') == std::string::npos; ++field) {
            if (step == 1 || (field != 1 && field != 5)) {
                EXPECT_EQ(binary[field], character[field]);
            }
            EXPECT_GE(binary[field], character[field]);  // min word samples fewer windows
        }
        // The read scored in the other orientation at the same place: mostly mismatches.
        scoreBoth(g, position, reverseComplementOf(text), 3 - orientation, s, step, allocated);
    }
}

TEST(MismatchScoringTest, CandidatesAtTheGenomeEdges) {
    std::mt19937 random(9);
    const IndexedGenome g = indexedGenome({randomBases(700, random), randomBases(900, random)});
    // The reverse complement of a 100-base read starts 28 bits into its words (412 in words sized
    // for 512 bases): at position 0 the genome window starts before the genome.
    for (const std::uint32_t allocated : {0u, 512u})
        EXPECT_EQ(scoreBoth(g, 0, g.textAt(0, 100), 2, 8, 4, allocated)
                      .chosenMappingScores.mismatchScores.wholeReadScore,
                  0u);
    // Over the last chromosome's end, its padding and 10 bases past the genome.
    const auto position = static_cast<std::uint32_t>(g.genome->paddedSequenceLength - 90);
    for (const std::uint32_t orientation : {1u, 2u}) {
        const std::string text = g.textAt(position, 30) + randomBases(70, random);
        EXPECT_EQ(
            scoreBoth(g, position, text, orientation, 8, 4).chosenMappingScores.mismatchScores.wholeReadScore,
            70u);
    }
}

TEST(MismatchScoringTest, OrientationChoice) {
    std::mt19937 random(12);
    const std::string half = randomBases(50, random);
    const std::string chr =
        randomBases(300, random) + half + reverseComplementOf(half) + randomBases(300, random);
    const IndexedGenome g = indexedGenome({chr});
    // Forward keys only: the reverse complement stays not scored and forward wins.
    CandidatePosition c;
    c.genomePosition = 100;
    c.forwardMappingScores.numberOfAssociatedKeys = 4;
    EXPECT_EQ(calculateMappingScoresForCandidatePosition(makeRead(chr.substr(100, 100)), c, *g.genome), 4u);
    EXPECT_EQ(c.orientation, kForwardOrientation);
    EXPECT_EQ(fieldsOf(c.reverseComplementMappingScores.mismatchScores), std::vector<int>(7, 65535));
    EXPECT_EQ(fieldsOf(c.chosenMappingScores.mismatchScores),
              fieldsOf(c.forwardMappingScores.mismatchScores));
    // A palindrome scores 0 both ways: equal whole-read scores choose the reverse complement.
    CandidatePosition p;
    p.genomePosition = 300;
    p.forwardMappingScores.numberOfAssociatedKeys = 2;
    p.reverseComplementMappingScores.numberOfAssociatedKeys = 3;
    EXPECT_EQ(calculateMappingScoresForCandidatePosition(makeRead(chr.substr(300, 100)), p, *g.genome), 5u);
    EXPECT_EQ(p.orientation, kReverseComplementOrientation);
    EXPECT_EQ(p.chosenMappingScores.numberOfAssociatedKeys, 5u);
    EXPECT_EQ(p.forwardMappingScores.mismatchScores.wholeReadScore, 0u);
    EXPECT_EQ(p.reverseComplementMappingScores.mismatchScores.wholeReadScore, 0u);
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

}  // namespace
}  // namespace koru
