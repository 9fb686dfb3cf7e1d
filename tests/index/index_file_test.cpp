// Index files: what is written comes back identical, the progress lines state real sizes, and a
// file that is cut, changed, foreign or of another version is refused with status 1.

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

using testing::readFile;
using testing::TemporaryDirectory;

// Two chromosomes of random bases, the second repeating part of the first so that keys with
// position lists exist, with runs of N and a lower-case stretch.
std::string repetitiveFasta() {
    std::mt19937 random(7);
    std::string first;
    for (int i = 0; i < 3000; ++i) first.push_back("ACGT"[random() % 4]);
    std::string second =
        first.substr(500, 900) + std::string(70, 'N') + "acgtacgtacgt" + first.substr(100, 400);
    auto lines = [](const std::string& bases) {
        std::string text;
        for (std::size_t i = 0; i < bases.size(); i += 60) text += bases.substr(i, 60) + "\n";
        return text;
    };
    return ">chromosome one\n" + lines(first) + ">gi|12345|ref|NC_000002.3| second\n" + lines(second);
}

struct BuiltIndex {
    std::unique_ptr<GenomeSequence> genome;
    std::unique_ptr<CountArrays> countArrays;
    std::unique_ptr<BinaryIndexes> indexes;
};

BuiltIndex buildIndex(const CountLimits& limits = {750, 32768}) {
    BuiltIndex built;
    built.genome = testing::fastaGenome(repetitiveFasta(), "repetitive.fa");
    built.countArrays = buildCountArrays(*built.genome, limits, nullptr);
    built.genome->mappingQualityOfKeyWithTooManyPositions =
        calculateMappingQualityOfKeyWithTooManyPositions(built.countArrays->statistics);
    built.indexes = buildBinaryIndexes(*built.countArrays, *built.genome, nullptr);
    return built;
}

template <class T>
bool sameBytes(const T* a, const T* b, std::uint64_t count) {
    return count == 0 || (a != nullptr && b != nullptr && std::memcmp(a, b, count * sizeof(T)) == 0);
}

void expectSameGenome(const GenomeSequence& a, const GenomeSequence& b) {
    const auto information = [](const GenomeSequence& g) {
        const GenomeInformation& i = *g.genomeInformation;
        return std::tie(i.numberOfChromosomes, i.formatType, i.name, i.species, i.version, i.file,
                        g.sequenceLength, g.paddedSequenceLength, g.asciiEncodedArrayLength,
                        g.allocatedBinaryEncodedArraySize, g.utilizedBinaryEncodedArraySize,
                        g.mappingQualityOfKeyBelongingToUnmappedRegion,
                        g.mappingQualityOfKeyWithTooManyPositions);
    };
    EXPECT_EQ(information(a), information(b));
    EXPECT_TRUE(sameBytes(&a.sequenceStatistics, &b.sequenceStatistics, 1));
    EXPECT_TRUE(sameBytes(a.planeWords.get(), b.planeWords.get(), 2 * a.allocatedBinaryEncodedArraySize));
    EXPECT_TRUE(
        sameBytes(a.uncalledPlaneWords.get(), b.uncalledPlaneWords.get(), a.allocatedBinaryEncodedArraySize));
    // The text decoded from the planes, the uncalled plane and the runs of other letters.
    EXPECT_EQ(testing::asciiOf(a, 0, a.paddedSequenceLength), testing::asciiOf(b, 0, b.paddedSequenceLength));
    ASSERT_EQ(a.chromosomes.size(), b.chromosomes.size());
    for (std::size_t c = 0; c < a.chromosomes.size(); ++c) {
        const ChromosomeInformation &x = a.chromosomes[c], &y = b.chromosomes[c];
        EXPECT_EQ(std::tie(x.name, x.accession, x.version, x.chromosomeNumber),
                  std::tie(y.name, y.accession, y.version, y.chromosomeNumber));
        EXPECT_EQ(testing::layoutOf(x), testing::layoutOf(y));
    }
}

