// Read pair mapping scenarios: pairs placed on purpose on a small genome, mapped through candidate
// generation, scoring, pairing and supplemental mappings, then aligned and given mapping qualities
// as the request drivers do. Then the primary/secondary choice and the junction read score on
// hand-made paired alignments. A perfect 100-base read hits its position with 30 keys: 10 offsets
// (0, 8, ..., 64 and 68) under three encodings.

#include "mapping/read_pair_mapping.h"
#include "mapping/junction_rescue.h"

#include <gtest/gtest.h>

#include <tuple>

#include "alignment/alignment_test_support.h"
#include "alignment/mapping_quality.h"

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

Values placement(const Alignment& a) {
    return values(a.primaryPosition.genomePosition, a.primaryPosition.orientation, a.alignmentType);
}

// Type, read A's and read B's positions, distance, aggregate hit count and alignment score.
Values summary(const PairedAlignment& p) {
    return values(p.type, p.readAAlignments.alignments[0].primaryPosition.genomePosition,
                  p.readBAlignments.alignments[0].primaryPosition.genomePosition, p.distance,
                  p.aggregateHitCount, p.alignmentScore);
}

// CIGAR, mismatch string, edit distance, trims and reportability.
using Edits = std::tuple<std::string, std::string, std::uint32_t, std::uint32_t, std::uint32_t, int>;
Edits editsOf(const Alignment& a) {
    return Edits(a.cigarString, a.mismatchString, a.editDistance, a.numberOfBasesTrimmedFromStart,
                 a.numberOfBasesTrimmedFromEnd, a.isReportable);
}

// Substitutions that keep the XOR view, so every key window containing only them keeps its XOR key.
std::string withXorKeepingMismatches(std::string text, std::initializer_list<std::size_t> at) {
    for (const std::size_t i : at) text[i] = substituteKeeping(text[i], 2);
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
    void put(std::size_t position, const std::string& text) { chr.replace(position, text.size(), text); }

    // The genome is indexed on the first mapping, as it stands then.
    void map(const std::string& a, const std::string& b) {
        if (!g.genome) g = indexedGenome({chr});
        pair.readA = readOf(a);
        pair.readB = readOf(b);
        statistics = createReadPairMappingStatistics(params);
        result = mapReadPair(params, pair, *g.indexes, *statistics);
    }
    PairedAlignment& slot(std::size_t i) { return result->pairedAlignments.at(i); }
    std::uint32_t populated() const { return result->numberOfPopulatedPairedAlignments; }
    // Pairs evaluated per candidate quality group: no pair inside the window, the pair inside it,
    // and the pop count and hit count pairs outside it.
    Values groups() const {
        Values evaluated;
        for (const CandidateQualityStatistics& group : statistics->qualityGroups)
            evaluated.push_back(group.evaluated);
        return evaluated;
    }

    Alignment& align(Alignments& alignments, Read& read) {
        Alignment& a = alignments.alignments[0];
        performAlignment(params, read, a, *g.genome);
        addQualityScoreToAlignment(params, read, a, *g.genome);
        return a;
    }
    // Scores of a read at a position, base by base; the text compared is the read in the orientation.
    MismatchScores naive(const std::string& read, std::uint32_t position, std::uint32_t orientation) const {
        const std::string text = orientation == kForward ? read : reverseComplementOf(read);
        return naiveScores(text, g.textAt(position, read.size()), orientation, 8, true);
    }
};

