// Alignment records, the simple alignment with its CIGAR and MD, junction splits and mapping qualities.

#include "alignment/alignment.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "alignment/junction_split.h"
#include "alignment/mapping_quality.h"
#include "candidates/candidate_test_support.h"

namespace koru {
namespace {

using namespace koru::testing;

class AlignmentSimpleTest : public ::testing::Test {
  protected:
    std::unique_ptr<GenomeSequence> genome = newTestGenome();
    const std::string& chromosome = testChromosomes()[0];
    ExecutionParameters params;
    static constexpr std::uint32_t p = 50;  // where the reads are placed

    std::string ref(std::size_t at, std::size_t length) const { return chromosome.substr(at, length); }
    Alignment aligned(const std::string& bases, const Position& position) {
        Read read = readOf(bases);
        Alignment alignment = alignmentAt(position);
        performAlignment(params, read, alignment, *genome);
        return alignment;
    }
};

// Reportable alignments need two consecutive matches and a match quotient above 1%.
TEST_F(AlignmentSimpleTest, CigarAndMismatchStringsOfReportableAlignments) {
    const IndelDescriptor insertion = indelOf(kInsertion, 3, 40), deletion = indelOf(kDeletion, 2, 40);
    const auto with = [](IndelDescriptor indel) { return positionAt(p, 30, kForwardOrientation, indel); };
    std::string reverse = reverseComplementOf(ref(p, 100)), alternating = ref(p, 100), trimmed = ref(p, 100);
    reverse[10] = otherBase(reverse[10]);  // base 89 of the reference strand
    for (std::size_t i = 0; i < 100; i += 2) alternating[i] = otherBase(alternating[i]);
    for (std::size_t i = 0; i < 100; ++i)
        if (i < 40 || i >= 61) trimmed[i] = otherBase(trimmed[i]);
    const struct {
        std::string bases;
        Position position;
        std::string cigar, mismatches;
        std::uint32_t editDistance, segments, longest;
        bool reportable = true;
    } cases[] = {
        {ref(p, 100), positionAt(p, 0), "100M", "100", 0, 1, 100},
        // A score that claims mismatches compares base by base, with the same result.
        {ref(p, 100), positionAt(p, 3), "100M", "100", 0, 1, 100},
        {withMismatches(ref(p, 100), {0}), positionAt(p, 1), "1S99M", "99", 0, 1, 99},
        // Matches at 1 and 3 (and 96, 98) stand alone: the trim scans go on to 5-6 and 93-94.
        {withMismatches(ref(p, 100), {0, 2, 4, 95, 97, 99}), positionAt(p, 6), "5S90M5S", "90", 0, 1, 90},
        {withMismatches(ref(p, 100), {4, 5}), positionAt(p, 2), "100M",
         "4" + ref(p + 4, 1) + "0" + ref(p + 5, 1) + "94", 2, 2, 94},
        {ref(p, 40) + "TTT" + ref(p + 40, 57), with(insertion), "40M3I57M", "97", 3, 1, 97},
        // An insertion that runs to either end of the read is a clip: no operation of length 0 beside it.
        {ref(p, 97) + "TTT", with(indelOf(kInsertion, 3, 97)), "97M3S", "97", 0, 1, 97},
        {"TTT" + ref(p, 97), with(indelOf(kInsertion, 3, 0)), "3S97M", "97", 0, 1, 97},
        // The run before the deletion is not a segment: the base at 41 matches.
        {ref(p, 40) + ref(p + 42, 60), with(deletion), "40M2D60M", "40^" + ref(p + 40, 2) + "60", 2, 1, 60},
        {withMismatches(ref(p, 40) + ref(p + 42, 60), {40}), with(deletion), "40M2D60M",
         "40^" + ref(p + 40, 2) + "0" + ref(p + 42, 1) + "59", 3, 1, 59},
        {reverse, positionAt(p, 1, kReverseComplementOrientation), "100M", "89" + ref(p + 89, 1) + "10", 1, 2,
         89},
        {alternating, positionAt(p, 50), "", "", 0, 0, 0, false},  // no two consecutive matches
        // Of 21 bases left, one mismatches: (100 - 1 - 40 - 39) x 10 / (100 x 100 x 2) is 0.01, not above.
        {withMismatches(trimmed, {50}), positionAt(p, 80), "40S21M39S", "10" + ref(p + 50, 1) + "10", 1, 2,
         10, false},
        {withMismatches(trimmed, {51}), positionAt(p, 80), "40S21M39S", "11" + ref(p + 51, 1) + "9", 1, 2,
         11},
    };
    for (const auto& c : cases) {
        const Alignment a = aligned(c.bases, c.position);
        EXPECT_EQ(std::tuple(a.isReportable != 0, a.cigarString, a.mismatchString, a.editDistance,
                             a.numberOfMatchSegments, a.lengthOfLongestMatchSegment),
                  std::tuple(c.reportable, c.cigar, c.mismatches, c.editDistance, c.segments, c.longest));
    }
}

// A read across a chromosome's end is clipped there (T encodes like the padding); one in the padding
// or beyond the genome matches nothing and is not reported. Only reportable ones are annotated.
TEST_F(AlignmentSimpleTest, AlignmentsStayOnTheirChromosomeAndUncalledBasesMismatch) {
    const auto padded = static_cast<std::uint32_t>(genome->paddedSequenceLength);
    const auto end = static_cast<std::uint32_t>(genome->asciiEncodedArrayLength);
    const std::string bases = ref(p, 100);
    Read read = readOf(bases);
    const std::string straddling = createSimpleMatchString(positionAt(padded - 50, 1), read, *genome);
    EXPECT_EQ(std::pair(straddling.size(), straddling.find('M')),
              std::pair(std::size_t{100}, std::string::npos));
    for (const std::uint32_t position : {end - 10, end + 5}) {
        const Alignment a = aligned(bases, positionAt(position, 1));
        EXPECT_EQ(std::pair(a.matchString.find('M'), a.isReportable != 0),
                  std::pair(std::string::npos, false));
    }
    const std::string first = ref(0, 200), second = ref(300, 200);
    genome = fastaGenome(">a\n" + first + "\n>b\n" + second + "\n");
    for (const std::uint16_t score : {0, 1}) {
        const Alignment a = aligned(first.substr(130) + std::string(30, 'T'), positionAt(130, score));
        EXPECT_EQ(a.cigarString + " " + a.mismatchString, "70M30S 70") << score;
    }
    const auto secondStart = static_cast<std::uint32_t>(genome->chromosomes.at(1).startGenomePosition);
    EXPECT_FALSE(
        aligned(std::string(20, 'T') + second.substr(0, 80), positionAt(secondStart - 20, 1)).isReportable);
    // Beyond the genome, or not reportable: left unannotated.
    genome = newTestGenome();
    const auto annotated = [&](std::uint32_t position, bool reportable = true) {
        Alignment a = alignmentAt(positionAt(position, 0));
        a.isReportable = reportable;
        addChromosomeInformationToAlignment(a, *genome, true);
        return std::tuple(a.chromosomeNumber, a.chromosomePosition, a.chromosomeName);
    };
    EXPECT_EQ(annotated(kSecondChromosomeStart + 25), std::tuple(2u, 25u, "c2"));
    EXPECT_EQ(annotated(30), std::tuple(1u, 30u, "c1"));
    EXPECT_EQ(annotated(100000), std::tuple(0u, 0u, ""));
    EXPECT_EQ(annotated(30, false), std::tuple(0u, 0u, ""));
    // N on either side is a mismatch, as SAM readers count it; lower case is only a way of writing a base.
    std::string uncalled = ref(p, 100), expected(100, 'M');
    for (const std::size_t i : {0, 1, 50}) expected[i] = uncalled[i], uncalled[i] = 'N';
    uncalled[30] = static_cast<char>(uncalled[30] - 'A' + 'a');
    const Alignment a = aligned(uncalled, positionAt(p, 3));
    EXPECT_EQ(a.matchString + " " + a.cigarString, expected + " 2S98M");
    std::string gapped = ref(0, p + 100);
    gapped[70] = 'N';
    genome = fastaGenome(">n\n" + gapped + "\n");
    ASSERT_EQ(asciiOf(*genome, 70, 1), "N");
    expected.assign(100, 'M');
    expected[70 - p] = 'N';
    EXPECT_EQ(aligned(ref(p, 100), positionAt(p, 0)).matchString, expected)
        << "a gap in the reference is compared even when the binary score saw none";
}

// A subset of candidates of these whole-read scores, with the genome's best and second-best counts.
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
        Alignment a = alignmentAt(positionAt(77, 0));
        a.secondaryPosition = positionAt(88, 0);
        a.chromosomeNumber = 3;
        a.chromosomePosition = 5;
        populateAlignmentFromCandidatePosition(a, candidate, store, type);
        return a;
    }
};

