#include "genome/genome_serialization.h"

#include <sys/stat.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "support/allocation.h"
#include "support/errors.h"
#include "support/files.h"

namespace koru {

namespace {

constexpr std::size_t kGenomeInformationBytes = 52;
constexpr std::size_t kGenomeSequenceBytes = 200;
constexpr std::size_t kChromosomeBytes = 88;
constexpr std::uint64_t kWordBases = 32;
constexpr std::uint64_t kMaximumPlaneWords = maximumGenomePositions / kWordBases;

// ---- Writing ----

void appendLittleEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int byte = 0; byte < bytes; ++byte) out.push_back(static_cast<char>(value >> (8 * byte)));
}
void append32(std::string& out, std::uint32_t value) {
    appendLittleEndian(out, value, 4);
}
void append64(std::string& out, std::uint64_t value) {
    appendLittleEndian(out, value, 8);
}
void appendAddressSlots(std::string& out, int slots) {
    out.append(8 * static_cast<std::size_t>(slots), '\0');
}

[[noreturn]] void exitOnWriteFailure() {
    exitWithErrorFormat("ERROR: Could not write the genome to the file: %s.\n", std::strerror(errno));
}

void writeBytes(std::FILE* stream, const void* bytes, std::size_t size) {
    if (size != 0 && std::fwrite(bytes, 1, size, stream) != size) exitOnWriteFailure();
}

// One plane of the genome's interleaved planes (0 base, 1 check), as the serialised form keeps it.
void writePlane(std::FILE* stream, const std::uint32_t* pairs, int plane, std::uint32_t count) {
    std::string chunk;
    for (std::uint32_t word = 0; word < count; ++word) {
        append32(chunk, pairs[2 * std::uint64_t{word} + static_cast<std::uint64_t>(plane)]);
        if (chunk.size() >= (1u << 20) || word + 1 == count) {
            writeBytes(stream, chunk.data(), chunk.size());
            chunk.clear();
        }
    }
}

void flushStream(std::FILE* stream) {
    if (std::fflush(stream) != 0) exitOnWriteFailure();
}

std::string genomeSequenceRecord(const GenomeSequence& genome) {
    std::string out;
    appendAddressSlots(out, 5);
    append64(out, genome.sequenceLength);
    append64(out, genome.paddedSequenceLength);
    append64(out, genome.asciiEncodedArrayLength);
    append64(out, genome.allocatedBinaryEncodedArraySize);
    append64(out, genome.utilizedBinaryEncodedArraySize);
    append32(out, genome.mappingQualityOfKeyBelongingToUnmappedRegion);
    append32(out, static_cast<std::uint32_t>(genome.mappingQualityOfKeyWithTooManyPositions));
    const SequenceStatistics& s = genome.sequenceStatistics;
    for (const std::uint64_t counter :
         {s.totalNumberOfBases, s.adenines, s.guanines, s.thymines, s.cytosines, s.uncalledBases,
          s.positionsWhereSingleNucleotideRepeatedFor32Bases, s.positionsThatWereExtensionsOfPreviousRepeat,
          s.positionsWhere32ConsecutiveUncalledBasesDetected,
          s.uncalledPositionsThatWereExtensionsOfPreviousRepeat,
          s.positionsWith32OrMoreConsecutiveUncalledBases, s.positionsWith64OrMoreConsecutiveUncalledBases,
          s.positionsWith96OrMoreConsecutiveUncalledBases, s.positionsWith128OrMoreConsecutiveUncalledBases})
        append64(out, counter);
    return out;
}

void appendChromosomeRecord(std::string& out, const ChromosomeInformation& chromosome) {
    appendAddressSlots(out, 2);
    append32(out, static_cast<std::uint32_t>(chromosome.version));
    append32(out, chromosome.chromosomeNumber);
    for (const std::uint64_t field :
         {chromosome.basePairs, chromosome.startPositionInChromosome, chromosome.endPositionInChromosome,
          chromosome.paddedBasePairs, chromosome.startBinaryEncodedArrayPosition,
          chromosome.endBinaryEncodedArrayPosition, chromosome.startGenomePosition,
          chromosome.endGenomePosition})
        append64(out, field);
}

