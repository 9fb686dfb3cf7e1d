// Read pair mapping statistics, their report and table, and the library report's histograms.

#include "mapping/read_pair_mapping_statistics.h"

#include <gtest/gtest.h>

#include <numeric>
#include <sstream>
#include <string>

#include "alignment/mapping_quality.h"
#include "mapping/library_statistics.h"
#include "mapping/statistics_table.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
using testing::readFile;
using testing::TemporaryDirectory;

// Evaluated, combined and both min words within their limits, combined and both keys at their minimum.
std::vector<std::uint32_t> qualityOf(std::uint16_t minWordA, std::uint32_t keysA, std::uint16_t minWordB,
                                     std::uint32_t keysB) {
    CandidateQualityStatistics g;
    collectCandidateQualityStatistics(CandidateQualityCriteria{}, g, {keysA, {kNotScored, minWordA}},
                                      {keysB, {kNotScored, minWordB}});
    return {g.evaluated, g.combinedMinWordWithinLimit, g.bothMinWordsWithinLimit,
            g.combinedKeysAtLeastMinimum, g.bothKeysAtLeastMinimum};
}

// Kept: candidates although some keys had too many.
enum Read { hasCandidates, kept, overloaded, unhit, overloadedAndUnhit, emptyWithoutFlags };

void setRead(CandidatePositions& read, Read kind) {
    if (kind == hasCandidates || kind == kept) read.candidates.resize(2);
    read.combinedStatistics.keysWithTooManyCandidates =
        kind == kept || kind == overloaded || kind == overloadedAndUnhit ? 4 : 0;
    read.combinedStatistics.keysWithNoCandidates = kind == unhit || kind == overloadedAndUnhit ? 5 : 0;
}

// Too many for A, B, both; none for A, B, both; one none other too many; no processed candidates.
std::vector<std::uint32_t> outcomeOf(Read a, Read b) {
    CandidatePositionsPair pair;
    setRead(pair.readA, a);
    setRead(pair.readB, b);
    ReadPairMappingStatistics s;
    collectCandidatePositionStatisticsForReadPair(s, pair);
    return {s.readATooManyCandidates,     s.readBTooManyCandidates,
            s.bothReadsTooManyCandidates, s.readANoCandidates,
            s.readBNoCandidates,          s.bothReadsNoCandidates,
            s.oneReadNoneOtherTooMany,    s.pairsWithoutProcessedCandidates};
}