// Candidates fitting as well as the chosen one and as its runner-up, which only the best one has.
TEST(AlignmentPopulateTest, BestCandidateTakesItsPlacementAndCountsOfThoseFittingAsWell) {
    // No candidate gives an empty, unreportable alignment.
    Store s({1, 1, 3, 4}, 1, 2, 3, 1);
    const Alignment none = s.populate(nullptr, alternateAlignmentType);
    EXPECT_EQ(std::tuple(none.isEmpty, none.isReportable, none.alignmentType, none.chromosomeNumber,
                         none.chromosomePosition, none.primaryPosition.isEmpty),
              std::tuple(1u, 0u, emptyAlignmentType, 0u, 0u, 1u));
    s[0]->indelDescriptor = indelOf(kDeletion, 2, 40);
    const Alignment a = s.populate(s[0], indelAlignmentType);
    EXPECT_EQ(std::tuple(a.isEmpty, a.isReportable, a.alignmentType, s[0]->usedInAlignment),
              std::tuple(0u, 1u, indelAlignmentType, true));
    const Position &primary = a.primaryPosition, &secondary = a.secondaryPosition;
    EXPECT_EQ(std::tuple(primary.isEmpty, primary.genomePosition, primary.orientation,
                         primary.mappingScores.numberOfAssociatedKeys, primary.indelDescriptor.size,
                         primary.indelDescriptor.type),
              std::tuple(0u, 1000u, kForwardOrientation, 10u, 2u, kDeletion));
    EXPECT_EQ(std::tuple(secondary.isEmpty, secondary.genomePosition, secondary.orientation,
                         secondary.mappingScores.mismatchScores.wholeReadScore),
              std::tuple(0u, 2000u, kReverseComplementOrientation, std::uint16_t{1}));
    const struct {
        std::vector<std::uint16_t> scores;
        std::uint16_t best;
        std::uint32_t bestCount;
        std::uint16_t second;
        std::uint32_t secondCount, chosen, count, runnerUpCount;
    } cases[] = {
        {{1, 1, 3, 4}, 1, 2, 3, 1, 0, 2, 2},  // a runner-up sharing the best score counts the best group
        {{1, 3, 4}, 1, 1, 3, 4, 0, 1, 5},     // a runner-up with a worse score counts both groups
        {{1, 3, 4}, 1, 1, 3, 1, 1, 2, 0},     // the second-best score counts both groups
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
        const Position& runnerUp = a.secondaryPosition;
        EXPECT_EQ(std::pair(a.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches,
                            runnerUp.isEmpty ? 0u : runnerUp.numberOfCandidatesWithSameOrFewerMismatches),
                  std::pair(c.count, c.runnerUpCount));
    }
}

