// Verbose and trace dumps of the genome record.

#include <algorithm>
#include <span>
#include <string>

#include "genome/genome_sequence.h"
#include "sequence/nucleotide_encoding.h"
#include "support/text_format.h"

namespace koru {

namespace {

constexpr std::uint64_t kBlockBases = 64;

void writeText(std::FILE* file, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), file);
}

void appendChromosomeLine(std::string& out, const ChromosomeInformation& chromosome) {
    appendPrintf(
        out,
        "\t\tChromosome Number %6u: Base Pairs = %11lu, Padded Base Pairs = %11lu,  # of 32bit Words = "
        "%11lu, Start Binary Encoded Array Position = %11lu, End Binary Encoded Array Position %11lu, "
        "Start Genome Position = %11lu, End Genome Position %11lu, End - Start Genome Position = %11lu, "
        "name = \"%s\", accession = \"%s\", version = %d, start position in chromosome = %11lu, End "
        "position in chromosome = %11lu\n",
        chromosome.chromosomeNumber, chromosome.basePairs, chromosome.paddedBasePairs,
        chromosome.endBinaryEncodedArrayPosition - chromosome.startBinaryEncodedArrayPosition,
        chromosome.startBinaryEncodedArrayPosition, chromosome.endBinaryEncodedArrayPosition,
        chromosome.startGenomePosition, chromosome.endGenomePosition,
        chromosome.endGenomePosition - chromosome.startGenomePosition, chromosome.name.c_str(),
        chromosome.accession.c_str(), chromosome.version, chromosome.startPositionInChromosome,
        chromosome.endPositionInChromosome);
}

}  // namespace

std::string sequenceStatisticsToString(const SequenceStatistics& statistics, const char* prefix) {
    const char* p = prefix;
    const SequenceStatistics& s = statistics;
    std::string out = stringPrintf("%sSequence Statistics:\n", p);
    appendPrintf(out, "%s\tTotal Number Of Bases = %lu\n", p, s.totalNumberOfBases);
    appendPrintf(out, "%s\t\tNumber of Adenines = %lu\n", p, s.adenines);
    appendPrintf(out, "%s\t\tNumber of Cytosines = %lu\n", p, s.cytosines);
    appendPrintf(out, "%s\t\tNumber of Guanines = %lu\n", p, s.guanines);
    appendPrintf(out, "%s\t\tNumber of Thymines = %lu\n", p, s.thymines);
    appendPrintf(out, "%s\t\tNumber of Uncalled Bases = %lu\n", p, s.uncalledBases);
    appendPrintf(out, "%s\tNumber of positions where a single nucleotide was repeated for 32 bases = %lu\n",
                 p, s.positionsWhereSingleNucleotideRepeatedFor32Bases);
    appendPrintf(out, "%s\t\tNumber of positions that were extensions of a previous repeat = %lu\n", p,
                 s.positionsThatWereExtensionsOfPreviousRepeat);
    appendPrintf(out, "%s\tNumber of positions where 32 consecutive uncalled bases were detected = %lu\n", p,
                 s.positionsWhere32ConsecutiveUncalledBasesDetected);
    appendPrintf(out, "%s\t\tNumber of positions were extensions of a previous repeat = %lu\n", p,
                 s.uncalledPositionsThatWereExtensionsOfPreviousRepeat);
    appendPrintf(out, "%s\tNumber of positions with 32 or more consecutive uncalled bases = %lu\n", p,
                 s.positionsWith32OrMoreConsecutiveUncalledBases);
    appendPrintf(out, "%s\t\tNumber of positions with 64 or more consecutive uncalled bases = %lu\n", p,
                 s.positionsWith64OrMoreConsecutiveUncalledBases);
    appendPrintf(out, "%s\t\t\tNumber of positions with 96 or more consecutive uncalled bases = %lu\n", p,
                 s.positionsWith96OrMoreConsecutiveUncalledBases);
    appendPrintf(out, "%s\t\t\t\tNumber of positions with 128 or more consecutive uncalled bases = %lu\n", p,
                 s.positionsWith128OrMoreConsecutiveUncalledBases);
    return out;
}

void printSequenceStatistics(std::FILE* file, const SequenceStatistics& statistics, const char* prefix) {
    writeText(file, sequenceStatisticsToString(statistics, prefix));
}