// Perfect unique reads up to the window apart, the window included, make one concordant pair; one
// base further, a discordant one.
TEST_F(ReadPairMappingTest, UniquePairUpToTheWindowApartIsConcordant) {
    for (const auto& [a, b, concordant] : {std::tuple{500u, 1500u, true}, std::tuple{500u, 1501u, false},
                                           std::tuple{1600u, 600u, true}, std::tuple{1601u, 600u, false}}) {
        SCOPED_TRACE(std::to_string(a) + " and " + std::to_string(b));
        map(at(a), reverseComplementOf(at(b)));
        ASSERT_EQ(populated(), 1u);
        PairedAlignment& p = slot(0);
        EXPECT_EQ(summary(p), values(concordant ? kConcordant : kDiscordant, a, b,
                                     std::abs(std::int64_t{a} - b), 60, 200));
        EXPECT_EQ(placement(p.readAAlignments.alignments[0]), values(a, kForward, primaryAlignmentType));
        EXPECT_EQ(placement(p.readBAlignments.alignments[0]), values(b, kReverse, primaryAlignmentType));
        EXPECT_EQ(values(p.readAAlignments.numberOfPopulatedAlignments,
                         p.readBAlignments.numberOfPopulatedAlignments, p.chromosomeDifference,
                         p.highQualityFlag, p.noCandidateFlag, p.biotinJunctionFlag),
                  (Values{1, 1, 0, 1, 0, 0}));
        // Perfect matches; quality 40 is the reads' average quality, 'I' - 33.
        for (const auto& [alignments, read] :
             {std::pair{&p.readAAlignments, &pair.readA}, std::pair{&p.readBAlignments, &pair.readB}}) {
            const Alignment& aligned = align(*alignments, *read);
            EXPECT_EQ(editsOf(aligned), (Edits{"100M", "100", 0, 0, 0, 1}));
            EXPECT_EQ(aligned.mappingQuality, 40u);
        }
        // Outside the window, the sums take both reads' highest hit count and lowest mismatch candidates.
        const ReadPairMappingStatistics& s = *statistics;
        EXPECT_EQ(values(s.readPairsProcessed, s.pairsWithCandidatesInWindow, s.pairsWithNoCandidatesInWindow,
                         s.pairsWithExactlyOneCandidatePairInWindow, s.candidatePairsInWindow,
                         s.hitCountSumExactlyOne, s.popCountSumExactlyOne, s.hitCountSumOutsideWindow,
                         s.popCountSumOutsideWindow),
                  concordant ? (Values{1, 1, 0, 1, 1, 60, 0, 0, 0}) : (Values{1, 0, 1, 0, 0, 0, 0, 60, 0}));
        EXPECT_EQ(groups(), concordant ? (Values{0, 1, 0, 0}) : (Values{1, 0, 0, 0}));
    }
}

TEST_F(ReadPairMappingTest, ReadsWithoutCandidatesGetEmptyAlignmentsOrNone) {
    std::mt19937 random(7);
    const std::string absent = randomBases(100, random), alsoAbsent = randomBases(100, random);
    for (const bool readAFound : {false, true}) {
        map(readAFound ? at(500) : absent, readAFound ? absent : reverseComplementOf(at(1200)));
        ASSERT_EQ(populated(), 1u);
        const PairedAlignment& p = slot(0);
        EXPECT_EQ(p.type, kDiscordant);
        const Alignments& found = readAFound ? p.readAAlignments : p.readBAlignments;
        const Alignments& empty = readAFound ? p.readBAlignments : p.readAAlignments;
        EXPECT_EQ(placement(found.alignments[0]), readAFound
                                                      ? (Values{500, kForward, primaryAlignmentType})
                                                      : (Values{1200, kReverse, primaryAlignmentType}));
        EXPECT_EQ(values(empty.numberOfPopulatedAlignments, empty.alignments[0].isEmpty, p.distance,
                         p.chromosomeDifference, p.aggregateHitCount, p.alignmentScore, p.noCandidateFlag),
                  (Values{1, 1, noReadDistance, noReadDistance, 0, 100, 0}));
        EXPECT_EQ(fieldsOf(p.aggregateMismatchScores), std::vector<int>(7, 65535));
        EXPECT_EQ(values(statistics->pairsWithCandidatesInWindow, statistics->pairsWithNoCandidatesInWindow,
                         readAFound ? statistics->readBNoCandidates : statistics->readANoCandidates),
                  (Values{0, 0, 1}));
    }
    map(absent, alsoAbsent);
    EXPECT_EQ(
        values(result->numberOfAllocatedPairedAlignments(), populated(), statistics->bothReadsNoCandidates),
        (Values{0, 0, 1}));
    // A filter over read B's only candidate, its bounds included, leaves read B without candidates.
    params.candidatePositionFilters = {CandidatePositionFilter{1200, 1200}};
    map(at(500), reverseComplementOf(at(1200)));
    ASSERT_EQ(populated(), 1u);
    EXPECT_EQ(values(slot(0).type, slot(0).readBAlignments.alignments[0].isEmpty), (Values{kDiscordant, 1}));
}

