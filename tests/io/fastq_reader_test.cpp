// The FASTQ read pair reader: record pairing by order, name layouts, chunk borders, and the
// inputs it must refuse.

#include "io/fastq_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <tuple>

#include "support/errors.h"
#include "support/memory_mapped_file.h"
#include "test_support/gzip.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
using ::testing::HasSubstr;
using testing::TemporaryDirectory;

std::string record(const std::string& name, const std::string& sequence) {
    return "@" + name + "\n" + sequence + "\n+\n" + std::string(sequence.size(), 'I') + "\n";
}

struct PairText {
    std::string nameA, sequenceA, nameB, sequenceB;
};

std::vector<PairText> readAll(const std::string& file1, const std::string& file2, std::size_t chunkBytes) {
    ReadPairFastqFiles files(file1, file2);
    ReadPairFastqFileReadBuffers buffers(files, chunkBytes);
    auto pair = createReadPair(0, 0);
    std::vector<PairText> pairs;
    while (buffers.getNextReadPair(*pair))
        pairs.push_back({pair->readA.name, pair->readA.sequence, pair->readB.name, pair->readB.sequence});
    return pairs;
}

// The pairs of two FASTQ texts.
std::vector<PairText> readTexts(const std::string& text1, const std::string& text2, std::size_t chunkBytes) {
    TemporaryDirectory directory;
    return readAll(directory.write("1.fq", text1), directory.write("2.fq", text2), chunkBytes);
}

// Records of different lengths whose names follow no layout: only their order ties them together.
TEST(FastqReader, PairsRecordsByOrderAcrossChunkBorders) {
    std::string text1, text2;
    for (int i = 0; i < 300; ++i) {
        text1 += record("left" + std::to_string(i), std::string(40 + (i * 7) % 90, "ACGT"[i % 4]));
        text2 += record("right_" + std::to_string(i) + "_x", std::string(70 + (i * 13) % 60, "TGCA"[i % 4]));
    }
    for (std::size_t chunk : {std::size_t{64}, std::size_t{1000}, std::size_t{1} << 20}) {
        const auto pairs = readTexts(text1, text2, chunk);
        ASSERT_EQ(pairs.size(), 300u) << chunk;
        for (std::size_t i = 0; i < 300; ++i) {
            ASSERT_EQ(pairs[i].nameA, "left" + std::to_string(i));
            ASSERT_EQ(pairs[i].nameB, "right_" + std::to_string(i) + "_x");
            ASSERT_EQ(pairs[i].sequenceB.size(), 70 + (i * 13) % 60);
        }
    }
}

TEST(FastqReader, NameLayoutsAreRecognisedAndStripped) {
    const std::string layout10 = "HWUSI-EAS100R:6:73:941:1973#0",
                      layout18 = "EAS139:136:FC706VJ:2:2104:15343:197393";
    // Names in neither layout are kept whole, comment included.
    for (const auto& [name1, name2, kept1, kept2] :
         {std::array<std::string, 4>{layout10 + "/1", layout10 + "/2", layout10, layout10},
          {layout18 + " 1:Y:18:ATCACG", layout18 + " 2:Y:18:ATCACG", layout18, layout18},
          {"read 1 extra", "read 2 extra", "read 1 extra", "read 2 extra"}}) {
        const auto pairs = readTexts(record(name1, "ACGTACGT"), record(name2, "TTTT"), 1 << 20);
        ASSERT_EQ(pairs.size(), 1u);
        EXPECT_EQ(pairs[0].nameA, kept1);
        EXPECT_EQ(pairs[0].nameB, kept2);
    }
}

TEST(FastqReader, CarriageReturnsMissingFinalLineFeedAndLongRecords) {
    const std::string longSequence(5000, 'G');
    std::string text1 = "@r1\r\nACGT\r\n+\r\nIIII\r\n" + record("r2", longSequence);
    text1.pop_back();  // no final line feed
    const auto pairs = readTexts(text1, record("s1", "TT") + record("s2", "CCC"), 256);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(std::tuple(pairs[0].nameA, pairs[0].sequenceA, pairs[1].nameB), std::tuple("r1", "ACGT", "s2"));
    EXPECT_EQ(pairs[1].sequenceA, longSequence);
    EXPECT_TRUE(readTexts("", "\n", 1 << 20).empty());
}

