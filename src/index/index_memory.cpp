#include "index/index_memory.h"

#include <unistd.h>

#include <algorithm>

#include "index/index_build_options.h"
#include "index/key_stream.h"
#include "support/errors.h"

namespace koru {

namespace {

// What a process holds besides the genome and the tables: code, buffers, thread stacks.
constexpr std::uint64_t processOverheadBytes = std::uint64_t{256} << 20;
// The estimate counts the tables and the genome exactly; the rest of a build (directories of the
// sort, partition counters, the allocator's slack) stays within this.
constexpr std::uint64_t budgetMarginBytes = std::uint64_t{1} << 30;

std::uint64_t tableBytesFor(std::uint64_t windows) {
    const int directoryBits = directoryBitsForKeys(windows);
    const auto entryBytes = 4 + static_cast<std::uint64_t>(KeyTable::residualBytesFor(directoryBits));
    return ((std::uint64_t{1} << directoryBits) + 1) * 4 + windows * entryBytes;
}

}  // namespace

IndexMemoryEstimate estimateIndexMemory(std::uint64_t paddedSequenceLength, std::uint32_t samplingStep) {
    const std::uint64_t words = (paddedSequenceLength + 31) / 32;
    IndexMemoryEstimate estimate;
    estimate.genomeBytes = 3 * 4 * words;
    estimate.tableBytes = numberOfKeyEncodings * tableBytesFor(numberOfListedWindows(words, samplingStep));
    estimate.minimumBuildBytes =
        estimate.genomeBytes + estimate.tableBytes + minimumSortingMemoryBytes + processOverheadBytes;
    return estimate;
}

std::uint32_t defaultSamplingStep(std::uint64_t paddedSequenceLength) {
    for (std::uint32_t step : {1u, 2u, 4u, 8u})
        if (estimateIndexMemory(paddedSequenceLength, step).minimumBuildBytes <= indexMemoryGoalBytes)
            return step;
    return 0;
}

std::uint64_t genomeSequenceMemoryBytes(const GenomeSequence& genome) {
    const std::uint64_t planes = genome.uncalledPlaneWords ? 3 : 2;
    return planes * 4 * genome.allocatedBinaryEncodedArraySize +
           sizeof(ReferenceLetterRun) * genome.otherLetters.size();
}

std::uint64_t keyTableBytes(const KeyTable& table) {
    if (!table.directory) return 0;
    return 4 * table.directorySize() +
           (4 + static_cast<std::uint64_t>(table.residualBytes())) * table.numberOfEntries;
}

std::uint64_t indexBuildMemoryBudget(std::uint64_t paddedSequenceLength, std::uint32_t samplingStep) {
    const IndexMemoryEstimate estimate = estimateIndexMemory(paddedSequenceLength, samplingStep);
    const std::uint64_t windowsPerEncoding =
        numberOfListedWindows((paddedSequenceLength + 31) / 32, samplingStep);
    const std::uint64_t onePiece =
        estimate.genomeBytes + estimate.tableBytes + 8 * windowsPerEncoding + processOverheadBytes;
    return std::min(onePiece, indexMemoryGoalBytes - budgetMarginBytes);
}

namespace {

double gibibytes(std::uint64_t bytes) {
    return static_cast<double>(bytes) / static_cast<double>(std::uint64_t{1} << 30);
}

}  // namespace

SamplingStepChoice chooseSamplingStep(std::uint32_t requested, std::uint64_t paddedSequenceLength,
                                      const std::string& genomeFile, std::uint64_t availableBytes) {
    SamplingStepChoice choice{requested, "as requested"};
    if (requested == 0)
        choice = {defaultSamplingStep(paddedSequenceLength), "chosen from the genome's length"};
    if (choice.step == 0)
        exitWithErrorFormat(
            "ERROR: The genome in \"%s\" is too large to index: even at the largest --indexSamplingStep, 8, "
            "its "
            "index needs about %.1f GiB of memory, more than the %.1f GiB koru allows itself.\n",
            genomeFile.c_str(), gibibytes(estimateIndexMemory(paddedSequenceLength, 8).minimumBuildBytes),
            gibibytes(indexMemoryGoalBytes));
    const std::uint64_t needed = estimateIndexMemory(paddedSequenceLength, choice.step).minimumBuildBytes;
    if (needed > availableBytes)
        exitWithErrorFormat(
            "ERROR: Indexing the genome in \"%s\" at --indexSamplingStep %u needs about %.1f GiB of memory, "
            "more "
            "than the %.1f GiB of this machine; give a larger --indexSamplingStep (1, 2, 4 or 8).\n",
            genomeFile.c_str(), choice.step, gibibytes(needed), gibibytes(availableBytes));
    return choice;
}

std::uint64_t physicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES), pageBytes = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageBytes <= 0) return ~std::uint64_t{0};
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageBytes);
}

}  // namespace koru