TEST_F(ReadPairMappingTest, BestPairInsideWindowOtherThanLowestMismatchPairGivesBoth) {
    // Read B lies at 3000; only an imperfect copy at 1200 is within the window of read A at 500. Every
    // key window of the copy holds one or two substitutions: primary score 1, whole-read 4, 10 keys.
    put(1200, withXorKeepingMismatches(at(3000), {20, 45, 70, 95}));
    map(at(500), reverseComplementOf(at(3000)));
    ASSERT_EQ(populated(), 2u);
    PairedAlignment &concordant = slot(0), &discordant = slot(1);
    EXPECT_EQ(summary(concordant), (Values{kConcordant, 500, 1200, 700, 40, 196}));
    EXPECT_EQ(summary(discordant), (Values{kDiscordant, 500, 3000, 2500, 60, 200}));
    // 196 + 5 is not below 200: the concordant pair stays primary.
    const PairedAlignment *primary = nullptr, *secondary = nullptr;
    selectPrimaryAndSecondaryAlignment(params, *result, primary, secondary);
    EXPECT_EQ(values(primary == &concordant, secondary == &discordant), (Values{1, 1}));
    const std::string md =
        "20" + at(1220, 1) + "24" + at(1245, 1) + "24" + at(1270, 1) + "24" + at(1295, 1) + "4";
    EXPECT_EQ(editsOf(align(concordant.readBAlignments, pair.readB)), (Edits{"100M", md, 4, 0, 0, 1}));
    const ReadPairMappingStatistics& s = *statistics;
    EXPECT_EQ(values(s.pairsWithExactlyOneCandidatePairInWindow, s.candidatePairsInWindow,
                     s.popCountSumExactlyOne, s.hitCountSumExactlyOne),
              (Values{1, 1, 1, 40}));
    // Read B's perfect placement lies outside the window with a lower primary score and more keys.
    EXPECT_EQ(groups(), (Values{0, 1, 1, 1}));
}

TEST_F(ReadPairMappingTest, HitCountPairOutsideWindowCountsAlsoWhenConcordantPairIsTheLowestMismatchPair) {
    std::mt19937 random(11);
    const std::string read = randomBases(100, random);
    // Near read B, only the first key window is clean: primary 0 and 3 keys. Far from it, every
    // window holds one XOR-keeping substitution: primary 1 but 10 keys, the highest hit count.
    std::string near = read;
    for (const std::size_t i : {32, 33, 60, 61, 72, 73}) near[i] = breakBase(read[i], i);
    put(500, near);
    put(3000, withXorKeepingMismatches(read, {20, 45, 70, 95}));
    map(read, reverseComplementOf(at(1200)));
    ASSERT_EQ(populated(), 1u);
    EXPECT_EQ(summary(slot(0)), (Values{kConcordant, 500, 1200, 700, 33, 194}));
    EXPECT_EQ(groups(), (Values{0, 1, 0, 1}));
}

// Equal positions reach the mapping quality through their count: two give 3.
TEST_F(ReadPairMappingTest, TiedPairsKeepTheEarliestAndEqualPositionsShareTheQuality) {
    // The pairs (500, 1200) and (2500, 3200) tie on every aggregate.
    put(2500, at(500));
    put(3200, at(1200));
    map(at(500), reverseComplementOf(at(1200)));
    ASSERT_EQ(populated(), 1u);
    EXPECT_EQ(summary(slot(0)), (Values{kConcordant, 500, 1200, 700, 60, 200}));
    EXPECT_EQ(values(align(slot(0).readAAlignments, pair.readA).mappingQuality,
                     align(slot(0).readBAlignments, pair.readB).mappingQuality),
              (Values{3, 3}));
    const ReadPairMappingStatistics& s = *statistics;
    EXPECT_EQ(values(s.candidatePairsInWindow, s.pairsWithExactlyOneCandidatePairInWindow,
                     s.hitCountSumMoreThanOne, s.popCountSumMoreThanOne),
              (Values{2, 0, 60, 0}));
}

