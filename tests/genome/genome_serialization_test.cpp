// Writing the genome information and the genome record to a file and reading them back.

#include "genome/genome_serialization.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "genome/genome_test_helpers.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;

std::unique_ptr<GenomeSequence> sampleGenome() {
    auto genome =
        testing::fastaGenome(">one\nACGTACGTTT" + std::string(40, 'N') + "\n>two\nGGGCCC\n", "sample.fa");
    genome->mappingQualityOfKeyWithTooManyPositions = -3;
    return genome;
}

std::string serialised(const GenomeSequence& genome) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    serializeGenomeSequenceToFile(stream, &genome);
    std::fclose(stream);
    std::string bytes(buffer, size);
    std::free(buffer);
    return bytes;
}

// The genome read from `bytes`, written to a file after `before`; `end` receives where reading ended.
std::unique_ptr<GenomeSequence> deserialised(const std::string& before, const std::string& bytes,
                                             long* end = nullptr) {
    testing::TemporaryDirectory directory;
    const std::string path = directory.write("genome.bin", before + bytes);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), std::fclose);
    std::fseek(in.get(), static_cast<long>(before.size()), SEEK_SET);
    auto genome = deserializeGenomeSequenceFromFile(in.get());
    if (end != nullptr) *end = std::ftell(in.get());
    return genome;
}

// Embedded in a larger file, as in an index file, the genome read and written again gives the same
// bytes, ending where it ended; chromosome names and the text are not stored.
TEST(GenomeSerialization, RoundTripKeepsCountsPositionsAndPlanes) {
    const std::string bytes = serialised(*sampleGenome());
    long end = 0;
    const auto read = deserialised("before", bytes + "after", &end);
    EXPECT_EQ(end, static_cast<long>(6 + bytes.size()));
    EXPECT_EQ(serialised(*read), bytes);
    EXPECT_EQ(std::tuple(read->chromosomes.at(1).name, hasReferenceText(*read)), std::tuple("", false));
}

// Reads back a serialised genome whose bytes the edit changes, in a death test. The child may not
// allocate a gigabyte, so a reader that trusted an absurd length would fail differently.
void readEdited(const std::function<void(std::string&)>& edit) {
#ifndef KORU_SANITIZE  // the sanitizers reserve large mappings of their own
    const rlimit limit{std::uint64_t{1} << 30, std::uint64_t{1} << 30};
    setrlimit(RLIMIT_DATA, &limit);
#endif
    std::string bytes = serialised(*sampleGenome());
    edit(bytes);
    deserialised("", bytes);
}

using Edit = std::function<void(std::string&)>;
Edit cutTo(std::ptrdiff_t length) {  // a negative length counts from the end
    return [=](std::string& b) {
        b.resize(static_cast<std::size_t>(length < 0 ? std::ssize(b) + length : length));
    };
}
Edit put(std::size_t offset, std::uint64_t value, int size) {
    return [=](std::string& b) {
        for (int byte = 0; byte < size; ++byte) b[offset + byte] = static_cast<char>(value >> (8 * byte));
    };
}

TEST(GenomeSerialization, ShortOrInconsistentFilesAreRefused) {
    const std::size_t table = 200 + 52 + 9;  // the record, the genome information and its file name
    const std::string outside =
        "inconsistent: a chromosome lies outside the planes or overlaps the one before it";
    const struct {
        Edit edit;
        std::string message;
    } cases[] = {
        {cutTo(150),
         "^ERROR: The serialised genome ends before the genome record: 200 bytes are needed, but "
         "the file has only 150 left.\n$"},
        {cutTo(255),
         "^ERROR: The serialised genome ends before the genome file name: 9 bytes are needed, but "
         "the file has only 3 left.\n$"},
        {cutTo(table + 100), "ends before the chromosome table: 176 bytes are needed"},
        {cutTo(-1), "ends before the planes"},
        // Absurd counts are refused before anything that size is allocated.
        {put(200, 0xFFFFFFFF, 4), "ends before the chromosome table: 377957121960 bytes are needed"},
        {put(248, 0xFFFFFFFF, 4), "ends before the genome file name: 4294967295 bytes are needed"},
        {put(64, 0xFFFFFFFF, 8), "ends before the planes: 34359738360 bytes are needed"},
        {put(64, 0x100000000, 8),
         "^ERROR: The serialised genome is inconsistent: the planes are larger than "
         "their 32-bit word count allows.\n$"},
        {put(72, 1000, 8), "inconsistent: more words are in use than the planes hold"},
        // Chromosome two's end word past the used words, then its start before chromosome one's end.
        {put(table + 88 + 64, 5, 8), outside},
        {put(table + 88 + 56, 2, 8), outside},
        {put(table + 88 + 80, 200, 8), "inconsistent: a chromosome's positions do not match its words"},
    };
    for (const auto& c : cases) EXPECT_EXIT(readEdited(c.edit), ExitedWithCode(1), c.message);
}

TEST(GenomeSerialization, MissingStreamsRecordsAndFailedWritesEndTheRun) {
    EXPECT_EXIT(serializeGenomeSequenceToFile(nullptr, nullptr), ExitedWithCode(1),
                "^ERROR: There is no open file to write the genome to.\n$");
    EXPECT_EXIT(deserializeGenomeSequenceFromFile(nullptr), ExitedWithCode(1),
                "^ERROR: There is no open file to read the genome from.\n$");
    EXPECT_EXIT(serializeGenomeSequenceToFile(stdout, nullptr), ExitedWithCode(1),
                "^ERROR: There is no genome to write.\n$");
    EXPECT_EXIT(
        {
            std::FILE* full = std::fopen("/dev/full", "wb");
            serializeGenomeSequenceToFile(full, sampleGenome().get());
        },
        ExitedWithCode(1), "^ERROR: Could not write the genome to the file: No space left on device.\n$");
}

}  // namespace
}  // namespace koru