constexpr std::uint32_t kForward = kForwardOrientation;
constexpr std::uint32_t kReverse = kReverseComplementOrientation;

// The chosen alignment at p holds the read's first 60 bases, the fragment at q its last 40.
class JunctionSplitTest : public AlignmentSimpleTest {
  protected:
    static constexpr std::uint32_t q = 250;

    JunctionSplit split(const std::string& bases, std::uint32_t primaryOrientation, std::uint32_t fragmentAt,
                        std::uint32_t fragmentOrientation) {
        const Alignment primary = aligned(bases, positionAt(p, 30, primaryOrientation)),
                        fragment = aligned(bases, positionAt(fragmentAt, 30, fragmentOrientation));
        JunctionSplit result;
        EXPECT_TRUE(splitJunctionRead({primary.matchString, primaryOrientation == kReverse},
                                      {fragment.matchString, fragmentOrientation == kReverse},
                                      static_cast<std::uint32_t>(bases.size()), result));
        return result;
    }
};

JunctionPart part(std::uint32_t clippedStart, std::uint32_t clippedEnd, std::uint32_t editDistance,
                  std::string cigar, std::string mismatches) {
    return {clippedStart, clippedEnd, editDistance, std::move(cigar), std::move(mismatches)};
}
auto fieldsOf(const JunctionPart& p) {
    return std::tuple(p.clippedStart, p.clippedEnd, p.editDistance, p.cigar, p.mismatches);
}