TEST(ReadPairMappingStatistics, OutcomesQualitiesAndCountersOfEachPair) {
    // Qualities: min words and keys against both limits.
    using V = std::vector<std::uint32_t>;
    EXPECT_EQ(qualityOf(1, 0, 1, 0), (V{1, 1, 1, 0, 0}));
    EXPECT_EQ(qualityOf(2, 0, 2, 0), (V{1, 0, 0, 0, 0}));
    // Within the combined limit of 3, but one read above the individual limit of 2.
    EXPECT_EQ(qualityOf(0, 0, 3, 0), (V{1, 1, 0, 0, 0}));
    // An unscored read must not wrap the sum into range.
    EXPECT_EQ(qualityOf(65535, 0, 1, 0), (V{1, 0, 0, 0, 0}));
    EXPECT_EQ(qualityOf(9, 2, 9, 4), (V{1, 0, 0, 1, 0}));
    EXPECT_EQ(qualityOf(9, 3, 9, 3), (V{1, 0, 0, 1, 1}));
    EXPECT_EQ(qualityOf(9, 3, 9, 2), (V{1, 0, 0, 0, 0}));
    EXPECT_EQ(outcomeOf(overloaded, hasCandidates), (V{1, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(outcomeOf(hasCandidates, unhit), (V{0, 0, 0, 0, 1, 0, 0, 1}));
    EXPECT_EQ(outcomeOf(overloaded, overloaded), (V{1, 1, 1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(outcomeOf(unhit, unhit), (V{0, 0, 0, 1, 1, 1, 0, 1}));
    EXPECT_EQ(outcomeOf(overloaded, unhit), (V{1, 0, 0, 0, 1, 0, 1, 1}));
    EXPECT_EQ(outcomeOf(unhit, overloaded), (V{0, 1, 0, 1, 0, 0, 1, 1}));
    // Too many wins for the read alone; the pair still had keys that found none on both sides.
    EXPECT_EQ(outcomeOf(overloadedAndUnhit, unhit), (V{1, 0, 0, 0, 1, 1, 0, 1}));
    // Empty for another reason (candidates dropped by scoring): only the pair counts are kept.
    EXPECT_EQ(outcomeOf(emptyWithoutFlags, emptyWithoutFlags), (V{0, 0, 0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(outcomeOf(emptyWithoutFlags, hasCandidates), (V{0, 0, 0, 0, 0, 0, 0, 1}));
    // Lookup statistics of reads that kept candidates do not matter.
    EXPECT_EQ(outcomeOf(kept, hasCandidates), (V{0, 0, 0, 0, 0, 0, 0, 0}));
    ReadPairMappingStatistics s;
    CandidatePositionsPair pair;
    pair.readA.candidates.resize(3);
    pair.readB.candidates.resize(2);
    pair.readA.indelCandidates.emplace().records.resize(2);
    pair.readA.numberOfCandidatesIndelProcessingWasPerformedOn = 4;
    const auto counters = [&s] {
        return std::vector<std::uint64_t>{s.readPairsProcessed,       s.candidateMappingsEvaluated,
                                          s.indelCandidates,          s.readsWithIndelCandidates,
                                          s.candidatesIndelProcessed, s.readsIndelProcessed};
    };
    // Read B has no indel list: read A's indel candidates are not added, but its read counts.
    collectCandidatePositionStatisticsForReadPair(s, pair);
    EXPECT_EQ(counters(), (std::vector<std::uint64_t>{1, 5, 0, 1, 4, 1}));
    pair.readB.indelCandidates.emplace();  // present but empty
    pair.readB.numberOfCandidatesIndelProcessingWasPerformedOn = 1;
    collectCandidatePositionStatisticsForReadPair(s, pair);
    EXPECT_EQ(counters(), (std::vector<std::uint64_t>{2, 10, 2, 2, 9, 3}));
}

// The counters the report's figures are worked out from; 99 and 98 are not printed.
ReadPairMappingStatistics handSetRecord() {
    ReadPairMappingStatistics s;
    s.readPairsProcessed = 10;
    s.windowSize = 900;
    s.pairsWithoutProcessedCandidates = 3;
    s.readANoCandidates = 1;
    s.readBNoCandidates = 2;
    s.readATooManyCandidates = 1;
    s.bothReadsNoCandidates = 1;
    s.pairsWithNoCandidatesInWindow = 2;
    s.pairsWithCandidatesInWindow = 5;
    s.pairsWithExactlyOneCandidatePairInWindow = 2;
    s.candidateMappingsEvaluated = 36;
    s.readsWithIndelCandidates = 99;
    s.popCountSumOutsideWindow = 3;
    s.hitCountSumOutsideWindow = 25;
    s.candidatePairsInWindow = 11;
    s.popCountSumExactlyOne = 1;
    s.hitCountSumExactlyOne = 24;
    s.popCountSumMoreThanOne = 2;
    s.hitCountSumMoreThanOne = 40;
    s.alternativeAlignmentsReported = 5;
    s.readsWithAlternativeAlignments = 2;
    s.readPairsWithAlternativeAlignments = 1;
    s.readPairsWithUnsupportedReadLength = 98;
    return s;
}

// The value after the '=' of the report's first line holding the phrase.
std::string valueOf(const std::string& report, const std::string& phrase) {
    const std::size_t at = report.find(phrase);
    if (at == std::string::npos) return "missing";
    std::istringstream line(report.substr(report.find('=', at) + 1));
    std::string value;
    line >> value;
    return value;
}

// Averages over no pairs print "nan", never x86's "-nan"; the evaluation limit is a parameter.
TEST(ReadPairMappingStatistics, ReportWorksOutSumsAndAveragesAndIsPrintedWhole) {
    std::istringstream empty(readPairMappingStatisticsToString(*createReadPairMappingStatistics({}), ""));
    int averages = 0;
    for (std::string line; std::getline(empty, line);) {
        if (line.find('=') == std::string::npos || line.find("Maximum number") != std::string::npos) continue;
        const bool average = line.find("Average") != std::string::npos;
        averages += average;
        const std::string value = line.substr(line.rfind('=') + 1);
        EXPECT_EQ(value.substr(value.find_first_not_of(' ')), average ? "nan" : "0") << line;
    }
    EXPECT_EQ(averages, 10);
    const ReadPairMappingStatistics s = handSetRecord();
    const std::string report = readPairMappingStatisticsToString(s, "");
    const std::pair<const char*, const char*> lines[] = {
        {"per read (for reads with candidates)", "2.25"},  // 36 over 20 reads less 4 without candidates
        {"Number of Read Pairs that had candidate mappings", "7"},
        {"Average popcount score of reads with candidates mappings outside the 900", "1.50"},
        {"Average hit count of reads with candidates mappings outside the 900", "12.50"},
        {"Average number of Mate Pair candidate mappings within the 900", "2.20"},
        {"Average popcount score of reads with exactly one", "0.50"},
        {"Average hit count of reads with exactly one", "12.00"},
        {"Number of Read Pairs with more than one Mate Pair", "3"},
        {"Average popcount score of reads with more than one", "0.67"},
        {"Average hit count of reads with more than one", "13.33"},
        {"Average number of candidate mappings for reads with more than one", "3.00"},
        {"one or both reads of the Read Pairs had too many candidates", "1"},
        {"one or both reads of the Read Pairs had no candidates", "2"},
        {"Average number of alternative alignments", "2.50"},
    };
    for (const auto& [phrase, value] : lines) EXPECT_EQ(valueOf(report, phrase), value) << phrase;
    for (const char* absent : {"= 99\n", "= 98\n"}) EXPECT_EQ(report.find(absent), std::string::npos);
    // Printed headed by the thread; a long report is not cut.
    TemporaryDirectory directory;
    const std::string path = directory.file("statistics.txt");
    auto file = createLockedFile(path, false, false);
    printReadPairMappingStatistics(*file, nullptr);
    printReadPairMappingStatistics(*file, &s);
    file->close();
    EXPECT_EQ(readFile(path), "\nRead Pair Mapping Statistics for thread 0 of 1:\n" + report + "\n");
    const std::string indented = readPairMappingStatisticsToString(s, std::string(2000, ' '));
    EXPECT_GT(indented.size(), 102400u);
    EXPECT_TRUE(indented.ends_with("Number of Read Pairs with Alternative Alignments = 1\n\n\n"));
}

ReadPairMappingStatistics sample(std::uint32_t scale) {
    ReadPairMappingStatistics s;
    s.windowSize = 10000;
    s.maximumCandidatePositionsPerIndexEntry = 750;
    s.readPairsProcessed = 100 * scale;
    s.readATooManyCandidates = 3 * scale;
    s.candidateMappingsEvaluated = 5'000'000'000ULL * scale;  // beyond 32 bits
    s.qualityGroups[hitCountOutsideWindowGroup].bothKeysAtLeastMinimum = 7 * scale;
    s.alternativeAlignmentsReported = scale;
    s.readsWithTooManyUncalledBases = 2 * scale;
    return s;
}

TEST(StatisticsTable, ReadsBackWhatItWroteAndAddsUpCounters) {
    const ReadPairMappingStatistics s = sample(1);
    const std::string table = statisticsToTable(s);
    EXPECT_EQ(table.rfind(statisticsTableHeading, 0), 0u);
    EXPECT_NE(table.find("candidateMappingsEvaluated\t5000000000\n"), std::string::npos);
    EXPECT_EQ(statisticsToTable(statisticsFromTable(table, "t")), table);
    // The report of the read table is the report of the record.
    EXPECT_EQ(readPairMappingStatisticsToString(statisticsFromTable(table, "t"), ""),
              readPairMappingStatisticsToString(s, ""));
    // Shards add up counters only when counted under the same settings.
    ReadPairMappingStatistics total = sample(1);
    ASSERT_TRUE(addStatistics(total, sample(2)));
    EXPECT_EQ(statisticsToTable(total), statisticsToTable(sample(3)));

    ReadPairMappingStatistics otherWindow = sample(1);
    otherWindow.windowSize = 500;
    ReadPairMappingStatistics otherCriteria = sample(1);
    otherCriteria.qualityCriteria.maximumPopCountValuePerBPOfRead = 0.1;
    ReadPairMappingStatistics unchanged = sample(1);
    EXPECT_FALSE(addStatistics(unchanged, otherWindow));
    EXPECT_FALSE(addStatistics(unchanged, otherCriteria));
    EXPECT_EQ(statisticsToTable(unchanged), statisticsToTable(sample(1)));
}

TEST(StatisticsTableDeathTest, MalformedTablesAreRefusedWithTheirLine) {
    const std::string table = statisticsToTable(sample(1));
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string edited = table;
        edited.replace(edited.find(from), from.size(), to);
        return edited;
    };
    const std::pair<std::string, const char*> refused[] = {
        {replaced("windowSize\t10000\n", ""), "The statistics file \"s.tsv\" has no line for \"windowSize\""},
        {table + "bogus\t1\n", "names \"bogus\", which is not a statistic"},
        {table + "windowSize\t1\n", "names \"windowSize\" a second time"},
        {replaced("readPairsProcessed\t100", "readPairsProcessed\t-1"),
         "Line 9 of the statistics file \"s.tsv\" has \"-1\" where a number is due"},
        // A 32-bit counter that would not fit.
        {replaced("readPairsProcessed\t100", "readPairsProcessed\t4294967296"),
         "\"4294967296\" where a number"},
        {replaced("windowSize\t", "windowSize "), "is not a name, a tab and a number"},
    };
    for (const auto& [edited, message] : refused)
        EXPECT_EXIT(statisticsFromTable(edited, "s.tsv"), ExitedWithCode(1), message);
}

using Counts = std::vector<std::uint64_t>;

std::uint64_t total(const Counts& bins) {
    return std::accumulate(bins.begin(), bins.end(), std::uint64_t{0});
}

class LibraryStatisticsTest : public ::testing::Test {
  protected:
    std::unique_ptr<ReadPair> pair = createReadPair(100, 8);
    std::unique_ptr<PairedAlignments> alignments = createPairedAlignments(*pair, 1);
    LibraryStatistics library;

    LibraryStatisticsTest() {
        initPairedAlignment(alignments->pairedAlignments[0], *pair, 2, concordantPairedAlignmentType);
        alignments->numberOfPopulatedPairedAlignments = 1;
        alignments->primarySlot = 0;
    }
    Alignment& read(int which) {
        PairedAlignment& paired = alignments->pairedAlignments[0];
        return (which == 0 ? paired.readAAlignments : paired.readBAlignments).alignments[0];
    }
    void place(int which, std::uint32_t offset, bool reverse, std::uint32_t quality = 20) {
        Alignment& a = read(which);
        a.isEmpty = 0;
        a.isReportable = 1;
        a.chromosomePosition = offset;
        a.primaryPosition.orientation = reverse ? kReverseComplementOrientation : kForwardOrientation;
        a.mappingQuality = quality;
        a.matchString.assign(100, 'M');
    }
    // Pairs both mapped, one mapped, unmapped, concordant, discordant, across chromosomes; junctions split.
    Counts collect() {
        collectLibraryStatistics(library, *alignments, *pair);
        const LibraryStatistics& l = library;
        return {l.pairsBothReadsMapped, l.pairsOneReadMapped,          l.pairsUnmapped,     l.pairsConcordant,
                l.pairsDiscordant,      l.pairsOnDifferentChromosomes, l.junctionReadsSplit};
    }
};

// An outward pair's span is an RF insert; threads' statistics are summed histogram by histogram.
TEST_F(LibraryStatisticsTest, InsertsAreClassedByTheStrandOfTheLeftmostReadAndSumsAddUp) {
    // Classes by the strand of the leftmost read.
    EXPECT_EQ(orientationClassOf(100, false, 400, true), forwardReverseClass);
    EXPECT_EQ(orientationClassOf(400, true, 100, false), forwardReverseClass);
    EXPECT_EQ(orientationClassOf(100, true, 400, false), reverseForwardClass);
    EXPECT_EQ(orientationClassOf(400, false, 100, true), reverseForwardClass);
    EXPECT_EQ(orientationClassOf(100, false, 400, false), sameStrandClass);
    EXPECT_EQ(orientationClassOf(100, true, 400, true), sameStrandClass);
    EXPECT_EQ(orientationClassOf(100, true, 100, false), reverseForwardClass);  // a tie: read A leftmost
    place(0, 5000, false);
    place(1, 2000, true);
    read(0).matchString[7] = 'T';
    read(0).editDistance = 1;
    EXPECT_EQ(collect(), (Counts{1, 0, 0, 1, 0, 0, 0}));
    // From read B's first base to read A's last: 5000 + 100 - 2000. Both carry the pair's quality.
    EXPECT_EQ(Counts({library.insertSizes[reverseForwardClass][3100],
                      total(library.insertSizes[forwardReverseClass]), library.mappingQualities[0][40]}),
              (Counts{1, 0, 2}));
    LibraryStatistics sum;
    addLibraryStatistics(sum, library);
    addLibraryStatistics(sum, library);
    EXPECT_EQ(
        Counts({sum.pairsConcordant, sum.insertSizes[reverseForwardClass][3100], sum.mappingQualities[0][40],
                sum.mismatchedBases[0][7], total(alignedBasesByPosition(sum, 1))}),
        (Counts{2, 2, 4, 2, 200}));
}

// A discordant pair's reads carry their own qualities.
TEST_F(LibraryStatisticsTest, HugeInsertsShareTheLastBinAndOtherChromosomesHaveNone) {
    place(0, 0, false);
    place(1, 200000, true);
    alignments->pairedAlignments[0].type = discordantPairedAlignmentType;
    EXPECT_EQ(collect(), (Counts{1, 0, 0, 0, 1, 0, 0}));
    EXPECT_EQ(Counts({library.insertSizes[forwardReverseClass][insertSizeBins - 1],
                      library.mappingQualities[1][20]}),
              (Counts{1, 2}));
    read(1).chromosomeNumber = 1;
    EXPECT_EQ(collect(), (Counts{2, 0, 0, 0, 2, 1, 0}));
    EXPECT_EQ(total(library.insertSizes[forwardReverseClass]), 1u);
}

TEST_F(LibraryStatisticsTest, UnmappedAndHalfMappedPairsHaveNoInsert) {
    collect();  // no read placed
    place(0, 300, false, 300);
    read(1).isEmpty = 0;
    read(1).isReportable = 0;  // found but not worth reporting
    collect();
    alignments->primarySlot = -1;
    EXPECT_EQ(collect(), (Counts{0, 1, 2, 0, 0, 0, 0}));
    // The lone read's quality is its own, capped as SAM caps it.
    EXPECT_EQ(library.mappingQualities[1][maximumReportedMappingQuality], 1u);
    for (const auto& bins : library.insertSizes) EXPECT_EQ(total(bins), 0u);
}

// A reverse read's alignment base 3 is its sequenced base 96; its clipped base 99 is its first.
TEST_F(LibraryStatisticsTest, MismatchesCountAtTheirPositionAsSequencedWithoutClippedBases) {
    place(0, 1000, false);
    place(1, 1200, true);
    read(0).matchString[3] = 'A';
    read(0).matchString[98] = 'T';
    read(0).editDistance = 2;
    read(1).matchString[3] = 'C';
    read(1).matchString[99] = 'G';
    read(1).numberOfBasesTrimmedFromEnd = 1;
    read(1).editDistance = 1;
    collect();
    const Counts alignedA = alignedBasesByPosition(library, 0), alignedB = alignedBasesByPosition(library, 1);
    EXPECT_EQ(Counts({library.mismatchedBases[0][3], library.mismatchedBases[0][98],
                      library.mismatchedBases[1][96], total(library.mismatchedBases[1]), alignedA[0],
                      alignedA[99], alignedA[100], alignedB[0], total(alignedB)}),
              (Counts{1, 1, 1, 1, 1, 1, 0, 0, 99}));
}

// The first 60 bases fit the chosen place, the last 40 the fragment.
TEST_F(LibraryStatisticsTest, JunctionReadsAreSplitOnceAndLeftOutOfTheErrorProfile) {
    place(0, 1000, false);
    place(1, 1200, true);
    Alignments& readA = alignments->pairedAlignments[0].readAAlignments;
    readA.hasBiotinJunction = 1;
    readA.numberOfPopulatedAlignments = 2;
    readA.alignments[0].matchString = std::string(60, 'M') + std::string(40, 'A');
    Alignment& fragment = readA.alignments[1];
    fragment.isEmpty = 0;
    fragment.alignmentType = biotinJunctionAlignmentType;
    fragment.primaryPosition.orientation = kForwardOrientation;
    fragment.matchString = std::string(60, 'C') + std::string(40, 'M');
    EXPECT_EQ(collect().back(), 1u);
    EXPECT_EQ(Counts({library.junctionSplitPoints[60], total(alignedBasesByPosition(library, 0)),
                      total(alignedBasesByPosition(library, 1))}),
              (Counts{1, 0, 100}));
}

}  // namespace
}  // namespace koru
