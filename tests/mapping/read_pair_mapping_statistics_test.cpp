// Read pair mapping statistics: the outcome of each read and pair, the candidate quality groups
// and the figures the report works out.

#include "mapping/read_pair_mapping_statistics.h"

#include <gtest/gtest.h>

#include <sstream>

#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using testing::readFile;
using testing::TemporaryDirectory;

// A pair's counts: evaluated, combined and both min words within their limits, combined and both
// keys at least their minimums.
std::vector<std::uint32_t> qualityOf(std::uint16_t minWordA, std::uint32_t keysA, std::uint16_t minWordB,
                                     std::uint32_t keysB) {
    CandidateQualityStatistics g;
    collectCandidateQualityStatistics(CandidateQualityCriteria{}, g, {keysA, {kNotScored, minWordA}},
                                      {keysB, {kNotScored, minWordB}});
    return {g.evaluated, g.combinedMinWordWithinLimit, g.bothMinWordsWithinLimit,
            g.combinedKeysAtLeastMinimum, g.bothKeysAtLeastMinimum};
}

TEST(ReadPairMappingStatistics, QualityCountsMinWordsAndKeysAgainstBothLimits) {
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
}

// Kept: candidates although some keys had too many.
enum Read { hasCandidates, kept, overloaded, unhit, overloadedAndUnhit, emptyWithoutFlags };

void setRead(CandidatePositions& read, Read kind) {
    if (kind == hasCandidates || kind == kept) read.candidates.resize(2);
    read.combinedStatistics.keysWithTooManyCandidates =
        kind == kept || kind == overloaded || kind == overloadedAndUnhit ? 4 : 0;
    read.combinedStatistics.keysWithNoCandidates = kind == unhit || kind == overloadedAndUnhit ? 5 : 0;
}

// A too many, B too many, both too many, A none, B none, both none, one none other too many,
// pairs without processed candidates.
std::vector<std::uint32_t> outcomeOf(Read a, Read b) {
    CandidatePositionsPair pair;
    setRead(pair.readA, a);
    setRead(pair.readB, b);
    ReadPairMappingStatistics s;
    collectCandidatePositionStatisticsForReadPair(s, pair);
    EXPECT_EQ(s.readPairsProcessed, 1u);
    return {s.readATooManyCandidates,     s.readBTooManyCandidates,
            s.bothReadsTooManyCandidates, s.readANoCandidates,
            s.readBNoCandidates,          s.bothReadsNoCandidates,
            s.oneReadNoneOtherTooMany,    s.pairsWithoutProcessedCandidates};
}

TEST(ReadPairMappingStatistics, OutcomeOfEachReadAndOfThePair) {
    using V = std::vector<std::uint32_t>;
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
}

TEST(ReadPairMappingStatistics, CandidatesAndIndelCountersAccumulateOverPairs) {
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

// Averages over no pairs print "nan", never x86's "-nan"; the evaluation limit is a parameter.
TEST(ReadPairMappingStatistics, AThreadWithoutPairsPrintsZerosAndNotANumber) {
    std::istringstream lines(readPairMappingStatisticsToString(*createReadPairMappingStatistics({}), ""));
    int averages = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find('=') == std::string::npos || line.find("Maximum number") != std::string::npos) continue;
        const bool average = line.find("Average") != std::string::npos;
        averages += average;
        const std::string value = line.substr(line.rfind('=') + 1);
        EXPECT_EQ(value.substr(value.find_first_not_of(' ')), average ? "nan" : "0") << line;
    }
    EXPECT_EQ(averages, 10);
}

ReadPairMappingStatistics handSetRecord() {
    ReadPairMappingStatistics s;
    s.readPairsProcessed = 10;
    s.maximumCandidatePositionsPerIndexEntry = 750;
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
    s.indelCandidates = 4;
    s.readsWithIndelCandidates = 99;  // not printed
    s.candidatesIndelProcessed = 7;
    s.readsIndelProcessed = 3;
    s.popCountSumOutsideWindow = 3;
    s.hitCountSumOutsideWindow = 25;
    s.candidatePairsInWindow = 11;
    s.popCountSumExactlyOne = 1;
    s.hitCountSumExactlyOne = 24;
    s.popCountSumMoreThanOne = 2;
    s.hitCountSumMoreThanOne = 40;
    s.qualityGroups = {{{2, 1, 1, 2, 1}, {5, 4, 3, 5, 5}, {1, 0, 0, 1, 0}, {}}};
    s.readsWithBiotinJunctions = 2;
    s.readPairsWithBiotinJunctions = 1;
    s.primaryBiotinDetectionsPerformed = 6;
    s.secondaryBiotinDetectionsPerformed = 4;
    s.alternativeAlignmentsReported = 5;
    s.readsWithAlternativeAlignments = 2;
    s.readPairsWithAlternativeAlignments = 1;
    s.readPairsWithUnsupportedReadLength = 98;  // reported elsewhere
    return s;
}

// The value after the '=' of the report's first line holding the phrase.
std::string valueOf(const std::string& report, const std::string& phrase) {
    const std::size_t at = report.find(phrase);
    if (at == std::string::npos) return "missing";
    const std::size_t equals = report.find('=', at), end = report.find('\n', at);
    std::string value = report.substr(equals + 1, end - equals - 1);
    value.erase(0, value.find_first_not_of(' '));
    return value;
}

// The figures the report works out from the counters rather than copies.
TEST(ReadPairMappingStatistics, ReportWorksOutSumsAndAverages) {
    const std::string report = readPairMappingStatisticsToString(handSetRecord(), "");
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
    // Reads with indel candidates and unsupported lengths are not part of the report.
    for (const char* absent : {"= 99\n", "= 98\n"}) EXPECT_EQ(report.find(absent), std::string::npos);
}

TEST(ReadPairMappingStatistics, PrintHeadsTheReportWithTheThreadAndALongReportIsNotCut) {
    TemporaryDirectory directory;
    const std::string path = directory.file("statistics.txt");
    auto file = createLockedFile(path, false, false);
    printReadPairMappingStatistics(*file, nullptr);
    const ReadPairMappingStatistics s = handSetRecord();
    printReadPairMappingStatistics(*file, &s);
    file->close();
    EXPECT_EQ(readFile(path), "\nRead Pair Mapping Statistics for thread 0 of 1:\n" +
                                  readPairMappingStatisticsToString(s, "") + "\n");
    const std::string report = readPairMappingStatisticsToString(s, std::string(2000, ' '));
    EXPECT_GT(report.size(), 102400u);
    EXPECT_TRUE(report.ends_with("Number of Read Pairs with Alternative Alignments = 1\n\n\n"));
}

}  // namespace
}  // namespace koru
