// The compact index against a naive model of its tables, the memory it takes, and index files.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <unordered_map>
#include <vector>

#include "genome/genome_test_helpers.h"
#include "index/binary_indexes.h"
#include "index/count_arrays.h"
#include "index/index_file.h"
#include "index/index_file_io.h"
#include "index/index_file_memory.h"
#include "index/index_memory.h"
#include "index/key_table_checks.h"
#include "support/diagnostics.h"
#include "support/memory_mapped_file.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using ::testing::ExitedWithCode;
using testing::readFile;
using testing::TemporaryDirectory;

std::unique_ptr<GenomeSequence> genomeFromPlanes(const std::vector<std::uint32_t>& base,
                                                 const std::vector<std::uint32_t>& check) {
    auto genome = std::make_unique<GenomeSequence>();
    genome->planeWords = allocateZeroedArray<std::uint32_t>(2 * (base.size() + 1));
    for (std::size_t w = 0; w < base.size(); ++w) genome->setWords(w, base[w], check[w]);
    genome->utilizedBinaryEncodedArraySize = base.size();
    genome->allocatedBinaryEncodedArraySize = base.size() + 1;
    genome->paddedSequenceLength = 32 * base.size();
    return genome;
}

// The dense tables as a model: keys rolled in bit by bit, one counting step per occurrence.
struct ModelEncoding {
    std::unordered_map<std::uint32_t, std::uint16_t> counts;
    std::map<std::uint32_t, std::vector<std::uint32_t>> positions;
    CountStatistics statistics;
};

// A window is listed when its start (0 for the first 31) is a multiple of the step, under its limits.
ModelEncoding buildModel(const GenomeSequence& genome, int encoding, const CountLimits& limits,
                         std::uint32_t step) {
    ModelEncoding model;
    std::uint32_t key = 0;
    for (std::uint64_t w = 0; w + 2 < genome.utilizedBinaryEncodedArraySize; ++w) {
        const std::uint32_t base = genome.baseWord(w), check = genome.checkWord(w);
        const std::uint32_t word = encoding == 0 ? base : encoding == 1 ? check : base ^ check;
        for (int bit = 31; bit >= 0; --bit) {
            key = (key << 1) | ((word >> bit) & 1u);
            const std::int64_t start = static_cast<std::int64_t>(32 * w) + (31 - bit) - 31;
            if ((start + 64) % step != 0) continue;
            calculateCount(limits.evaluationLimit, limits.indexingLimit, model.counts[key], model.statistics);
            model.positions[key].push_back(static_cast<std::uint32_t>(std::max<std::int64_t>(0, start)));
        }
    }
    return model;
}

// Batched lookups and absent keys are held against a naive index in tests/candidates.
void expectIndexMatchesModel(const GenomeSequence& genome, const CountLimits& limits,
                             const IndexBuildOptions& options = {}) {
    auto counts = buildCountArrays(genome, limits, nullptr, options);
    auto indexes = buildBinaryIndexes(*counts, genome, nullptr);
    EXPECT_EQ(indexes->samplingStep(), options.samplingStep);
    for (int e = 0; e < numberOfKeyEncodings; ++e) {
        SCOPED_TRACE("encoding " + std::to_string(e) + ", step " + std::to_string(options.samplingStep));
        const CountLimits sampled = sampledCountLimits(limits, options.samplingStep);
        const ModelEncoding model = buildModel(genome, e, sampled, options.samplingStep);
        EXPECT_EQ(std::memcmp(&counts->statistics[e], &model.statistics, sizeof model.statistics), 0);
        std::uint64_t listed = 1;
        for (const auto& [key, positions] : model.positions) {
            const KeyPositions found = indexes->lookup(e, key);
            ASSERT_EQ(found.count, model.counts.at(key)) << "key " << key;
            const std::uint64_t c = positions.size();
            if (c == 1 || (c <= sampled.indexingLimit && c < 65535)) {
                ASSERT_TRUE(std::equal(positions.begin(), positions.end(), found.positions().begin(),
                                       found.positions().end()))
                    << "key " << key;
                if (c > 1) listed += c;
            } else {
                ASSERT_TRUE(found.hasTooManyPositions() && found.positions().empty()) << "key " << key;
            }
        }
        EXPECT_EQ(counts->listedPositions[e], listed);
    }
}