// A concordant pair lends each read its mate's quality, unless another place of the read pairs
// with the mate as well: then the mate cannot choose between them, and the read keeps its own low
// quality (a read in a tandem duplication was reported at quality 254 at the wrong copy).
TEST_F(ReadPairMappingTest, AReadWithACopyInsideTheWindowKeepsItsOwnQuality) {
    const std::string original = chr;
    for (const bool inside : {true, false}) {
        chr = original;
        g = {};
        put(inside ? 800 : 3000, at(500));
        map(at(500), reverseComplementOf(at(1200)));
        ASSERT_EQ(slot(0).type, kConcordant);
        const Alignment &a = align(slot(0).readAAlignments, pair.readA),
                        &b = align(slot(0).readBAlignments, pair.readB);
        const std::uint32_t qualityA = reportedMappingQuality(a, &b, true),
                            qualityB = reportedMappingQuality(b, &a, true);
        EXPECT_EQ(values(a.tiedWithinPair != 0, b.tiedWithinPair != 0), values(inside, false));
        if (inside) {
            EXPECT_LE(qualityA, 3u);  // two places fit equally well
            EXPECT_GE(qualityB, 20u);
        } else {
            EXPECT_GE(qualityA, 20u);
            EXPECT_EQ(qualityA, qualityB);
        }
    }
}

TEST_F(ReadPairMappingTest, EditsReachCigarAndMismatchStrings) {
    // Each indel has one best split: the bases beside it differ from those they would slide onto.
    chr[743] = otherBase(chr[740]);
    chr[742] = otherBase(chr[739]);
    std::string inserted = "GTC";
    inserted[0] = otherBase(chr[1240]);
    inserted[2] = otherBase(chr[1239]);
    const std::string deletionRead = at(700, 40) + at(743, 60);
    const std::string insertionText = at(1200, 40) + inserted + at(1240, 57);
    map(deletionRead, reverseComplementOf(insertionText));
    ASSERT_EQ(populated(), 1u);
    PairedAlignment& p = slot(0);
    EXPECT_EQ(placement(p.readAAlignments.alignments[0]), (Values{700, kForward, primaryAlignmentType}));
    EXPECT_EQ(placement(p.readBAlignments.alignments[0]), (Values{1200, kReverse, primaryAlignmentType}));
    EXPECT_EQ(editsOf(align(p.readAAlignments, pair.readA)),
              (Edits{"40M3D60M", "40^" + at(740, 3) + "60", 3, 0, 0, 1}));
    EXPECT_EQ(editsOf(align(p.readBAlignments, pair.readB)), (Edits{"40M3I57M", "97", 3, 0, 0, 1}));
    // Without indel detection no alignment carries an indel.
    params.maximumSizeOfIndelToDetect = 0;
    map(deletionRead, reverseComplementOf(insertionText));
    ASSERT_GE(populated(), 1u);
    for (Alignments* alignments : {&slot(0).readAAlignments, &slot(0).readBAlignments})
        EXPECT_EQ(alignments->alignments[0].primaryPosition.indelDescriptor.present, 0u);
}

// The unsupported read stays empty and is counted; its mate is placed where it comes from.
TEST_F(ReadPairMappingTest, ReadsOutside32To512BasesAreCountedAndTheirMatesMappedAlone) {
    for (const std::uint32_t length : {31u, 32u, 512u, 513u}) {
        for (const bool onReadA : {true, false}) {
            const std::string sized = at(500, length), mate = reverseComplementOf(at(1500));
            map(onReadA ? sized : mate, onReadA ? mate : sized);
            const bool supported = length >= 32 && length <= 512;
            const Alignments &own = onReadA ? slot(0).readAAlignments : slot(0).readBAlignments,
                             &other = onReadA ? slot(0).readBAlignments : slot(0).readAAlignments;
            EXPECT_EQ(values(result->numberOfAllocatedPairedAlignments(), populated(),
                             statistics->readPairsWithUnsupportedReadLength, slot(0).type == kConcordant,
                             own.alignments[0].isEmpty, other.alignments[0].primaryPosition.genomePosition),
                      values(2, 1, !supported, supported, !supported, 1500))
                << length << (onReadA ? " on read A" : " on read B");
        }
    }
    // Both reads unsupported: no paired alignment at all.
    map(at(500, 31), reverseComplementOf(at(1500, 31)));
    EXPECT_EQ(result->numberOfAllocatedPairedAlignments(), 0u);
}

TEST_F(ReadPairMappingTest, ReadsOf32To64BasesMapThroughASubstitution) {
    for (const std::uint32_t length : {32u, 33u, 48u, 63u, 64u}) {
        std::string a = at(500, length);
        a[length / 2] = a[length / 2] == 'A' ? 'C' : 'A';
        map(a, reverseComplementOf(at(1200, length)));
        ASSERT_GE(populated(), 1u) << length;
        EXPECT_EQ(slot(0).type, kConcordant) << length;
        const Alignment& readA = slot(0).readAAlignments.alignments[0];
        EXPECT_EQ(placement(readA), (Values{500, kForward, primaryAlignmentType})) << length;
        const MismatchScores& scores = readA.primaryPosition.mappingScores.mismatchScores;
        // Under 64 bases the first and last words overlap and no word lies between them.
        EXPECT_EQ(values(scores.wholeReadScore, scores.middleWordsScore), (Values{1, 0})) << length;
    }
}

