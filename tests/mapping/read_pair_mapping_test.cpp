// Read pairs placed on a small genome, mapped and aligned as the request drivers do; a perfect
// 100-base read hits its place with 30 keys. Then the primary choice and the junction read score.

#include "mapping/read_pair_mapping.h"
#include "mapping/junction_rescue.h"

#include <gtest/gtest.h>

#include <tuple>

#include "alignment/mapping_quality.h"
#include "candidates/candidate_test_support.h"

namespace koru {
namespace {

using namespace koru::testing;
using Values = std::vector<std::int64_t>;

constexpr std::uint32_t kForward = kForwardOrientation;
constexpr std::uint32_t kReverse = kReverseComplementOrientation;
constexpr std::uint32_t kConcordant = concordantPairedAlignmentType;
constexpr std::uint32_t kDiscordant = discordantPairedAlignmentType;

template <typename... T>
Values values(T... v) {
    return {static_cast<std::int64_t>(v)...};
}

Values placed(std::int64_t position, std::uint32_t orientation = kForward,
              std::uint32_t type = primaryAlignmentType) {
    return values(position, orientation, type);
}
Values placement(const Alignment& a) {
    return placed(a.primaryPosition.genomePosition, a.primaryPosition.orientation, a.alignmentType);
}
Values concat(Values a, const Values& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// Every populated alignment of a read, in order.
Values placements(const Alignments& alignments) {
    Values all;
    for (std::uint32_t i = 0; i < alignments.numberOfPopulatedAlignments; ++i)
        all = concat(all, placement(alignments.alignments[i]));
    return all;
}

// Type, read A's and read B's positions, distance, aggregate hit count and alignment score.
Values summary(const PairedAlignment& p) {
    return values(p.type, p.readAAlignments.alignments[0].primaryPosition.genomePosition,
                  p.readBAlignments.alignments[0].primaryPosition.genomePosition, p.distance,
                  p.aggregateHitCount, p.alignmentScore);
}

std::string editsOf(const Alignment& a) {
    return a.cigarString + " " + a.mismatchString + " NM " + std::to_string(a.editDistance);
}

// Substitutions that keep the XOR view, so every key window containing only them keeps its XOR key.
std::string withXorKeepingMismatches(std::string text, std::initializer_list<std::size_t> at) {
    for (const std::size_t i : at) text[i] = substituteKeeping(text[i], 2);
    return text;
}
// Pairs of these substitutions at consecutive bases break every key over them.
std::string broken(std::string text, std::initializer_list<std::size_t> at) {
    for (const std::size_t i : at) text[i] = breakBase(text[i], i);
    return text;
}

class ReadPairMappingTest : public ::testing::Test {
  protected:
    std::string chr;
    IndexedGenome g;
    ExecutionParameters params;
    ReadPair pair;
    std::unique_ptr<ReadPairMappingStatistics> statistics;
    std::unique_ptr<PairedAlignments> result;

    ReadPairMappingTest() {
        std::mt19937 random(2024);
        chr = randomBases(5000, random);
        params.concordantReadPairBasePairWindowSize = 1000;
    }

    std::string at(std::size_t position, std::size_t length = 100) const {
        return chr.substr(position, length);
    }
    // Changes the genome, which is indexed again on the next mapping.
    void put(std::size_t position, const std::string& text) {
        chr.replace(position, text.size(), text);
        g = {};
    }
    void map(const std::string& a, const std::string& b) {
        if (!g.genome) g = indexedGenome({chr});
        pair.readA = readOf(a);
        pair.readB = readOf(b);
        statistics = createReadPairMappingStatistics(params);
        result = mapReadPair(params, pair, *g.indexes, *statistics);
    }
    PairedAlignment& slot(std::size_t i) { return result->pairedAlignments.at(i); }
    Alignment& readA(std::size_t i = 0) { return slot(i).readAAlignments.alignments[0]; }
    Alignment& readB(std::size_t i = 0) { return slot(i).readBAlignments.alignments[0]; }
    std::uint32_t populated() const { return result->numberOfPopulatedPairedAlignments; }
    // Pairs evaluated per quality group: none inside the window, inside, pop and hit count outside.
    Values groups() const {
        Values evaluated;
        for (const CandidateQualityStatistics& group : statistics->qualityGroups)
            evaluated.push_back(group.evaluated);
        return evaluated;
    }

    // Read A's or read B's first alignment of the first paired alignment, aligned with its quality.
    Alignment& aligned(bool ofReadB = false) {
        Read& read = ofReadB ? pair.readB : pair.readA;
        Alignment& a = ofReadB ? readB() : readA();
        performAlignment(params, read, a, *g.genome);
        addQualityScoreToAlignment(params, read, a, *g.genome);
        return a;
    }
};

TEST_F(ReadPairMappingTest, UniquePairUpToTheWindowApartIsConcordantAndReadsWithoutCandidatesAreEmpty) {
    for (const auto& [a, b, concordant] : {std::tuple{500u, 1500u, true}, std::tuple{500u, 1501u, false},
                                           std::tuple{1600u, 600u, true}, std::tuple{1601u, 600u, false}}) {
        SCOPED_TRACE(std::to_string(a) + " and " + std::to_string(b));
        map(at(a), reverseComplementOf(at(b)));
        ASSERT_EQ(populated(), 1u);
        PairedAlignment& p = slot(0);
        EXPECT_EQ(summary(p), values(concordant ? kConcordant : kDiscordant, a, b,
                                     std::abs(std::int64_t{a} - b), 60, 200));
        EXPECT_EQ(concat(placements(p.readAAlignments), placements(p.readBAlignments)),
                  concat(placed(a), placed(b, kReverse)));
        EXPECT_EQ(values(p.chromosomeDifference, p.highQualityFlag, p.noCandidateFlag, p.biotinJunctionFlag),
                  (Values{0, 1, 0, 0}));
        // Outside the window the sums take both reads' highest hit count and lowest mismatch candidates.
        const ReadPairMappingStatistics& s = *statistics;
        EXPECT_EQ(values(s.readPairsProcessed, s.pairsWithCandidatesInWindow, s.pairsWithNoCandidatesInWindow,
                         s.pairsWithExactlyOneCandidatePairInWindow, s.candidatePairsInWindow,
                         s.hitCountSumExactlyOne, s.popCountSumExactlyOne, s.hitCountSumOutsideWindow,
                         s.popCountSumOutsideWindow),
                  concordant ? (Values{1, 1, 0, 1, 1, 60, 0, 0, 0}) : (Values{1, 0, 1, 0, 0, 0, 0, 60, 0}));
        EXPECT_EQ(groups(), concordant ? (Values{0, 1, 0, 0}) : (Values{1, 0, 0, 0}));
    }
    // Reads without candidates get empty alignments, or none when both have none.
    std::mt19937 random(7);
    const std::string absent = randomBases(100, random);
    for (const bool readAFound : {false, true}) {
        map(readAFound ? at(500) : absent, readAFound ? absent : reverseComplementOf(at(1200)));
        ASSERT_EQ(populated(), 1u);
        const PairedAlignment& p = slot(0);
        const Alignments& found = readAFound ? p.readAAlignments : p.readBAlignments;
        const Alignments& empty = readAFound ? p.readBAlignments : p.readAAlignments;
        EXPECT_EQ(placement(found.alignments[0]), readAFound ? placed(500) : placed(1200, kReverse));
        EXPECT_EQ(values(p.type, empty.numberOfPopulatedAlignments, empty.alignments[0].isEmpty, p.distance,
                         p.chromosomeDifference, p.aggregateHitCount, p.alignmentScore, p.noCandidateFlag),
                  values(kDiscordant, 1, 1, noReadDistance, noReadDistance, 0, 100, 0));
        EXPECT_EQ(fieldsOf(p.aggregateMismatchScores), std::vector<int>(7, 65535));
        EXPECT_EQ(values(statistics->pairsWithCandidatesInWindow, statistics->pairsWithNoCandidatesInWindow,
                         readAFound ? statistics->readBNoCandidates : statistics->readANoCandidates),
                  (Values{0, 0, 1}));
    }
    map(absent, absent);
    EXPECT_EQ(
        values(result->numberOfAllocatedPairedAlignments(), populated(), statistics->bothReadsNoCandidates),
        (Values{0, 0, 1}));
    // A filter over read B's only candidate, its bounds included, leaves read B without candidates.
    params.candidatePositionFilters = {CandidatePositionFilter{1200, 1200}};
    map(at(500), reverseComplementOf(at(1200)));
    EXPECT_EQ(values(slot(0).type, readB().isEmpty), (Values{kDiscordant, 1}));
}

// Read B at 3000 has a copy at 1200, near read A at 500, with primary score 1, whole-read 4, 10 keys.
TEST_F(ReadPairMappingTest, BestPairInsideWindowOtherThanLowestMismatchPairGivesBothAndHitCountPairCounts) {
    put(1200, withXorKeepingMismatches(at(3000), {20, 45, 70, 95}));
    map(at(500), reverseComplementOf(at(3000)));
    ASSERT_EQ(populated(), 2u);
    EXPECT_EQ(summary(slot(0)), (Values{kConcordant, 500, 1200, 700, 40, 196}));
    EXPECT_EQ(summary(slot(1)), (Values{kDiscordant, 500, 3000, 2500, 60, 200}));
    const ReadPairMappingStatistics& s = *statistics;
    EXPECT_EQ(values(s.pairsWithExactlyOneCandidatePairInWindow, s.candidatePairsInWindow,
                     s.popCountSumExactlyOne, s.hitCountSumExactlyOne),
              (Values{1, 1, 1, 40}));
    EXPECT_EQ(groups(), (Values{0, 1, 1, 1}));
    // The hit count pair outside counts also when the pair inside has the fewest mismatches.
    std::mt19937 random(11);
    const std::string read = randomBases(100, random);
    put(500, broken(read, {32, 33, 60, 61, 72, 73}));
    put(3000, withXorKeepingMismatches(read, {20, 45, 70, 95}));
    map(read, reverseComplementOf(at(1200)));
    ASSERT_EQ(populated(), 1u);
    EXPECT_EQ(summary(slot(0)), (Values{kConcordant, 500, 1200, 700, 33, 194}));
    EXPECT_EQ(groups(), (Values{0, 1, 0, 1}));
}

// A read whose copy pairs with the mate too keeps its own quality (it was reported at 254); tied pairs
// keep the earliest; a copy outside the window is told apart by the mate, which lends its quality.
TEST_F(ReadPairMappingTest, CopiesKeepTheirOwnQualityUnlessTheMateTellsThemApart) {
    const std::string original = chr;
    // Tied within the pair, own qualities, reported qualities, pairs in the window, exactly one, hits.
    for (const auto& [copies, expected] : {std::pair{Values{2500, 3200}, Values{1, 1, 3, 3, 3, 3, 2, 0, 60}},
                                           std::pair{Values{800}, Values{1, 0, 3, 40, 3, 43, 2, 0, 60}},
                                           std::pair{Values{3000}, Values{0, 0, 3, 40, 43, 43, 1, 1, 0}}}) {
        SCOPED_TRACE(copies[0]);
        chr = original;
        for (std::size_t i = 0; i < copies.size(); ++i) put(copies[i], at(i == 0 ? 500 : 1200));
        map(at(500), reverseComplementOf(at(1200)));
        ASSERT_EQ(populated(), 1u);
        EXPECT_EQ(summary(slot(0)), (Values{kConcordant, 500, 1200, 700, 60, 200}));
        const Alignment &a = aligned(), &b = aligned(true);
        const ReadPairMappingStatistics& s = *statistics;
        EXPECT_EQ(values(a.tiedWithinPair, b.tiedWithinPair, a.mappingQuality, b.mappingQuality,
                         reportedMappingQuality(a, &b, true), reportedMappingQuality(b, &a, true),
                         s.candidatePairsInWindow, s.pairsWithExactlyOneCandidatePairInWindow,
                         s.hitCountSumMoreThanOne),
                  expected);
    }
}

// Each indel has one best split: the bases beside it differ from those it would slide onto.
TEST_F(ReadPairMappingTest, EditsReachCigarAndMismatchStrings) {
    chr[743] = otherBase(chr[740]);
    chr[742] = otherBase(chr[739]);
    const std::string inserted = {otherBase(chr[1240]), 'T', otherBase(chr[1239])};
    const std::string deletionRead = at(700, 40) + at(743, 60);
    const std::string insertionText = at(1200, 40) + inserted + at(1240, 57);
    map(deletionRead, reverseComplementOf(insertionText));
    ASSERT_EQ(populated(), 1u);
    EXPECT_EQ(editsOf(aligned()), "40M3D60M 40^" + at(740, 3) + "60 NM 3");
    EXPECT_EQ(editsOf(aligned(true)), "40M3I57M 97 NM 3");
    params.maximumSizeOfIndelToDetect = 0;
    map(deletionRead, reverseComplementOf(insertionText));
    EXPECT_EQ(values(readA().primaryPosition.indelDescriptor.present,
                     readB().primaryPosition.indelDescriptor.present),
              (Values{0, 0}));
}

// A read of another length stays empty, counted, its mate placed alone; under 64 bases no middle word.
TEST_F(ReadPairMappingTest, ReadsOf32To512BasesMapAndOthersLeaveTheirMateAlone) {
    for (const std::uint32_t length : {31u, 32u, 33u, 48u, 63u, 64u, 512u, 513u}) {
        for (const bool onReadA : {true, false}) {
            SCOPED_TRACE(std::to_string(length) + (onReadA ? " on read A" : " on read B"));
            std::string sized = at(500, length);
            sized[length / 2] = otherBase(sized[length / 2]);
            const std::string mate = reverseComplementOf(at(1500));
            map(onReadA ? sized : mate, onReadA ? mate : sized);
            const bool supported = length >= 32 && length <= 512;
            const Alignments &own = onReadA ? slot(0).readAAlignments : slot(0).readBAlignments,
                             &other = onReadA ? slot(0).readBAlignments : slot(0).readAAlignments;
            EXPECT_EQ(values(result->numberOfAllocatedPairedAlignments(), populated(),
                             statistics->readPairsWithUnsupportedReadLength, slot(0).type == kConcordant,
                             own.alignments[0].isEmpty, other.alignments[0].primaryPosition.genomePosition),
                      values(2, 1, !supported, supported, !supported, 1500));
            if (!supported) continue;
            const MismatchScores& scores = own.alignments[0].primaryPosition.mappingScores.mismatchScores;
            EXPECT_EQ(values(own.alignments[0].primaryPosition.genomePosition, scores.wholeReadScore,
                             scores.middleWordsScore),
                      values(500, 1, length > 64));
        }
    }
    map(at(500, 31), reverseComplementOf(at(1500, 31)));
    EXPECT_EQ(result->numberOfAllocatedPairedAlignments(), 0u);
}

// Rescued near the mate: a 32-base read without a key, and of two short reads the one whose far hit has
// fewer keys than its mate's.
TEST_F(ReadPairMappingTest, ShortReadsWithoutAHitAtTheirPlaceAreRescuedNearTheirMate) {
    std::string keyless = at(500, 32);
    const std::string bases = "ACGT";
    for (const std::size_t i : {5u, 15u, 25u}) keyless[i] = bases[(bases.find(keyless[i]) + i / 10 + 1) % 4];
    const std::string elsewhere = broken(at(500, 40), {20, 21, 35, 36});
    put(4000, elsewhere.substr(0, 32));
    for (const auto& [a, mateLength] : {std::pair{keyless, 100}, std::pair{elsewhere, 40}}) {
        map(a, reverseComplementOf(at(1200, mateLength)));
        EXPECT_EQ(concat(values(slot(0).type), placement(readA())), concat(values(kConcordant), placed(500)));
    }
    CandidatePositions alone;
    generateCandidatePositionsForRead(params, *g.indexes, readOf(keyless), alone,
                                      CandidateGenerationMethod::keyLookup);
    EXPECT_TRUE(alone.keyHits.empty()) << "the key must be broken for the test to mean anything";
    keyless[10] = bases[(bases.find(keyless[10]) + 1) % 4];  // over a tenth: the mate maps alone
    map(keyless, reverseComplementOf(at(1200)));
    EXPECT_EQ(values(readA().isEmpty, readB().isEmpty), (Values{1, 0}));
}

TEST_F(ReadPairMappingTest, ALongReadWithoutCandidatesIsRescuedNearItsMate) {
    const auto rescuedA = [&](const std::string& a) {
        map(a, reverseComplementOf(at(1200)));
        CandidatePositions alone;
        generateCandidatePositionsForRead(params, *g.indexes, pair.readA, alone,
                                          CandidateGenerationMethod::keyLookupAndHighRepeat);
        EXPECT_TRUE(std::none_of(alone.keyHits.begin(), alone.keyHits.end(), [](const CandidateKeyHits& h) {
            return h.forwardKeys + h.reverseComplementKeys >= 2;
        })) << "every key must be broken for the test to mean anything";
        EXPECT_EQ(slot(0).type, kConcordant);
        return aligned();
    };
    const std::string whole = broken(at(500), {14, 15, 46, 47, 78, 79});
    Alignment a = rescuedA(whole);
    EXPECT_EQ(values(placement(a).at(0), a.editDistance, a.mappingQuality >= 20), values(500, 6, true));
    // Uncalled bases match no seed: the read is compared at every place of the window.
    std::string uncalled = whole;
    for (const std::size_t i : {5u, 30u, 60u, 90u}) uncalled[i] = 'N';
    EXPECT_EQ(placement(rescuedA(uncalled)), placed(500));
    // Bases 550 to 552 deleted: the keys across them are broken too.
    a = rescuedA(broken(at(500, 50) + at(553, 50), {20, 21, 80, 81}));
    EXPECT_EQ(values(placement(a).at(0), a.cigarString == "50M3D50M"), values(500, true)) << a.cigarString;
    // An eleventh mismatch is more than a tenth of the read: the mate maps alone.
    map(broken(whole, {30, 31, 62, 63, 90}), reverseComplementOf(at(1200)));
    EXPECT_EQ(values(readA().isEmpty, readB().isEmpty), (Values{1, 0}));
    // 62 bases without 926 to 928; 924 and 925 repeat after the gap, so the split may slide by one.
    put(924, "ACGAC");
    a = rescuedA(broken(at(900, 26) + at(929, 36), {40, 44}));
    EXPECT_EQ(placement(a), placed(900));
    EXPECT_TRUE(a.cigarString == "30M3D32M" || a.cigarString == "31M3D31M") << a.cigarString;
    // A copy of the read's place 600 bases past the mate fits as well: a repeat's quality.
    put(1800, at(500));
    a = rescuedA(whole);
    EXPECT_EQ(values(a.primaryPosition.genomePosition, a.mappingQuality < 20), values(500, true));
    // The mate fits a copy at 3800 as well as its place at 1200, and the read lies near the copy.
    put(3800, at(1200));
    a = rescuedA(broken(at(3400), {14, 15, 46, 47, 78, 79}));
    EXPECT_EQ(placement(a), placed(3400));
    EXPECT_EQ(readB().primaryPosition.genomePosition, 3800u);
}

// Read A of 45 bases near its mate and 55 far off; then of 34 bases too few for a candidate but found
// near the mate, unless a copy there leaves it unknowable which is meant.
TEST_F(ReadPairMappingTest, SupplementalMappingsOfJunctionReadsAndAlternates) {
    params.generateSupplementalMappings = true;
    const std::string original = chr;
    for (const std::uint32_t orientation : {kForward, kReverse}) {
        SCOPED_TRACE(orientation);
        chr = original;
        g = indexedGenome({chr});
        const auto oriented = [&](const std::string& text) {
            return orientation == kForward ? text : reverseComplementOf(text);
        };
        std::string text = at(1300, 45) + at(3345, 55);
        text[5] = otherBase(text[5]);
        const MismatchScores near = naiveScores(text, g.textAt(1300, 100), orientation, 8, true),
                             far = naiveScores(text, g.textAt(3300, 100), orientation, 8, true);
        const std::int64_t score = 200 - near.middleWordsScore - far.middleWordsScore - 1;
        for (const bool mostDistantFirst : {false, true}) {
            params.reportMostDistantMappingAsPrimaryForReadsWithJunctions = mostDistantFirst;
            map(oriented(text), reverseComplementOf(at(1000)));
            ASSERT_EQ(populated(), 2u);
            for (std::size_t i = 0; i < 2; ++i) {
                const PairedAlignment& p = slot(i);
                const bool nearFirst = i == 0 && !mostDistantFirst;
                const std::int64_t first = nearFirst ? 1300 : 3300, second = nearFirst ? 3300 : 1300;
                EXPECT_EQ(placements(p.readAAlignments),
                          concat(placed(first, orientation),
                                 placed(second, orientation, biotinJunctionAlignmentType)))
                    << i;
                EXPECT_EQ(values(p.readAAlignments.hasBiotinJunction, p.readBAlignments.hasBiotinJunction,
                                 p.biotinJunctionFlag, p.highQualityFlag,
                                 p.readBAlignments.numberOfPopulatedAlignments, p.alignmentScore, p.distance),
                          (Values{1, 0, 1, 0, 1, score, first - 1000}))
                    << i;
            }
            // The near part is looked up around the mate; only the far one is left to the detection.
            const ReadPairMappingStatistics& s = *statistics;
            EXPECT_EQ(values(s.primaryBiotinDetectionsPerformed, s.secondaryBiotinDetectionsPerformed,
                             s.readsWithBiotinJunctions, s.readPairsWithBiotinJunctions),
                      (Values{1, 0, 2, 1}));
            EXPECT_EQ(groups(), (Values{0, 1, 0, 1}));
        }
        params.reportMostDistantMappingAsPrimaryForReadsWithJunctions = false;
        map(oriented(at(1300, 66) + at(1700, 34)), reverseComplementOf(at(1000)));
        EXPECT_EQ(
            placements(slot(0).readAAlignments),
            concat(placed(1300, orientation), placed(1700 - 66, orientation, biotinJunctionAlignmentType)));
        const Position& own = readA().primaryPosition;
        CandidatePosition candidate;
        candidate.genomePosition = own.genomePosition;
        candidate.orientation = own.orientation;
        candidate.chosenMappingScores = own.mappingScores;
        const JunctionRescueSearch search{readB().primaryPosition.genomePosition, 1000, 2};
        CandidatePosition fragment;
        EXPECT_TRUE(findJunctionFragmentNearMate(pair.readA, candidate, search, *g.genome, fragment));
        put(600, at(1700, 34));
        g = indexedGenome({chr});
        EXPECT_FALSE(findJunctionFragmentNearMate(pair.readA, candidate, search, *g.genome, fragment));
    }
    // Read A at 200, 1600 and 3000; read B at 3500, near the copy that ranks last.
    // The most -a allows: records are made for the alternates a read can have, not for all of -a.
    params.numberOfAlternateMappingsToReport = maximumAlternateMappings;
    put(1600, at(200));
    put(3000, at(200));
    const Values all = concat(placed(3000), concat(placed(200, kForward, alternateAlignmentType),
                                                   placed(1600, kForward, alternateAlignmentType)));
    for (const auto& [generate, mismatched, alternates] :
         {std::tuple{false, false, 0u}, std::tuple{true, false, 2u}, std::tuple{true, true, 1u}}) {
        SCOPED_TRACE(std::to_string(generate) + std::to_string(mismatched));
        params.generateAlternateMappings = generate;
        // Substitutions two or three a word: primary score 2, which allows one alternate.
        map(mismatched ? withXorKeepingMismatches(at(200), {5, 17, 29, 41, 53, 65, 77, 89}) : at(200),
            reverseComplementOf(at(3500)));
        ASSERT_EQ(populated(), 2u);
        EXPECT_EQ(placements(slot(0).readAAlignments),
                  Values(all.begin(), all.begin() + 3 * (1 + alternates)));
        EXPECT_EQ(placements(slot(0).readBAlignments), placed(3500, kReverse));
        // The discordant pair's read A is the first entry itself: the walk stops at once.
        EXPECT_EQ(placements(slot(1).readAAlignments), placed(200));
        // The primary, a junction fragment and the other ranked candidates (the ranking keeps five).
        for (const PairedAlignment* paired : {&slot(0), &slot(1)})
            for (const Alignments* read : {&paired->readAAlignments, &paired->readBAlignments})
                EXPECT_LE(read->numberOfAllocatedAlignments(), 2u + 5u);
        const ReadPairMappingStatistics& s = *statistics;
        EXPECT_EQ(values(s.readsWithAlternativeAlignments, s.alternativeAlignmentsReported,
                         s.readPairsWithAlternativeAlignments, s.readsWithBiotinJunctions),
                  values(alternates > 0, alternates, alternates > 0, 0));
    }
}

// Primary then secondary of paired alignments of these types and scores: C, D, - none, ? left as it was.
std::string selected(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& typesAndScores,
                     bool penalty = true, std::uint32_t readBLength = 100) {
    ReadPair pair;
    pair.readA.length = 100;
    pair.readB.length = readBLength;
    auto alignments = createPairedAlignments(pair, 2);
    for (std::size_t i = 0; i < typesAndScores.size(); ++i) {
        initPairedAlignment(alignments->pairedAlignments[i], pair, 7, typesAndScores[i].first);
        alignments->pairedAlignments[i].alignmentScore = typesAndScores[i].second;
    }
    alignments->numberOfPopulatedPairedAlignments = static_cast<std::uint32_t>(typesAndScores.size());
    ExecutionParameters params;
    params.useDisconcordantPairScorePenaltyToSelectPrimaryAlignment = penalty;
    const PairedAlignment unchosen{};
    const PairedAlignment *primary = &unchosen, *secondary = &unchosen;
    selectPrimaryAndSecondaryAlignment(params, *alignments, primary, secondary);
    const auto label = [&](const PairedAlignment* p) {
        return p == &unchosen ? '?' : p == nullptr ? '-' : p->type == kConcordant ? 'C' : 'D';
    };
    return {label(primary), label(secondary)};
}

TEST(ReadPairMappingSelectionTest, DiscordantPairIsPrimaryOnlyWhenClearlyBetterAndJunctionReadScores) {
    const auto pairs = [](std::uint32_t concordant, std::uint32_t discordant) {
        return std::vector<std::pair<std::uint32_t, std::uint32_t>>{{kConcordant, concordant},
                                                                    {kDiscordant, discordant}};
    };
    // With the penalty of 5: 150 < 152; the concordant pair, below Q = 150, is dropped.
    EXPECT_EQ(selected(pairs(145, 152)), "D-");
    EXPECT_EQ(selected(pairs(147, 152)), "CD");  // 152 is not below 152
    EXPECT_EQ(selected(pairs(150, 156)), "DC");  // a secondary at Q is kept
    EXPECT_EQ(selected(pairs(149, 155)), "D-");
    EXPECT_EQ(selected(pairs(200, 149)), "C-");
    EXPECT_EQ(selected(pairs(200, 150)), "CD");
    EXPECT_EQ(selected(pairs(0, 3)), "C-");                 // a discordant score below the penalty
    EXPECT_EQ(selected(pairs(200, 150), true, 101), "C-");  // Q = ceil(201 x 0.75) = 151
    // Without the penalty the discordant pair wins below Q and below the discordant score.
    EXPECT_EQ(selected(pairs(145, 152), false), "D-");
    EXPECT_EQ(selected(pairs(150, 180), false), "CD");
    EXPECT_EQ(selected(pairs(140, 130), false), "C-");
    EXPECT_EQ(selected({{kConcordant, 7}}), "C?");
    EXPECT_EQ(selected({{kDiscordant, 7}}), "D?");
    EXPECT_EQ(selected({}), "??");
    // With a junction, each fragment's middle counts, and of the outer words those the other does not cover.
    using Words = std::tuple<std::uint16_t, std::uint16_t, std::uint16_t>;
    const struct {
        Words fragments[2];
        std::uint8_t junction;
        std::uint32_t expected;
    } cases[] = {
        {{{2, 9, 1}, {7, 3, 1}}, 1, 93},  // fragment 1 covers the start, 0 the end: 100 - 1 - 1 - (2 + 3)
        {{{4, 4, 1}, {0, 7, 1}}, 1, 83},  // no clear cover: all four words count
        {{{9, 0, 1}, {0, 7, 1}}, 0, 90},  // no junction: 100 less alignment 0's whole-read score
        {{{30, 30, 40}, {30, 30, 40}}, 1, 0},  // never below 0
    };
    ReadPair pair;
    pair.readA.length = pair.readB.length = 100;
    for (const auto& c : cases) {
        PairedAlignment p;
        initPairedAlignment(p, pair, 7, kConcordant);
        for (int i = 0; i < 2; ++i) {
            const auto [first, last, middle] = c.fragments[i];
            Alignment& a = p.readAAlignments.alignments[i] =
                alignmentAt(positionAt(100 + 2900 * i, static_cast<std::uint16_t>(first + last + middle)));
            MismatchScores& s = a.primaryPosition.mappingScores.mismatchScores;
            std::tie(s.firstWordScore, s.lastWordScore, s.middleWordsScore) = c.fragments[i];
        }
        p.readAAlignments.numberOfPopulatedAlignments = 2;
        p.readAAlignments.hasBiotinJunction = c.junction;
        p.readBAlignments.numberOfPopulatedAlignments = 1;
        calculatePairedAlignmentAggregateScoresAndDistances(ExecutionParameters{}, p);
        EXPECT_EQ(values(p.alignmentScore, p.aggregateHitCount, p.distance),
                  values(c.expected, 0, noReadDistance))
            << c.expected;
    }
}

}  // namespace
}  // namespace koru
