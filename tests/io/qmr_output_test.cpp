#include "io/qmr_output.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "io/output_test_support.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using testing::alignmentsOf;
using ::testing::ExitedWithCode;
using ::testing::HasSubstr;
using testing::pairedAlignmentOf;
using testing::pairedAlignmentsOf;
using testing::placedAlignment;

// A unique alignment on chromosome 3 with its whole, min word, first, last and middle scores.
Alignment scored(std::uint32_t position, std::uint32_t orientation, std::array<std::uint16_t, 5> s,
                 std::uint32_t type = primaryAlignmentType) {
    Alignment alignment = placedAlignment("chr3", position, orientation);
    alignment.chromosomeNumber = 3;
    alignment.alignmentType = type;
    alignment.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches = 1;
    alignment.primaryPosition.genomePosition = 100000 + position;
    MismatchScores& m = alignment.primaryPosition.mappingScores.mismatchScores;
    std::tie(m.wholeReadScore, m.minWordScore, m.firstWordScore, m.lastWordScore, m.middleWordsScore) =
        std::tuple(s[0], s[1], s[2], s[3], s[4]);
    return alignment;
}

PairedAlignment concordant(Alignments a, Alignments b) {
    return pairedAlignmentOf(std::move(a), std::move(b), 185, concordantPairedAlignmentType);
}

// Read A forward at 1000, read B reverse at 1400.
const Alignment exampleA = scored(1000, kForwardOrientation, {2, 1, 0, 2, 0}),
                exampleB = scored(1400, kReverseComplementOrientation, {3, 1, 6, 0, 1});

PairedAlignment examplePair() {
    return concordant(alignmentsOf({exampleA}, 100), alignmentsOf({exampleB}, 100));
}

std::unique_ptr<ReadPair> readPairOfLengths(std::uint32_t a, std::uint32_t b) {
    auto pair = createReadPair(a, 2);
    testing::setRead(pair->readA, "r1", std::string(a, 'A'), std::string(a, 'I'));
    testing::setRead(pair->readB, "r1", std::string(b, 'C'), std::string(b, 'I'));
    return pair;
}

std::string qmrLines(std::int32_t version, const ReadPair& pair, const std::vector<PairedAlignment>& list,
                     bool reportSecondary = false) {
    ExecutionParameters params;
    params.qmrOutputRequestParameters.qmrOutputFileFormatVersion = version;
    params.reportSecondaryAlignment = reportSecondary;
    return testing::writtenText([&](BufferedFileWriter& writer) {
        writePairedAlignmentsToQMROutputRecordFormatedFile(params, pairedAlignmentsOf(pair, list, params),
                                                           writer, GenomeSequence{});
    });
}

