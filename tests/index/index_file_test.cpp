// Index files: what is written comes back identical, the progress lines state real sizes, and a
// file that is cut, changed, foreign, of another version or lying is refused with status 1.

#include "index/index_file.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "genome/genome_test_helpers.h"
#include "index/index_file_io.h"
#include "index/index_file_memory.h"
#include "support/diagnostics.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
using testing::readFile;
using testing::TemporaryDirectory;

// Two chromosomes of random bases, the second repeating part of the first so that keys with
// position lists exist, with runs of N and a lower-case stretch.
std::string repetitiveFasta() {
    std::mt19937 random(7);
    std::string first;
    for (int i = 0; i < 3000; ++i) first.push_back("ACGT"[random() % 4]);
    const std::string second =
        first.substr(500, 900) + std::string(70, 'N') + "acgtacgtacgt" + first.substr(100, 400);
    std::string text = ">chromosome one\n" + first + "\n>gi|12345|ref|NC_000002.3| second\n";
    for (std::size_t i = 0; i < second.size(); i += 60) text += second.substr(i, 60) + "\n";
    return text;
}

struct BuiltIndex {
    std::unique_ptr<GenomeSequence> genome;
    std::unique_ptr<CountArrays> countArrays;
    std::unique_ptr<BinaryIndexes> indexes;
};

BuiltIndex buildIndex() {
    BuiltIndex built;
    built.genome = testing::fastaGenome(repetitiveFasta(), "repetitive.fa");
    built.countArrays = buildCountArrays(*built.genome, {750, 32768}, nullptr);
    built.genome->mappingQualityOfKeyWithTooManyPositions =
        calculateMappingQualityOfKeyWithTooManyPositions(built.countArrays->statistics);
    built.indexes = buildBinaryIndexes(*built.countArrays, *built.genome, nullptr);
    return built;
}

// Written again, the loaded index gives the same file, and its records point into the mapped file,
// aligned; mapping from a loaded index is held in tests/e2e/index_file_run_test.cpp. The progress
// lines state the real size of the file.
TEST(IndexFile, RoundTripGivesTheSameIndexAndTheProgressLinesStateTheRealSizes) {
    TemporaryDirectory directory;
    const BuiltIndex built = buildIndex();
    const std::string path = directory.file("index.kix");
    auto report = createLockedFile(directory.file("report.txt"), false, false);
    writeIndexFile(path, *built.indexes, report.get());
    const MappingIndex loaded = deserializeBinaryIndexesFromFile(path, report.get());
    report->close();
    ASSERT_EQ(loaded.indexes->countArrays, loaded.countArrays.get());
    ASSERT_EQ(loaded.indexes->genomeSequence, loaded.genome.get());
    writeIndexFile(directory.file("again.kix"), *loaded.indexes, nullptr);
    EXPECT_TRUE(readFile(directory.file("again.kix")) == readFile(path));
    EXPECT_EQ(testing::asciiOf(*loaded.genome, 0, 100000), testing::asciiOf(*built.genome, 0, 100000));
    const unsigned char* begin = loaded.file->data();
    for (const void* pointer : {static_cast<const void*>(loaded.genome->uncalledPlaneWords.get()),
                                static_cast<const void*>(loaded.genome->planeWords.get()),
                                static_cast<const void*>(loaded.countArrays->keyTables[2].residuals.get()),
                                static_cast<const void*>(loaded.countArrays->keyTables[1].positions.get())}) {
        const auto* byte = static_cast<const unsigned char*>(pointer);
        EXPECT_TRUE(byte >= begin && byte < begin + loaded.file->size());
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(byte) % indexFileAlignment, 0u);
    }

    const std::string lines = readFile(directory.file("report.txt")),
                      file = indexFileSizeText(std::filesystem::file_size(path));
    EXPECT_THAT(lines, ::testing::HasSubstr("Finished serializing the binary indexes to storage, " + file +
                                            " written to disk.\n"));
    EXPECT_THAT(lines, ::testing::HasSubstr("Finished deserializing the binary indexes from storage, " +
                                            file + " read from disk.\n"));
    EXPECT_EQ(std::vector({indexFileSizeText(0), indexFileSizeText(1023), indexFileSizeText(1024),
                           indexFileSizeText(3 * 1048576 / 2), indexFileSizeText(std::uint64_t{85} << 30)}),
              std::vector<std::string>({"0B", "1023B", "~1.0KB", "~1.5MB", "~85.0GB"}));
}

