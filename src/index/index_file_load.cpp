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
#include "index/key_table_checks.h"
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

// Pieces of the file small enough to stay in the cache between the checksum and the checks.
constexpr std::size_t checkedPieceBytes = std::size_t{64} << 10;
static_assert(indexFileChecksumSegment % checkedPieceBytes == 0 && checkedPieceBytes % 32 == 0);

// The file against its checksum; with `checks`, each piece is also handed to them as it is read.
void checkIndexFileChecksum(const LoadedIndexFile& loaded, const IndexFileHeader& header,
                            const std::string& fileName, KeyTableEntryChecks* checks) {
    const auto segmentChecksum = [checks](const unsigned char* data, std::size_t bytes,
                                          std::uint64_t segment) {
        IndexFileSegmentChecksum checksum(segment);
        for (std::size_t at = 0; at < bytes; at += checkedPieceBytes) {
            const std::size_t length = std::min(checkedPieceBytes, bytes - at);
            checksum.add(data + at, length);
            if (checks != nullptr) checks->check(data + at, length);
        }
        return checksum.value();
    };
    const std::uint64_t checksum = loaded.checksum(indexFileHeaderBytes, indexFileChecksumSegment,
                                                   segmentChecksum, foldIndexFileChecksum);
    if (indexFileChecksumWithHeader(checksum, header) != header.checksum)
        refuseIndexFile(fileName, "its contents do not match their checksum, the file is damaged");
}

// What the header says about the genome must be what the file holds. (Its sequence checksum is
// covered by the file's checksum, and identifies the genome to tools that read the header.)
void checkGenomeIdentity(const IndexFileHeader& header, const GenomeSequence& genome,
                         const IndexFileReader& in) {
    if (header.genomeLength != genome.sequenceLength ||
        header.numberOfChromosomes != genome.chromosomes.size())
        in.refuse("its genome does not match the genome its header describes");
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
    // Where the index will live is settled before anything points into it (index_file_memory.h).
    loaded.file = std::make_unique<LoadedIndexFile>(file, fileName, fileBytes);
    loaded.file->settle(file);
    const unsigned char* data = loaded.file->data();

    reportIndexFileStep(report,
                        "\n\nDeserializing the binary indexes from storage, this is very I/O intensive and "
                        "will take time.");
    // Its layout is read first, so that the checks of its entries can run with the checksum; a
    // layout that does not hold is refused for a checksum that does not match, if it does not.
    IndexFileReader in(data, fileBytes, indexFileHeaderBytes, fileName);
    in.checkBeforeRefusing([&] { checkIndexFileChecksum(*loaded.file, header, fileName, nullptr); });
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
    checkGenomeIdentity(header, *loaded.genome, in);
    reportIndexFileStep(report,
                        "\tDeserializing Position Indexes from a file, reading 0B from disk (they are held "
                        "with the count arrays).");
    deserializePositions(in, *loaded.countArrays);
    if (in.offset() != fileBytes) in.refuse("it holds data past its index");
    KeyTableEntryChecks checks(*loaded.countArrays, loaded.genome->paddedSequenceLength);
    checkIndexFileChecksum(*loaded.file, header, fileName, &checks);
    if (!checks.consistent()) refuseIndexFile(fileName, "its key tables are damaged");
    loaded.indexes = std::make_unique<BinaryIndexes>();
    reportIndexFileStep(report, "\tDeserializing Index Storage from a file, reading " +
                                    indexFileSizeText(indexStorageBytes(*loaded.countArrays)) +
                                    " from disk.");
    loaded.indexes->countArrays = loaded.countArrays.get();
    loaded.indexes->genomeSequence = loaded.genome.get();
    reportIndexFileStep(report, "Finished deserializing the binary indexes from storage, " +
                                    indexFileSizeText(fileBytes) + " read from disk.");
    return loaded;
}

}  // namespace koru
