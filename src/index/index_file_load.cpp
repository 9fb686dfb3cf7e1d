// Loading an index file: check that it is a whole, undamaged koru index file of this format
// version while reading it into memory, then point the genome, count arrays and binary indexes
// into that memory.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "index/index_file.h"
#include "index/index_file_io.h"
#include "index/index_file_memory.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/text_format.h"

namespace koru {

namespace {

[[noreturn]] void refuseIndexFile(const std::string& fileName, const std::string& reason) {
    exitWithErrorFormat("The index file \"%s\" cannot be used: %s.\n", fileName.c_str(), reason.c_str());
}

std::uint64_t regularFileSize(const FileDescriptor& file, const std::string& fileName) {
    struct stat status {};
    if (fstat(file.get(), &status) != 0)
        exitWithErrorFormat("Could not read the index file \"%s\": %s.\n", fileName.c_str(),
                            std::strerror(errno));
    if (!S_ISREG(status.st_mode)) refuseIndexFile(fileName, "it is not a regular file");
    return static_cast<std::uint64_t>(status.st_size);
}

// Checks everything the header alone can tell: the mark, the version and the file's length.
IndexFileHeader readIndexFileHeader(const FileDescriptor& file, const std::string& fileName,
                                    std::uint64_t fileBytes) {
    IndexFileHeader header{};
    const ssize_t got = pread(file.get(), &header, sizeof header, 0);
    if (got < 0)
        exitWithErrorFormat("Could not read the index file \"%s\": %s.\n", fileName.c_str(),
                            std::strerror(errno));
    if (got == 0) refuseIndexFile(fileName, "it is empty");
    const auto markBytes = std::min(static_cast<std::size_t>(got), sizeof indexFileMagic);
    if (std::memcmp(header.magic, indexFileMagic, markBytes) != 0)
        refuseIndexFile(fileName, "it is not a koru index file");
    if (static_cast<std::size_t>(got) < sizeof header)
        refuseIndexFile(fileName, "it is truncated inside its header");
    if (header.formatVersion != indexFileFormatVersion)
        refuseIndexFile(fileName,
                        stringPrintf("it has index file format version %u, and this koru reads version %u",
                                     header.formatVersion, indexFileFormatVersion));
    if (header.headerBytes != indexFileHeaderBytes ||
        header.checksumSegmentBytes != indexFileChecksumSegment ||
        !isSupportedSamplingStep(header.samplingStep))
        refuseIndexFile(fileName, "its header is damaged");
    if (fileBytes < header.fileBytes)
        refuseIndexFile(fileName, stringPrintf("it is truncated: it holds %llu of its %llu bytes",
                                               static_cast<unsigned long long>(fileBytes),
                                               static_cast<unsigned long long>(header.fileBytes)));
    if (fileBytes > header.fileBytes) refuseIndexFile(fileName, "it holds data past its end");
    return header;
}

// Maps the file, checks it against its checksum (which reads every page, and so brings the file
// into memory), then settles where the index will live (see index_file_memory.h).
std::unique_ptr<LoadedIndexFile> readIndexFile(const FileDescriptor& file, const std::string& fileName,
                                               const IndexFileHeader& header, std::uint64_t fileBytes) {
    auto loaded = std::make_unique<LoadedIndexFile>(file, fileName, fileBytes);
    const std::uint64_t checksum = loaded->checksum(indexFileHeaderBytes, indexFileChecksumSegment,
                                                    indexFileSegmentChecksum, foldIndexFileChecksum);
    if (indexFileChecksumWithHeader(checksum, header) != header.checksum)
        refuseIndexFile(fileName, "its contents do not match their checksum, the file is damaged");
    loaded->settle(file);
    return loaded;
}

std::unique_ptr<GenomeInformation> deserializeGenomeInformation(IndexFileReader& in) {
    auto info = std::make_unique<GenomeInformation>();
    info->numberOfChromosomes = in.value<std::uint32_t>();
    info->formatType = in.value<std::uint32_t>();
    for (std::string* text : {&info->name, &info->species, &info->version, &info->file}) *text = in.text();
    return info;
}

ChromosomeInformation deserializeChromosome(IndexFileReader& in) {
    ChromosomeInformation c;
    c.name = in.text();
    c.accession = in.text();
    c.version = in.value<std::int32_t>();
    c.chromosomeNumber = in.value<std::uint32_t>();
    for (std::uint64_t* field :
         {&c.basePairs, &c.startPositionInChromosome, &c.endPositionInChromosome, &c.paddedBasePairs,
          &c.startBinaryEncodedArrayPosition, &c.endBinaryEncodedArrayPosition, &c.startGenomePosition,
          &c.endGenomePosition})
        *field = in.value<std::uint64_t>();
    return c;
}

// The sizes the rest of koru relies on when it reads the genome's arrays.
bool genomeIsConsistent(const GenomeSequence& genome) {
    if (genome.utilizedBinaryEncodedArraySize > genome.allocatedBinaryEncodedArraySize ||
        genome.paddedSequenceLength > maximumGenomePositions ||
        genome.paddedSequenceLength > 32 * genome.allocatedBinaryEncodedArraySize ||
        genome.sequenceLength > genome.paddedSequenceLength)
        return false;
    std::uint64_t previousEnd = 0;
    for (const ReferenceLetterRun& run : genome.otherLetters) {
        if (run.start < previousEnd || std::uint64_t{run.start} + run.length > genome.paddedSequenceLength)
            return false;
        previousEnd = std::uint64_t{run.start} + run.length;
    }
    // Chromosomes in position order without overlap, as lookups by position search them, and each
    // one's bases inside its range, as rescue searches and SAM take them.
    const ChromosomeInformation* previous = nullptr;
    for (const ChromosomeInformation& c : genome.chromosomes) {
        if (c.startGenomePosition > c.endGenomePosition ||
            c.endGenomePosition >= genome.paddedSequenceLength ||
            c.endBinaryEncodedArrayPosition >= genome.allocatedBinaryEncodedArraySize ||
            c.basePairs > c.endGenomePosition - c.startGenomePosition + 1 ||
            (previous != nullptr && c.startGenomePosition <= previous->endGenomePosition))
            return false;
        previous = &c;
    }
    return true;
}

std::vector<ReferenceLetterRun> deserializeOtherLetters(IndexFileReader& in) {
    const auto count = in.value<std::uint64_t>();
    // Each run takes 9 bytes, which bounds the count before anything is reserved.
    if (count > (in.size() - in.offset()) / 9) in.refuse("its genome record is damaged");
    std::vector<ReferenceLetterRun> runs(count);
    for (ReferenceLetterRun& run : runs) {
        run.start = in.value<std::uint32_t>();
        run.length = in.value<std::uint32_t>();
        run.letter = in.value<char>();
    }
    return runs;
}

std::unique_ptr<GenomeSequence> deserializeGenomeSequenceFromIndexFile(IndexFileReader& in) {
    in.align();
    auto genome = std::make_unique<GenomeSequence>();
    genome->genomeInformation = deserializeGenomeInformation(in);
    for (std::uint64_t* field :
         {&genome->sequenceLength, &genome->paddedSequenceLength, &genome->asciiEncodedArrayLength,
          &genome->allocatedBinaryEncodedArraySize, &genome->utilizedBinaryEncodedArraySize})
        *field = in.value<std::uint64_t>();
    genome->mappingQualityOfKeyBelongingToUnmappedRegion = in.value<std::uint32_t>();
    genome->mappingQualityOfKeyWithTooManyPositions = in.value<std::int32_t>();
    genome->sequenceStatistics = in.value<SequenceStatistics>();
    const auto chromosomes = in.value<std::uint64_t>();
    // Each chromosome takes at least 80 bytes, which bounds the count before anything is reserved.
    if (chromosomes > (in.size() - in.offset()) / 80) in.refuse("its chromosome table is damaged");
    genome->chromosomes.reserve(chromosomes);
    for (std::uint64_t c = 0; c < chromosomes; ++c) genome->chromosomes.push_back(deserializeChromosome(in));
    genome->planeWords = borrowArray(in.array<std::uint32_t>(2 * genome->allocatedBinaryEncodedArraySize));
    genome->uncalledPlaneWords =
        borrowArray(in.array<std::uint32_t>(genome->allocatedBinaryEncodedArraySize));
    genome->otherLetters = deserializeOtherLetters(in);
    if (!genomeIsConsistent(*genome)) in.refuse("its genome record is damaged");
    return genome;
}

void deserializeKeyTable(IndexFileReader& in, KeyTable& table) {
    table.directory = borrowArray(in.array<std::uint32_t>((std::uint64_t{1} << table.directoryBits) + 1));
    table.residuals = borrowArray(
        in.array<std::uint8_t>(table.numberOfEntries * static_cast<std::uint64_t>(table.residualBytes()) +
                               detail::residualSlackBytes));
    if (table.directory[0] != 0 || table.directory[table.directorySize() - 1] != table.numberOfEntries)
        in.refuse("its key directory is damaged");
}

void deserializePositions(IndexFileReader& in, CountArrays& arrays) {
    for (KeyTable& table : arrays.keyTables)
        table.positions = borrowArray(in.array<std::uint32_t>(table.numberOfEntries));
}

// Whether the mark at `entry` starts a run of exactly two entries of one key, the mark and the count.
template <class Residual>
bool markStartsRunOfTwo(const KeyTable& table, const Residual* residuals, std::uint64_t entry) {
    // The bucket holding the entry: the directory rises from 0 to the entry count.
    const std::uint32_t* directory = table.directory.get();
    const std::uint32_t* after = std::upper_bound(directory, directory + table.directorySize(), entry);
    const std::uint64_t first = *(after - 1), last = *after;
    const Residual key = residuals[entry];
    return entry + 1 < last && residuals[entry + 1] == key &&
           (entry == first || residuals[entry - 1] != key) &&
           (entry + 2 == last || residuals[entry + 2] != key);
}

// Blocks of entries that the checks below take as one piece of work, in vector compares.
constexpr std::int64_t checkedBlockEntries = 4096;

// Every position inside the genome, but a mark and the count after it; a mark only where a run of
// two starts. Marks are rare: only the blocks holding one look at them again.
template <class Residual>
bool positionsAreConsistent(const KeyTable& table, const Residual* residuals, std::uint64_t genomePositions) {
    const std::uint32_t* positions = table.positions.get();
    const auto entries = static_cast<std::int64_t>(table.numberOfEntries);
    // Positions are 32-bit: with 2^32 genome positions only the mark is outside.
    const auto limit =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(genomePositions, tooManyPositionsMark));
    unsigned bad = entries > 0 && positions[0] >= limit && positions[0] != tooManyPositionsMark;
#pragma omp parallel for schedule(static) reduction(| : bad)
    for (std::int64_t start = 0; start < entries; start += checkedBlockEntries) {
        const std::int64_t end = std::min(entries, start + checkedBlockEntries);
        unsigned outside = 0, marked = positions[start] == tooManyPositionsMark;
#pragma omp simd reduction(| : outside, marked)
        for (std::int64_t i = std::max<std::int64_t>(start, 1); i < end; ++i) {
            const std::uint32_t position = positions[i];
            outside |= static_cast<unsigned>(position >= limit) &
                       static_cast<unsigned>(position != tooManyPositionsMark) &
                       static_cast<unsigned>(positions[i - 1] != tooManyPositionsMark);
            marked |= static_cast<unsigned>(position == tooManyPositionsMark);
        }
        if (marked != 0)
            for (std::int64_t i = start; i < end; ++i)
                if (positions[i] == tooManyPositionsMark)
                    outside |= !markStartsRunOfTwo(table, residuals, static_cast<std::uint64_t>(i));
        bad |= outside;
    }
    return bad == 0;
}

// Residuals in order within each bucket, so that a lookup's run is its key's and no other: every
// step down in the residuals is where a bucket starts.
template <class Residual>
bool residualsAreInOrder(const KeyTable& table, const Residual* residuals) {
    const auto entries = static_cast<std::int64_t>(table.numberOfEntries);
    std::uint64_t stepsDown = 0;
#pragma omp parallel for schedule(static) reduction(+ : stepsDown)
    for (std::int64_t start = 1; start < entries; start += checkedBlockEntries)
        stepsDown += detail::countStepsDown(residuals, start, std::min(entries, start + checkedBlockEntries));
    const std::uint32_t* directory = table.directory.get();
    const auto buckets = static_cast<std::int64_t>(table.directorySize()) - 1;
    std::uint64_t atBucketStarts = 0;
#pragma omp parallel for schedule(static) reduction(+ : atBucketStarts)
    for (std::int64_t bucket = 0; bucket < buckets; ++bucket) {
        const std::uint32_t first = directory[bucket];
        if (first > 0 && first < directory[bucket + 1] && residuals[first] < residuals[first - 1])
            ++atBucketStarts;
    }
    return stepsDown == atBucketStarts;
}

// Lookups and mapping take bucket ranges and positions from the tables as they are, so a file whose
// checksum matches but whose directory or positions lie (a crafted one) would have them read
// outside the tables and the genome: every entry is checked once, with all threads, before use.
// The directory's ends were checked with the table.
bool keyTableIsConsistent(const KeyTable& table, std::uint64_t genomePositions) {
    const std::uint32_t* directory = table.directory.get();
    const auto buckets = static_cast<std::int64_t>(table.directorySize()) - 1;
    bool descending = false;
#pragma omp parallel for schedule(static) reduction(| : descending)
    for (std::int64_t bucket = 0; bucket < buckets; ++bucket)
        descending |= directory[bucket] > directory[bucket + 1];
    if (descending) return false;
    if (table.residualBytes() == 1)
        return residualsAreInOrder(table, table.residuals.get()) &&
               positionsAreConsistent(table, table.residuals.get(), genomePositions);
    const auto* residuals = reinterpret_cast<const std::uint16_t*>(table.residuals.get());
    return residualsAreInOrder(table, residuals) && positionsAreConsistent(table, residuals, genomePositions);
}

// What the header says about the genome must be what the file holds. (Its sequence checksum is
// covered by the file's checksum, and identifies the genome to tools that read the header.)
void checkGenomeIdentity(const IndexFileHeader& header, const GenomeSequence& genome,
                         const std::string& fileName) {
    if (header.genomeLength != genome.sequenceLength ||
        header.numberOfChromosomes != genome.chromosomes.size())
        refuseIndexFile(fileName, "its genome does not match the genome its header describes");
}

}  // namespace

