// The FASTQ read pair reader: record pairing by order, name layouts, chunk borders, and the
// inputs it must refuse.

#include "io/fastq_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "support/errors.h"
#include "support/memory_mapped_file.h"
#include "test_support/gzip.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
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

// Pairs whose records differ in length and whose names follow no layout, so only their order ties
// them together.
void writeUnevenPairs(const TemporaryDirectory& directory, int count, std::string& file1,
                      std::string& file2) {
    std::string text1, text2;
    for (int i = 0; i < count; ++i) {
        text1 += record("left" + std::to_string(i), std::string(40 + (i * 7) % 90, "ACGT"[i % 4]));
        text2 += record("right_" + std::to_string(i) + "_x", std::string(70 + (i * 13) % 60, "TGCA"[i % 4]));
    }
    file1 = directory.write("1.fq", text1);
    file2 = directory.write("2.fq", text2);
}

TEST(FastqReader, PairsRecordsByOrderAcrossChunkBorders) {
    TemporaryDirectory directory;
    std::string file1, file2;
    writeUnevenPairs(directory, 300, file1, file2);
    for (std::size_t chunk : {std::size_t{64}, std::size_t{1000}, std::size_t{1} << 20}) {
        const auto pairs = readAll(file1, file2, chunk);
        ASSERT_EQ(pairs.size(), 300u) << chunk;
        for (int i = 0; i < 300; ++i) {
            ASSERT_EQ(pairs[static_cast<std::size_t>(i)].nameA, "left" + std::to_string(i));
            ASSERT_EQ(pairs[static_cast<std::size_t>(i)].nameB, "right_" + std::to_string(i) + "_x");
            ASSERT_EQ(pairs[static_cast<std::size_t>(i)].sequenceB.size(),
                      70u + static_cast<unsigned>((i * 13) % 60));
        }
    }
}

TEST(FastqReader, ThreadsNeverMixUpPairs) {
    TemporaryDirectory directory;
    std::string file1, file2;
    writeUnevenPairs(directory, 2000, file1, file2);
    ReadPairFastqFiles files(file1, file2);
    std::mutex lock;
    std::map<std::string, std::string> seen;
    auto work = [&] {
        ReadPairFastqFileReadBuffers buffers(files, 700);
        auto pair = createReadPair(0, 0);
        while (buffers.getNextReadPair(*pair)) {
            const std::lock_guard<std::mutex> guard(lock);
            seen.emplace(pair->readA.name, pair->readB.name);
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    ASSERT_EQ(seen.size(), 2000u);
    for (const auto& [nameA, nameB] : seen) EXPECT_EQ("right_" + nameA.substr(4) + "_x", nameB);
}

TEST(FastqReader, NameLayoutsAreRecognisedAndStripped) {
    TemporaryDirectory directory;
    const std::string layout10 = "HWUSI-EAS100R:6:73:941:1973#0";
    const auto old = readAll(directory.write("a1.fq", record(layout10 + "/1", "ACGTACGT")),
                             directory.write("a2.fq", record(layout10 + "/2", "TTTT")), 1 << 20);
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(old[0].nameA, layout10);
    EXPECT_EQ(old[0].nameB, layout10);
    const std::string layout18 = "EAS139:136:FC706VJ:2:2104:15343:197393";
    const auto recent =
        readAll(directory.write("b1.fq", record(layout18 + " 1:Y:18:ATCACG", "ACGT")),
                directory.write("b2.fq", record(layout18 + " 2:Y:18:ATCACG", "ACGT")), 1 << 20);
    EXPECT_EQ(recent[0].nameA, layout18);
    // Names in neither layout are kept whole, comment included.
    const auto plain = readAll(directory.write("c1.fq", record("read 1 extra", "ACGT")),
                               directory.write("c2.fq", record("read 2 extra", "ACGT")), 1 << 20);
    EXPECT_EQ(plain[0].nameA, "read 1 extra");
}

TEST(FastqReader, CarriageReturnsMissingFinalLineFeedAndLongRecords) {
    TemporaryDirectory directory;
    const std::string longSequence(5000, 'G');
    std::string text1 = "@r1\r\nACGT\r\n+\r\nIIII\r\n" + record("r2", longSequence);
    text1.pop_back();  // no final line feed
    const std::string text2 = record("s1", "TT") + record("s2", "CCC");
    const auto pairs = readAll(directory.write("1.fq", text1), directory.write("2.fq", text2), 256);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].nameA, "r1");
    EXPECT_EQ(pairs[0].sequenceA, "ACGT");
    EXPECT_EQ(pairs[1].sequenceA, longSequence);
    EXPECT_EQ(pairs[1].nameB, "s2");
    EXPECT_TRUE(readAll(directory.write("e1.fq", ""), directory.write("e2.fq", "\n"), 1 << 20).empty());
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
        EXPECT_EXIT(readAll(whole, path, 1 << 20), ExitedWithCode(1),
                    "^ERROR: The gzip file \"" + path + "\" could not be decompressed: " + reason + "\\.\n$");
        EXPECT_EXIT(createMemoryMappedFile(path), ExitedWithCode(1),
                    "^ERROR: The gzip file \"" + path + "\" could not be decompressed: " + reason + "\\.\n$");
    };
    const std::string compressed = testing::gzipCompress(text);
    refused("trailing.fq.gz", compressed + "trailing garbage\n",
            "it has data after the end of the compressed stream");
    refused("zeros.fq.gz", compressed + std::string(4, '\0'),
            "it has data after the end of the compressed stream");
    refused("cut.fq.gz", compressed.substr(0, compressed.size() - 3),
            "it ends in the middle of the compressed stream");
}