TEST(IndexFile, SegmentChecksumSeesEveryBitTheSegmentAndTheLength) {
    std::vector<unsigned char> data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 131 + i / 7);
    const std::uint64_t original = indexFileSegmentChecksum(data.data(), 1000, 0);
    EXPECT_NE(original, indexFileSegmentChecksum(data.data(), 1000, 1));
    EXPECT_NE(original, indexFileSegmentChecksum(data.data(), 999, 0));
    for (std::size_t bit = 0; bit < 8 * data.size(); ++bit) {
        data[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
        ASSERT_NE(original, indexFileSegmentChecksum(data.data(), 1000, 0)) << bit;
        data[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
    }
}

TEST(IndexFile, CutChangedForeignOrOtherVersionFilesAreRefused) {
    TemporaryDirectory directory;
    const std::string path = directory.file("index.kix");
    writeIndexFile(path, *buildIndex().indexes, nullptr);
    const std::string original = readFile(path);
    ASSERT_GT(original.size(), 3 * indexFileChecksumSegment / 100);
    std::vector<std::pair<std::string, std::string>> cases;  // contents and the reason they are refused
    for (std::size_t length : {std::size_t{0}, std::size_t{5}, std::size_t{63}, std::size_t{64},
                               std::size_t{100}, original.size() / 2, original.size() - 1})
        cases.emplace_back(original.substr(0, length), length == 0 ? "it is empty"
                                                       : length < indexFileHeaderBytes
                                                           ? "it is truncated inside its header"
                                                           : "it is truncated: it holds " +
                                                                 std::to_string(length) + " of its " +
                                                                 std::to_string(original.size()) + " bytes");
    // One flipped byte in the header's sizes, the genome's identity, each block and the last byte.
    for (std::size_t offset : {std::size_t{40}, std::size_t{52}, std::size_t{70}, std::size_t{500},
                               original.size() / 3, original.size() / 2, original.size() - 1}) {
        std::string damaged = original;
        damaged[offset] = static_cast<char>(damaged[offset] ^ 0x10);
        cases.emplace_back(damaged, offset == 52
                                        ? "its header is damaged"
                                        : "its contents do not match their checksum, the file is damaged");
    }
    std::string otherVersion = original;
    otherVersion[8] = 1;
    cases.emplace_back(otherVersion, "it has index file format version 1, and this koru reads version 2");
    cases.emplace_back(original + "x", "it holds data past its end");
    cases.emplace_back(">chromosome\nACGTACGT\n", "it is not a koru index file");
    cases.emplace_back(std::string(4096, '\0'), "it is not a koru index file");
    for (const auto& [contents, reason] : cases) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
        EXPECT_EXIT(deserializeBinaryIndexesFromFile(path, nullptr), ExitedWithCode(1),
                    "The index file \".*index.kix\" cannot be used: " + reason);
    }
    EXPECT_EXIT(deserializeBinaryIndexesFromFile(directory.path().string(), nullptr), ExitedWithCode(1),
                "cannot be used: it is not a regular file|Could not open the index file");
    EXPECT_EXIT(deserializeBinaryIndexesFromFile(directory.file("missing.kix"), nullptr), ExitedWithCode(1),
                "Could not open the index file \".*missing.kix\": No such file");
}

