// Writing the genome information and the genome record to a file and reading them back.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>

#include "genome/genome_serialization.h"
#include "genome/genome_test_helpers.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
using testing::fastaGenome;
using testing::readFile;
using testing::TemporaryDirectory;

// An owned stdio stream.
struct Stream {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> owned;
    std::FILE* file;
    Stream(const std::string& path, const char* mode)
        : owned(std::fopen(path.c_str(), mode), std::fclose), file(owned.get()) {}
};

std::unique_ptr<GenomeSequence> sampleGenome() {
    auto genome = fastaGenome(">one\nACGTACGTTT" + std::string(40, 'N') + "\n>two\nGGGCCC\n", "sample.fa");
    genome->mappingQualityOfKeyWithTooManyPositions = -3;
    return genome;
}

std::string serialised(const TemporaryDirectory& directory, const GenomeSequence& genome) {
    const std::string path = directory.file("genome.bin");
    Stream out(path, "wb");
    serializeGenomeSequenceToFile(out.file, &genome);
    return readFile(path);
}

TEST(GenomeSerialization, RoundTripKeepsCountsPositionsAndPlanes) {
    TemporaryDirectory directory;
    const auto genome = sampleGenome();
    const std::string path = directory.file("embedded.bin");
    {
        // Embedded in a larger file, as in an index file: data before and after it.
        Stream out(path, "wb");
        std::fputs("before", out.file);
        serializeGenomeSequenceToFile(out.file, genome.get());
        std::fputs("after", out.file);
    }
    Stream in(path, "rb");
    std::fseek(in.file, 6, SEEK_SET);
    const auto read = deserializeGenomeSequenceFromFile(in.file);
    char after[6] = {};
    EXPECT_EQ(std::fread(after, 1, 5, in.file), 5u);
    EXPECT_STREQ(after, "after") << "the reader stops right after the planes";
    const auto sizes = [](const GenomeSequence& g) {
        return std::tuple(g.sequenceLength, g.paddedSequenceLength, g.asciiEncodedArrayLength,
                          g.allocatedBinaryEncodedArraySize, g.utilizedBinaryEncodedArraySize,
                          g.mappingQualityOfKeyBelongingToUnmappedRegion,
                          g.mappingQualityOfKeyWithTooManyPositions);
    };
    EXPECT_EQ(sizes(*read), sizes(*genome));
    EXPECT_EQ(std::memcmp(&read->sequenceStatistics, &genome->sequenceStatistics, sizeof(SequenceStatistics)),
              0);
    EXPECT_EQ(read->genomeInformation->file, "sample.fa");
    ASSERT_EQ(read->chromosomes.size(), 2u);
    for (std::size_t index = 0; index < 2; ++index) {
        EXPECT_EQ(read->chromosomes[index].name, "") << "names are not stored";
        EXPECT_EQ(read->chromosomes[index].chromosomeNumber, genome->chromosomes[index].chromosomeNumber);
        EXPECT_EQ(testing::layoutOf(read->chromosomes[index]), testing::layoutOf(genome->chromosomes[index]));
    }
    for (std::uint64_t word = 0; word < genome->allocatedBinaryEncodedArraySize; ++word)
        ASSERT_EQ(std::pair(read->baseWord(word), read->checkWord(word)),
                  std::pair(genome->baseWord(word), genome->checkWord(word)));
    std::string text;
    EXPECT_FALSE(hasReferenceText(*read));
    EXPECT_EQ(referenceText(*read, 0, 10, text), "") << "no text is stored";
    EXPECT_EQ(getChromosomeInformationForGenomePosition(100, *read), &read->chromosomes[1]);
}

// Writes a serialised genome whose bytes the edit changes, then reads it back in a death test. The
// child may not allocate a gigabyte, so a reader that trusted an absurd length would fail differently.
void readEdited(const std::string& path, const std::function<void(std::string&)>& edit) {
#ifndef KORU_SANITIZE  // the sanitizers reserve large mappings of their own
    const rlimit limit{std::uint64_t{1} << 30, std::uint64_t{1} << 30};
    setrlimit(RLIMIT_DATA, &limit);
#endif
    TemporaryDirectory directory;
    std::string bytes = serialised(directory, *sampleGenome());
    edit(bytes);
    { std::ofstream(path, std::ios::binary) << bytes; }
    Stream in(path, "rb");
    deserializeGenomeSequenceFromFile(in.file);
}