TEST_F(ReadPairMappingTest, AShortReadWithoutKeysIsRescuedNearItsMate) {
    // Three substitutions of three kinds break the 32-base read's one key under every encoding.
    std::string a = at(500, 32);
    const std::string bases = "ACGT";
    for (const std::size_t at : {5u, 15u, 25u}) a[at] = bases[(bases.find(a[at]) + at / 10 + 1) % 4];
    map(a, reverseComplementOf(at(1200)));
    CandidatePositions alone;
    generateCandidatePositionsForRead(params, *g.indexes, pair.readA, alone,
                                      CandidateGenerationMethod::keyLookup);
    ASSERT_TRUE(alone.keyHits.empty()) << "the key must be broken for the test to mean anything";
    ASSERT_GE(populated(), 1u);
    EXPECT_EQ(slot(0).type, kConcordant);
    EXPECT_EQ(placement(slot(0).readAAlignments.alignments[0]),
              (Values{500, kForward, primaryAlignmentType}));
    // A fourth mismatch is more than a tenth of the read: not rescued, the mate maps alone.
    a[10] = bases[(bases.find(a[10]) + 1) % 4];
    map(a, reverseComplementOf(at(1200)));
    EXPECT_TRUE(slot(0).readAAlignments.alignments[0].isEmpty);
    EXPECT_FALSE(slot(0).readBAlignments.alignments[0].isEmpty);
}

// Two 40-base reads: read A's keys are broken at its place but its first key hits a copy far
// outside the window, with fewer keys than read B's hit, so read A waits for read B and is found.
TEST_F(ReadPairMappingTest, OfTwoShortReadsTheOneWithFewerKeysIsRescuedNearTheOther) {
    std::string a = at(500, 40);
    for (const std::size_t i : {20u, 21u, 35u, 36u}) a[i] = breakBase(a[i], i);
    put(4000, a.substr(0, 32));
    map(a, reverseComplementOf(at(1200, 40)));
    ASSERT_GE(populated(), 1u);
    EXPECT_EQ(slot(0).type, kConcordant);
    EXPECT_EQ(placement(slot(0).readAAlignments.alignments[0]),
              (Values{500, kForward, primaryAlignmentType}));
}