// A reverse fragment leads in its own orientation (40M60S), the split staying at 60 in the read's.
TEST_F(JunctionSplitTest, PartsOfEachOrientationAndContestedBasesWithTheChosenAlignment) {
    const std::string pq = ref(p, 60) + ref(q, 40), pqReverse = ref(p, 60) + reverseComplementOf(ref(q, 40));
    const std::string primaryMismatches = "10" + ref(p + 10, 1) + "49";
    const struct {
        std::string bases;
        std::uint32_t primaryOrientation, fragmentAt, fragmentOrientation, split;
        bool primaryFirst;
        JunctionPart primary, fragment;
    } cases[] = {
        {withMismatches(pq, {10, 80}), kForward, q - 60, kForward, 60, true,
         part(0, 40, 1, "60M40S", primaryMismatches), part(60, 0, 1, "60S40M", "20" + ref(q + 20, 1) + "19")},
        // Read base 80 is the reverse fragment's base 19.
        {withMismatches(pqReverse, {10, 80}), kForward, q, kReverse, 60, true,
         part(0, 40, 1, "60M40S", primaryMismatches), part(0, 60, 1, "40M60S", "19" + ref(q + 19, 1) + "20")},
        {reverseComplementOf(pqReverse), kReverse, q, kForward, 40, false, part(0, 40, 0, "60M40S", "60"),
         part(0, 60, 0, "40M60S", "40")},
        {withMismatches(pq, {0, 2, 97, 99}), kForward, q - 60, kForward, 60, true,
         part(3, 40, 0, "3S57M40S", "57"), part(60, 3, 0, "60S37M3S", "37")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.primary.cigar + " " + c.fragment.cigar);
        const JunctionSplit s = split(c.bases, c.primaryOrientation, c.fragmentAt, c.fragmentOrientation);
        EXPECT_EQ(std::tuple(s.split, s.primaryFirst, fieldsOf(s.primary), fieldsOf(s.fragment)),
                  std::tuple(c.split, c.primaryFirst, fieldsOf(c.primary), fieldsOf(c.fragment)));
    }
    // Bases matching both sides go to the chosen alignment, whichever side of the read it holds.
    const struct {
        std::string primary, fragment, split;  // the split, which side comes first and the CIGARs
    } contested[] = {
        {"MMMMMMACGT", "ACGTMMMMMM", "6 primary first 6M4S 6S4M"},
        {"ACGTMMMMMM", "MMMMMMACGT", "4 fragment first 4S6M 4M6S"},
        // A base neither matches stays with the chosen alignment, whose trim then drops it.
        {"MMMMMCACGT", "ACGTAGMMMM", "6 primary first 5M5S 6S4M"},
        // An indel's match string is shorter than the read; a perfect match has none.
        {"MMMMMACGT", "ACGTMMMMMM", ""},
        {"M", "M", ""},
        {"MMMMMMACGT", "ACGTAMCMAM", ""},
        // Eleven matches in nine runs of at most two are noise: 11 x 2 / (19 x 19 x 9) is below 1%.
        {std::string(20, 'M') + std::string(20, 'A'), std::string(20, 'A') + "MMAMCMAMCMAMCMAMCMMA", ""},
    };
    for (const auto& c : contested) {
        JunctionSplit s;
        const bool split = splitJunctionRead({c.primary, false}, {c.fragment, false},
                                             static_cast<std::uint32_t>(c.fragment.size()), s);
        EXPECT_EQ(split ? std::to_string(s.split) + (s.primaryFirst ? " primary" : " fragment") + " first " +
                              s.primary.cigar + " " + s.fragment.cigar
                        : "",
                  c.split)
            << c.primary << " " << c.fragment;
    }
}