void put(std::string& bytes, std::size_t offset, std::uint64_t value, int size) {
    for (int byte = 0; byte < size; ++byte)
        bytes[offset + static_cast<std::size_t>(byte)] = static_cast<char>(value >> (8 * byte));
}

TEST(GenomeSerialization, ShortOrInconsistentFilesAreRefused) {
    // Death tests run again in a child process, so the file name is fixed.
    const std::string path =
        (std::filesystem::temp_directory_path() / "koru-genome-serialization-test.bin").string();
    const std::size_t table = 200 + 52 + 9;
    EXPECT_EXIT(
        readEdited(path, [](std::string& b) { b.resize(150); }), ExitedWithCode(1),
        "^ERROR: The serialised genome ends before the genome record: 200 bytes are needed, but the file "
        "has only 150 left.\n$");
    EXPECT_EXIT(
        readEdited(path, [](std::string& b) { b.resize(255); }), ExitedWithCode(1),
        "^ERROR: The serialised genome ends before the genome file name: 9 bytes are needed, but the file "
        "has only 3 left.\n$");
    EXPECT_EXIT(readEdited(path, [&](std::string& b) { b.resize(table + 100); }), ExitedWithCode(1),
                "ends before the chromosome table: 176 bytes are needed");
    EXPECT_EXIT(readEdited(path, [&](std::string& b) { b.resize(b.size() - 1); }), ExitedWithCode(1),
                "ends before the planes");
    // Absurd counts are refused before anything that size is allocated.
    EXPECT_EXIT(readEdited(path, [](std::string& b) { put(b, 200, 0xFFFFFFFF, 4); }), ExitedWithCode(1),
                "ends before the chromosome table: 377957121960 bytes are needed");
    EXPECT_EXIT(readEdited(path, [](std::string& b) { put(b, 248, 0xFFFFFFFF, 4); }), ExitedWithCode(1),
                "ends before the genome file name: 4294967295 bytes are needed");
    EXPECT_EXIT(readEdited(path, [](std::string& b) { put(b, 64, 0xFFFFFFFFull, 8); }), ExitedWithCode(1),
                "ends before the planes: 34359738360 bytes are needed");
    EXPECT_EXIT(readEdited(path, [](std::string& b) { put(b, 64, 0x100000000ull, 8); }), ExitedWithCode(1),
                "^ERROR: The serialised genome is inconsistent: the planes are larger than their 32-bit word "
                "count allows.\n$");
    EXPECT_EXIT(readEdited(path, [](std::string& b) { put(b, 72, 1000, 8); }), ExitedWithCode(1),
                "inconsistent: more words are in use than the planes hold");
    // Chromosome two's end word past the used words, then its start before chromosome one's end.
    EXPECT_EXIT(readEdited(path, [&](std::string& b) { put(b, table + 88 + 64, 5, 8); }), ExitedWithCode(1),
                "inconsistent: a chromosome lies outside the planes or overlaps the one before it");
    EXPECT_EXIT(readEdited(path, [&](std::string& b) { put(b, table + 88 + 56, 2, 8); }), ExitedWithCode(1),
                "inconsistent: a chromosome lies outside the planes or overlaps the one before it");
    EXPECT_EXIT(readEdited(path, [&](std::string& b) { put(b, table + 88 + 80, 200, 8); }), ExitedWithCode(1),
                "inconsistent: a chromosome's positions do not match its words");
    std::remove(path.c_str());
}

TEST(GenomeSerialization, MissingStreamsRecordsAndFailedWritesEndTheRun) {
    EXPECT_EXIT(serializeGenomeSequenceToFile(nullptr, nullptr), ExitedWithCode(1),
                "^ERROR: There is no open file to write the genome to.\n$");
    EXPECT_EXIT(deserializeGenomeSequenceFromFile(nullptr), ExitedWithCode(1),
                "^ERROR: There is no open file to read the genome from.\n$");
    EXPECT_EXIT(serializeGenomeSequenceToFile(stdout, nullptr), ExitedWithCode(1),
                "^ERROR: There is no genome to write.\n$");
    EXPECT_EXIT(serializeGenomeSequenceToFile(Stream("/dev/full", "wb").file, sampleGenome().get()),
                ExitedWithCode(1),
                "^ERROR: Could not write the genome to the file: No space left on device.\n$");
}

}  // namespace
}  // namespace koru