std::unique_ptr<CountArrays> deserializeCountArraysFromFile(IndexFileReader& in) {
    in.align();
    auto arrays = std::make_unique<CountArrays>();
    arrays->sizeOfCountArrays = in.value<std::uint64_t>();
    arrays->limits.evaluationLimit = in.value<std::uint32_t>();
    arrays->limits.indexingLimit = in.value<std::uint32_t>();
    arrays->samplingStep = in.value<std::uint32_t>();
    if (!isSupportedSamplingStep(arrays->samplingStep)) in.refuse("its count arrays header is damaged");
    for (CountStatistics& s : arrays->statistics) s = in.value<CountStatistics>();
    arrays->totalStatistics = in.value<CountStatistics>();
    arrays->averageStatistics = in.value<CountStatistics>();
    for (KeyTable& table : arrays->keyTables) {
        table.directoryBits = static_cast<int>(in.value<std::uint32_t>());
        table.numberOfEntries = in.value<std::uint64_t>();
        if (table.directoryBits < 16 || table.directoryBits > 28 ||
            table.numberOfEntries > arrays->sizeOfCountArrays)
            in.refuse("its count arrays header is damaged");
    }
    arrays->genomeInformation = deserializeGenomeInformation(in);
    for (KeyTable& table : arrays->keyTables) deserializeKeyTable(in, table);
    return arrays;
}