// A 100-base read whose every key is broken (pairs of substitutions that change every view) is
// rescued near its mate: whole when it fits one place, parted when a deletion splits it, and at
// both places of a repeat inside the window, which leaves it a repeat's quality.
TEST_F(ReadPairMappingTest, ALongReadWithoutCandidatesIsRescuedNearItsMate) {
    const auto broken = [](std::string text, std::initializer_list<std::size_t> at) {
        for (const std::size_t i : at) text[i] = breakBase(text[i], i);
        return text;
    };
    const auto rescuedA = [&](const std::string& a) {
        map(a, reverseComplementOf(at(1200)));
        CandidatePositions alone;
        generateCandidatePositionsForRead(params, *g.indexes, pair.readA, alone,
                                          CandidateGenerationMethod::keyLookupAndHighRepeat);
        EXPECT_TRUE(std::none_of(alone.keyHits.begin(), alone.keyHits.end(), [](const CandidateKeyHits& h) {
            return h.forwardKeys + h.reverseComplementKeys >= 2;
        })) << "every key must be broken for the test to mean anything";
        EXPECT_EQ(slot(0).type, kConcordant);
        return align(slot(0).readAAlignments, pair.readA);
    };
    const std::string whole = broken(at(500), {14, 15, 46, 47, 78, 79});
    Alignment a = rescuedA(whole);
    EXPECT_EQ(placement(a), (Values{500, kForward, primaryAlignmentType}));
    EXPECT_EQ(a.editDistance, 6u);
    EXPECT_GE(a.mappingQuality, 20u);
    // Uncalled bases match no seed: such a read is compared at every place of the window.
    std::string uncalled = whole;
    for (const std::size_t i : {5u, 30u, 60u, 90u}) uncalled[i] = 'N';
    EXPECT_EQ(placement(rescuedA(uncalled)), (Values{500, kForward, primaryAlignmentType}));
    // Bases 550 to 552 deleted: the keys across them are broken too.
    a = rescuedA(broken(at(500, 50) + at(553, 50), {20, 21, 80, 81}));
    EXPECT_EQ(placement(a), (Values{500, kForward, primaryAlignmentType}));
    EXPECT_EQ(a.cigarString, "50M3D50M");
    // An eleventh mismatch is more than a tenth of the read: the mate maps alone.
    map(broken(whole, {30, 31, 62, 63, 90}), reverseComplementOf(at(1200)));
    EXPECT_TRUE(slot(0).readAAlignments.alignments[0].isEmpty);
    EXPECT_FALSE(slot(0).readBAlignments.alignments[0].isEmpty);
    // A read of 62 bases with bases 926 to 928 deleted and its key after them broken. Bases 924 and
    // 925 repeat after the deletion, so that its 38 bases from 24 on fit 3 bases on.
    put(924, "ACGAC");
    g = {};
    a = rescuedA(broken(at(900, 26) + at(929, 36), {40, 44}));
    EXPECT_EQ(placement(a), (Values{900, kForward, primaryAlignmentType}));
    EXPECT_TRUE(a.cigarString == "30M3D32M" || a.cigarString == "31M3D31M") << a.cigarString;
    // A copy of the read's place 600 bases past the mate fits as well.
    put(1800, at(500));
    g = {};
    a = rescuedA(whole);
    EXPECT_EQ(a.primaryPosition.genomePosition, 500u);
    EXPECT_LT(a.mappingQuality, 20u);
    // The mate fits a copy at 3800 as well as its place at 1200, and the read lies near the copy.
    put(3800, at(1200));
    g = {};
    a = rescuedA(broken(at(3400), {14, 15, 46, 47, 78, 79}));
    EXPECT_EQ(placement(a), (Values{3400, kForward, primaryAlignmentType}));
    EXPECT_EQ(slot(0).readBAlignments.alignments[0].primaryPosition.genomePosition, 3800u);
}

// Read A runs across a junction: 45 bases from 1300, near its mate at 1000, then 55 bases from 3345,
// 2 kb away, so its fragments are candidates at 1300 and 3300. A substitution at base 5 of the near
// part lies in its outer word, the only mismatch outside the middle words that the score counts.
TEST_F(ReadPairMappingTest, EachPairedAlignmentOfAJunctionReadGetsTheOtherFragment) {
    params.generateSupplementalMappings = true;
    g = indexedGenome({chr});
    for (const std::uint32_t orientation : {kForward, kReverse}) {
        SCOPED_TRACE(orientation);
        std::string text = at(1300, 45) + at(3345, 55);
        text[5] = otherBase(text[5]);
        const std::string read = orientation == kForward ? text : reverseComplementOf(text);
        const MismatchScores near = naive(read, 1300, orientation), far = naive(read, 3300, orientation);
        // Premises: the far fragment is read A's lowest mismatch candidate, the near one looks like a
        // junction read, and the middles of the two leave room for each other.
        ASSERT_LT(far.wholeReadScore, near.wholeReadScore);
        ASSERT_GT(near.wholeReadScore, 16);
        ASSERT_LE(near.middleWordsScore + far.middleWordsScore, 35);
        const std::int64_t score = 200 - near.middleWordsScore - far.middleWordsScore - 1;
        for (const bool mostDistantFirst : {false, true}) {
            params.reportMostDistantMappingAsPrimaryForReadsWithJunctions = mostDistantFirst;
            map(read, reverseComplementOf(at(1000)));
            ASSERT_EQ(populated(), 2u);
            for (std::size_t i = 0; i < 2; ++i) {
                const PairedAlignment& p = slot(i);
                const bool nearFirst = i == 0 && !mostDistantFirst;
                const std::int64_t first = nearFirst ? 1300 : 3300, second = nearFirst ? 3300 : 1300;
                ASSERT_EQ(p.readAAlignments.numberOfPopulatedAlignments, 2u) << i;
                EXPECT_EQ(placement(p.readAAlignments.alignments[0]),
                          values(first, orientation, primaryAlignmentType));
                EXPECT_EQ(placement(p.readAAlignments.alignments[1]),
                          values(second, orientation, biotinJunctionAlignmentType));
                EXPECT_EQ(values(p.readAAlignments.hasBiotinJunction, p.readBAlignments.hasBiotinJunction,
                                 p.biotinJunctionFlag, p.highQualityFlag,
                                 p.readBAlignments.numberOfPopulatedAlignments, p.alignmentScore, p.distance),
                          (Values{1, 0, 1, 0, 1, score, first - 1000}))
                    << i;
            }
            // The near part lies in the window around the mate, where the read's unmatched end is
            // looked up directly: only the far part is left to the detection among candidates.
            const ReadPairMappingStatistics& s = *statistics;
            EXPECT_EQ(values(s.primaryBiotinDetectionsPerformed, s.secondaryBiotinDetectionsPerformed,
                             s.readsWithBiotinJunctions, s.readPairsWithBiotinJunctions),
                      (Values{1, 0, 2, 1}));
            // Both paired alignments have primary score 0; the far fragment holds more keys.
            EXPECT_EQ(groups(), (Values{0, 1, 0, 1}));
        }
    }
}

