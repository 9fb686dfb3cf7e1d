#include "genome/fasta_reference.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "genome/fasta_sequence_encoder.h"
#include "sequence/string_utilities.h"
#include "support/allocation.h"
#include "support/errors.h"

namespace koru {

namespace {

constexpr std::uint64_t kWordBases = 32;
// 32-bit genome positions address at most this many words.
constexpr std::uint64_t kMaximumPlaneWords = maximumGenomePositions / kWordBases;
// Slack after the last separator that a text copy of the genome would have, the same as a binary
// genome gets; the record keeps that length for its serialised form.
constexpr std::uint64_t kAsciiSlack = 1024;

std::uint64_t roundUpToWord(std::uint64_t bases) {
    return (bases + kWordBases - 1) / kWordBases * kWordBases;
}

[[noreturn]] void exitOnHeaderError(const std::string& fileName) {
    exitWithErrorFormat(
        "ERROR: Could not process a header in the fasta genome file \"%s\" provided to the "
        "\"processFastaFormatGenomeFile\".",
        fileName.c_str());
}

// Reads the header at the cursor into the chromosome and moves the cursor past the chromosome's
// sequence text, which it returns. None for a header that breaks the rules, or one holding a
// second '>': every '>' counts as a chromosome, so that one would leave a header missing.
std::optional<std::string_view> readFastaRecord(std::string_view text, std::size_t& cursor,
                                                ChromosomeInformation& chromosome) {
    const auto lineFeed = populateChromosomeInformationFromFastaHeader(chromosome, text.substr(cursor));
    if (!lineFeed || text.substr(cursor + 1, *lineFeed - 1).find('>') != std::string_view::npos)
        return std::nullopt;
    const std::size_t begin = cursor + *lineFeed + 1;
    cursor = std::min(text.find('>', begin), text.size());
    return text.substr(begin, cursor - begin);
}

// The pre-scan: checks every header and measures the genome with padding, so that the arrays are
// sized once, right, and a genome too large for 32-bit positions is refused before anything large
// is allocated.
struct FastaLayout {
    std::uint64_t numberOfChromosomes = 0;
    std::uint64_t paddedSequenceLength = 0;
};

FastaLayout measureFastaLayout(const MemoryMappedFile& file) {
    const std::string_view text = file.text();
    FastaLayout layout;
    ChromosomeInformation chromosome;
    for (std::size_t cursor = 0; cursor < text.size();) {
        const auto sequence = readFastaRecord(text, cursor, chromosome);
        if (!sequence) exitOnHeaderError(file.fileName);
        const std::uint64_t bases = sequence->size() - countFastaWhitespace(*sequence);
        layout.paddedSequenceLength += roundUpToWord(bases) + kWordBases;
        ++layout.numberOfChromosomes;
    }
    errorIfGenomeExceedsGenomePositions(file.fileName, layout.paddedSequenceLength);
    return layout;
}

// The sizes the file size suggests, made large enough for the layout where they are not (one long
// sequence line, many short chromosomes).
void allocateFastaArrays(GenomeSequence& genome, std::uint64_t fileSize, std::uint64_t paddedLength) {
    const std::uint64_t words = paddedLength / kWordBases;
    genome.asciiEncodedArrayLength = static_cast<std::uint32_t>(fileSize - fileSize / 80);
    if (genome.asciiEncodedArrayLength <= paddedLength)
        genome.asciiEncodedArrayLength = paddedLength + kAsciiSlack;
    // Planes past the addressable words would be memory that no position can reach.
    genome.allocatedBinaryEncodedArraySize =
        std::max(std::min(fileSize / kWordBases, kMaximumPlaneWords), words);
    genome.planeWords = allocateZeroedArray<std::uint32_t>(2 * genome.allocatedBinaryEncodedArraySize);
    genome.uncalledPlaneWords = allocateZeroedArray<std::uint32_t>(genome.allocatedBinaryEncodedArraySize);
}

void placeChromosome(FastaSequenceEncoder& encoder, ChromosomeInformation& chromosome,
                     std::string_view sequence) {
    chromosome.startPositionInChromosome = 1;
    chromosome.startBinaryEncodedArrayPosition = encoder.wordIndex();
    chromosome.startGenomePosition = encoder.genomePosition();
    const std::uint64_t bases = encoder.encodeChromosome(sequence);
    chromosome.basePairs = chromosome.endPositionInChromosome = bases;
    chromosome.paddedBasePairs = roundUpToWord(bases) + kWordBases;
    chromosome.endBinaryEncodedArrayPosition = encoder.wordIndex() - 1;
    chromosome.endGenomePosition = encoder.genomePosition() - 1;
}

// The ceiling of every mapping quality, from the share of positions in long runs of N.
std::uint32_t mappingQualityCeiling(const SequenceStatistics& statistics) {
    const std::uint64_t unmapped = statistics.positionsWhere32ConsecutiveUncalledBasesDetected;
    if (unmapped == 0) return uncappedMappingQuality;
    const double share = static_cast<double>(unmapped) / static_cast<double>(statistics.totalNumberOfBases);
    return static_cast<std::uint32_t>(std::ceil(-10.0 * std::log10(share)));
}

}  // namespace

std::uint64_t getNumberOfSequencesInFastaFormattedFile(std::string_view fileContents) {
    return static_cast<std::uint64_t>(std::count(fileContents.begin(), fileContents.end(), '>'));
}

void padNs(char* text, std::size_t count) {
    std::memset(text, 'N', count);
}

std::optional<std::size_t> populateChromosomeInformationFromFastaHeader(ChromosomeInformation& chromosome,
                                                                        std::string_view text) {
    if (text.empty() || text.front() != '>') return std::nullopt;
    const std::size_t lineFeed = text.find('\n');
    if (lineFeed == std::string_view::npos) return std::nullopt;
    const std::string_view header = text.substr(1, lineFeed - 1);
    const char delimiter = header.find('|') != std::string_view::npos   ? '|'
                           : header.find(':') != std::string_view::npos ? ':'
                                                                        : '\0';
    if (delimiter == '\0') {
        chromosome.name.assign(header);
        chromosome.accession.clear();
        return lineFeed;
    }
    // Fields 1 to 4 each end at a delimiter; the fourth one starts the accession.
    std::size_t fieldStart = 0;
    std::string field;
    for (int fieldNumber = 1; fieldNumber <= 3; ++fieldNumber) {
        if (!getField(header.substr(fieldStart), std::string_view(&delimiter, 1), field)) return std::nullopt;
        fieldStart += field.size() + 1;
    }
    const std::string_view fourthOnwards = header.substr(fieldStart);
    if (!getField(fourthOnwards, std::string_view(&delimiter, 1), field)) return std::nullopt;
    const std::size_t space = header.find(' ');
    chromosome.name.assign(
        header.substr(0, space != std::string_view::npos ? space : header.find(delimiter)));
    const std::size_t dot = fourthOnwards.find('.');
    chromosome.accession = dot != std::string_view::npos ? std::string(fourthOnwards.substr(0, dot)) : field;
    return lineFeed;
}

void processFastaFormatGenomeFile(GenomeSequence& genome, const MemoryMappedFile& file) {
    const std::string_view text = file.text();
    if (text.find('>') == std::string_view::npos)
        exitWithErrorFormat(
            "ERROR: The genome file \"%s\" provided to the \"processFastaFormatGenomeFile\" function has "
            "no sequence data.",
            file.fileName.c_str());
    const FastaLayout layout = measureFastaLayout(file);
    allocateFastaArrays(genome, static_cast<std::uint64_t>(file.size), layout.paddedSequenceLength);

    FastaSequenceEncoder encoder(genome.planeWords.get(), genome.uncalledPlaneWords.get());
    genome.chromosomes.assign(layout.numberOfChromosomes, ChromosomeInformation{});
    std::size_t cursor = 0;
    for (std::uint64_t index = 0; index < layout.numberOfChromosomes; ++index) {
        ChromosomeInformation& chromosome = genome.chromosomes[index];
        chromosome.chromosomeNumber = static_cast<std::uint32_t>(index + 1);
        placeChromosome(encoder, chromosome, *readFastaRecord(text, cursor, chromosome));
    }
    genome.sequenceStatistics = encoder.statistics();
    genome.otherLetters = encoder.takeOtherLetters();

    const ChromosomeInformation& last = genome.chromosomes.back();
    genome.utilizedBinaryEncodedArraySize = encoder.wordIndex();
    genome.paddedSequenceLength = encoder.genomePosition();
    genome.sequenceLength = last.startGenomePosition + last.basePairs;
    genome.mappingQualityOfKeyBelongingToUnmappedRegion = mappingQualityCeiling(genome.sequenceStatistics);
    // Every chromosome takes at least 32 positions, so a count that passed the size check fits.
    const auto count = static_cast<std::uint32_t>(layout.numberOfChromosomes);
    if (genome.genomeInformation) genome.genomeInformation->numberOfChromosomes = count;
}

}  // namespace koru