// Death tests run again in a child process: their files live at fixed paths.
std::string fixedFile(const std::string& name, const std::string& text) {
    const std::string path = "/tmp/koru-fastq-reader-test-" + name;
    std::ofstream(path) << text;
    return path;
}

// FASTQ and FASTA files are decompressed alike: what follows the last member is refused in both,
// naming the file, as are a cut and a damaged stream.
TEST(FastqReader, GzipDataAfterTheLastMemberIsRefusedAsForTheReference) {
    const std::string text = record("a", "ACGT") + record("b", "TTGA");
    const std::string whole =
        fixedFile("whole.fq.gz", testing::gzipCompress(text) + testing::gzipCompress(text));
    EXPECT_EQ(readAll(whole, whole, 1 << 20).size(), 4u) << "every member is read";
    const auto refused = [&](const std::string& name, const std::string& bytes, const std::string& reason) {
        const std::string path = fixedFile(name, bytes);
        const std::string message =
            "^ERROR: The gzip file \"" + path + "\" could not be decompressed: " + reason + "\\.\n$";
        EXPECT_EXIT(readAll(whole, path, 1 << 20), ExitedWithCode(1), message);
        EXPECT_EXIT(createMemoryMappedFile(path), ExitedWithCode(1), message);
    };
    const std::string compressed = testing::gzipCompress(text);
    refused("trailing.fq.gz", compressed + "trailing garbage\n",
            "it has data after the end of the compressed stream");
    refused("zeros.fq.gz", compressed + std::string(4, '\0'),
            "it has data after the end of the compressed stream");
    refused("cut.fq.gz", compressed.substr(0, compressed.size() - 3),
            "it ends in the middle of the compressed stream");
}

TEST(FastqReader, RefusesRecordsNotInFastqFormAndPairsWhoseNamesDisagree) {
    const std::string good = fixedFile("good.fq", record("a", "ACGT") + record("b", "ACGT"));
    const std::string shortQuality = fixedFile("quality.fq", record("a", "ACGT") + "@b\nACGT\n+\nIII\n");
    const std::string noAt = fixedFile("noat.fq", "a\nACGT\n+\nIIII\n" + record("b", "ACGT"));
    const std::string cut = fixedFile("cut.fq", record("a", "ACGT") + "@b\nACGT\n");
    const std::string name = "EAS139:136:FC706VJ:2:2104:15343:1973";
    const std::string named1 = fixedFile("n1.fq", record(name + "1 1:Y:18:ATCACG", "ACGT"));
    const std::string named2 = fixedFile("n2.fq", record(name + "2 2:Y:18:ATCACG", "ACGT"));
    const struct {
        std::string file1, file2, message;
    } cases[] = {
        {good, shortQuality,
         "^The FASTQ file \"" + shortQuality +
             "\" is not in FASTQ form at record 2: its quality line is not as long as its sequence.\n$"},
        {noAt, good, "at record 1: its first line does not start with"},
        {good, cut, "at record 2: the record is incomplete.\n$"},
        // Names in a recognised layout must agree.
        {named1, named2,
         "^The reads of record 1 have different names: \"" + name + "1\" in the FASTQ file \"" + named1 +
             "\" and \"" + name + "2\" in \"" + named2 + "\".\n$"},
    };
    for (const auto& c : cases) EXPECT_EXIT(readAll(c.file1, c.file2, 1 << 20), ExitedWithCode(1), c.message);
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

// The reader thread finds files of different lengths. The error reaches the thread taking the pairs,
// after the pairs before it, instead of ending the process from a thread that no exception may leave.
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

// The fuzzer's finding: a file whose compressed stream breaks in the first block is refused by the
// constructor, which then never reached the destructor that closed the gzip handle. Under a
// throwing error hook each such file left a descriptor and zlib's buffers behind.
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
