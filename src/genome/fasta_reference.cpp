#include "genome/fasta_reference.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "genome/fasta_sequence_encoder.h"
#include "sequence/string_utilities.h"
#include "support/allocation.h"
#include "support/errors.h"
#include "support/text_format.h"

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

// Line numbers are counted only when a message needs one.
unsigned long long lineAt(std::string_view text, std::size_t offset) {
    return 1 + static_cast<unsigned long long>(std::count(text.begin(), text.begin() + offset, '\n'));
}

[[noreturn]] void exitOnHeaderError(const MemoryMappedFile& file, std::size_t offset) {
    if (offset == 0 && file.text().front() != '>')
        exitWithErrorFormat(
            "ERROR: The reference genome file \"%s\" does not start with a header line (\">name\").\n",
            file.fileName.c_str());
    exitWithErrorFormat(
        "ERROR: The reference genome file \"%s\" has a header that cannot be read at line %llu.\n",
        file.fileName.c_str(), lineAt(file.text(), offset));
}

// SAM names a chromosome by its name up to the first white space: that must be there, and be the
// chromosome's own (samtools refuses a header naming one twice). Empty when it is.
std::string chromosomeNameProblem(const MemoryMappedFile& file, std::size_t header,
                                  const std::string& fullName,
                                  std::unordered_map<std::string_view, std::size_t>& headers) {
    // The white space SAM writers cut names at.
    const auto end = std::find_if(fullName.begin(), fullName.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    });
    const std::string name(fullName.begin(), end);
    if (name.empty())
        return stringPrintf(
            "ERROR: The reference genome file \"%s\" has a header without a name at line %llu.\n",
            file.fileName.c_str(), lineAt(file.text(), header));
    // The name starts the header line; the view points into the file's text, which outlives the map.
    const auto [earlier, added] = headers.emplace(file.text().substr(header + 1, name.size()), header);
    if (added) return {};
    return stringPrintf(
        "ERROR: The reference genome file \"%s\" names the chromosome \"%s\" twice, at lines %llu and %llu "
        "(names are compared up to their first white space).\n",
        file.fileName.c_str(), name.c_str(), lineAt(file.text(), earlier->second),
        lineAt(file.text(), header));
}

// A chromosome without bases (SAM has no length 0) or a byte that is not a base (a digit would be
// counted as one), with its line. Empty when there is neither.
std::string sequenceProblem(const MemoryMappedFile& file, std::size_t header, std::string_view sequence,
                            const FastaTextScan& scan, const std::string& name) {
    if (scan.firstOtherByte != std::string_view::npos) {
        const auto byte = static_cast<unsigned char>(sequence[scan.firstOtherByte]);
        const std::string shown = byte > ' ' && byte < 0x7F ? std::string(1, static_cast<char>(byte))
                                                            : stringPrintf("\\x%02X", byte);
        const auto offset =
            static_cast<std::size_t>(sequence.data() - file.text().data()) + scan.firstOtherByte;
        return stringPrintf(
            "ERROR: The reference genome file \"%s\" has \"%s\", which is not a base, at line %llu.\n",
            file.fileName.c_str(), shown.c_str(), lineAt(file.text(), offset));
    }
    if (sequence.size() > scan.whitespace) return {};
    return stringPrintf(
        "ERROR: The reference genome file \"%s\" has no bases for the chromosome \"%s\" of line %llu.\n",
        file.fileName.c_str(), name.c_str(), lineAt(file.text(), header));
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

// The pre-scan: checks every header, name and sequence and measures the genome with padding, so
// that the arrays are sized once, right, and a genome too large for 32-bit positions is refused
// before anything large is allocated. That is told first; then the first problem of a chromosome.
struct FastaLayout {
    std::uint64_t numberOfChromosomes = 0;
    std::uint64_t paddedSequenceLength = 0;
};

FastaLayout measureFastaLayout(const MemoryMappedFile& file) {
    const std::string_view text = file.text();
    FastaLayout layout;
    ChromosomeInformation chromosome;
    std::unordered_map<std::string_view, std::size_t> headers;
    std::string problem;
    for (std::size_t cursor = 0; cursor < text.size();) {
        const std::size_t header = cursor;
        const auto sequence = readFastaRecord(text, cursor, chromosome);
        if (!sequence) exitOnHeaderError(file, header);
        const FastaTextScan scan = scanFastaSequence(*sequence);
        if (problem.empty()) problem = chromosomeNameProblem(file, header, chromosome.name, headers);
        if (problem.empty()) problem = sequenceProblem(file, header, *sequence, scan, chromosome.name);
        layout.paddedSequenceLength += roundUpToWord(sequence->size() - scan.whitespace) + kWordBases;
        ++layout.numberOfChromosomes;
    }
    errorIfGenomeExceedsGenomePositions(file.fileName, layout.paddedSequenceLength);
    if (!problem.empty()) exitWithError(problem);
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
        exitWithErrorFormat("ERROR: The reference genome file \"%s\" has no sequence data.\n",
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
