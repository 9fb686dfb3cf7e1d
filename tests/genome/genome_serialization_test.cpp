// Writing the genome information and the genome record to a file and reading them back.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

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
    std::FILE* file;
    Stream(const std::string& path, const char* mode) : file(std::fopen(path.c_str(), mode)) {}
    ~Stream() {
        if (file != nullptr) std::fclose(file);
    }
};

std::uint64_t littleEndianAt(const std::string& bytes, std::size_t offset, int size) {
    std::uint64_t value = 0;
    for (int byte = size - 1; byte >= 0; --byte)
        value = value << 8 | static_cast<unsigned char>(bytes[offset + static_cast<std::size_t>(byte)]);
    return value;
}

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

TEST(GenomeSerialization, GenomeInformationLayout) {
    TemporaryDirectory directory;
    GenomeInformation info;
    info.numberOfChromosomes = 26;
    info.name = "Human";
    info.species = "human";
    info.file = "genome26.hs";
    info.formatType = 1;
    const std::string path = directory.file("info.bin");
    {
        Stream out(path, "wb");
        serializeGenomeInformationToFile(out.file, &info);
    }
    const std::string bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 52u + 11u);
    EXPECT_EQ(littleEndianAt(bytes, 0, 4), 26u);
    EXPECT_EQ(bytes.substr(4, 36), std::string(36, '\0')) << "padding and four address slots";
    EXPECT_EQ(littleEndianAt(bytes, 40, 4), 1u);
    EXPECT_EQ(littleEndianAt(bytes, 44, 4), 0u);
    EXPECT_EQ(littleEndianAt(bytes, 48, 4), 11u);
    EXPECT_EQ(bytes.substr(52), "genome26.hs");

    Stream in(path, "rb");
    const auto read = deserializeGenomeInformationFromFile(in.file);
    EXPECT_EQ(read->numberOfChromosomes, 26u);
    EXPECT_EQ(read->formatType, 1u);
    EXPECT_EQ(read->file, "genome26.hs");
    EXPECT_EQ(read->name, "") << "texts other than the file name are not stored";
    EXPECT_EQ(read->species, "");
}