TEST(IndexFile, RoundTripGivesTheSameGenomeCountsStatisticsAndLists) {
    TemporaryDirectory directory;
    const BuiltIndex built = buildIndex();
    writeIndexFile(directory.file("index.kix"), *built.indexes, nullptr);
    const MappingIndex loaded = deserializeBinaryIndexesFromFile(directory.file("index.kix"), nullptr);
    expectSameGenome(*built.genome, *loaded.genome);
    const CountArrays &x = *built.countArrays, &y = *loaded.countArrays;
    EXPECT_EQ(
        std::tie(x.sizeOfCountArrays, x.limits.evaluationLimit, x.limits.indexingLimit, x.samplingStep),
        std::tie(y.sizeOfCountArrays, y.limits.evaluationLimit, y.limits.indexingLimit, y.samplingStep));
    EXPECT_EQ(x.listedPositions, y.listedPositions);
    EXPECT_TRUE(sameBytes(x.statistics.data(), y.statistics.data(), x.statistics.size()));
    EXPECT_TRUE(sameBytes(&x.totalStatistics, &y.totalStatistics, 1));
    EXPECT_TRUE(sameBytes(&x.averageStatistics, &y.averageStatistics, 1));
    ASSERT_EQ(loaded.indexes->countArrays, loaded.countArrays.get());
    ASSERT_EQ(loaded.indexes->genomeSequence, loaded.genome.get());
    // Every key the genome holds, looked up through both, under every encoding.
    std::uint64_t listedKeys = 0;
    for (int e = 0; e < numberOfKeyEncodings; ++e) {
        const KeyTable& table = built.countArrays->keyTables[e];
        for (std::uint32_t bucket = 0; bucket + 1 < table.directorySize(); ++bucket)
            for (std::uint32_t i = table.directory[bucket]; i < table.directory[bucket + 1]; ++i) {
                const std::uint32_t key = table.keyOf(bucket, i);
                const KeyPositions expected = built.indexes->lookup(e, key);
                const KeyPositions actual = loaded.indexes->lookup(e, key);
                ASSERT_EQ(expected.count, actual.count);
                const auto x = expected.positions(), y = actual.positions();
                ASSERT_TRUE(std::equal(x.begin(), x.end(), y.begin(), y.end())) << "key " << key;
                listedKeys += expected.list != nullptr;
            }
    }
    EXPECT_GT(listedKeys, 1000u) << "the genome should hold repeated keys";
    // The loaded records point into the mapped file, aligned.
    const unsigned char* begin = loaded.file->data();
    for (const void* pointer : {static_cast<const void*>(loaded.genome->uncalledPlaneWords.get()),
                                static_cast<const void*>(loaded.genome->planeWords.get()),
                                static_cast<const void*>(loaded.countArrays->keyTables[2].residuals.get()),
                                static_cast<const void*>(loaded.countArrays->keyTables[1].positions.get())}) {
        const auto* byte = static_cast<const unsigned char*>(pointer);
        EXPECT_TRUE(byte >= begin && byte < begin + loaded.file->size());
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(byte) % indexFileAlignment, 0u);
    }
}

TEST(IndexFile, ProgressLinesStateTheRealSizes) {
    TemporaryDirectory directory;
    const BuiltIndex built = buildIndex();
    const std::string report = directory.file("report.txt");
    {
        auto file = createLockedFile(report, false, false);
        writeIndexFile(directory.file("index.kix"), *built.indexes, file.get());
        deserializeBinaryIndexesFromFile(directory.file("index.kix"), file.get());
        file->close();
    }
    const std::pair<std::string, std::uint64_t> parts[] = {
        {"the Count Arrays", countArraysBytes(*built.countArrays)},
        {"the Binary Formated Genome Sequence", genomeSequenceBytes(*built.genome)},
        {"Index Storage", indexStorageBytes(*built.countArrays)}};
    const std::string file = indexFileSizeText(std::filesystem::file_size(directory.file("index.kix")));
    std::vector<std::string> lines = {
        "Finished serializing the binary indexes to storage, " + file + " written to disk.\n",
        "Finished deserializing the binary indexes from storage, " + file + " read from disk.\n"};
    for (const auto& [part, bytes] : parts) {
        lines.push_back("Serializing " + part + " to a file, writing " + indexFileSizeText(bytes) +
                        " to disk.\n");
        lines.push_back("Deserializing " + part + " from a file, reading " + indexFileSizeText(bytes) +
                        " from disk.\n");
    }
    for (const std::string& line : lines) EXPECT_THAT(readFile(report), ::testing::HasSubstr(line));
    EXPECT_EQ(std::vector({indexFileSizeText(0), indexFileSizeText(1023), indexFileSizeText(1024),
                           indexFileSizeText(3 * 1048576 / 2), indexFileSizeText(std::uint64_t{85} << 30)}),
              std::vector<std::string>({"0B", "1023B", "~1.0KB", "~1.5MB", "~85.0GB"}));
}

