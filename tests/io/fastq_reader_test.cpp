// The FASTQ read pair reader: pairing by order, name layouts, chunk borders, and refused inputs.

#include "io/fastq_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/errors.h"
#include "test_support/gzip.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
using ::testing::HasSubstr;
using testing::TemporaryDirectory;
// Read A's name and sequence, then read B's.
using PairText = std::array<std::string, 4>;

std::string record(const std::string& name, const std::string& sequence) {
    return "@" + name + "\n" + sequence + "\n+\n" + std::string(sequence.size(), 'I') + "\n";
}

std::vector<PairText> readAll(const std::string& file1, const std::string& file2,
                              std::size_t chunkBytes = 1 << 20, std::uint32_t qualityOffset = 33) {
    ReadPairFastqFiles files(file1, file2);
    ReadPairFastqFileReadBuffers buffers(files, chunkBytes, qualityOffset);
    auto pair = createReadPair(0, 0);
    std::vector<PairText> pairs;
    while (buffers.getNextReadPair(*pair))
        pairs.push_back({pair->readA.name, pair->readA.sequence, pair->readB.name, pair->readB.sequence});
    return pairs;
}

std::vector<PairText> readTexts(const std::string& text1, const std::string& text2,
                                std::size_t chunkBytes = 1 << 20) {
    TemporaryDirectory directory;
    return readAll(directory.write("1.fq", text1), directory.write("2.fq", text2), chunkBytes);
}

// Records of different lengths whose names follow no layout: only their order ties them together.
TEST(FastqReader, PairsRecordsByOrderAcrossChunkBorders) {
    std::string text1, text2;
    std::vector<PairText> expected;
    for (int i = 0; i < 300; ++i) {
        const PairText& pair = expected.emplace_back(
            PairText{"left" + std::to_string(i), std::string(40 + (i * 7) % 90, "ACGT"[i % 4]),
                     "right_" + std::to_string(i) + "_x", std::string(70 + (i * 13) % 60, "TGCA"[i % 4])});
        text1 += record(pair[0], pair[1]);
        text2 += record(pair[2], pair[3]);
    }
    for (std::size_t chunk : {std::size_t{64}, std::size_t{1000}, std::size_t{1} << 20})
        EXPECT_EQ(readTexts(text1, text2, chunk), expected) << chunk;
}

TEST(FastqReader, NameLayoutsAreRecognisedAndStripped) {
    const std::string layout10 = "HWUSI-EAS100R:6:73:941:1973#0",
                      layout18 = "EAS139:136:FC706VJ:2:2104:15343:197393";
    // Names in neither layout are kept whole, comment included.
    for (const auto& [name1, name2, kept1, kept2] :
         {std::array<std::string, 4>{layout10 + "/1", layout10 + "/2", layout10, layout10},
          {layout18 + " 1:Y:18:ATCACG", layout18 + " 2:Y:18:ATCACG", layout18, layout18},
          {"read 1 extra", "read 2 extra", "read 1 extra", "read 2 extra"}})
        EXPECT_EQ(readTexts(record(name1, "ACGTACGT"), record(name2, "TTTT")),
                  (std::vector<PairText>{{kept1, "ACGTACGT", kept2, "TTTT"}}));
}

TEST(FastqReader, CarriageReturnsMissingFinalLineFeedLongRecordsAndGzipMembers) {
    const std::string longSequence(5000, 'G');
    std::string text1 = "@r1\r\nACGT\r\n+\r\nIIII\r\n" + record("r2", longSequence);
    text1.pop_back();  // no final line feed
    const std::vector<PairText> expected{{"r1", "ACGT", "s1", "TT"}, {"r2", longSequence, "s2", "CCC"}};
    EXPECT_EQ(readTexts(text1, record("s1", "TT") + record("s2", "CCC"), 256), expected);
    const std::string members =
        testing::gzipCompress(record("s1", "TT")) + testing::gzipCompress(record("s2", "CCC"));
    EXPECT_EQ(readTexts(text1, members, 256), expected) << "every gzip member is read";
    EXPECT_TRUE(readTexts("", "\n").empty());
}

// Death tests run again in a child process: their files live at fixed paths.
std::string fixedFile(const std::string& name, const std::string& text) {
    const std::string path = "/tmp/koru-fastq-reader-test-" + name;
    std::ofstream(path) << text;
    return path;
}

