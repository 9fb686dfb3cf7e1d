// The sequence file mapping request on files of read pairs cut from the lambda genome at known
// places, run in process so that the threads' staggered start can be left out.

#include "requests/sequence_file_request.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "requests/lambda_requests.h"
#include "support/files.h"

namespace koru {
namespace {

using ::testing::HasSubstr;
using namespace koru::testing;

class SequenceFileRequestTest : public ::testing::Test {
  protected:
    RequestParameters run;
    TemporaryDirectory files;

    SequenceFileRequestTest() {
        run.requestQmr();
        run.requestSam();
        run.params.maximumNumberOfThreads = 3;
    }

    void writeFile(const std::string& stem, std::uint32_t number, std::uint32_t records) {
        files.write(stem + std::to_string(number) + ".seq", cutRecords(number, records));
    }
    // The files of the directory as the command line lists them; the threads start together.
    void mapFiles() {
        auto& request = run.params.sequenceFileMappingRequestParameters;
        request.isSequenceFileMappingRequest = true;
        for (const std::string& name : getMatchingFileNames(files.path().string(), ".*.seq$"))
            request.sequenceFileNames.push_back(files.path().string() + "/" + name);
        processSequenceFileMappingRequest(run.params, *lambdaIndex().indexes, 0);
    }
    // Pairs per file number, each line once and at the place its pair was cut from.
    std::map<long, std::size_t> mappedPairs() {
        std::map<long, std::set<long>> lines;
        for (const QmrLine& line : qmrLines(run.qmr())) {
            EXPECT_TRUE(lines[line.file].insert(line.line).second)
                << "file " << line.file << " line " << line.line;
            expectCutPlaces(line);
        }
        std::map<long, std::size_t> pairs;
        for (const auto& [file, numbers] : lines) pairs[file] = numbers.size();
        return pairs;
    }
};

TEST_F(SequenceFileRequestTest, StartAndEndNumbersKeepTheFilesBetweenThem) {
    for (std::uint32_t number = 1; number <= 12; ++number) writeFile("reads_", number, 3);
    files.write("plain.seq", cutRecords(0, 3));
    run.params.sequenceFileMappingRequestParameters.sequenceFileStartNumber = 10;
    run.params.sequenceFileMappingRequestParameters.sequenceFileEndNumber = 5;
    mapFiles();
    EXPECT_EQ(mappedPairs(), (std::map<long, std::size_t>{{6, 3}, {7, 3}, {8, 3}, {9, 3}}));
    std::set<std::string> samFiles;
    for (const auto& fields : samRecords(run.sam()))
        samFiles.insert(fields[0].substr(0, fields[0].find(':')));
    EXPECT_EQ(samFiles, (std::set<std::string>{"6", "7", "8", "9"}));
    // Skipped files still say that they were reached; only mapped files report statistics.
    const std::string report = run.report();
    EXPECT_EQ(occurrences(report, "sequence file, which is file "), 13u);
    EXPECT_EQ(occurrences(report, "Number of read pairs processed = 3\n"), 4u);
    EXPECT_EQ(occurrences(report, "Mapping time for \""), 4u);
}

// Whichever thread maps a file, its records come out in list order. Bases without qualities are
// taken as Phred 30: a perfect unique match of each read, and the concordant pair carries the sum.
TEST_F(SequenceFileRequestTest, ThreadsShareTheFilesAndWriteEveryPairOnceInListOrder) {
    std::map<long, std::size_t> expected;
    for (std::uint32_t number = 1; number <= 9; ++number) writeFile("part_", number, expected[number] = 20);
    mapFiles();
    EXPECT_EQ(mappedPairs(), expected);
    std::vector<long> files;
    for (const QmrLine& line : qmrLines(run.qmr())) files.push_back(line.file);
    EXPECT_TRUE(std::is_sorted(files.begin(), files.end()));
    const std::string report = run.report();
    // Which thread takes which file is the scheduler's business; that three share them is not.
    EXPECT_THAT(report, HasSubstr(" of 3 is executing/processing the \""));
    EXPECT_EQ(occurrences(report, "Number of read pairs processed = 20\n"), 9u);
    const auto records = samRecords(run.sam());
    const auto first = std::find_if(records.begin(), records.end(), [](const auto& fields) {
        return fields[0] == "7:0" && (std::stoi(fields[1]) & 64) != 0;
    });
    ASSERT_NE(first, records.end());
    const std::uint32_t place = cutPosition(7, 0);
    EXPECT_EQ((*first)[3], std::to_string(place + 1)) << "SAM positions are 1-based";
    EXPECT_EQ((*first)[4], "60");
    EXPECT_EQ((*first)[9], lambdaChromosome().substr(place, cutReadLength));
    EXPECT_EQ((*first)[10], "*") << "no qualities";
}

TEST_F(SequenceFileRequestTest, ReadsOfAnUnsupportedLengthAreReportedUnmapped) {
    files.write("short_4.seq", "0001 " + lambdaChromosome().substr(100, 31) + " " +
                                   lambdaChromosome().substr(500, 31) + "\n");
    ::testing::internal::CaptureStderr();
    mapFiles();
    EXPECT_THAT(::testing::internal::GetCapturedStderr(),
                HasSubstr("Warning: 1 read pairs of the sequence file \"" + files.file("short_4.seq")));
    const auto lines = qmrLines(run.qmr());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].chromosomeA, 0);
    EXPECT_EQ(lines[0].line, 1);
}

TEST(SequenceFileWriterTest, LargeFileDoesNotReserveGigabytes) {
    EXPECT_EQ(sequenceFileWriterCapacity(10'000'000, samBytesPerSequenceFileRecord), 64u << 20);
    EXPECT_EQ(sequenceFileWriterCapacity(1000, samBytesPerSequenceFileRecord), 800'000u);
    EXPECT_EQ(sequenceFileWriterCapacity(0, samBytesPerSequenceFileRecord), 0u) << "the writer's default";
}

TEST(SequenceFileNumberTest, NumberFollowsTheLastUnderscore) {
    const std::pair<const char*, std::uint32_t> cases[] = {{"/data/run_3/lane_12.seq", 12},
                                                           {"/data/run_3/lane.seq", 3},
                                                           {"/data/reads.seq", 0},
                                                           {"/data/reads_.seq", 0},
                                                           {"/data/reads_99999999999.seq", 4294967295u}};
    for (const auto& [path, number] : cases) EXPECT_EQ(getSequenceFileNumberFromPath(path), number) << path;
    // Bounds of 0 are none; the mapped test above keeps the files strictly between the others.
    EXPECT_FALSE(isSequenceFileNumberSkipped(0, 0, 0));
    EXPECT_FALSE(isSequenceFileNumberSkipped(0, 10, 0));
    EXPECT_TRUE(isSequenceFileNumberSkipped(0, 0, 1));
}

}  // namespace
}  // namespace koru
