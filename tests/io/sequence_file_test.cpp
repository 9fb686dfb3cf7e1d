#include "io/sequence_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "genome/genome_test_helpers.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
using ::testing::HasSubstr;
using testing::TemporaryDirectory;

SequenceFileOpening openText(const std::string& text, std::optional<std::string_view> marker = std::nullopt) {
    return openSequenceFile(std::make_unique<MemoryMappedFile>(testing::memoryFile("reads.seq", text)), 0,
                            marker);
}

std::vector<std::string> readsOf(const SequenceFile& file) {
    std::vector<std::string> reads;
    for (std::uint32_t record = 0; record < file.numberOfRecords; ++record) {
        reads.emplace_back(sequenceFileReadA(file, record));
        reads.emplace_back(sequenceFileReadB(file, record));
    }
    return reads;
}

const std::string threeRecords = "0001 AAAACCCC GGGGTTTT\n0002 CCCCAAAA TTTTGGGG\n0003 ACACACAC GTGTGTGT\n";

TEST(SequenceFileTest, ReadsEndMarkersAndIncompleteRequests) {
    const std::vector<std::string> three{"AAAACCCC", "GGGGTTTT", "CCCCAAAA",
                                         "TTTTGGGG", "ACACACAC", "GTGTGTGT"};
    const struct {
        std::string text;
        bool request;
        std::vector<std::string> reads;
        bool incomplete = false;
    } cases[] = {
        {"\t12-acgt,7,TTGA;\n", false, {"acgt", "TTGA"}},   // anything but letters separates the reads
        {"AC GT\nCA TG", false, {"AC", "GT", "CA", "TG"}},  // a last line without line feed counts
        // A shorter read B runs on over the characters that follow it on the line.
        {"ACGT GGGGCC\n", false, {"ACGT", "GGGG"}},
        {"ACGTAC GG 123\n", false, {"ACGTAC", "GG 123"}},
        {"", false, {}},
        {"END\n", true, {}},
        {threeRecords + "END\n", true, three},
        {threeRecords + "END", true, three},
        {threeRecords + "END of request\n", true, three},
        {threeRecords, true, {}, true},
        {threeRecords.substr(0, 30), true, {}, true},
        {"EN", true, {}, true},
        {threeRecords + "EN", true, {}, true},
        {"", true, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const SequenceFileOpening opening = c.request ? openText(c.text, requestEndMarker) : openText(c.text);
        ASSERT_EQ(std::tuple(opening.problem, opening.incomplete, opening.sequenceFile == nullptr),
                  std::tuple("", c.incomplete, c.incomplete));
        EXPECT_EQ(opening.sequenceFile ? readsOf(*opening.sequenceFile) : std::vector<std::string>{},
                  c.reads);
    }
}

TEST(SequenceFileTest, TextsOutsideTheLayoutOfTheFirstRecordAreRefusedAndFilesEndTheRun) {
    const struct {
        std::string text;
        bool request;
        const char* problem;
    } cases[] = {
        {"1234 5678\n", false, "two runs of letters"},
        {"1234 ACGT 5678\nACGT ACGT\n", false, "two runs of letters"},
        {"\nACGT ACGT\n", true, "two runs of letters"},
        {"ACGT\n", true, "two runs of letters"},
        {"ACGT", false, "two runs of letters"},
        // A line of another length shifts every record after it: the line is named, not a later record.
        {"ACGT TTTT\nACGT TT", false, "line 2 has 7 characters, but the first line has 9"},
        {"ACGT TTTT\nACGT TTTT\n\n", false, "line 3 has 0 characters"},
        {"ACGT TTTT\nACG TTTT\nACGT TTTT\nACGT TTTT", false,
         "line 2 has 8 characters, but the first line has 9"},
        // Read B shorter than read A runs past the end of the only line, and of the file.
        {"ACGTACGT TT", false, "record 1 is shorter"},
        // A request's lines all have the first line's length, and hold its reads.
        {"ACGT TTTT\nACG TTTT\nACGT TTTT\nEND\n", true, "line 2 has 8 characters, but the first line has 9"},
        {"ACGT TTTT\nACGT TTTT\nACGTA TTTT\nEND\n", true, "line 3 has 10 characters"},
        {"ACGTACGT TT\nACGTACGT TT\nEND\n", true, "ends before read B has read A's length of 8 bases"},
    };
    for (const auto& c : cases) {
        const SequenceFileOpening opening =
            c.request ? openText(c.text + (c.text.ends_with("END\n") ? "" : "END\n"), requestEndMarker)
                      : openText(c.text);
        EXPECT_FALSE(opening.sequenceFile) << c.text;
        EXPECT_THAT(opening.problem, HasSubstr(c.problem)) << c.text;
    }
    // A sequence file outside the format ends the run, naming the file and the line.
    TemporaryDirectory directory;
    const std::string path = directory.write("short_3.seq", "ACGT TTTT\nACGT TTTT\nACGT T");
    EXPECT_EXIT(
        createSequenceFile(path, 3, std::nullopt), ExitedWithCode(1),
        "^ERROR: The sequence file \".*short_3.seq\" is not in the sequence record format: line 3 has 6 "
        "characters, but the first line has 9.\n$");
}

}  // namespace
}  // namespace koru
