#include "genome/genome_sequence.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "genome/binary_genome.h"
#include "genome/fasta_reference.h"
#include "support/errors.h"
#include "support/memory_mapped_file.h"
#include "support/timer.h"

namespace koru {

namespace {

void reportTimer(LockedFile* timerFile, Timer& timer) {
    if (timerFile != nullptr) {
        stopPrintAndFreePrintTime(*timerFile, timer, true);
    } else {
        stopTimer(timer);
    }
}

}  // namespace

void errorIfGenomeExceedsGenomePositions(const std::string& fileName, std::uint64_t paddedSequenceLength) {
    if (paddedSequenceLength <= maximumGenomePositions) return;
    exitWithErrorFormat(
        "ERROR: The genome file \"%s\" needs %lu genome positions with padding, more than the %lu that "
        "koru can address.\n",
        fileName.c_str(), static_cast<unsigned long>(paddedSequenceLength),
        static_cast<unsigned long>(maximumGenomePositions));
}

std::unique_ptr<GenomeSequence> createGenomeSequence(const GenomeInformation* information,
                                                     LockedFile* timerFile) {
    if (information == nullptr) exitWithError("ERROR: No reference genome was given.\n");
    Timer reading = startTimer("Reading in Reference Genome");
    std::unique_ptr<MemoryMappedFile> file = createMemoryMappedFile(information->file);
    reportTimer(timerFile, reading);

    Timer converting = startTimer("Converting Reference Genome to binary encoding and generating metadata");
    if (!file) exitWithError("ERROR: Could not create a memory mapped file for genome.");
    auto genome = std::make_unique<GenomeSequence>();
    genome->genomeInformation = std::make_unique<GenomeInformation>(*information);
    switch (information->formatType) {
        case binaryGenomeFormatType0:
        case binaryGenomeFormatType1:
            processBinaryFormatGenomeFile(*genome, *file);
            break;
        case fastaGenomeFormatType:
            processFastaFormatGenomeFile(*genome, *file);
            break;
        default:
            exitWithError("ERROR: An unrecognized genome format file type was provided.");
    }
    file.reset();  // the genome no longer needs the file's text
    reportTimer(timerFile, converting);
    return genome;
}

namespace {

constexpr std::uint64_t kWordBases = 32;

// The text of four bases from their base-plane and check-plane nibbles (base nibble on top).
constexpr std::array<std::array<char, 4>, 256> makeNibbleText() {
    std::array<std::array<char, 4>, 256> table{};
    for (unsigned index = 0; index < 256; ++index)
        for (unsigned i = 0; i < 4; ++i) {
            const bool base = ((index >> (7 - i)) & 1u) != 0, check = ((index >> (3 - i)) & 1u) != 0;
            table[index][i] = base ? (check ? 'G' : 'A') : (check ? 'C' : 'T');
        }
    return table;
}

constexpr std::array<std::array<char, 4>, 256> kNibbleText = makeNibbleText();

// The 32 bases of a word pair, Ns where the uncalled word has a bit.
void decodeTextWord(std::uint32_t base, std::uint32_t check, std::uint32_t uncalled, char* out) {
    for (int nibble = 0; nibble < 8; ++nibble) {
        const int shift = 28 - 4 * nibble;
        const unsigned index = ((base >> shift) & 15u) << 4 | ((check >> shift) & 15u);
        std::memcpy(out + 4 * nibble, kNibbleText[index].data(), 4);
    }
    for (; uncalled != 0; uncalled &= uncalled - 1) out[31 - std::countr_zero(uncalled)] = 'N';
}

// The letters other than N over [from, from + count), already decoded as N.
void applyOtherLetters(const std::vector<ReferenceLetterRun>& runs, std::uint64_t from, std::size_t count,
                       char* out) {
    auto run = std::upper_bound(runs.begin(), runs.end(), from,
                                [](std::uint64_t position, const ReferenceLetterRun& r) {
                                    return position < std::uint64_t{r.start} + r.length;
                                });
    for (; run != runs.end() && run->start < from + count; ++run) {
        const std::uint64_t start = std::max<std::uint64_t>(run->start, from);
        const std::uint64_t end =
            std::min<std::uint64_t>(std::uint64_t{run->start} + run->length, from + count);
        std::memset(out + (start - from), run->letter, end - start);
    }
}

}  // namespace

std::size_t copyReferenceText(const GenomeSequence& genome, std::uint64_t genomePosition, std::size_t length,
                              char* out) {
    if (!hasReferenceText(genome) || genomePosition >= genome.paddedSequenceLength) return 0;
    const auto count = static_cast<std::size_t>(
        std::min<std::uint64_t>(length, genome.paddedSequenceLength - genomePosition));
    char word[kWordBases];
    for (std::size_t done = 0; done < count;) {
        const std::uint64_t position = genomePosition + done;
        const std::uint64_t index = position / kWordBases;
        const std::size_t offset = position % kWordBases;
        const std::size_t piece = std::min(count - done, kWordBases - offset);
        decodeTextWord(genome.baseWord(index), genome.checkWord(index), genome.uncalledPlaneWords[index],
                       word);
        std::memcpy(out + done, word + offset, piece);
        done += piece;
    }
    if (!genome.otherLetters.empty()) applyOtherLetters(genome.otherLetters, genomePosition, count, out);
    return count;
}

std::string_view referenceText(const GenomeSequence& genome, std::uint64_t genomePosition, std::size_t length,
                               std::string& buffer) {
    buffer.resize(length);
    buffer.resize(copyReferenceText(genome, genomePosition, length, buffer.data()));
    return buffer;
}

const ChromosomeInformation* getChromosomeInformationForGenomePosition(std::uint64_t genomePosition,
                                                                       const GenomeSequence& genome) {
    // The table is in position order with disjoint ranges, so the last chromosome starting at or
    // before the position is the only one that can hold it.
    const auto& table = genome.chromosomes;
    auto after = std::upper_bound(table.begin(), table.end(), genomePosition,
                                  [](std::uint64_t position, const ChromosomeInformation& chromosome) {
                                      return position < chromosome.startGenomePosition;
                                  });
    if (after == table.begin()) return nullptr;
    const ChromosomeInformation& candidate = *(after - 1);
    return genomePosition <= candidate.endGenomePosition ? &candidate : nullptr;
}

const ChromosomeInformation* getChromosomeSequenceInformationForChromosome(std::uint32_t chromosomeNumber,
                                                                           const GenomeSequence& genome) {
    const auto& table = genome.chromosomes;
    // FASTA genomes number their chromosomes 1, 2, ... in table order.
    if (chromosomeNumber >= 1 && chromosomeNumber <= table.size() &&
        table[chromosomeNumber - 1].chromosomeNumber == chromosomeNumber)
        return &table[chromosomeNumber - 1];
    const auto found = std::find_if(table.begin(), table.end(), [&](const ChromosomeInformation& chromosome) {
        return chromosome.chromosomeNumber == chromosomeNumber;
    });
    return found != table.end() ? &*found : nullptr;
}

bool lookupChromosomePositionFromGenomePosition(std::uint32_t genomePosition, std::uint32_t& chromosomeNumber,
                                                std::uint32_t& positionInChromosome,
                                                const GenomeSequence* genome) {
    if (chromosomeNumber != 0 || positionInChromosome != 0 || genome == nullptr) return false;
    const ChromosomeInformation* chromosome =
        getChromosomeInformationForGenomePosition(genomePosition, *genome);
    if (chromosome == nullptr) return false;
    chromosomeNumber = chromosome->chromosomeNumber;
    positionInChromosome = static_cast<std::uint32_t>(genomePosition - chromosome->startGenomePosition);
    return true;
}

std::optional<std::uint32_t> getGenomePositionFromChromosomePosition(std::uint32_t chromosomeNumber,
                                                                     std::uint32_t positionInChromosome,
                                                                     const GenomeSequence& genome) {
    if (chromosomeNumber == 0) return 0;
    const ChromosomeInformation* chromosome =
        getChromosomeSequenceInformationForChromosome(chromosomeNumber, genome);
    if (chromosome == nullptr) return std::nullopt;
    const std::uint64_t position = chromosome->startGenomePosition + positionInChromosome;
    if (position > chromosome->endGenomePosition) return std::nullopt;
    return static_cast<std::uint32_t>(position);
}

void lookupGenomePositionsForCandidatePositionFilters(const GenomeSequence& genome,
                                                      std::vector<CandidatePositionFilter>& filters,
                                                      std::string_view filterFileName) {
    for (CandidatePositionFilter& filter : filters) {
        if (filter.chromosome == 0) {
            filter.startPositionInGenome = filter.endPositionInGenome = 0;
            continue;
        }
        const ChromosomeInformation* chromosome =
            getChromosomeSequenceInformationForChromosome(filter.chromosome, genome);
        if (chromosome == nullptr)
            exitWithErrorFormat(
                "ERROR: The candidate position filter on line %u of \"%.*s\" names chromosome %u, which is "
                "not in the reference genome.\n",
                filter.lineNumber, static_cast<int>(filterFileName.size()), filterFileName.data(),
                filter.chromosome);
        // Past its end a filter would spill into the next chromosome, or wrap around the genome.
        const auto resolve = [&](std::uint32_t position) {
            return static_cast<std::uint32_t>(
                std::min(chromosome->startGenomePosition + position, chromosome->endGenomePosition));
        };
        filter.startPositionInGenome = resolve(filter.startPositionInChromosome);
        filter.endPositionInGenome = resolve(filter.endPositionInChromosome);
    }
}

}  // namespace koru