std::string genomeSequenceHeaderToString(const GenomeSequence& genome) {
    std::string out = "\n\nGenome Sequence Information:\n";
    out += genomeInformationToString(genome.genomeInformation.get(), "\t");
    appendPrintf(out, "\tSequence Length = %lu\n", genome.sequenceLength);
    appendPrintf(out, "\tPadded Sequence Length = %lu\n", genome.paddedSequenceLength);
    appendPrintf(out, "\tAscii Encoded Array Length = %lu\n", genome.asciiEncodedArrayLength);
    appendPrintf(out, "\tAllocated Binary Encoded Array Size = %lu\n",
                 genome.allocatedBinaryEncodedArraySize);
    appendPrintf(out, "\tUtilized Binary Encoded Array = %lu\n", genome.utilizedBinaryEncodedArraySize);
    appendPrintf(out, "\tMapping Quality Of Key Belonging To Unmapped Region = %u\n",
                 genome.mappingQualityOfKeyBelongingToUnmappedRegion);
    out += sequenceStatisticsToString(genome.sequenceStatistics, "\t");
    for (const ChromosomeInformation& chromosome : genome.chromosomes) appendChromosomeLine(out, chromosome);
    return out;
}

void printGenomeSequenceHeader(std::FILE* file, const GenomeSequence& genome) {
    writeText(file, genomeSequenceHeaderToString(genome));
    std::fflush(file);
}

void printGenomeSequence(std::FILE* file, const GenomeSequence& genome, std::uint64_t startPosition,
                         std::uint64_t stopPosition, const char* prefix) {
    const std::uint64_t actualStart = startPosition / kBlockBases * kBlockBases;
    const std::uint64_t actualStop = stopPosition / kBlockBases * kBlockBases + kBlockBases - 1;
    std::string out = stringPrintf("%sGenome Sequence:\n", prefix);
    appendPrintf(out, "%s\tRequested position in entire genome to start printing sequence = %lu\n", prefix,
                 startPosition);
    appendPrintf(out, "%s\t\tActual start position in entire genome for printing sequence = %lu\n", prefix,
                 actualStart);
    appendPrintf(out, "%s\tRequested position in entire genome to stop printing sequence  = %lu\n", prefix,
                 stopPosition);
    appendPrintf(out, "%s\t\tActual stop position in entire genome for printing sequence  = %lu\n", prefix,
                 actualStop);
    appendPrintf(out, "%s\tSequence:\n", prefix);
    // Only the words the genome uses are shown: a block at the end may have a single word.
    const std::uint64_t used = genome.utilizedBinaryEncodedArraySize;
    const std::string blockPrefix = std::string(prefix) + "\t\t";
    for (std::uint64_t block = actualStart; block <= actualStop && block / kBasesPerWord < used;
         block += kBlockBases) {
        appendPrintf(out, "%s\t\tFrom %lu to %lu\n", prefix, block, block + kBlockBases - 1);
        const std::uint64_t word = block / kBasesPerWord;
        const auto words = static_cast<std::uint32_t>(std::min<std::uint64_t>(2, used - word));
        const std::uint32_t base[2] = {genome.baseWord(word), words == 2 ? genome.baseWord(word + 1) : 0};
        const std::uint32_t check[2] = {genome.checkWord(word), words == 2 ? genome.checkWord(word + 1) : 0};
        sequenceWithNToString(out, blockPrefix, std::span(base, words), std::span(check, words), {}, words,
                              std::nullopt, true);
    }
    writeText(file, out);
}

void printGenomeSequenceWithHeader(std::FILE* file, const GenomeSequence& genome, std::uint64_t startPosition,
                                   std::uint64_t stopPosition) {
    printGenomeSequenceHeader(file, genome);
    printGenomeSequence(file, genome, startPosition, stopPosition, "\t");
}

void printGenomeSequenceForChromosome(std::FILE* file, const GenomeSequence& genome,
                                      std::uint32_t chromosomeNumber, std::uint64_t startPosition,
                                      std::uint64_t stopPosition) {
    std::string out = stringPrintf("\tRequested Chromosome to print sequence for = %u\n", chromosomeNumber);
    appendPrintf(out, "\tRequested position in chromosome to start printing sequence = %lu\n", startPosition);
    appendPrintf(out, "\tRequested position in chromosome to stop printing sequence  = %lu\n", stopPosition);
    const ChromosomeInformation* chromosome =
        getChromosomeSequenceInformationForChromosome(chromosomeNumber, genome);
    if (chromosome == nullptr) appendPrintf(out, "\tChromosome %u is not in the genome.\n", chromosomeNumber);
    writeText(file, out);
    if (chromosome == nullptr) return;
    printGenomeSequence(file, genome, chromosome->startGenomePosition + startPosition,
                        chromosome->startGenomePosition + stopPosition, "\t");
}

void printGenomeSequenceForChromosomeWithHeader(std::FILE* file, const GenomeSequence& genome,
                                                std::uint32_t chromosomeNumber, std::uint64_t startPosition,
                                                std::uint64_t stopPosition) {
    printGenomeSequenceHeader(file, genome);
    printGenomeSequenceForChromosome(file, genome, chromosomeNumber, startPosition, stopPosition);
}

}  // namespace koru