MappingIndex deserializeBinaryIndexesFromFile(const std::string& fileName, LockedFile* report,
                                              std::uint32_t samplingStep) {
    const FileDescriptor file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (file.get() < 0)
        exitWithErrorFormat("Could not open the index file \"%s\": %s.\n", fileName.c_str(),
                            std::strerror(errno));
    const std::uint64_t fileBytes = regularFileSize(file, fileName);
    const IndexFileHeader header = readIndexFileHeader(file, fileName, fileBytes);
    if (samplingStep != 0 && samplingStep != header.samplingStep)
        exitWithErrorFormat(
            "The index file \"%s\" was built with --indexSamplingStep %u, not with the %u requested; write "
            "an "
            "index file with that step, or leave the option out to use the file's.\n",
            fileName.c_str(), header.samplingStep, samplingStep);
    MappingIndex loaded;
    loaded.file = readIndexFile(file, fileName, header, fileBytes);
    const unsigned char* data = loaded.file->data();

    reportIndexFileStep(report,
                        "\n\nDeserializing the binary indexes from storage, this is very I/O intensive and "
                        "will take time.");
    IndexFileReader in(data, fileBytes, indexFileHeaderBytes, fileName);
    std::array<std::uint64_t, numberOfKeyEncodings> listed{};
    for (std::uint64_t& l : listed) l = in.value<std::uint64_t>();
    loaded.countArrays = deserializeCountArraysFromFile(in);
    loaded.countArrays->listedPositions = listed;
    if (loaded.countArrays->samplingStep != header.samplingStep)
        in.refuse("its count arrays header is damaged");
    reportIndexFileStep(report, "\tDeserializing the Count Arrays from a file, reading " +
                                    indexFileSizeText(countArraysBytes(*loaded.countArrays)) + " from disk.");
    loaded.genome = deserializeGenomeSequenceFromIndexFile(in);
    reportIndexFileStep(report, "\tDeserializing the Binary Formated Genome Sequence from a file, reading " +
                                    indexFileSizeText(genomeSequenceBytes(*loaded.genome)) + " from disk.");
    checkGenomeIdentity(header, *loaded.genome, fileName);
    reportIndexFileStep(report,
                        "\tDeserializing Position Indexes from a file, reading 0B from disk (they are held "
                        "with the count arrays).");
    deserializePositions(in, *loaded.countArrays);
    for (const KeyTable& table : loaded.countArrays->keyTables)
        if (!keyTableIsConsistent(table, loaded.genome->paddedSequenceLength))
            in.refuse("its key tables are damaged");
    loaded.indexes = std::make_unique<BinaryIndexes>();
    reportIndexFileStep(report, "\tDeserializing Index Storage from a file, reading " +
                                    indexFileSizeText(indexStorageBytes(*loaded.countArrays)) +
                                    " from disk.");
    if (in.offset() != fileBytes) in.refuse("it holds data past its index");
    loaded.indexes->countArrays = loaded.countArrays.get();
    loaded.indexes->genomeSequence = loaded.genome.get();
    reportIndexFileStep(report, "Finished deserializing the binary indexes from storage, " +
                                    indexFileSizeText(fileBytes) + " read from disk.");
    return loaded;
}

}  // namespace koru