// Quality characters with offset 33: '+' is 10, '5' is 20, '?' is 30, 'I' is 40.
class MappingQualityTest : public ::testing::Test {
  protected:
    // A region at 0, a copy at 160 changed at 20, 30 and 40, and the read: the region, base 10 changed.
    std::string region;
    std::string read;
    std::unique_ptr<GenomeSequence> genome;
    AlignmentScratch scratch;
    ExecutionParameters params;

    void SetUp() override {
        std::mt19937 random(99);
        region = randomBases(100, random);
        const std::string copy = withMismatches(region, {20, 30, 40});
        genome =
            fastaGenome(">r\n" + region + randomBases(60, random) + copy + randomBases(40, random) + "\n");
        genome->mappingQualityOfKeyBelongingToUnmappedRegion = 60;
        read = withMismatches(region, {10});
    }

    // An alignment at a position where `count` places fit as well, and optionally a second best.
    static Alignment at(std::uint32_t position, std::uint16_t score, std::uint32_t count = 1) {
        Alignment a = alignmentAt(positionAt(position, score));
        a.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches = count;
        return a;
    }
    static Alignment withSecond(Alignment a, std::uint32_t position, std::uint16_t score,
                                std::uint32_t count) {
        a.secondaryPosition = at(position, score, count).primaryPosition;
        return a;
    }
    std::uint32_t qualityOf(Alignment a, Read& r) {
        performAlignment(params, r, a, *genome);
        addQualityScoreToAlignment(params, r, a, *genome);
        return a.mappingQuality;
    }
    std::uint32_t sumAt(std::string_view matchString, const Position& position, Read& r) {
        return sumBaseQualityForPositionsMismatches(matchString, position, r, *genome, params, scratch);
    }
};

TEST_F(MappingQualityTest, PerfectMatchTakesTheTruncatedAverageBaseQualityUnlessRepeatedOrUnreported) {
    Read r = readOf(region);
    std::vector<std::uint32_t> qualities;
    for (const std::uint32_t n : {1u, 2u, 3u, 4u, 9u, 10u, 1000u})
        qualities.push_back(qualityOf(at(0, 0, n), r));
    EXPECT_EQ(qualities, (std::vector<std::uint32_t>{40, 3, 2, 1, 1, 0, 0}));
    genome->mappingQualityOfKeyBelongingToUnmappedRegion = 25;
    EXPECT_EQ(qualityOf(at(0, 0), r), 25u);
    genome->mappingQualityOfKeyBelongingToUnmappedRegion = 60;
    // (99 x 73 + 43) / 100 = 72.7, so 72 - 33.
    r.qualitySequence[0] = '+';
    EXPECT_EQ(qualityOf(at(0, 0), r), 39u);
    // An average below the offset is 0, not a wrapped value.
    params.phredQualityOffset = 80;
    EXPECT_EQ(qualityOf(at(0, 0), r), 0u);
    // An empty or unreportable alignment, reused from another read, has none.
    for (const bool empty : {true, false}) {
        Alignment a = at(0, 0);
        (empty ? a.isEmpty : a.isReportable) = empty;
        a.mappingQuality = 12;
        addQualityScoreToAlignment(params, r, a, *genome);
        EXPECT_EQ(a.mappingQuality, 0u) << empty;
    }
}