// The file is written aside and renamed into place, with the mode a new file would have.
TEST(IndexFileWriting, ReplacesTheFileOnlyWhenComplete) {
    TemporaryDirectory directory;
    const BuiltIndex built = buildIndex();
    const std::string path = directory.write("index.kix", "an earlier file");
    const auto onlyTheIndexFile = [&] {
        const auto entries = std::distance(std::filesystem::directory_iterator(directory.path()), {});
        return entries == 1 && std::filesystem::exists(path);
    };
    checkIndexFileCanBeWritten(path);
    EXPECT_EQ(readFile(path), "an earlier file") << "the check writes beside the file";
    EXPECT_TRUE(onlyTheIndexFile()) << "and leaves nothing there";
    const mode_t mask = umask(027);
    writeIndexFile(path, *built.indexes, nullptr);
    umask(mask);
    EXPECT_TRUE(onlyTheIndexFile());
    using std::filesystem::perms;
    EXPECT_EQ(std::filesystem::status(path).permissions(),
              perms::owner_read | perms::owner_write | perms::group_read);
    EXPECT_EQ(deserializeBinaryIndexesFromFile(path, nullptr).genome->sequenceLength,
              built.genome->sequenceLength);
    EXPECT_EXIT(checkIndexFileCanBeWritten(directory.file("no/such/directory/index.kix")), ExitedWithCode(1),
                "Could not create the index file");
    // A link to a regular file stays a link, to the new file; other kinds of file are refused by the
    // binary (tests/e2e/reliability_test.cpp).
    const std::string link = directory.file("link.kix");
    std::filesystem::create_symlink(directory.write("target.kix", "an earlier file"), link);
    checkIndexFileCanBeWritten(link);
    writeIndexFile(link, *built.indexes, nullptr);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(readFile(directory.file("target.kix")).starts_with("KORU-IDX"));
}

// Replacing an index file in place (cp onto it) under a run that maps it once ended the run with a
// bare "Error: signal 7"; the run now says which file changed.
TEST(IndexFileWriting, AnIndexFileWrittenOverUnderItsMappingIsNamed) {
    const std::string path = "/tmp/koru-index-file-test-overwritten.kix";
    EXPECT_EXIT(
        {
            installCrashHandler();
            writeIndexFile(path, *buildIndex().indexes, nullptr);
            const FileDescriptor file(::open(path.c_str(), O_RDONLY));
            const auto bytes = static_cast<std::uint64_t>(std::filesystem::file_size(path));
            const LoadedIndexFile loaded(file, path, bytes);
            std::filesystem::resize_file(path, 0);
            std::printf("%u", static_cast<unsigned>(loaded.data()[bytes / 2]));
        },
        ExitedWithCode(1),
        "^ERROR: The index file \"" + path +
            "\" changed or shrank while koru was using it; replace such a file by renaming a new one into "
            "its "
            "place, never by writing over it.\n$");
    std::filesystem::remove(path);
}

// Files whose checksum matches but whose key tables or chromosomes lie, as a crafted file's would:
// the loader refuses them instead of handing lookups bucket ranges and positions that lead outside
// the tables and the genome.
class LyingIndexFile : public ::testing::Test {
  protected:
    void SetUp() override {
        writeIndexFile(path_, *built_.indexes, nullptr);
        original_ = readFile(path_);
    }
    // Where an array lies in the file: its bytes are there as they are in memory.
    std::size_t offsetOf(const void* array, std::size_t bytes) const {
        const void* found = memmem(original_.data(), original_.size(), array, bytes);
        EXPECT_NE(found, nullptr);
        return static_cast<std::size_t>(static_cast<const char*>(found) - original_.data());
    }
    // Writes the edited file with the checksum a writer would have given it, and loads it.
    void loadResealed(std::string file) const {
        IndexFileHeader header;
        std::memcpy(&header, file.data(), sizeof header);
        const auto* content = reinterpret_cast<const unsigned char*>(file.data()) + indexFileHeaderBytes;
        header.checksum = indexFileChecksumWithHeader(
            indexFileChecksum(content, file.size() - indexFileHeaderBytes), header);
        std::memcpy(file.data(), &header, sizeof header);
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << file;
        deserializeBinaryIndexesFromFile(path_, nullptr);
    }
    const KeyTable& table() const { return built_.countArrays->keyTables[0]; }
    const std::uint16_t* residuals() const {
        return reinterpret_cast<const std::uint16_t*>(table().residuals.get());
    }
    // The first entry that starts a run of at least `length` equal residuals in its bucket or, with
    // `ascending`, whose residual is below the next one's in its bucket.
    std::uint64_t firstEntry(std::uint32_t length, bool ascending = false) const {
        const KeyTable& t = table();
        const std::uint16_t* r = residuals();
        for (std::size_t bucket = 0; bucket + 1 < t.directorySize(); ++bucket)
            for (std::uint64_t i = t.directory[bucket]; i + length <= t.directory[bucket + 1]; ++i)
                if (ascending ? r[i] < r[i + 1]
                              : r[i] == r[i + length - 1] && (i == t.directory[bucket] || r[i - 1] != r[i]))
                    return i;
        ADD_FAILURE() << "no such entry";
        return 0;
    }