// ---- Reading ----

std::uint64_t load(const unsigned char* bytes, int size) {
    std::uint64_t value = 0;
    for (int byte = size - 1; byte >= 0; --byte) value = value << 8 | bytes[byte];
    return value;
}
std::uint32_t load32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(load(bytes, 4));
}
std::uint64_t load64(const unsigned char* bytes) {
    return load(bytes, 8);
}

[[noreturn]] void exitOnInconsistentGenome(const char* reason) {
    exitWithErrorFormat("ERROR: The serialised genome is inconsistent: %s.\n", reason);
}

// Reads from a regular file and knows how much of it is left, so that no length read from the
// file makes the reader allocate more, or read further, than the file holds.
class GenomeReader {
  public:
    explicit GenomeReader(std::FILE* stream) : stream_(stream) {
        struct stat status {};
        const long position = std::ftell(stream);
        if (fstat(fileno(stream), &status) != 0 || !S_ISREG(status.st_mode) || position < 0)
            exitWithError("ERROR: A serialised genome can only be read from a regular file.\n");
        remaining_ = status.st_size > position ? static_cast<std::uint64_t>(status.st_size - position) : 0;
    }

    void require(std::uint64_t bytes, const char* what) const {
        if (bytes > remaining_)
            exitWithErrorFormat(
                "ERROR: The serialised genome ends before %s: %lu bytes are needed, but the file has only "
                "%lu left.\n",
                what, static_cast<unsigned long>(bytes), static_cast<unsigned long>(remaining_));
    }

    void read(void* out, std::uint64_t bytes, const char* what) {
        require(bytes, what);
        if (bytes != 0 && std::fread(out, 1, bytes, stream_) != bytes)
            exitWithErrorFormat("ERROR: Could not read %s of the serialised genome: %s.\n", what,
                                std::ferror(stream_) ? std::strerror(errno) : "the file ended early");
        remaining_ -= bytes;
    }

    CArray<std::uint32_t> readPlane(std::uint64_t words, const char* what) {
        require(words * sizeof(std::uint32_t), what);
        CArray<std::uint32_t> plane = allocateZeroedArray<std::uint32_t>(words);
        read(plane.get(), words * sizeof(std::uint32_t), what);
        if constexpr (std::endian::native == std::endian::big)
            for (std::uint64_t word = 0; word < words; ++word) plane[word] = __builtin_bswap32(plane[word]);
        return plane;
    }

  private:
    std::FILE* stream_;
    std::uint64_t remaining_ = 0;
};

std::unique_ptr<GenomeInformation> readGenomeInformation(GenomeReader& reader) {
    unsigned char record[kGenomeInformationBytes];
    reader.read(record, sizeof record, "the genome information");
    auto info = std::make_unique<GenomeInformation>();
    info->numberOfChromosomes = load32(record);
    info->formatType = load32(record + 40);
    const std::uint32_t nameLength = load32(record + 48);
    reader.require(nameLength, "the genome file name");
    info->file.resize(nameLength);
    reader.read(info->file.data(), nameLength, "the genome file name");
    return info;
}

void readGenomeSequenceRecord(const unsigned char* record, GenomeSequence& genome) {
    genome.sequenceLength = load64(record + 40);
    genome.paddedSequenceLength = load64(record + 48);
    genome.asciiEncodedArrayLength = load64(record + 56);
    genome.allocatedBinaryEncodedArraySize = load64(record + 64);
    genome.utilizedBinaryEncodedArraySize = load64(record + 72);
    genome.mappingQualityOfKeyBelongingToUnmappedRegion = load32(record + 80);
    genome.mappingQualityOfKeyWithTooManyPositions = static_cast<std::int32_t>(load32(record + 84));
    SequenceStatistics& s = genome.sequenceStatistics;
    std::uint64_t* const counters[] = {&s.totalNumberOfBases,
                                       &s.adenines,
                                       &s.guanines,
                                       &s.thymines,
                                       &s.cytosines,
                                       &s.uncalledBases,
                                       &s.positionsWhereSingleNucleotideRepeatedFor32Bases,
                                       &s.positionsThatWereExtensionsOfPreviousRepeat,
                                       &s.positionsWhere32ConsecutiveUncalledBasesDetected,
                                       &s.uncalledPositionsThatWereExtensionsOfPreviousRepeat,
                                       &s.positionsWith32OrMoreConsecutiveUncalledBases,
                                       &s.positionsWith64OrMoreConsecutiveUncalledBases,
                                       &s.positionsWith96OrMoreConsecutiveUncalledBases,
                                       &s.positionsWith128OrMoreConsecutiveUncalledBases};
    for (std::size_t counter = 0; counter < std::size(counters); ++counter)
        *counters[counter] = load64(record + 88 + 8 * counter);
}

