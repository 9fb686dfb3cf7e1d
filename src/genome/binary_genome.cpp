#include "genome/binary_genome.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "support/allocation.h"
#include "support/errors.h"
#include "support/text_format.h"

namespace koru {

namespace {

constexpr std::uint64_t kValueBytes = 4;
constexpr std::uint64_t kWordBases = 32;
constexpr std::uint64_t kMaximumPlaneWords = maximumGenomePositions / kWordBases;
// The slack a text copy would have after the last word; the record keeps that length.
constexpr std::uint64_t kAsciiSlack = 1024;

std::uint32_t loadLittleEndian32(const char* bytes) {
    std::uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
    return value;
}

// Where one chromosome's words are in the file.
struct BinaryChromosome {
    std::uint32_t number = 0;
    std::uint64_t words = 0;       // k
    std::uint64_t firstValue = 0;  // index of the first plane word value
};

// Walks the chromosome records and checks each against the file before anything is copied, so that
// a short file is refused instead of read past its end.
std::vector<BinaryChromosome> scanBinaryGenome(const MemoryMappedFile& file,
                                               std::uint32_t numberOfChromosomes, bool hasSkippedPairs) {
    const std::uint64_t values = static_cast<std::uint64_t>(file.size) / kValueBytes;
    const std::uint64_t valuesPerWord = hasSkippedPairs ? 4 : 2;
    std::vector<BinaryChromosome> chromosomes;
    std::uint64_t cursor = 0, usedWords = 0;
    for (std::uint32_t index = 1; index <= numberOfChromosomes; ++index) {
        std::uint64_t needed = cursor + 2;
        const std::uint64_t words =
            needed <= values ? loadLittleEndian32(file.contents.get() + (cursor + 1) * kValueBytes) : 0;
        needed += words * valuesPerWord;
        if (needed > values)
            exitWithErrorFormat(
                "ERROR: The binary genome file \"%s\" ends inside chromosome %u of %u: its data needs %lu "
                "bytes, but the file has only %ld.\n",
                file.fileName.c_str(), index, numberOfChromosomes,
                static_cast<unsigned long>(needed * kValueBytes), static_cast<long>(file.size));
        // An empty chromosome would have a range that ends before it starts.
        if (words == 0)
            exitWithErrorFormat("ERROR: Chromosome %u of %u in the binary genome file \"%s\" has no words.\n",
                                index, numberOfChromosomes, file.fileName.c_str());
        chromosomes.push_back(
            {loadLittleEndian32(file.contents.get() + cursor * kValueBytes), words, cursor + 2});
        cursor = needed;
        usedWords += words + (words & 1);
    }
    errorIfGenomeExceedsGenomePositions(file.fileName, usedWords * kWordBases);
    return chromosomes;
}

void copyChromosomeWords(const MemoryMappedFile& file, const BinaryChromosome& chromosome,
                         GenomeSequence& genome, std::uint64_t firstWord) {
    const char* values = file.contents.get() + chromosome.firstValue * kValueBytes;
    for (std::uint64_t word = 0; word < chromosome.words; ++word, values += 2 * kValueBytes) {
        genome.setWords(firstWord + word, loadLittleEndian32(values),
                        loadLittleEndian32(values + kValueBytes));
    }
}

ChromosomeInformation placeChromosome(const BinaryChromosome& chromosome, std::uint64_t& word) {
    ChromosomeInformation information;
    information.name = stringPrintf("%u", chromosome.number);
    information.chromosomeNumber = chromosome.number;
    information.startPositionInChromosome = 1;
    information.startBinaryEncodedArrayPosition = word;
    information.startGenomePosition = word * kWordBases;
    information.basePairs = information.endPositionInChromosome = chromosome.words * kWordBases;
    // Every chromosome starts on an even word: an odd one is followed by a zero word.
    word += chromosome.words + (chromosome.words & 1);
    information.endBinaryEncodedArrayPosition = word - 1;
    information.paddedBasePairs = (word - information.startBinaryEncodedArrayPosition) * kWordBases;
    information.endGenomePosition = word * kWordBases - 1;
    return information;
}

}  // namespace

void processBinaryFormatGenomeFile(GenomeSequence& genome, const MemoryMappedFile& file) {
    const GenomeInformation* info = genome.genomeInformation.get();
    if (info == nullptr) exitWithError("ERROR: No reference genome was given.\n");
    const bool hasSkippedPairs = info->formatType == binaryGenomeFormatType1;
    const std::vector<BinaryChromosome> scanned =
        scanBinaryGenome(file, info->numberOfChromosomes, hasSkippedPairs);

    std::uint64_t usedWords = 0;
    for (const BinaryChromosome& chromosome : scanned) usedWords += chromosome.words + (chromosome.words & 1);
    const std::uint64_t fileWords = static_cast<std::uint64_t>(file.size) / (hasSkippedPairs ? 16 : 8);
    // The zero word after an odd chromosome can lie past the planes the file size gives.
    genome.allocatedBinaryEncodedArraySize = std::max(std::min(fileWords, kMaximumPlaneWords), usedWords);
    genome.planeWords = allocateZeroedArray<std::uint32_t>(2 * genome.allocatedBinaryEncodedArraySize);

    std::uint64_t word = 0;
    genome.chromosomes.clear();
    genome.chromosomes.reserve(scanned.size());
    for (const BinaryChromosome& chromosome : scanned) {
        copyChromosomeWords(file, chromosome, genome, word);
        genome.chromosomes.push_back(placeChromosome(chromosome, word));
        genome.sequenceLength += chromosome.words * kWordBases;
    }
    genome.utilizedBinaryEncodedArraySize = word;
    genome.paddedSequenceLength = word * kWordBases;
    genome.asciiEncodedArrayLength = genome.paddedSequenceLength + kAsciiSlack;
    // A binary genome has no N: its text is the planes' A, C, G and T throughout.
    genome.uncalledPlaneWords = allocateZeroedArray<std::uint32_t>(genome.allocatedBinaryEncodedArraySize);
}

}  // namespace koru
