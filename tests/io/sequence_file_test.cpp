#include "io/sequence_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "genome/genome_test_helpers.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
using ::testing::HasSubstr;
using testing::readFile;
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

TEST(SequenceFileTest, FirstLineWithoutTwoReadsIsRefused) {
    for (const std::string text : {"1234 5678\n", "1234 ACGT 5678\nACGT ACGT\n", "\nACGT ACGT\n", "ACGT"}) {
        EXPECT_THAT(openText(text).problem, HasSubstr("two runs of letters")) << text;
        EXPECT_THAT(openText(text + "\nEND\n", requestEndMarker).problem, HasSubstr("two runs of letters"));
    }
}

TEST(SequenceFileTest, LastRecordTooShortForTheReadsIsRefused) {
    EXPECT_THAT(openText("ACGT TTTT\nACGT TT").problem, HasSubstr("record 2 is shorter"));
    EXPECT_THAT(openText("ACGT TTTT\nACGT TTTT\n\n").problem, HasSubstr("record 3 is shorter"));
    // Read B shorter than read A runs past the end of the only line, and of the file.
    EXPECT_THAT(openText("ACGTACGT TT").problem, HasSubstr("record 1 is shorter"));
}

TEST(SequenceFileTest, RequestLinesMustHaveTheFirstLineLength) {
    const std::string shorter = "ACGT TTTT\nACG TTTT\nACGT TTTT\nEND\n";
    EXPECT_THAT(openText(shorter, requestEndMarker).problem,
                HasSubstr("line 2 is 9 bytes long, but the first line is 10 bytes long"));
    const std::string longer = "ACGT TTTT\nACGT TTTT\nACGTA TTTT\nEND\n";
    EXPECT_THAT(openText(longer, requestEndMarker).problem, HasSubstr("line 3 is 11 bytes long"));
}

TEST(SequenceFileTest, RequestReadsMustLieInsideTheirLine) {
    const SequenceFileOpening opening = openText("ACGTACGT TT\nACGTACGT TT\nEND\n", requestEndMarker);
    EXPECT_FALSE(opening.sequenceFile);
    EXPECT_THAT(opening.problem, HasSubstr("ends before read B has read A's length of 8 bases"));
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
        "ERROR: The sequence file \".*short_3.seq\" is not in the sequence record format: record 3 is "
        "shorter than the layout of the first record");
}

std::string fastaRecord(std::uint32_t number, std::uint32_t line, const char* read,
                        const std::string& bases) {
    std::string text =
        ">seq_" + std::to_string(number) + "_ln_" + std::to_string(line) + "_rd_" + read + "\n";
    for (std::size_t start = 0; start < bases.size(); start += 70) text += bases.substr(start, 70) + "\n";
    return text;
}

TEST(SequenceFileTest, FastaConversionWritesBothReadsOfEveryRecord) {
    TemporaryDirectory directory;
    const std::string a1(100, 'A'), b1 = std::string(60, 'C') + std::string(40, 'G');
    const std::string a2 = std::string(70, 'T') + std::string(30, 'G'), b2(100, 'T');
    const std::string input = directory.write("in.seq", "1 " + a1 + " " + b1 + "\n2 " + a2 + " " + b2 + "\n");
    const std::string output = directory.file("out.fa");
    covertSequenceFileToFastaFile(input, 7, output, false);
    const std::string expected = fastaRecord(7, 1, "A", a1) + fastaRecord(7, 1, "B", b1) +
                                 fastaRecord(7, 2, "A", a2) + fastaRecord(7, 2, "B", b2);
    EXPECT_EQ(readFile(output), expected);
    // Appending adds the records again; writing starts the file anew.
    covertSequenceFileToFastaFile(input, 7, output, true);
    EXPECT_EQ(readFile(output), expected + expected);
    covertSequenceFileToFastaFile(input, 7, output, false);
    EXPECT_EQ(readFile(output), expected);
}

TEST(SequenceFileDeathTest, FastaConversionWithoutAnOutputNameEnds) {
    TemporaryDirectory directory;
    const std::string input = directory.write("in.seq", "ACGT TTTT\n");
    EXPECT_EXIT(covertSequenceFileToFastaFile(input, 0, "", false), ExitedWithCode(1),
                "A null file name was provided");
}

TEST(SequenceFileTest, PrintShowsTheLayout) {
    const SequenceFileOpening opening = openText("1234 ACGTACGT TTGGCCAA\n", std::nullopt, 9);
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&text, &size);
    printSequenceFile(stream, opening.sequenceFile.get());
    printSequenceFile(stream, nullptr);
    std::fclose(stream);
    const std::string printed(text, size);
    std::free(text);
    EXPECT_THAT(printed, HasSubstr("Sequence File:\n\tSequence file number = 9\n"));
    EXPECT_THAT(printed, HasSubstr("\tRecord Length = 23\n\tNumber of Records = 1\n"));
    EXPECT_THAT(printed, HasSubstr("\tRead A start position = 5, Read A end position = 12\n"));
    EXPECT_THAT(printed, HasSubstr("\tRead B start position = 14, Read B end position = 21\n"));
    EXPECT_THAT(printed, HasSubstr("Provided sequence file was null\n"));
}

}  // namespace
}  // namespace koru
