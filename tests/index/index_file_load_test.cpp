// Loading index files whose checksum matches but whose key tables lie, as a crafted file's would:
// the loader refuses them instead of handing lookups bucket ranges and positions that lead
// outside the tables and the genome.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "genome/genome_test_helpers.h"
#include "index/index_file.h"
#include "index/index_file_io.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using testing::readFile;
using testing::TemporaryDirectory;

// A genome with a 100-base piece four times over, so that keys with runs of four positions exist.
std::string fourfoldRepeatFasta() {
    std::string bases;
    std::uint32_t state = 12345;
    for (int i = 0; i < 2000; ++i) {
        state = state * 1103515245u + 12345u;
        bases.push_back("ACGT"[(state >> 16) % 4]);
    }
    for (int copy = 0; copy < 4; ++copy) bases += bases.substr(600, 100);
    return ">repeat\n" + bases + "\n";
}

class LyingIndexFile : public ::testing::Test {
  protected:
    void SetUp() override {
        genome_ = testing::fastaGenome(fourfoldRepeatFasta(), "repeat.fa");
        counts_ = buildCountArrays(*genome_, CountLimits{}, nullptr);
        path_ = directory_.file("index.kix");
        writeIndexFile(path_, *buildBinaryIndexes(*counts_, *genome_, nullptr), nullptr);
        original_ = readFile(path_);
    }

    const KeyTable& table() const { return counts_->keyTables[0]; }
    // Where an array of the table lies in the file: its bytes are there as they are in memory.
    std::size_t offsetOf(const void* array, std::size_t bytes) const {
        const void* found = memmem(original_.data(), original_.size(), array, bytes);
        EXPECT_NE(found, nullptr);
        return static_cast<std::size_t>(static_cast<const char*>(found) - original_.data());
    }

    // The edited file with the checksum a writer would have given it.
    void writeResealed(std::string file) const {
        IndexFileHeader header;
        std::memcpy(&header, file.data(), sizeof header);
        const auto* content = reinterpret_cast<const unsigned char*>(file.data()) + indexFileHeaderBytes;
        header.checksum = indexFileChecksumWithHeader(
            indexFileChecksum(content, file.size() - indexFileHeaderBytes), header);
        std::memcpy(file.data(), &header, sizeof header);
        std::ofstream(path_, std::ios::binary) << file;
    }
    // The first run of at least `length` entries of one residual inside one bucket.
    std::uint64_t firstRunOfAtLeast(std::uint32_t length) const {
        const KeyTable& t = table();
        const auto* residuals = reinterpret_cast<const std::uint16_t*>(t.residuals.get());
        for (std::size_t bucket = 0; bucket + 1 < t.directorySize(); ++bucket)
            for (std::uint64_t i = t.directory[bucket]; i + length <= t.directory[bucket + 1]; ++i)
                if (residuals[i] == residuals[i + length - 1] &&
                    (i == t.directory[bucket] || residuals[i - 1] != residuals[i]))
                    return i;
        ADD_FAILURE() << "no run of " << length;
        return 0;
    }

    TemporaryDirectory directory_;
    std::unique_ptr<GenomeSequence> genome_;
    std::unique_ptr<CountArrays> counts_;
    std::string path_;
    std::string original_;
};

TEST_F(LyingIndexFile, KeyTablesLeadingOutsideTheTablesOrTheGenomeAreRefused) {
    ASSERT_EQ(table().residualBytes(), 2);
    writeResealed(original_);
    EXPECT_EQ(deserializeBinaryIndexesFromFile(path_, nullptr).countArrays->keyTables[0].numberOfEntries,
              table().numberOfEntries)
        << "a resealed file as written still loads";
    const KeyTable& t = table();
    const auto* residuals = reinterpret_cast<const std::uint16_t*>(t.residuals.get());
    std::uint64_t ordered = t.numberOfEntries;  // the first entry whose residual is below the next one's
    for (std::size_t bucket = 0; bucket + 1 < t.directorySize() && ordered == t.numberOfEntries; ++bucket)
        if (t.directory[bucket + 1] - t.directory[bucket] >= 2 &&
            residuals[t.directory[bucket]] < residuals[t.directory[bucket] + 1])
            ordered = t.directory[bucket];
    ASSERT_LT(ordered, t.numberOfEntries);
    const std::size_t directory = offsetOf(t.directory.get(), 4 * t.directorySize()),
                      positions = offsetOf(t.positions.get(), 4 * t.numberOfEntries),
                      swapped = offsetOf(t.residuals.get(), 2 * t.numberOfEntries) + 2 * ordered;
    const struct {
        const char* lie;
        std::size_t offset;
        std::uint32_t value;
    } lies[] = {
        // The fuzzer's finding: a lookup searched residuals from far outside the table.
        {"a bucket range running backwards", directory + 4 * 1000, t.directory[1001] + 5},
        {"a position past the genome", positions + 4 * firstRunOfAtLeast(1),
         static_cast<std::uint32_t>(genome_->paddedSequenceLength)},
        // The mark stands for a key whose positions are not listed only at the start of a run of
        // two; anywhere else it would be read as a position.
        {"a mark inside a longer run", positions + 4 * firstRunOfAtLeast(4), tooManyPositionsMark},
        {"residuals out of order in a bucket", swapped,
         residuals[ordered + 1] | static_cast<std::uint32_t>(residuals[ordered]) << 16},
    };
    for (const auto& lie : lies) {
        SCOPED_TRACE(lie.lie);
        std::string file = original_;
        std::memcpy(file.data() + lie.offset, &lie.value, sizeof lie.value);
        writeResealed(file);
        EXPECT_EXIT(deserializeBinaryIndexesFromFile(path_, nullptr), ::testing::ExitedWithCode(1),
                    "The index file \".*index.kix\" cannot be used: its key tables are damaged.\n");
    }
}

// The fuzzer's finding: a chromosome whose bases ran past its range in the genome was loaded, and
// rescue searches and SAM took its end from them.
TEST_F(LyingIndexFile, ChromosomeBasesPastTheChromosomesRangeAreRefused) {
    std::string file = original_;
    const std::string name = std::string("\x06\0\0\0", 4) + "repeat";
    const std::size_t record = file.find(name);
    ASSERT_NE(record, std::string::npos);
    ASSERT_EQ(file.find(name, record + 1), std::string::npos);
    // After the name: an empty accession, the version and the number, then the base pairs.
    const std::size_t basePairsOffset = record + name.size() + 4 + 4 + 4;
    const ChromosomeInformation& chromosome = genome_->chromosomes[0];
    std::uint64_t basePairs = 0;
    std::memcpy(&basePairs, file.data() + basePairsOffset, sizeof basePairs);
    ASSERT_EQ(basePairs, chromosome.basePairs);
    basePairs = chromosome.endGenomePosition - chromosome.startGenomePosition + 2;
    std::memcpy(file.data() + basePairsOffset, &basePairs, sizeof basePairs);
    writeResealed(file);
    EXPECT_EXIT(deserializeBinaryIndexesFromFile(path_, nullptr), ::testing::ExitedWithCode(1),
                "The index file \".*index.kix\" cannot be used: its genome record is damaged.\n");
}

}  // namespace
}  // namespace koru