std::vector<std::uint32_t> randomWords(std::size_t n, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint32_t> words(n);
    for (auto& w : words) w = static_cast<std::uint32_t>(random());
    return words;
}

TEST(IndexModel, RepetitiveAndGappedGenomesUnderSmallAndLargeLimits) {
    // A 200-base unit repeated, with a few mutated copies: many keys with a handful of positions.
    std::vector<std::uint32_t> base, check;
    const auto unitBase = randomWords(7, 3), unitCheck = randomWords(7, 4);
    for (int copy = 0; copy < 60; ++copy)
        for (std::size_t i = 0; i < unitBase.size(); ++i) {
            base.push_back(unitBase[i] ^ (copy % 7 == 0 ? 1u << (copy % 32) : 0u));
            check.push_back(unitCheck[i]);
        }
    const auto repetitive = genomeFromPlanes(base, check);
    // At limits of 1, a key with two positions is over both.
    for (const CountLimits& limits :
         {CountLimits{3, 5}, CountLimits{4, 4}, CountLimits{8, 100}, CountLimits{1, 1}})
        expectIndexMatchesModel(*repetitive, limits);
    // Zero words stand for runs of N (and T), the stretches between them for short chromosomes.
    base = randomWords(4000, 5), check = randomWords(4000, 6);
    for (std::size_t i = 0; i < 4000; ++i)
        if (i % 5 == 4 || (i > 1000 && i < 1400)) base[i] = check[i] = 0;
    const auto gapped = genomeFromPlanes(base, check);
    expectIndexMatchesModel(*gapped, {});
    expectIndexMatchesModel(*gapped, {10, 20});
}

// Whole and partitioned builds, then sampled ones; repeats and zero words give listed and unlisted keys.
TEST(IndexModel, EveryPartitioningAndSamplingStep) {
    std::vector<std::uint32_t> base = randomWords(3000, 12), check = randomWords(3000, 13);
    for (std::size_t i = 1500; i < 3000; ++i) {
        base[i] = base[i % 300];
        check[i] = i % 97 == 0 ? 0 : check[i % 300];
    }
    for (std::size_t i = 2200; i < 2500; ++i) base[i] = check[i] = 0;
    const auto genome = genomeFromPlanes(base, check);
    for (const IndexBuildOptions& options : {IndexBuildOptions{1, 0, 0}, IndexBuildOptions{1, 4096, 0},
                                             IndexBuildOptions{1, 0, 10}, IndexBuildOptions{1, 20000, 9}})
        expectIndexMatchesModel(*genome, {}, options);
    for (std::uint32_t step : {2u, 4u, 8u}) expectIndexMatchesModel(*genome, {3, 6}, {step, 3000, 8});
}

TEST(IndexModel, TinyGenomesAndAKeyOccurringMoreThan65535Times) {
    for (std::size_t words : {0u, 1u, 2u, 3u, 4u})
        expectIndexMatchesModel(*genomeFromPlanes(randomWords(words, 10), randomWords(words, 11)), {});
    // 2100 zero words: key 0 occurs about 67,000 times under every encoding.
    std::vector<std::uint32_t> base(2100, 0), check(2100, 0);
    base[50] = 0x12345678;
    check[51] = 0x9ABCDEF0;
    const auto genome = genomeFromPlanes(base, check);
    expectIndexMatchesModel(*genome, {750, 100000});
    EXPECT_EQ(buildCountArrays(*genome, {750, 100000}, nullptr)->count(agKeyEncoding, 0), 65535);
}