// Read A's last 34 bases come from 1700: they hold one key, too few for a candidate, but lie
// within the window of the mate at 1000, where the read's unmatched end is looked up directly. A
// second copy of them there leaves the search without an answer: which copy is meant is unknowable.
TEST_F(ReadPairMappingTest, AnOtherPartWithoutCandidateIsFoundNearTheMateUnlessRepeated) {
    params.generateSupplementalMappings = true;
    const std::string original = chr;
    for (const std::uint32_t orientation : {kForward, kReverse}) {
        SCOPED_TRACE(orientation);
        chr = original;
        g = {};
        const std::string text = at(1300, 66) + at(1700, 34);
        const std::string read = orientation == kForward ? text : reverseComplementOf(text);
        map(read, reverseComplementOf(at(1000)));
        ASSERT_EQ(slot(0).readAAlignments.numberOfPopulatedAlignments, 2u);
        EXPECT_EQ(placement(slot(0).readAAlignments.alignments[0]),
                  values(1300, orientation, primaryAlignmentType));
        EXPECT_EQ(placement(slot(0).readAAlignments.alignments[1]),
                  values(1700 - 66, orientation, biotinJunctionAlignmentType));
        // The search itself, from read A's placement, before and after a copy is planted.
        const Position& own = slot(0).readAAlignments.alignments[0].primaryPosition;
        CandidatePosition candidate;
        candidate.genomePosition = own.genomePosition;
        candidate.orientation = own.orientation;
        candidate.chosenMappingScores = own.mappingScores;
        const JunctionRescueSearch search{
            slot(0).readBAlignments.alignments[0].primaryPosition.genomePosition, 1000, 2};
        CandidatePosition fragment;
        EXPECT_TRUE(findJunctionFragmentNearMate(pair.readA, candidate, search, *g.genome, fragment));
        put(600, at(1700, 34));
        g = indexedGenome({chr});
        EXPECT_FALSE(findJunctionFragmentNearMate(pair.readA, candidate, search, *g.genome, fragment));
    }
}

