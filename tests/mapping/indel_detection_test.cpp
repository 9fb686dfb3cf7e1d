// Indel detection: a read with a deletion at a known split, through candidate generation and
// scoring, and pairs of candidates with chosen word scores. An insertion is followed through
// mapping to its CIGAR in read_pair_mapping_test.cpp.

#include "mapping/indel_detection.h"

#include <gtest/gtest.h>

#include "candidates/candidate_generation.h"
#include "candidates/candidate_test_support.h"
#include "mapping/candidate_scoring.h"

namespace koru {
namespace {

using namespace koru::testing;
using Descriptor = std::vector<std::uint32_t>;  // start, size, present, type
const Descriptor none{0, 0, 0, 0};

Descriptor descriptorOf(const CandidatePosition& c) {
    const IndelDescriptor& d = c.indelDescriptor;
    return {d.startBaseInRead, d.size, d.present, d.type};
}

// The lowest total of mismatches before the split plus shifted mismatches after it, over splits
// 30 to L - 31, the smallest split on ties; positions past a text mismatch.
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

// Makes each base from `from` + shift to `to` + shift differ from the base `shift` before it,
// keeping one view that changes from base to base, so no key spanning an indel of that size there
// matches the genome by chance under any view, and the split cannot slide.
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

// Reads lacking bases 740 to 742 of the chromosome.
TEST(IndelDetectionTest, DeletionOfThreeBasesAtSplit40) {
    const std::string chr = chromosomeAround(716, 764, 3, 71);
    const IndexedGenome g = indexedGenome({chr});
    const std::string sequence = chr.substr(700, 40) + chr.substr(743, 60);
    const auto before = naiveScores(sequence, g.textAt(700, 100), 1, 4, true).wholeReadScore;
    const auto after = naiveScores(sequence, g.textAt(703, 100), 1, 4, true);
    const auto store = generateAndScore(g, sequence);
    ASSERT_EQ(store->candidates.size(), 2u);
    const CandidatePosition &first = store->candidates[0], &second = store->candidates[1];
    // Keys 0 and 8 lie before the split, keys 40 to 68 (five) after it; the receiver takes both.
    EXPECT_EQ(std::vector({first.genomePosition, first.forwardMappingScores.numberOfAssociatedKeys,
                           first.chosenMappingScores.numberOfAssociatedKeys, first.orientation,
                           second.genomePosition, second.chosenMappingScores.numberOfAssociatedKeys}),
              std::vector({700u, 6u, 21u, kForwardOrientation, 703u, 15u}));
    EXPECT_EQ(descriptorOf(first), (Descriptor{40, 3, 1, kDeletion}));
    EXPECT_EQ(fieldsOf(first.chosenMappingScores.mismatchScores), std::vector<int>(7, 0));
    // The other candidate is left as scored.
    EXPECT_EQ(descriptorOf(second), none);
    EXPECT_EQ(fieldsOf(second.chosenMappingScores.mismatchScores), fieldsOf(after));
    ASSERT_EQ(store->indelCandidates->records.size(), 1u);
    EXPECT_EQ(store->indelCandidates->records[0].mergedMappingScores, &first.chosenMappingScores);
    EXPECT_EQ(store->numberOfCandidatesIndelProcessingWasPerformedOn, 1u);
    // Rankings take the rescored candidate in.
    EXPECT_EQ(store->highestHitCountCandidate, &first);
    EXPECT_EQ(store->lowestMismatchCandidates.entries,
              (std::vector<CandidatePosition*>{&store->candidates[0], &store->candidates[1]}));
    EXPECT_EQ(std::vector({store->bestWholeReadMismatchScore, store->secondBestWholeReadMismatchScore}),
              std::vector<std::uint16_t>({0, std::min(before, after.wholeReadScore)}));
    EXPECT_EQ(std::vector({store->numberWithBestWholeReadScore, store->numberWithSecondBestWholeReadScore}),
              std::vector({1u, before == after.wholeReadScore ? 2u : 1u}));

    // The same read as its reverse complement, with a substitution at base 90 of the reverse
    // complement (base 9 as sequenced): the split is in the aligned orientation, and the rescored
    // substitution is in the first word.
    std::string aligned = sequence;
    aligned[90] = substituteKeeping(aligned[90], 0);
    const auto reverse = generateAndScore(g, reverseComplementOf(aligned));
    ASSERT_EQ(reverse->candidates.size(), 2u);
    const CandidatePosition& receiver = reverse->candidates[0];
    EXPECT_EQ(std::vector({receiver.reverseComplementMappingScores.numberOfAssociatedKeys,
                           reverse->candidates[1].reverseComplementMappingScores.numberOfAssociatedKeys,
                           receiver.chosenMappingScores.numberOfAssociatedKeys, receiver.orientation}),
              std::vector({6u, 11u, 17u, kReverseComplementOrientation}));
    EXPECT_EQ(descriptorOf(receiver), (Descriptor{40, 3, 1, kDeletion}));
    EXPECT_EQ(fieldsOf(receiver.chosenMappingScores.mismatchScores), (std::vector<int>{1, 0, 1, 0, 0, 0, 1}));
}

// Two forward candidates with chosen (first word, last word, whole read) scores, paired by hand,
// processed for a read.
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

TEST(IndelDetectionTest, AcceptanceNeedsWordScoresAFittingSizeAndALowerTotal) {
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
    const IndelSplit best = naiveSplit(g.textAt(700, 103), sequence, 3, 100, 100);
    ASSERT_EQ(std::vector({best.split, std::uint32_t{best.total}}), std::vector({40u, 2u}));
    // Equal first words: no case applies.
    EXPECT_EQ(descriptorOf(processPair(g, sequence, 700, {10, 10, 30}, 703, {10, 0, 30})->candidates[0]),
              none);
    // A total equal to either candidate's whole-read score is not an improvement.
    for (const auto& [receiver, other, recorded] :
         {std::tuple{2, 3, false}, std::tuple{3, 2, false}, std::tuple{3, 3, true}}) {
        const auto store = processPair(g, sequence, 700, {0, 10, receiver}, 703, {10, 0, other});
        EXPECT_EQ(descriptorOf(store->candidates[0]), (recorded ? Descriptor{40, 3, 1, kDeletion} : none));
    }
}

TEST(IndelDetectionTest, BestSplitAgainstANaiveSearch) {
    // Deleting three of five A's: splits 38 to 40 all leave no mismatch; the smallest wins.
    std::mt19937 random(76);
    std::string reference = randomBases(103, random);
    reference.replace(37, 7, "CAAAAAG");
    const IndelSplit tie =
        findBestIndelSplit(reference, reference.substr(0, 40) + reference.substr(43), 3, 100, 100);
    EXPECT_EQ(std::vector({tie.split, std::uint32_t{tie.total}}), std::vector({38u, 0u}));
    // Random indels anywhere in reads of 64 bases (splits 30 to 33 only) and more; x sometimes short.
    for (int trial = 0; trial < 300; ++trial) {
        const std::uint32_t length = std::array{64u, 65u, 100u, 150u}[trial % 4], shift = 1 + random() % 20;
        std::string x = randomBases(length + shift, random);
        const std::uint32_t at = random() % length;
        std::string y = x.substr(0, at) + x.substr(at + shift);
        for (int m = random() % 4; m > 0; --m) y[random() % y.size()] = "ACGT"[random() % 4];
        if (trial % 5 == 0) x.resize(length + shift - random() % (shift + 10));
        const std::uint32_t compared = trial % 3 == 0 ? length - shift : length;  // insertion or deletion
        SCOPED_TRACE("trial " + std::to_string(trial));
        const IndelSplit expected = naiveSplit(x, y, shift, length, compared);
        const IndelSplit actual = findBestIndelSplit(x, y, shift, length, compared);
        EXPECT_EQ(std::vector({actual.split, std::uint32_t{actual.total}}),
                  std::vector({expected.split, std::uint32_t{expected.total}}));
    }
}

}  // namespace
}  // namespace koru