TEST(GenomeSerialization, GenomeSequenceLayout) {
    TemporaryDirectory directory;
    const auto genome = sampleGenome();
    const std::string bytes = serialised(directory, *genome);
    const std::size_t chromosomes = 200 + 52 + std::string("sample.fa").size();
    ASSERT_EQ(bytes.size(), chromosomes + 2 * 88 + 8 * genome->allocatedBinaryEncodedArraySize);
    EXPECT_EQ(bytes.substr(0, 40), std::string(40, '\0'));
    EXPECT_EQ(littleEndianAt(bytes, 40, 8), genome->sequenceLength);
    EXPECT_EQ(littleEndianAt(bytes, 72, 8), 5u) << "utilized words: 2 + 1 for 50 bases, 1 + 1 for 6";
    EXPECT_EQ(littleEndianAt(bytes, 80, 4), genome->mappingQualityOfKeyBelongingToUnmappedRegion);
    EXPECT_EQ(littleEndianAt(bytes, 84, 4), 0xFFFFFFFDu);
    EXPECT_EQ(littleEndianAt(bytes, 88, 8), 56u) << "total bases";
    EXPECT_EQ(littleEndianAt(bytes, 96, 8), 2u) << "adenines, then guanines";
    EXPECT_EQ(littleEndianAt(bytes, 104, 8), 5u);
    EXPECT_EQ(littleEndianAt(bytes, 200, 4), 2u) << "the genome information follows";
    // Chromosome two: number at 20, start word at 56, end genome position at 80.
    const std::size_t two = chromosomes + 88;
    EXPECT_EQ(bytes.substr(two, 16), std::string(16, '\0'));
    EXPECT_EQ(littleEndianAt(bytes, two + 20, 4), 2u);
    EXPECT_EQ(littleEndianAt(bytes, two + 24, 8), 6u);
    EXPECT_EQ(littleEndianAt(bytes, two + 56, 8), 3u);
    EXPECT_EQ(littleEndianAt(bytes, two + 80, 8), 159u);
    const std::size_t planes = chromosomes + 2 * 88;
    EXPECT_EQ(littleEndianAt(bytes, planes, 4), genome->baseWord(0));
    EXPECT_EQ(littleEndianAt(bytes, planes + 4 * genome->allocatedBinaryEncodedArraySize, 4),
              genome->checkWord(0));
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

    EXPECT_EQ(read->sequenceLength, genome->sequenceLength);
    EXPECT_EQ(read->paddedSequenceLength, genome->paddedSequenceLength);
    EXPECT_EQ(read->asciiEncodedArrayLength, genome->asciiEncodedArrayLength);
    EXPECT_EQ(read->allocatedBinaryEncodedArraySize, genome->allocatedBinaryEncodedArraySize);
    EXPECT_EQ(read->utilizedBinaryEncodedArraySize, genome->utilizedBinaryEncodedArraySize);
    EXPECT_EQ(read->mappingQualityOfKeyBelongingToUnmappedRegion,
              genome->mappingQualityOfKeyBelongingToUnmappedRegion);
    EXPECT_EQ(read->mappingQualityOfKeyWithTooManyPositions, -3);
    EXPECT_EQ(std::memcmp(&read->sequenceStatistics, &genome->sequenceStatistics, sizeof(SequenceStatistics)),
              0);
    EXPECT_EQ(read->genomeInformation->file, "sample.fa");
    ASSERT_EQ(read->chromosomes.size(), 2u);
    for (std::size_t index = 0; index < 2; ++index) {
        const ChromosomeInformation& a = read->chromosomes[index];
        const ChromosomeInformation& b = genome->chromosomes[index];
        EXPECT_EQ(a.name, "");
        EXPECT_EQ(a.chromosomeNumber, b.chromosomeNumber);
        EXPECT_EQ(a.basePairs, b.basePairs);
        EXPECT_EQ(a.paddedBasePairs, b.paddedBasePairs);
        EXPECT_EQ(a.startBinaryEncodedArrayPosition, b.startBinaryEncodedArrayPosition);
        EXPECT_EQ(a.endBinaryEncodedArrayPosition, b.endBinaryEncodedArrayPosition);
        EXPECT_EQ(a.startGenomePosition, b.startGenomePosition);
        EXPECT_EQ(a.endGenomePosition, b.endGenomePosition);
        EXPECT_EQ(a.endPositionInChromosome, b.endPositionInChromosome);
    }
    for (std::uint64_t word = 0; word < genome->allocatedBinaryEncodedArraySize; ++word) {
        EXPECT_EQ(read->baseWord(word), genome->baseWord(word));
        EXPECT_EQ(read->checkWord(word), genome->checkWord(word));
    }
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
    const char* const noFileToWrite = "^ERROR: There is no open file to write the genome to.\n$";
    const char* const noFileToRead = "^ERROR: There is no open file to read the genome from.\n$";
    EXPECT_EXIT(serializeGenomeInformationToFile(nullptr, nullptr), ExitedWithCode(1), noFileToWrite);
    EXPECT_EXIT(deserializeGenomeInformationFromFile(nullptr), ExitedWithCode(1), noFileToRead);
    EXPECT_EXIT(serializeGenomeSequenceToFile(nullptr, nullptr), ExitedWithCode(1), noFileToWrite);
    EXPECT_EXIT(deserializeGenomeSequenceFromFile(nullptr), ExitedWithCode(1), noFileToRead);
    EXPECT_EXIT(serializeGenomeInformationToFile(stdout, nullptr), ExitedWithCode(1),
                "^ERROR: There is no genome information to write.\n$");
    EXPECT_EXIT(serializeGenomeSequenceToFile(stdout, nullptr), ExitedWithCode(1),
                "^ERROR: There is no genome to write.\n$");
    EXPECT_EXIT(
        {
            Stream full("/dev/full", "wb");
            serializeGenomeSequenceToFile(full.file, sampleGenome().get());
        },
        ExitedWithCode(1), "^ERROR: Could not write the genome to the file: No space left on device.\n$");
}

}  // namespace
}  // namespace koru