// Read A at 200, 1600 and 3000; read B at 3500, within the window of the third copy only, which
// ranks behind the other two in read A's lowest mismatch candidates.
TEST_F(ReadPairMappingTest, EqualCandidatesAheadOfTheConcordantOneBecomeAlternates) {
    params.generateSupplementalMappings = true;
    // The most -a allows: records are made for the alternates a read can have, not for all of -a.
    params.numberOfAlternateMappingsToReport = maximumAlternateMappings;
    put(1600, at(200));
    put(3000, at(200));
    for (const auto& [generate, mismatched, alternates] :
         {std::tuple{false, false, 0u}, std::tuple{true, false, 2u}, std::tuple{true, true, 1u}}) {
        SCOPED_TRACE(std::to_string(generate) + std::to_string(mismatched));
        params.generateAlternateMappings = generate;
        // Substitutions 12 bases apart, two or three a word: primary score 2, at most one alternate.
        map(mismatched ? withXorKeepingMismatches(at(200), {5, 17, 29, 41, 53, 65, 77, 89}) : at(200),
            reverseComplementOf(at(3500)));
        ASSERT_EQ(populated(), 2u);
        const Alignments& concordant = slot(0).readAAlignments;
        ASSERT_EQ(concordant.numberOfPopulatedAlignments, 1 + alternates);
        EXPECT_EQ(placement(concordant.alignments[0]), (Values{3000, kForward, primaryAlignmentType}));
        // The primary, a junction fragment and the other ranked candidates (the ranking keeps five).
        for (const PairedAlignment* paired : {&slot(0), &slot(1)})
            for (const Alignments* read : {&paired->readAAlignments, &paired->readBAlignments})
                EXPECT_LE(read->numberOfAllocatedAlignments(), 2u + 5u);
        for (std::uint32_t i = 0; i < alternates; ++i)
            EXPECT_EQ(placement(concordant.alignments[1 + i]),
                      values(i == 0 ? 200 : 1600, kForward, alternateAlignmentType));
        // The discordant pair's read A is the first entry itself: the walk stops at once.
        EXPECT_EQ(placement(slot(1).readAAlignments.alignments[0]),
                  (Values{200, kForward, primaryAlignmentType}));
        EXPECT_EQ(values(slot(1).readAAlignments.numberOfPopulatedAlignments,
                         slot(0).readBAlignments.numberOfPopulatedAlignments),
                  (Values{1, 1}));
        const ReadPairMappingStatistics& s = *statistics;
        EXPECT_EQ(values(s.readsWithAlternativeAlignments, s.alternativeAlignmentsReported,
                         s.readPairsWithAlternativeAlignments, s.readsWithBiotinJunctions),
                  values(alternates > 0, alternates, alternates > 0, 0));
    }
}

// Hand-made paired alignments of a 100-base read A and a read B of the given length.
ReadPair pairOfReads(std::uint32_t readBLength = 100) {
    ReadPair pair;
    pair.readA.length = 100;
    pair.readB.length = readBLength;
    return pair;
}

// Primary then secondary of paired alignments of these types and scores: C, D, - for none, and ? for
// a choice left as it was.
std::string selected(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& typesAndScores,
                     bool penalty = true, std::uint32_t readBLength = 100) {
    const ReadPair pair = pairOfReads(readBLength);
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

TEST(ReadPairMappingSelectionTest, DiscordantPairIsPrimaryOnlyWhenClearlyBetter) {
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
    // One paired alignment of either type is the primary; the secondary is left, as are both without any.
    EXPECT_EQ(selected({{kConcordant, 7}}), "C?");
    EXPECT_EQ(selected({{kDiscordant, 7}}), "D?");
    EXPECT_EQ(selected({}), "??");
}

// Read A's two alignments with their first, last and middle word scores: with a junction each
// fragment's middle counts, and of the outer words only those the other fragment does not cover.
TEST(ReadPairMappingScoreTest, JunctionReadScoresEachFragmentWhereItCoversTheRead) {
    using Words = std::tuple<std::uint16_t, std::uint16_t, std::uint16_t>;
    const struct {
        Words fragments[2];
        std::uint8_t junction;
        std::uint32_t expected;
    } cases[] = {
        {{{9, 0, 1}, {0, 7, 1}}, 1, 98},  // fragment 1 covers the start, 0 the end: 100 - 1 - 1 - (0 + 0)
        {{{0, 9, 1}, {7, 0, 1}}, 1, 98},  // and the other way round
        {{{2, 9, 1}, {7, 3, 1}}, 1, 93},  // 100 - 1 - 1 - (2 + 3)
        {{{4, 4, 1}, {0, 7, 1}}, 1, 83},  // no clear cover: all four words count
        {{{9, 0, 1}, {0, 7, 1}}, 0, 90},  // no junction: 100 less alignment 0's whole-read score
        {{{30, 30, 40}, {30, 30, 40}}, 1, 0},  // never below 0
    };
    const ReadPair pair = pairOfReads();
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
        // Read B has no alignment: read A's score alone.
        calculatePairedAlignmentAggregateScoresAndDistances(ExecutionParameters{}, p);
        EXPECT_EQ(values(p.alignmentScore, p.aggregateHitCount, p.distance),
                  values(c.expected, 0, noReadDistance))
            << c.expected;
        p.readBAlignments.alignments[0] = alignmentAt(positionAt(600, 5));
        calculatePairedAlignmentAggregateScoresAndDistances(ExecutionParameters{}, p);
        EXPECT_EQ(values(p.alignmentScore, p.distance), values(c.expected + 95, 500));
    }
}

}  // namespace
}  // namespace koru