TEST(IndexFile, SegmentChecksumSeesEveryBitAndIsTheSameTakenInPieces) {
    std::vector<unsigned char> data(100000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 131 + i / 7);
    const std::uint64_t original = indexFileSegmentChecksum(data.data(), 1000, 0);
    EXPECT_NE(original, indexFileSegmentChecksum(data.data(), 1000, 1)) << "segments are told apart";
    EXPECT_NE(original, indexFileSegmentChecksum(data.data(), 999, 0)) << "lengths are told apart";
    for (std::size_t i = 0; i < 1000; ++i)
        for (unsigned char bit : {0x01, 0x80}) {
            data[i] ^= bit;
            ASSERT_NE(original, indexFileSegmentChecksum(data.data(), 1000, 0)) << i;
            data[i] ^= bit;
        }
    const std::uint64_t whole = indexFileSegmentChecksum(data.data(), data.size(), 3);
    for (std::size_t piece : {std::size_t{32}, std::size_t{4096}, std::size_t{65536}}) {
        IndexFileSegmentChecksum checksum(3);
        for (std::size_t done = 0; done < data.size(); done += piece)
            checksum.add(data.data() + done, std::min(piece, data.size() - done));
        EXPECT_EQ(checksum.value(), whole) << piece;
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
        EXPECT_EXIT(deserializeBinaryIndexesFromFile(path, nullptr), ::testing::ExitedWithCode(1),
                    "The index file \".*index.kix\" cannot be used: " + reason);
    }
    EXPECT_EXIT(deserializeBinaryIndexesFromFile(directory.path().string(), nullptr),
                ::testing::ExitedWithCode(1),
                "cannot be used: it is not a regular file|Could not open the index file");
    EXPECT_EXIT(deserializeBinaryIndexesFromFile(directory.file("missing.kix"), nullptr),
                ::testing::ExitedWithCode(1),
                "Could not open the index file \".*missing.kix\": No such file");
}

TEST(IndexFileWriting, ReplacesTheFileOnlyWhenComplete) {
    TemporaryDirectory directory;
    const BuiltIndex built = buildIndex();
    const std::string path = directory.write("index.kix", "an earlier file");
    const auto onlyTheIndexFile = [&] {
        const auto entries = std::distance(std::filesystem::directory_iterator(directory.path()),
                                           std::filesystem::directory_iterator());
        return entries == 1 && std::filesystem::exists(path);
    };
    checkIndexFileCanBeWritten(path);
    EXPECT_EQ(readFile(path), "an earlier file") << "the check writes beside the file";
    EXPECT_TRUE(onlyTheIndexFile()) << "and leaves nothing there";
    const mode_t mask = umask(027);
    writeIndexFile(path, *built.indexes, nullptr);
    umask(mask);
    EXPECT_TRUE(onlyTheIndexFile());
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms::owner_read |
                                                               std::filesystem::perms::owner_write |
                                                               std::filesystem::perms::group_read)
        << "the mode of a new file, not the private one of a temporary file";
    EXPECT_EQ(deserializeBinaryIndexesFromFile(path, nullptr).genome->sequenceLength,
              built.genome->sequenceLength);
    EXPECT_EXIT(checkIndexFileCanBeWritten(directory.file("no/such/directory/index.kix")),
                ::testing::ExitedWithCode(1), "Could not create the index file");
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
        ::testing::ExitedWithCode(1),
        "^ERROR: The index file \"" + path +
            "\" changed or shrank while koru was using it; replace such a "
            "file by renaming a new one into its place, never by writing over it.\n$");
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace koru
