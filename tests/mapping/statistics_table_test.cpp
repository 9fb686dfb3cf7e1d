// The statistics as a table of named numbers: read back as written, added up across shards only
// when counted under the same settings, malformed tables refused.

#include "mapping/statistics_table.h"

#include <gtest/gtest.h>

#include <string>

namespace koru {
namespace {

using ::testing::ExitedWithCode;

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

TEST(StatisticsTable, ReadsBackWhatItWrote) {
    const ReadPairMappingStatistics s = sample(1);
    const std::string table = statisticsToTable(s);
    EXPECT_EQ(table.rfind(statisticsTableHeading, 0), 0u);
    EXPECT_NE(table.find("candidateMappingsEvaluated\t5000000000\n"), std::string::npos);
    EXPECT_EQ(statisticsToTable(statisticsFromTable(table, "t")), table);
    // The report of the read table is the report of the record.
    EXPECT_EQ(readPairMappingStatisticsToString(statisticsFromTable(table, "t"), ""),
              readPairMappingStatisticsToString(s, ""));
}

TEST(StatisticsTable, AddsCountersAndKeepsSettings) {
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
    EXPECT_EXIT(statisticsFromTable(replaced("windowSize\t10000\n", ""), "s.tsv"), ExitedWithCode(1),
                "The statistics file \"s.tsv\" has no line for \"windowSize\"");
    EXPECT_EXIT(statisticsFromTable(table + "bogus\t1\n", "s.tsv"), ExitedWithCode(1),
                "names \"bogus\", which is not a statistic");
    EXPECT_EXIT(statisticsFromTable(table + "windowSize\t1\n", "s.tsv"), ExitedWithCode(1),
                "names \"windowSize\" a second time");
    EXPECT_EXIT(statisticsFromTable(replaced("readPairsProcessed\t100", "readPairsProcessed\t-1"), "s.tsv"),
                ExitedWithCode(1),
                "Line 9 of the statistics file \"s.tsv\" has \"-1\" where a number is due");
    // A 32-bit counter that would not fit.
    EXPECT_EXIT(
        statisticsFromTable(replaced("readPairsProcessed\t100", "readPairsProcessed\t4294967296"), "s"),
        ExitedWithCode(1), "where a number is due");
    EXPECT_EXIT(statisticsFromTable(replaced("windowSize\t", "windowSize "), "s.tsv"), ExitedWithCode(1),
                "is not a name, a tab and a number");
}

}  // namespace
}  // namespace koru