    TemporaryDirectory directory_;
    const BuiltIndex built_ = buildIndex();
    const std::string path_ = directory_.file("index.kix");
    std::string original_;
};

TEST_F(LyingIndexFile, KeyTablesLeadingOutsideTheTablesOrTheGenomeAreRefused) {
    ASSERT_EQ(table().residualBytes(), 2);
    loadResealed(original_);  // a resealed file as written still loads
    const KeyTable& t = table();
    const std::uint64_t ordered = firstEntry(2, true);
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
        {"a position past the genome", positions + 4 * firstEntry(1),
         static_cast<std::uint32_t>(built_.genome->paddedSequenceLength)},
        // The mark stands for a key whose positions are not listed only at the start of a run of
        // two; anywhere else it would be read as a position.
        {"a mark inside a longer run", positions + 4 * firstEntry(4), tooManyPositionsMark},
        {"residuals out of order in a bucket", swapped,
         residuals()[ordered + 1] | static_cast<std::uint32_t>(residuals()[ordered]) << 16},
    };
    for (const auto& lie : lies) {
        SCOPED_TRACE(lie.lie);
        std::string file = original_;
        std::memcpy(file.data() + lie.offset, &lie.value, sizeof lie.value);
        EXPECT_EXIT(loadResealed(file), ExitedWithCode(1),
                    "The index file \".*index.kix\" cannot be used: its key tables are damaged.\n");
    }
}

// The fuzzer's finding: a chromosome whose bases ran past its range in the genome was loaded, and
// rescue searches and SAM took its end from them.
TEST_F(LyingIndexFile, ChromosomeBasesPastTheChromosomesRangeAreRefused) {
    std::string file = original_;
    const std::string& named = built_.genome->chromosomes[0].name;
    const std::string name = std::string{static_cast<char>(named.size()), 0, 0, 0} + named;
    const std::size_t record = file.find(name);
    ASSERT_NE(record, std::string::npos);
    ASSERT_EQ(file.rfind(name), record);
    // After the name: an empty accession, the version and the number, then the base pairs.
    const std::size_t basePairsOffset = record + name.size() + 4 + 4 + 4;
    const ChromosomeInformation& chromosome = built_.genome->chromosomes[0];
    std::uint64_t basePairs = 0;
    std::memcpy(&basePairs, file.data() + basePairsOffset, sizeof basePairs);
    ASSERT_EQ(basePairs, chromosome.basePairs);
    basePairs = chromosome.endGenomePosition - chromosome.startGenomePosition + 2;
    std::memcpy(file.data() + basePairsOffset, &basePairs, sizeof basePairs);
    EXPECT_EXIT(loadResealed(file), ExitedWithCode(1),
                "The index file \".*index.kix\" cannot be used: its genome record is damaged.\n");
}

}  // namespace
}  // namespace koru
