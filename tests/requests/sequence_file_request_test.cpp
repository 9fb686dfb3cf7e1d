// The sequence file request in process, on files of pairs cut from the lambda genome at known places.

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

// Start and end numbers keep the files strictly between them, and whichever of the threads maps a file,
// its records come out in list order. Reads without qualities count as Phred 30: a perfect pair gets MAPQ 60.
TEST_F(SequenceFileRequestTest, ThreadsMapTheFilesBetweenTheStartAndEndNumbersInListOrder) {
    std::map<long, std::size_t> expected;
    for (std::uint32_t number = 11; number <= 24; ++number) writeFile("reads_", number, 20);
    for (std::uint32_t number = 14; number <= 22; ++number) expected[number] = 20;
    files.write("plain.seq", cutRecords(0, 3));
    run.params.sequenceFileMappingRequestParameters.sequenceFileStartNumber = 23;
    run.params.sequenceFileMappingRequestParameters.sequenceFileEndNumber = 13;
    mapFiles();
    EXPECT_EQ(mappedPairs(), expected);
    std::vector<long> order;
    for (const QmrLine& line : qmrLines(run.qmr())) order.push_back(line.file);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    // Skipped files still say that they were reached; only mapped files report statistics. Which thread
    // takes which file is the scheduler's business; that three share them is not.
    const std::string report = run.report();
    EXPECT_EQ(occurrences(report, "sequence file, which is file "), 15u);
    EXPECT_EQ(occurrences(report, "Number of read pairs processed = 20\n"), 9u);
    EXPECT_THAT(report, HasSubstr(" of 3 is executing/processing the \""));
    // Read A of file 17's first pair: 1-based POS, MAPQ, SEQ and no QUAL.
    const auto first = samRecords(run.sam()).at(2 * 3 * 20);
    const std::uint32_t place = cutPosition(17, 0);
    EXPECT_EQ(std::tuple(first[0], first[3], first[4], first[9], first[10]),
              std::tuple("17:0", std::to_string(place + 1), "60",
                         lambdaChromosome().substr(place, cutReadLength), "*"));
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
    EXPECT_EQ(std::pair(lines[0].chromosomeA, lines[0].line), std::pair(0L, 1L));
}

// A file's number follows the last underscore of its path; a large file's writer reserves no gigabytes.
TEST(SequenceFileRequestFunctions, FileNumbersAndWriterCapacities) {
    EXPECT_EQ(sequenceFileWriterCapacity(10'000'000, samBytesPerSequenceFileRecord), 64u << 20);
    EXPECT_EQ(sequenceFileWriterCapacity(1000, samBytesPerSequenceFileRecord), 800'000u);
    EXPECT_EQ(sequenceFileWriterCapacity(0, samBytesPerSequenceFileRecord), 0u) << "the writer's default";
    const std::pair<const char*, std::uint32_t> cases[] = {{"/data/run_3/lane_12.seq", 12},
                                                           {"/data/run_3/lane.seq", 3},
                                                           {"/data/reads.seq", 0},
                                                           {"/data/reads_.seq", 0},
                                                           {"/data/reads_99999999999.seq", 4294967295u}};
    for (const auto& [path, number] : cases) EXPECT_EQ(getSequenceFileNumberFromPath(path), number) << path;
}

}  // namespace
}  // namespace koru