TEST(FastqReader, RefusesRecordsNotInFastqFormDamagedGzipAndPairsWhoseNamesDisagree) {
    const std::string good = fixedFile("good.fq", record("a", "ACGT") + record("b", "ACGT"));
    const std::string shortQuality = fixedFile("quality.fq", record("a", "ACGT") + "@b\nACGT\n+\nIII\n");
    const std::string noAt = fixedFile("noat.fq", "a\nACGT\n+\nIIII\n" + record("b", "ACGT"));
    const std::string cut = fixedFile("cut.fq", record("a", "ACGT") + "@b\nACGT\n");
    const std::string low = fixedFile("low.fq", "@a\nACGT\n+\nII#I\n" + record("b", "ACGT"));
    // Data after the last gzip member is refused, as in a FASTA reference, and so is a cut stream.
    const std::string compressed = testing::gzipCompress(record("a", "ACGT") + record("b", "ACGT"));
    const std::string trailing = fixedFile("trailing.fq.gz", compressed + "trailing garbage\n"),
                      zeros = fixedFile("zeros.fq.gz", compressed + std::string(4, '\0')),
                      cutStream = fixedFile("cut.fq.gz", compressed.substr(0, compressed.size() - 3));
    const std::string afterTheEnd =
        "\" could not be decompressed: it has data after the end of the compressed stream.\n$";
    const std::string name = "EAS139:136:FC706VJ:2:2104:15343:1973";
    const std::string named1 = fixedFile("n1.fq", record(name + "1 1:Y:18:ATCACG", "ACGT"));
    const std::string named2 = fixedFile("n2.fq", record(name + "2 2:Y:18:ATCACG", "ACGT"));
    const struct {
        std::string file1, file2, message;
        std::uint32_t qualityOffset = 33;
    } cases[] = {
        {good, shortQuality,
         "^The FASTQ file \"" + shortQuality +
             "\" is not in FASTQ form at record 2: its quality line is not as long as its sequence.\n$"},
        {noAt, good, "at record 1: its first line does not start with"},
        {good, cut, "at record 2: the record is incomplete.\n$"},
        {good, trailing, "^ERROR: The gzip file \"" + trailing + afterTheEnd},
        {good, zeros, "^ERROR: The gzip file \"" + zeros + afterTheEnd},
        {good, cutStream,
         "cut.fq.gz\" could not be decompressed: it ends in the middle of the compressed stream.\n$"},
        // '#' (35) has no Phred value at offset 64.
        {low, good,
         "low.fq\" is not in FASTQ form at record 1: a quality character lies below the Phred offset 64", 64},
        // Names in a recognised layout must agree.
        {named1, named2,
         "^The reads of record 1 have different names: \"" + name + "1\" in the FASTQ file \"" + named1 +
             "\" and \"" + name + "2\" in \"" + named2 + "\".\n$"},
    };
    for (const auto& c : cases)
        EXPECT_EXIT(readAll(c.file1, c.file2, 1 << 20, c.qualityOffset), ExitedWithCode(1), c.message);
}

[[noreturn]] void throwError(std::string_view message) {
    throw std::runtime_error(std::string(message));
}

// The message of the error `read` raises under an error hook that throws, as the fuzz targets'.
template <class Read>
std::string errorUnderAThrowingHook(Read read) {
    const ErrorHook previous = setErrorHook(throwError);
    std::string message = "no error";
    try {
        read();
    } catch (const std::runtime_error& error) {
        message = error.what();
    }
    setErrorHook(previous);
    return message;
}

// An error found by the reader thread once ended the process from there; it now reaches the pair taker.
TEST(FastqReader, AnErrorOfTheReaderThreadReachesTheThreadTakingPairs) {
    TemporaryDirectory directory;
    const std::string file1 = directory.write("1.fq", record("a", "ACGT") + record("b", "ACGT"));
    const std::string file2 = directory.write("2.fq", record("a", "ACGT"));
    std::size_t pairsTaken = 0;
    EXPECT_THAT(errorUnderAThrowingHook([&] {
                    ReadPairFastqFiles files(file1, file2);
                    ReadPairFastqFileReadBuffers buffers(files, 1 << 20);
                    auto pair = createReadPair(0, 0);
                    while (buffers.getNextReadPair(*pair)) ++pairsTaken;
                }),
                HasSubstr("do not hold the same number of records: \"" + file2 +
                          "\" ends after 1 records while \"" + file1 + "\" holds more."));
    EXPECT_EQ(pairsTaken, 1u);
}

std::size_t openDescriptors() {
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(entries, std::filesystem::directory_iterator()));
}

// A fuzzer's finding: refused in the constructor, such a file left its gzip handle open.
TEST(FastqReader, AFileRefusedWhileOpeningLeavesNoHandleOpen) {
    TemporaryDirectory directory;
    std::string compressed = testing::gzipCompress(record("a", std::string(4000, 'A')));
    for (std::size_t i = 12; i + 8 < compressed.size(); ++i) compressed[i] = static_cast<char>(0xFF);
    const std::string path = directory.write("corrupt.fq.gz", compressed);
    const std::size_t before = openDescriptors();
    EXPECT_THAT(errorUnderAThrowingHook([&] { FastqFile file(path); }),
                HasSubstr("could not be decompressed"));
    EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
}  // namespace koru