// The order check of a loaded file counts the descents of the residuals in vector-wide steps and a
// scalar tail: every start, end and width must count each descent exactly once.
template <class Residual>
void expectStepsDownCountedExactly(std::mt19937& random) {
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<Residual> residuals(1 + random() % 90);
        for (Residual& r : residuals) r = static_cast<Residual>(random() % (trial % 3 == 0 ? 3 : 65536));
        const auto size = static_cast<std::int64_t>(residuals.size());
        const std::int64_t start = 1 + static_cast<std::int64_t>(random() % size);
        const std::int64_t end = start + static_cast<std::int64_t>(random() % (size - start + 1));
        std::uint64_t naive = 0;
        for (std::int64_t i = start; i < end; ++i) naive += residuals[i] < residuals[i - 1];
        EXPECT_EQ(detail::countStepsDown(residuals.data(), start, end), naive)
            << sizeof(Residual) << "-byte residuals, trial " << trial;
    }
}

TEST(KeyTableResiduals, StepsDownAreCountedOnceAtEveryStartEndAndWidth) {
    std::mt19937 random(5);
    expectStepsDownCountedExactly<std::uint8_t>(random);
    expectStepsDownCountedExactly<std::uint16_t>(random);
}

// Equal limits are both crossed; a saturated count stays; the quality is the least of the encodings'.
TEST(CountStatistics, CountingStepAtTheLimitsAndTheTooManyPositionsQuality) {
    CountStatistics s, saturated;
    std::uint16_t entry = 0;
    for (int i = 0; i < 4; ++i) calculateCount(3, 3, entry, s);
    EXPECT_EQ(std::tuple(entry, s.keysWhoseNumberOfPositionsIsAboveEvaluationLimit,
                         s.keysWhoseNumberOfPositionsIsAboveIndexingLimit,
                         s.numberOfReferenceGenomePositionsOverEvaluationLimit),
              std::tuple(4, 1u, 1u, 4u));
    entry = 65535;
    EXPECT_EQ(calculateCount(3, 3, entry, saturated), 65535);
    EXPECT_EQ(std::tuple(entry, saturated.numberOfReferenceGenomePositionsOverCountLimit),
              std::tuple(65535, 1u));
    std::array<CountStatistics, 3> statistics{};
    for (auto& e : statistics)
        e.numberOfPopulatedKeys = 100, e.keysWhoseNumberOfPositionsIsAboveEvaluationLimit = 1;
    statistics[0].numberOfPopulatedKeys = 150;
    EXPECT_EQ(calculateMappingQualityOfKeyWithTooManyPositions(statistics), 20) << "min of 22, 20 and 20";
    std::array<CountStatistics, 3> none{};
    none[1].numberOfPopulatedKeys = 10;
    EXPECT_EQ(calculateMappingQualityOfKeyWithTooManyPositions(none), 2147483647) << "no key above the limit";
}