TEST(FastqReader, RefusesRecordsNotInFastqForm) {
    const std::string good = fixedFile("good.fq", record("a", "ACGT") + record("b", "ACGT"));
    const std::string shortQuality = fixedFile("quality.fq", record("a", "ACGT") + "@b\nACGT\n+\nIII\n");
    EXPECT_EXIT(
        readAll(good, shortQuality, 1 << 20), ExitedWithCode(1),
        "^The FASTQ file \"" + shortQuality +
            "\" is not in FASTQ form at record 2: its quality line is not as long as its sequence.\n$");
    const std::string noAt = fixedFile("noat.fq", "a\nACGT\n+\nIIII\n" + record("b", "ACGT"));
    EXPECT_EXIT(readAll(noAt, good, 1 << 20), ExitedWithCode(1),
                "at record 1: its first line does not start with");
    const std::string cut = fixedFile("cut.fq", record("a", "ACGT") + "@b\nACGT\n");
    EXPECT_EXIT(readAll(good, cut, 1 << 20), ExitedWithCode(1), "at record 2: the record is incomplete.\n$");
}

TEST(FastqReader, RecognisedNamesOfAPairMustAgree) {
    const std::string name = "EAS139:136:FC706VJ:2:2104:15343:1973";
    const std::string file1 = fixedFile("n1.fq", record(name + "1 1:Y:18:ATCACG", "ACGT"));
    const std::string file2 = fixedFile("n2.fq", record(name + "2 2:Y:18:ATCACG", "ACGT"));
    EXPECT_EXIT(readAll(file1, file2, 1 << 20), ExitedWithCode(1),
                "^The reads of record 1 have different names: \"" + name + "1\" in the FASTQ file \"" +
                    file1 + "\" and \"" + name + "2\" in \"" + file2 + "\".\n$");
}

struct ThrownError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void throwError(std::string_view message) {
    throw ThrownError(std::string(message));
}

// The reader thread finds files that do not pair. With an error hook that throws (the fuzz
// targets'), the error reaches the thread taking the pairs, after the pairs before it, instead of
// ending the process from a thread that no exception may leave.
TEST(FastqReader, AnErrorOfTheReaderThreadReachesTheThreadTakingPairs) {
    TemporaryDirectory directory;
    const std::string file1 = directory.write("1.fq", record("a", "ACGT") + record("b", "ACGT"));
    const std::string file2 = directory.write("2.fq", record("a", "ACGT"));
    const ErrorHook previous = setErrorHook(throwError);
    std::size_t pairsTaken = 0;
    try {
        ReadPairFastqFiles files(file1, file2);
        ReadPairFastqFileReadBuffers buffers(files, 1 << 20);
        auto pair = createReadPair(0, 0);
        while (buffers.getNextReadPair(*pair)) ++pairsTaken;
        ADD_FAILURE() << "files that do not pair were read to their end";
    } catch (const ThrownError& error) {
        EXPECT_NE(std::string(error.what()).find("do not hold the same number of records"), std::string::npos)
            << error.what();
    }
    setErrorHook(previous);
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
    const ErrorHook previous = setErrorHook(throwError);
    const std::size_t before = openDescriptors();
    try {
        FastqFile file(path);
        ADD_FAILURE() << "a corrupt compressed file was opened";
    } catch (const ThrownError& error) {
        EXPECT_NE(std::string(error.what()).find("could not be decompressed"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(openDescriptors(), before);
    setErrorHook(previous);
}

}  // namespace
}  // namespace koru
