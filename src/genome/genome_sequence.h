#pragma once
// The reference genome as the rest of koru sees it: the concatenated bases in the base and check
// bit planes, an uncalled plane that marks every position holding no A, C, G or T (N, other
// letters, padding), the rare runs of letters other than N among those, and the chromosome table
// that maps genome positions to chromosome positions. The upper-case text of any range is decoded
// from these (a quarter of the memory a text copy takes, and a 3 Gbase genome is 3 GB of text).
// Built once, read-only afterwards, shared by all threads.
//
// Layout of the concatenation: chromosomes in file order; each one's bases, then N up to the
// next multiple of 32 bases, then a separator of 32 N (a FASTA genome; binary genomes pad to
// 64 bases instead). Every chromosome therefore starts on a word boundary, and
// word index x 32 = genome position throughout. Genome positions are 0-based and 32-bit.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "genome/candidate_position_filter.h"
#include "genome/genome_information.h"
#include "support/allocation.h"
#include "support/locked_file.h"

namespace koru {

struct ChromosomeInformation {
    std::string name;
    std::string accession;  // empty when absent
    std::int32_t version = 0;
    std::uint32_t chromosomeNumber = 0;  // 1-based in file order for FASTA; stored number for binary genomes
    std::uint64_t basePairs = 0;
    std::uint64_t startPositionInChromosome = 1;
    std::uint64_t endPositionInChromosome = 0;
    std::uint64_t paddedBasePairs = 0;  // padding and separator included
    std::uint64_t startBinaryEncodedArrayPosition = 0;
    std::uint64_t endBinaryEncodedArrayPosition = 0;  // the separator word included
    std::uint64_t startGenomePosition = 0;
    std::uint64_t endGenomePosition = 0;  // last position occupied, separator included
};

struct SequenceStatistics {
    std::uint64_t totalNumberOfBases = 0;  // A + C + G + T + N
    std::uint64_t adenines = 0;
    std::uint64_t guanines = 0;
    std::uint64_t thymines = 0;
    std::uint64_t cytosines = 0;
    std::uint64_t uncalledBases = 0;
    std::uint64_t positionsWhereSingleNucleotideRepeatedFor32Bases = 0;
    std::uint64_t positionsThatWereExtensionsOfPreviousRepeat = 0;
    std::uint64_t positionsWhere32ConsecutiveUncalledBasesDetected = 0;
    std::uint64_t uncalledPositionsThatWereExtensionsOfPreviousRepeat = 0;
    std::uint64_t positionsWith32OrMoreConsecutiveUncalledBases = 0;
    std::uint64_t positionsWith64OrMoreConsecutiveUncalledBases = 0;
    std::uint64_t positionsWith96OrMoreConsecutiveUncalledBases = 0;
    std::uint64_t positionsWith128OrMoreConsecutiveUncalledBases = 0;
};

// A run of one letter other than A, C, G, T and N (an IUPAC code, say): the planes hold it as an
// uncalled base, and the text shows the letter.
struct ReferenceLetterRun {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    char letter = 'N';
};

// The ceiling value that leaves mapping qualities uncapped.
inline constexpr std::uint32_t uncappedMappingQuality = 0x80000000u;

// Genome positions are 32-bit, so a genome can occupy at most this many (padding included).
inline constexpr std::uint64_t maximumGenomePositions = std::uint64_t{1} << 32;

struct GenomeSequence {
    std::unique_ptr<GenomeInformation> genomeInformation;
    std::vector<ChromosomeInformation> chromosomes;
    // The base and check planes interleaved word by word (base word w at 2w, check word w at 2w + 1),
    // 2 x allocatedBinaryEncodedArraySize words: scoring and the high-repeat test read both planes
    // at far, random places, and this way the two words of any 32 bases share a cache line.
    CArray<std::uint32_t> planeWords;
    // allocatedBinaryEncodedArraySize words; absent for a genome read back from the serialised
    // form, which has no text.
    CArray<std::uint32_t> uncalledPlaneWords;
    std::vector<ReferenceLetterRun> otherLetters;  // ascending, disjoint
    std::uint64_t sequenceLength = 0;
    std::uint64_t paddedSequenceLength = 0;  // the text ends here
    // The length a text copy with its zero-filled slack would have; kept for the serialised layout.
    std::uint64_t asciiEncodedArrayLength = 0;
    std::uint64_t allocatedBinaryEncodedArraySize = 0;
    std::uint64_t utilizedBinaryEncodedArraySize = 0;  // the count arrays and indexes run over these words
    std::uint32_t mappingQualityOfKeyBelongingToUnmappedRegion = 0;
    std::int32_t mappingQualityOfKeyWithTooManyPositions = 0;  // written by the count arrays
    SequenceStatistics sequenceStatistics;