// A human genome builds within 16 GiB and indexes within 14 GiB; builds that would not fit are refused.
TEST(IndexMemoryDeathTest, DefaultStepGrowsWithTheGenomeAndBuildsThatWouldNotFitAreRefusedUpFront) {
    constexpr std::uint64_t gibibyte = std::uint64_t{1} << 30;
    EXPECT_EQ(std::vector({defaultSamplingStep(400'000'000), defaultSamplingStep(1'500'000'000),
                           defaultSamplingStep(3'100'000'000), defaultSamplingStep(std::uint64_t{1} << 32)}),
              std::vector<std::uint32_t>({1, 2, 4, 8}));
    const IndexMemoryEstimate human = estimateIndexMemory(3'100'000'000, defaultSamplingStep(3'100'000'000));
    EXPECT_LE(human.minimumBuildBytes, 16 * gibibyte);
    EXPECT_LE(human.tableBytes + human.genomeBytes, 14 * gibibyte);
    EXPECT_LE(indexBuildMemoryBudget(3'100'000'000, 4), 15 * gibibyte);
    EXPECT_EQ(chooseSamplingStep(0, 3'100'000'000, "h.fa", 24 * gibibyte).step, 4u);
    EXPECT_EQ(chooseSamplingStep(8, 3'100'000'000, "h.fa", 24 * gibibyte).step, 8u);
    EXPECT_EXIT(
        chooseSamplingStep(1, 3'100'000'000, "h.fa", 24 * gibibyte), ExitedWithCode(1),
        "^ERROR: Indexing the genome in \"h.fa\" at --indexSamplingStep 1 needs about 46.2 GiB of memory, "
        "more than the 24.0 GiB of this machine; give a larger --indexSamplingStep \\(1, 2, 4 or 8\\).\n$");
    EXPECT_EXIT(chooseSamplingStep(0, 3'100'000'000, "h.fa", 8 * gibibyte), ExitedWithCode(1),
                "at --indexSamplingStep 4 needs about 12.6 GiB of memory, more than the 8.0 GiB");
}

// The estimate bounds a real build, closely: a random genome lists nearly every window.
TEST(IndexMemory, EstimateBoundsTheTablesOfARealBuild) {
    const auto genome = genomeFromPlanes(randomWords(1 << 16, 5), randomWords(1 << 16, 6));
    for (const std::uint32_t step : {1u, 2u, 4u, 8u}) {
        const auto arrays = buildCountArrays(*genome, {}, nullptr, {step, 0, 0});
        std::uint64_t built = 0;
        for (const KeyTable& table : arrays->keyTables) built += keyTableBytes(table);
        const std::uint64_t estimated = estimateIndexMemory(genome->paddedSequenceLength, step).tableBytes;
        EXPECT_LE(built, estimated) << "step " << step;
        EXPECT_GE(built, estimated * 99 / 100) << "step " << step;
    }
}

// Two chromosomes, the second repeating part of the first, with runs of N and a lower-case stretch.
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

TEST(IndexFileChecksum, SeesEveryBitTheSegmentAndTheLength) {
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
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms{0640});
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

// A file written over in place (cp onto it) once ended the run with a bare "Error: signal 7".
TEST(MappedFiles, AFileWrittenOverUnderItsMappingIsNamed) {
    const std::string path = "/tmp/koru-index-file-test-overwritten";
    for (const std::string kind : {"file", "index file"}) {
        EXPECT_EXIT(
            {
                installCrashHandler();
                std::ofstream(path) << std::string(3 * 4096, 'A');
                const FileDescriptor descriptor(::open(path.c_str(), O_RDONLY));
                const LoadedIndexFile index(descriptor, path, 3 * 4096);
                const auto file = createMemoryMappedFile(path);
                std::filesystem::resize_file(path, 0);
                std::printf("%c", kind == "file" ? file->contents[4096 + 7] : index.data()[4096 + 7]);
            },
            ExitedWithCode(1),
            "^ERROR: The " + kind + " \"" + path +
                "\" changed or shrank while koru was using it; replace such a file by renaming a new one "
                "into its place, never by writing over it.\n$");
    }
    std::filesystem::remove(path);
}

// An index of a small genome written to a file, with its progress lines.
class IndexFile : public ::testing::Test {
  protected:
    void SetUp() override {
        auto report = createLockedFile(directory_.file("written.txt"), false, false);
        writeIndexFile(path_, *built_.indexes, report.get());
        report->close();
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

// The loaded index writes the same file and points into the mapped file; mapping from it: tests/e2e.
TEST_F(IndexFile, RoundTripGivesTheSameIndexAndTheProgressLinesStateTheRealSizes) {
    auto report = createLockedFile(directory_.file("read.txt"), false, false);
    const MappingIndex loaded = deserializeBinaryIndexesFromFile(path_, report.get());
    report->close();
    writeIndexFile(directory_.file("again.kix"), *loaded.indexes, nullptr);
    EXPECT_TRUE(readFile(directory_.file("again.kix")) == original_);
    for (const void* array : std::initializer_list<const void*>{
             loaded.genome->uncalledPlaneWords.get(), loaded.genome->planeWords.get(),
             loaded.countArrays->keyTables[2].residuals.get(),
             loaded.countArrays->keyTables[1].positions.get()}) {
        const auto offset = static_cast<const unsigned char*>(array) - loaded.file->data();
        EXPECT_TRUE(offset >= 0 && offset < std::ssize(*loaded.file) && offset % indexFileAlignment == 0);
    }
    const std::string size = indexFileSizeText(original_.size());
    EXPECT_THAT(readFile(directory_.file("written.txt")),
                ::testing::HasSubstr("Finished serializing the binary indexes to storage, " + size +
                                     " written to disk.\n"));
    EXPECT_THAT(readFile(directory_.file("read.txt")),
                ::testing::HasSubstr("Finished deserializing the binary indexes from storage, " + size +
                                     " read from disk.\n"));
    EXPECT_EQ(std::vector({indexFileSizeText(0), indexFileSizeText(1023), indexFileSizeText(1024),
                           indexFileSizeText(3 * 1048576 / 2), indexFileSizeText(std::uint64_t{85} << 30)}),
              std::vector<std::string>({"0B", "1023B", "~1.0KB", "~1.5MB", "~85.0GB"}));
}

TEST_F(IndexFile, CutChangedForeignOrOtherVersionFilesAreRefused) {
    const std::string& original = original_;
    ASSERT_GT(original.size(), 3 * indexFileChecksumSegment / 100);
    std::vector<std::pair<std::string, std::string>> cases;  // contents and the reason they are refused
    for (const std::size_t length : {0ul, 63ul, 64ul, original.size() / 2, original.size() - 1})
        cases.emplace_back(original.substr(0, length), length == 0 ? "it is empty"
                                                       : length < indexFileHeaderBytes
                                                           ? "it is truncated inside its header"
                                                           : "it is truncated: it holds " +
                                                                 std::to_string(length) + " of its " +
                                                                 std::to_string(original.size()) + " bytes");
    // One flipped byte in the header's sizes, the genome's identity, each block and the last byte.
    for (const std::size_t offset : {40ul, 52ul, 70ul, 500ul, original.size() / 2, original.size() - 1}) {
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
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << contents;
        EXPECT_EXIT(deserializeBinaryIndexesFromFile(path_, nullptr), ExitedWithCode(1),
                    "The index file \".*index.kix\" cannot be used: " + reason);
    }
    EXPECT_EXIT(deserializeBinaryIndexesFromFile(directory_.path().string(), nullptr), ExitedWithCode(1),
                "cannot be used: it is not a regular file|Could not open the index file");
    EXPECT_EXIT(deserializeBinaryIndexesFromFile(directory_.file("missing.kix"), nullptr), ExitedWithCode(1),
                "Could not open the index file \".*missing.kix\": No such file");
}

// Crafted files with a matching checksum: the fuzzer found lookups reading residuals far outside the
// table, and chromosome bases past their range giving rescue searches and SAM their end.
TEST_F(IndexFile, KeyTablesOrChromosomesThatLieAreRefused) {
    ASSERT_EQ(table().residualBytes(), 2);
    loadResealed(original_);  // a resealed file as written still loads
    const KeyTable& t = table();
    const std::uint64_t ordered = firstEntry(2, true);
    const std::size_t directory = offsetOf(t.directory.get(), 4 * t.directorySize()),
                      positions = offsetOf(t.positions.get(), 4 * t.numberOfEntries),
                      swapped = offsetOf(t.residuals.get(), 2 * t.numberOfEntries) + 2 * ordered;
    // The first chromosome's record: its name, an empty accession, the version and the number, then
    // the base pairs.
    const ChromosomeInformation& chromosome = built_.genome->chromosomes[0];
    const std::size_t basePairs =
        offsetOf(chromosome.name.data(), chromosome.name.size()) + chromosome.name.size() + 4 + 4 + 4;
    ASSERT_EQ(std::memcmp(original_.data() + basePairs, &chromosome.basePairs, 8), 0);
    const struct {
        const char* lie;
        std::size_t offset;
        std::uint64_t value;
        std::size_t bytes;  // 4 in the key tables, 8 in the genome record
    } lies[] = {
        {"a bucket range running backwards", directory + 4 * 1000, t.directory[1001] + 5, 4},
        {"a position past the genome", positions + 4 * firstEntry(1), built_.genome->paddedSequenceLength, 4},
        // The mark stands for a key whose positions are not listed only at the start of a run of
        // two; anywhere else it would be read as a position.
        {"a mark inside a longer run", positions + 4 * firstEntry(4), tooManyPositionsMark, 4},
        {"residuals out of order in a bucket", swapped,
         residuals()[ordered + 1] | static_cast<std::uint32_t>(residuals()[ordered]) << 16, 4},
        {"a position past the genome in the file's last entry", original_.size() - 4,
         built_.genome->paddedSequenceLength, 4},
        {"chromosome bases past its range", basePairs,
         chromosome.endGenomePosition - chromosome.startGenomePosition + 2, 8},
    };
    for (const auto& lie : lies) {
        SCOPED_TRACE(lie.lie);
        std::string file = original_;
        std::memcpy(file.data() + lie.offset, &lie.value, lie.bytes);
        EXPECT_EXIT(loadResealed(file), ExitedWithCode(1),
                    std::string("The index file \".*index.kix\" cannot be used: its ") +
                        (lie.bytes == 4 ? "key tables are" : "genome record is") + " damaged.\n");
    }
}

// A loaded file's entries are checked in the pieces in which its checksum reads it: whatever the
// pieces, the verdict is the one on the whole arrays, for a lie at a piece's first entry too.
TEST(KeyTableEntryChecks, PiecesOfAnySizeGiveTheVerdictOfTheWholeArrays) {
    const BuiltIndex built = buildIndex();
    const KeyTable& table = built.countArrays->keyTables[1];
    ASSERT_EQ(table.residualBytes(), 2);
    const std::uint64_t entries = table.numberOfEntries;
    const auto verdict = [&](std::size_t pieceBytes) {
        KeyTableEntryChecks checks(*built.countArrays, built.genome->paddedSequenceLength);
        for (const KeyTable& t : built.countArrays->keyTables)
            for (const auto& [array, bytes] :
                 {std::pair<const std::uint8_t*, std::size_t>(t.residuals.get(), 2 * t.numberOfEntries),
                  std::pair(reinterpret_cast<const std::uint8_t*>(t.positions.get()), 4 * t.numberOfEntries)})
                for (std::size_t at = 0; at < bytes; at += pieceBytes)
                    checks.check(array + at, std::min(pieceBytes, bytes - at));
        return checks.consistent();
    };
    const std::vector<std::size_t> pieceSizes{7, 64, 4096, 4 * entries};
    for (const std::size_t bytes : pieceSizes) EXPECT_TRUE(verdict(bytes)) << bytes;

    // A residual below the one before it, inside a bucket, where a 4096-byte piece starts.
    auto* residuals = reinterpret_cast<std::uint16_t*>(table.residuals.get());
    std::uint64_t stepDown = 2048;
    while (
        stepDown < entries &&
        (residuals[stepDown - 1] == 0 ||
         std::binary_search(table.directory.get(), table.directory.get() + table.directorySize(), stepDown)))
        stepDown += 2048;
    ASSERT_LT(stepDown, entries);
    std::uint32_t* positions = table.positions.get();
    struct Lie {
        const char* what;
        void* at;
        std::size_t bytes;
        std::uint32_t value;
    };
    for (const Lie lie : {Lie{"a residual stepping down", residuals + stepDown, 2, 0},
                          Lie{"a position past the genome at a piece's first entry", positions + 1024, 4,
                              static_cast<std::uint32_t>(built.genome->paddedSequenceLength)},
                          Lie{"a position past the genome in the last entry", positions + entries - 1, 4,
                              static_cast<std::uint32_t>(built.genome->paddedSequenceLength)}}) {
        SCOPED_TRACE(lie.what);
        std::uint32_t kept = 0;
        std::memcpy(&kept, lie.at, lie.bytes);
        std::memcpy(lie.at, &lie.value, lie.bytes);
        for (const std::size_t bytes : pieceSizes) EXPECT_FALSE(verdict(bytes)) << bytes;
        std::memcpy(lie.at, &kept, lie.bytes);
    }
}

}  // namespace
}  // namespace koru