ChromosomeInformation readChromosomeRecord(const unsigned char* record) {
    ChromosomeInformation chromosome;
    chromosome.version = static_cast<std::int32_t>(load32(record + 16));
    chromosome.chromosomeNumber = load32(record + 20);
    std::uint64_t* const fields[] = {&chromosome.basePairs,
                                     &chromosome.startPositionInChromosome,
                                     &chromosome.endPositionInChromosome,
                                     &chromosome.paddedBasePairs,
                                     &chromosome.startBinaryEncodedArrayPosition,
                                     &chromosome.endBinaryEncodedArrayPosition,
                                     &chromosome.startGenomePosition,
                                     &chromosome.endGenomePosition};
    for (std::size_t field = 0; field < std::size(fields); ++field)
        *fields[field] = load64(record + 24 + 8 * field);
    return chromosome;
}

// The lookups rely on chromosomes in position order, on word boundaries, inside the used words.
void checkChromosomeTable(const GenomeSequence& genome) {
    std::uint64_t nextFreeWord = 0;
    for (const ChromosomeInformation& chromosome : genome.chromosomes) {
        const std::uint64_t startWord = chromosome.startBinaryEncodedArrayPosition;
        const std::uint64_t endWord = chromosome.endBinaryEncodedArrayPosition;
        if (startWord < nextFreeWord || endWord < startWord ||
            endWord >= genome.utilizedBinaryEncodedArraySize)
            exitOnInconsistentGenome("a chromosome lies outside the planes or overlaps the one before it");
        if (chromosome.startGenomePosition != startWord * kWordBases ||
            chromosome.endGenomePosition != endWord * kWordBases + kWordBases - 1 ||
            chromosome.paddedBasePairs != chromosome.endGenomePosition - chromosome.startGenomePosition + 1 ||
            chromosome.basePairs > chromosome.paddedBasePairs)
            exitOnInconsistentGenome("a chromosome's positions do not match its words");
        nextFreeWord = endWord + 1;
    }
}

void checkGenomeSizes(const GenomeSequence& genome) {
    if (genome.allocatedBinaryEncodedArraySize > UINT32_MAX)
        exitOnInconsistentGenome("the planes are larger than their 32-bit word count allows");
    if (genome.utilizedBinaryEncodedArraySize > genome.allocatedBinaryEncodedArraySize ||
        genome.utilizedBinaryEncodedArraySize > kMaximumPlaneWords)
        exitOnInconsistentGenome("more words are in use than the planes hold");
    if (genome.paddedSequenceLength > genome.utilizedBinaryEncodedArraySize * kWordBases ||
        genome.sequenceLength > genome.paddedSequenceLength)
        exitOnInconsistentGenome("the sequence is longer than the words in use");
}

}  // namespace

void serializeGenomeInformationToFile(std::FILE* stream, const GenomeInformation* info) {
    if (stream == nullptr) exitWithError("ERROR: There is no open file to write the genome to.\n");
    if (info == nullptr) exitWithError("ERROR: There is no genome information to write.\n");
    if (info->file.size() > UINT32_MAX)
        exitWithError("ERROR: The genome file name is too long to serialise.\n");
    std::string out;
    append32(out, info->numberOfChromosomes);
    append32(out, 0);
    appendAddressSlots(out, 4);
    append32(out, info->formatType);
    append32(out, 0);
    append32(out, static_cast<std::uint32_t>(info->file.size()));
    out += info->file;
    writeBytes(stream, out.data(), out.size());
    flushStream(stream);
}