TEST(QmrOutputTest, LinesOfEachVersion) {
    Alignment cappedA = scored(1000, kForwardOrientation, {1200, 1500, 0, 2, 0});
    cappedA.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches = 12000;
    Alignment notReportableB = exampleB;
    notReportableB.isReportable = 0;
    // Version 3 lines of fragments and alternates score 100 less each whole-read score: 98 + 94 and so on.
    const Alignment junction =
        scored(2000, kForwardOrientation, {10, 2, 0, 9, 1}, biotinJunctionAlignmentType);
    const Alignment alternateA =
        scored(3000, kReverseComplementOrientation, {4, 1, 0, 0, 4}, alternateAlignmentType);
    const Alignment alternateB = scored(5000, kForwardOrientation, {6, 3, 3, 3, 0}, alternateAlignmentType);
    // Version 2 adds the junction fragment, the secondary pair and the alternates.
    PairedAlignment further2 =
        concordant(alignmentsOf({exampleA, junction}, 100), alignmentsOf({exampleB, alternateB}, 100));
    further2.readAAlignments.hasBiotinJunction = 1;
    further2.biotinJunctionFlag = 1;
    const PairedAlignment secondary =
        pairedAlignmentOf(alignmentsOf({Alignment{}}, 100), alignmentsOf({Alignment{}}, 100), 170,
                          discordantPairedAlignmentType);
    const std::vector<PairedAlignment> none, example{examplePair()},
        cappedColumns{concordant(alignmentsOf({cappedA}, 100), alignmentsOf({exampleB}, 100))},
        notReportable{concordant(alignmentsOf({exampleA}, 100), alignmentsOf({notReportableB}, 100))},
        furtherLines3{concordant(alignmentsOf({exampleA, junction, alternateA}, 100),
                                 alignmentsOf({exampleB, alternateB}, 100))},
        furtherLines2{further2, secondary};
    const struct {
        std::int32_t version;
        std::uint32_t readBLength, file, line;
        const std::vector<PairedAlignment>& alignments;
        std::string expected;
    } cases[] = {
        {3, 100, 0, 0, example,
         "      3      3        1000       -1400  7  3    1    1  185    2    3    0       0   1\n"},
        {2, 100, 0, 0, example,
         "    0    0      3      3        1000       -1400    1    1    2    3    5  185    0       0   1\n"},
        // No primary: the line without alignments.
        {3, 90, 0, 0, none,
         "      0      0           0           0  0  0    0    0    0  100   90    0       0   1\n"},
        {2, 90, 12, 3456, none,
         "    0    0      0      0           0           0  100  100  100  100    0    0   12    3456   1\n"},
        {3, 100, 0, 0, cappedColumns,
         "      3      3        1000       -1400  7  3 9999    1  185  999    3    0       0   1\n"},
        {2, 100, 0, 0, cappedColumns,
         "    0    0      3      3        1000       -1400  999    1  999    3 1002  185    0       0   1\n"},
        // Version 3 prints a read that is not reportable cleared.
        {3, 100, 0, 0, notReportable,
         "      3      0        1000           0  7  0    1    0  185    2  999    0       0   1\n"},
        {3, 100, 0, 0, furtherLines3,
         "      3      3        1000       -1400  7  3    1    1  185    2    3    0       0   4\n"
         "      3      3        1000        5000  7  7    1    1  192    2    6    0       0 Alt\n"
         "      3      3        2000       -1400  6  3    1    1  187   10    3    0       0 Bio\n"
         "      3      3       -3000       -1400  7  3    1    1  193    4    3    0       0 Alt\n"},
        {2, 100, 0, 0, furtherLines2,
         "    0    0      3      3        1000       -1400    1    1    2    3    5  185    0       0   4\n"
         "    0    0      3      3        2000       -1400    2    1   10    3   13  185    0       0 Bio\n"
         "    0    0      0      0           0           0  999  999  999  999 1998  170    0       0  SD\n"
         "    0    0      3      3        1000        5000    1    3    2    6    8  192    0       0 Alt\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + ": " + c.expected);
        auto pair = readPairOfLengths(100, c.readBLength);
        pair->sequenceFileNumber = c.file;
        pair->sequenceFileLineNumber = c.line;
        EXPECT_EQ(qmrLines(c.version, *pair, c.alignments, c.alignments.size() > 1), c.expected);
    }
}

ExecutionParameters headerParameters(std::int32_t version, const std::string& qmrFile) {
    ExecutionParameters params;
    // The command line, user, working directory, host, start time and process id.
    params.processInformation = {"koru -q out.qmr ", "user", "/work", "host", "Mon Jan  1 00:00:00 2024", 42};
    params.qmrOutputRequestParameters.qmrOutputFileFormatVersion = version;
    params.qmrOutputRequestParameters.qmrOutputFile = createLockedFile(qmrFile, false, false);
    return params;
}

const std::string kHeaderWithoutGenome =
    "#Command Line: \"koru -q out.qmr \" \n"
    "#Reference Genome: name = \"\", version = \"\", numberOfChromosomes = 0, numberOfBasePairs = 0, "
    "file = \"\" \n"
    "#KORU Information: version = \"3.0.0\", maximum expected insert size = 10000, maximum positions to "
    "evaluate per index entry = 750\n"
    "#Process Information: start timestamp = \"Mon Jan  1 00:00:00 2024\", hostname = \"host\", user name = "
    "\"user\", process id = 42, directory process started in = \"/work\"\n";

TEST(QmrOutputTest, HeaderDescribesTheRunAndItsColumnLineDependsOnTheVersion) {
    testing::TemporaryDirectory directory;
    const std::string columns[] = {
        "",
        "\"tagA\" \"tagB\" \"chrA\" \"chrB\" \"posA\" \"posB\" \"mWPcA\" \"mWPcB\" \"fRPcA\" \"fRPcB\" "
        "\"fRPcSum\" \"scoreSum\" \"file\" \"line\" \"Mtype\" \n",
        "\"chrA\" \"chrB\" \"posA\" \"posB\" \"binA\" \"binB\" \"homA\" \"homB\" \"scoreSum\" \"fRPcA\" "
        "\"fRPcB\" \"file\" \"line\" \"Mtype\" \n"};
    for (const std::int32_t version : {1, 2, 3}) {
        const std::string path = directory.file(std::to_string(version) + ".qmr");
        writeQMROutputRecordFormatedFileHeader(headerParameters(version, path), GenomeSequence{});
        EXPECT_EQ(testing::readFile(path), kHeaderWithoutGenome + columns[version - 1]) << version;
    }
    ExecutionParameters params = headerParameters(3, directory.file("h.qmr"));
    params.genomeInformation =
        std::make_unique<GenomeInformation>(GenomeInformation{2, "hg", "", "38", "/g/hg.fa"});
    GenomeSequence genome;
    genome.sequenceLength = 17569;
    writeQMROutputRecordFormatedFileHeader(params, genome);
    EXPECT_THAT(testing::readFile(directory.file("h.qmr")),
                HasSubstr("\n#Reference Genome: name = \"hg\", version = \"38\", numberOfChromosomes = 2, "
                          "numberOfBasePairs = 17569, file = \"/g/hg.fa\" \n"));
}

std::string unsupported(const char* what) {
    return std::string("^ERROR: QMR output of a format version other than 2 or 3 was asked for, for ") +
           what + "\\.\n$";
}

TEST(QmrOutputDeathTest, UnsupportedVersionsEndTheRun) {
    EXPECT_EXIT(getRecordSize(4), ExitedWithCode(1), unsupported("the size of its records"));
    testing::TemporaryDirectory directory;
    EXPECT_EXIT(writeQMROutputRecordFormatedFileHeader(headerParameters(0, directory.file("0.qmr")),
                                                       GenomeSequence{}),
                ExitedWithCode(1), unsupported("its header"));
    const auto pair = readPairOfLengths(100, 100);
    EXPECT_EXIT(qmrLines(1, *pair, {examplePair()}), ExitedWithCode(1),
                unsupported("the records of a read pair"));
    EXPECT_EXIT(testing::writtenText([&](BufferedFileWriter& writer) {
                    QMROutputRecord record = createQMROutputRecord(1, *pair);
                    writeQMROutputRecordToBufferedFile(record, writer);
                }),
                ExitedWithCode(1), unsupported("a record"));
}

}  // namespace
}  // namespace koru
