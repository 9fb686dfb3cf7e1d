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

SequenceFileOpening openText(const std::string& text, std::optional<std::string_view> marker = std::nullopt,
                             std::uint32_t number = 0) {
    return openSequenceFile(std::make_unique<MemoryMappedFile>(testing::memoryFile("reads.seq", text)),
                            number, marker);
}

std::vector<std::string> readsOf(const SequenceFile& file) {
    std::vector<std::string> reads;
    for (std::uint32_t record = 0; record < file.numberOfRecords; ++record) {
        reads.emplace_back(sequenceFileReadA(file, record));
        reads.emplace_back(sequenceFileReadB(file, record));
    }
    return reads;
}

TEST(SequenceFileTest, ColumnsComeFromTheFirstRecord) {
    const SequenceFileOpening opening = openText("1234 ACGTACGT TTGGCCAA\n0002 CCCCAAAA GGGGTTTT\n");
    ASSERT_TRUE(opening.sequenceFile) << opening.problem;
    const SequenceFile& file = *opening.sequenceFile;
    EXPECT_EQ(file.readAStartPosition, 5u);
    EXPECT_EQ(file.readAEndPosition, 12u);
    EXPECT_EQ(file.readBStartPosition, 14u);
    EXPECT_EQ(file.readBEndPosition, 21u);
    EXPECT_EQ(file.recordLength, 23u);
    EXPECT_EQ(file.numberOfRecords, 2u);
    EXPECT_EQ(readsOf(file), (std::vector<std::string>{"ACGTACGT", "TTGGCCAA", "CCCCAAAA", "GGGGTTTT"}));
}

TEST(SequenceFileTest, AnythingButLettersSeparatesTheReads) {
    const SequenceFileOpening opening = openText("\t12-acgt,7,TTGA;\n");
    ASSERT_TRUE(opening.sequenceFile);
    EXPECT_EQ(readsOf(*opening.sequenceFile), (std::vector<std::string>{"acgt", "TTGA"}));
}

const std::string threeRecords = "0001 AAAACCCC GGGGTTTT\n0002 CCCCAAAA TTTTGGGG\n0003 ACACACAC GTGTGTGT\n";

TEST(SequenceFileTest, EndMarkerLineIsNotARecord) {
    for (const std::string marker : {"END\n", "END", "END of request\n"}) {
        const SequenceFileOpening opening = openText(threeRecords + marker, requestEndMarker);
        ASSERT_TRUE(opening.sequenceFile) << marker << opening.problem;
        EXPECT_EQ(opening.sequenceFile->numberOfRecords, 3u) << marker;
        EXPECT_EQ(sequenceFileReadB(*opening.sequenceFile, 2), "GTGTGTGT");
    }
}

TEST(SequenceFileTest, RequestWithoutItsEndMarkerIsIncomplete) {
    for (const std::string& text :
         {threeRecords, threeRecords.substr(0, 30), std::string("EN"), threeRecords + "EN", std::string()}) {
        const SequenceFileOpening opening = openText(text, requestEndMarker);
        EXPECT_TRUE(opening.incomplete) << text;
        EXPECT_FALSE(opening.sequenceFile);
        EXPECT_TRUE(opening.problem.empty()) << opening.problem;
    }
}

TEST(SequenceFileTest, RequestOfTheEndMarkerAloneHasNoRecords) {
    const SequenceFileOpening opening = openText("END\n", requestEndMarker);
    ASSERT_TRUE(opening.sequenceFile) << opening.problem;
    EXPECT_EQ(opening.sequenceFile->numberOfRecords, 0u);
}

TEST(SequenceFileTest, LastLineWithoutLineFeedCounts) {
    const SequenceFileOpening opening = openText("AC GT\nCA TG");
    ASSERT_TRUE(opening.sequenceFile) << opening.problem;
    EXPECT_EQ(opening.sequenceFile->numberOfRecords, 2u);
    EXPECT_EQ(readsOf(*opening.sequenceFile), (std::vector<std::string>{"AC", "GT", "CA", "TG"}));
    const SequenceFileOpening single = openText("ACGT TTGG");
    ASSERT_TRUE(single.sequenceFile) << single.problem;
    EXPECT_EQ(readsOf(*single.sequenceFile), (std::vector<std::string>{"ACGT", "TTGG"}));
}

TEST(SequenceFileTest, ReadBHasReadALength) {
    const SequenceFileOpening longer = openText("ACGT GGGGCC\n");
    ASSERT_TRUE(longer.sequenceFile);
    EXPECT_EQ(sequenceFileReadB(*longer.sequenceFile, 0), "GGGG");
    // A shorter read B runs on over the characters that follow it on the line.
    const SequenceFileOpening shorter = openText("ACGTAC GG 123\n");
    ASSERT_TRUE(shorter.sequenceFile);
    EXPECT_EQ(sequenceFileReadB(*shorter.sequenceFile, 0), "GG 123");
}

TEST(SequenceFileTest, EmptyFileHasNoRecords) {
    const SequenceFileOpening opening = openText("");
    ASSERT_TRUE(opening.sequenceFile);
    EXPECT_EQ(opening.sequenceFile->numberOfRecords, 0u);
}

TEST(SequenceFileTest, TextsOutsideTheLayoutOfTheFirstRecordAreRefused) {
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
}

TEST(SequenceFileTest, CreateLoadsTheFileAndChecksTheMarker) {
    TemporaryDirectory directory;
    const std::string complete = directory.write("complete.seq", threeRecords + "END\n");
    const std::string partial = directory.write("partial.seq", threeRecords);
    const auto file = createSequenceFile(complete, 4, requestEndMarker);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->sequenceFileNumber, 4u);
    EXPECT_EQ(file->numberOfRecords, 3u);
    EXPECT_FALSE(createSequenceFile(partial, 0, requestEndMarker));
    EXPECT_EQ(createSequenceFile(partial, 0, std::nullopt)->numberOfRecords, 3u);
}

TEST(SequenceFileDeathTest, FileOutsideTheFormatEndsTheRunNamingFileAndRecord) {
    TemporaryDirectory directory;
    const std::string path = directory.write("short_3.seq", "ACGT TTTT\nACGT TTTT\nACGT T");
    EXPECT_EXIT(
        createSequenceFile(path, 3, std::nullopt), ExitedWithCode(1),
        "^ERROR: The sequence file \".*short_3.seq\" is not in the sequence record format: line 3 has 6 "
        "characters, but the first line has 9.\n$");
}

}  // namespace
}  // namespace koru