void serializeGenomeSequenceToFile(std::FILE* stream, const GenomeSequence* genome) {
    if (stream == nullptr) exitWithError("ERROR: There is no open file to write the genome to.\n");
    if (genome == nullptr) exitWithError("ERROR: There is no genome to write.\n");
    // Checked before anything is written, so that a refused genome leaves no partial record.
    if (!genome->genomeInformation) exitWithError("ERROR: There is no genome information to write.\n");
    // The reader sizes the table by the genome information and the planes by the 32-bit count.
    if (genome->genomeInformation->numberOfChromosomes != genome->chromosomes.size())
        exitWithErrorFormat(
            "ERROR: The genome to serialise has %zu chromosomes, but its genome information says %u.\n",
            genome->chromosomes.size(), genome->genomeInformation->numberOfChromosomes);
    if (genome->allocatedBinaryEncodedArraySize > UINT32_MAX)
        exitWithError("ERROR: The genome's planes are too large to serialise.\n");
    if (genome->allocatedBinaryEncodedArraySize != 0 && !genome->planeWords)
        exitWithError("ERROR: The genome to serialise has no planes.\n");
    const std::string record = genomeSequenceRecord(*genome);
    writeBytes(stream, record.data(), record.size());
    serializeGenomeInformationToFile(stream, genome->genomeInformation.get());
    std::string table;
    for (const ChromosomeInformation& chromosome : genome->chromosomes)
        appendChromosomeRecord(table, chromosome);
    writeBytes(stream, table.data(), table.size());
    const auto words = static_cast<std::uint32_t>(genome->allocatedBinaryEncodedArraySize);
    writePlane(stream, genome->planeWords.get(), 0, words);
    writePlane(stream, genome->planeWords.get(), 1, words);
    flushStream(stream);
}

std::unique_ptr<GenomeInformation> deserializeGenomeInformationFromFile(std::FILE* stream) {
    if (stream == nullptr) exitWithError("ERROR: There is no open file to read the genome from.\n");
    GenomeReader reader(stream);
    return readGenomeInformation(reader);
}

std::unique_ptr<GenomeSequence> deserializeGenomeSequenceFromFile(std::FILE* stream) {
    if (stream == nullptr) exitWithError("ERROR: There is no open file to read the genome from.\n");
    GenomeReader reader(stream);
    auto genome = std::make_unique<GenomeSequence>();
    unsigned char record[kGenomeSequenceBytes];
    reader.read(record, sizeof record, "the genome record");
    readGenomeSequenceRecord(record, *genome);
    checkGenomeSizes(*genome);
    genome->genomeInformation = readGenomeInformation(reader);

    const std::uint32_t count = genome->genomeInformation->numberOfChromosomes;
    reader.require(std::uint64_t{count} * kChromosomeBytes, "the chromosome table");
    genome->chromosomes.reserve(count);
    unsigned char chromosomeRecord[kChromosomeBytes];
    for (std::uint32_t chromosome = 0; chromosome < count; ++chromosome) {
        reader.read(chromosomeRecord, sizeof chromosomeRecord, "the chromosome table");
        genome->chromosomes.push_back(readChromosomeRecord(chromosomeRecord));
    }
    checkChromosomeTable(*genome);

    const std::uint64_t words = genome->allocatedBinaryEncodedArraySize;
    reader.require(2 * words * sizeof(std::uint32_t), "the planes");
    const CArray<std::uint32_t> base = reader.readPlane(words, "the base plane");
    const CArray<std::uint32_t> check = reader.readPlane(words, "the check plane");
    genome->planeWords = allocateZeroedArray<std::uint32_t>(2 * words);
    for (std::uint64_t word = 0; word < words; ++word) genome->setWords(word, base[word], check[word]);
    return genome;
}

}  // namespace koru