    std::uint32_t baseWord(std::uint64_t word) const { return planeWords[2 * word]; }
    std::uint32_t checkWord(std::uint64_t word) const { return planeWords[2 * word + 1]; }
    void setWords(std::uint64_t word, std::uint32_t base, std::uint32_t check) {
        planeWords[2 * word] = base;
        planeWords[2 * word + 1] = check;
    }
    std::span<const std::uint32_t> planePairs() const {
        return {planeWords.get(), static_cast<std::size_t>(2 * allocatedBinaryEncodedArraySize)};
    }
};

// Ends the run when a genome of that padded length would need positions past 32 bits.
void errorIfGenomeExceedsGenomePositions(const std::string& fileName, std::uint64_t paddedSequenceLength);

// Reads the genome file that the genome information names, as FASTA or as a binary genome file by
// its format type, and reports the reading and the conversion times on the timer file when there is
// one. The genome keeps a copy of the information, with the chromosome count it found. Every
// problem with the file ends the run.
std::unique_ptr<GenomeSequence> createGenomeSequence(const GenomeInformation* information,
                                                     LockedFile* timerFile);

// Whether the genome has text: a genome read back from the serialised form keeps only its planes.
inline bool hasReferenceText(const GenomeSequence& genome) {
    return static_cast<bool>(genome.uncalledPlaneWords);
}

// Writes the upper-case reference text of up to `length` positions from `genomePosition` on to
// `out` and returns how many it wrote: the text ends at the padded sequence length, and a genome
// without text has none.
std::size_t copyReferenceText(const GenomeSequence& genome, std::uint64_t genomePosition, std::size_t length,
                              char* out);
// The same into `buffer` (whose memory is reused), followed there by a NUL.
std::string_view referenceText(const GenomeSequence& genome, std::uint64_t genomePosition, std::size_t length,
                               std::string& buffer);

// The chromosome whose range (padding and separator included) holds the position; null when none.
const ChromosomeInformation* getChromosomeInformationForGenomePosition(std::uint64_t genomePosition,
                                                                       const GenomeSequence& genome);
// The first chromosome with that number; null when there is none.
const ChromosomeInformation* getChromosomeSequenceInformationForChromosome(std::uint32_t chromosomeNumber,
                                                                           const GenomeSequence& genome);

// Sets the chromosome holding the position and the offset from its start, but only when both
// outputs are 0 on entry and a genome is given; otherwise, and when no chromosome holds the
// position, leaves both alone. True when it set them.
bool lookupChromosomePositionFromGenomePosition(std::uint32_t genomePosition, std::uint32_t& chromosomeNumber,
                                                std::uint32_t& positionInChromosome,
                                                const GenomeSequence* genome);

// The chromosome's start plus the position; 0 for chromosome 0. None for a chromosome that is not
// in the table, or a position past the end of the chromosome's range.
std::optional<std::uint32_t> getGenomePositionFromChromosomePosition(std::uint32_t chromosomeNumber,
                                                                     std::uint32_t positionInChromosome,
                                                                     const GenomeSequence& genome);

// Fills in the genome range of every filter. Chromosome 0 resolves to 0 and 0; positions are
// added to the chromosome's start as they are, and positions past the chromosome's range stop at
// its last position, so a filter never reaches into the next chromosome. A filter naming a
// chromosome that is not in the table ends the run, naming the filter file and the line.
void lookupGenomePositionsForCandidatePositionFilters(const GenomeSequence& genome,
                                                      std::vector<CandidatePositionFilter>& filters,
                                                      std::string_view filterFileName);

// Verbose dumps. The sequence dumps print whole blocks of 64 bases around the requested range,
// within the words the genome uses.
std::string sequenceStatisticsToString(const SequenceStatistics& statistics, const char* prefix);
void printSequenceStatistics(std::FILE* file, const SequenceStatistics& statistics, const char* prefix);
std::string genomeSequenceHeaderToString(const GenomeSequence& genome);
void printGenomeSequenceHeader(std::FILE* file, const GenomeSequence& genome);
void printGenomeSequence(std::FILE* file, const GenomeSequence& genome, std::uint64_t startPosition,
                         std::uint64_t stopPosition, const char* prefix);
void printGenomeSequenceWithHeader(std::FILE* file, const GenomeSequence& genome, std::uint64_t startPosition,
                                   std::uint64_t stopPosition);
// Positions are within the chromosome, translated by its start in the genome.
void printGenomeSequenceForChromosome(std::FILE* file, const GenomeSequence& genome,
                                      std::uint32_t chromosomeNumber, std::uint64_t startPosition,
                                      std::uint64_t stopPosition);
void printGenomeSequenceForChromosomeWithHeader(std::FILE* file, const GenomeSequence& genome,
                                                std::uint32_t chromosomeNumber, std::uint64_t startPosition,
                                                std::uint64_t stopPosition);

}  // namespace koru