TEST_F(MappingQualityTest, AReadWithMismatchesIsBoundedOnlyByASecondBestThatCountsMore) {
    Read r = readOf(read);
    r.qualitySequence[10] = '+';
    const Alignment rarer = withSecond(at(0, 1), 160, 4, 11);
    EXPECT_EQ(qualityOf(rarer, r), 60u);
    genome->mappingQualityOfKeyBelongingToUnmappedRegion = 255;
    // P = 10 (base 10); S = 10 + 3 x 40. (130 - 10) - 4.343 x log10(11 - 1) = 115.657.
    EXPECT_EQ(std::vector({qualityOf(at(0, 1), r), qualityOf(withSecond(at(0, 1), 160, 4, 1), r),
                           qualityOf(rarer, r)}),
              std::vector({255u, 255u, 116u}));
    // The primary at the copy: P = 130, S = 10; as an unsigned difference S - P would give the cap.
    EXPECT_EQ(qualityOf(withSecond(at(160, 4), 0, 1, 2), r), 0u);
    // As an unsigned difference the count would subtract about 41.8 and leave 0.
    r.qualitySequence[20] = r.qualitySequence[30] = r.qualitySequence[40] = '+';
    EXPECT_EQ(qualityOf(withSecond(at(0, 1), 160, 4, 0), r), 255u);
    // Summed mismatch qualities take each base's own, trimmed, after an insertion or reversed. With
    // offset 50, '+' (43) lies below it and adds nothing; '5' (53) adds 3.
    EXPECT_EQ(std::vector({sumBaseQualityForMismatches("MMAMC", "II+I5", 5, 33),
                           sumBaseQualityForMismatches("MMAMC", "II+I5", 3, 33),
                           sumBaseQualityForMismatches("MMAMC", "II+I5", 5, 50)}),
              std::vector({30u, 10u, 3u}));
    Read perfect = readOf(read);
    EXPECT_EQ(std::pair(sumAt("AMMM", positionAt(0, 0), perfect), sumAt("", positionAt(0, 1), perfect)),
              std::pair(0u, 40u));
    Read trimmed = readOf(withMismatches(region, {0}));
    trimmed.qualitySequence[0] = '5';
    Alignment a = at(0, 1);
    performAlignment(params, trimmed, a, *genome);
    ASSERT_EQ(a.cigarString, "1S99M");
    EXPECT_EQ(sumAt(a.matchString, a.primaryPosition, trimmed), 20u);
    Read inserted = readOf(withMismatches(region.substr(0, 40) + "TTT" + region.substr(40, 57), {60}));
    inserted.qualitySequence[57] = '?';
    inserted.qualitySequence[60] = '5';
    EXPECT_EQ(sumAt("", positionAt(0, 1, kForwardOrientation, indelOf(kInsertion, 3, 40)), inserted), 20u);
    // Base 10 as sequenced is index 89 of the reverse complement.
    Read reverse = readOf(withMismatches(reverseComplementOf(region), {10}));
    reverse.qualitySequence[10] = '5';
    reverse.qualitySequence[89] = '?';
    EXPECT_EQ(sumAt("", positionAt(0, 1, kReverseComplementOrientation), reverse), 20u);
}

}  // namespace
}  // namespace koru
