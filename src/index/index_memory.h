#pragma once
// The memory an index takes, and needs while it is built, told from the genome's size alone: a
// run chooses its sampling step by it, and refuses a genome that would not fit before it
// allocates the tables, rather than running out of memory halfway through a long build.

#include <cstdint>
#include <string>

#include "genome/genome_sequence.h"
#include "index/count_arrays.h"

namespace koru {

// The most a default index may need while it is built: a human genome must index on a machine
// of 24 GiB with room to spare.
inline constexpr std::uint64_t indexMemoryGoalBytes = std::uint64_t{16} << 30;

struct IndexMemoryEstimate {
    std::uint64_t genomeBytes = 0;  // planes and uncalled plane
    std::uint64_t tableBytes = 0;   // the three key tables
    // What a build needs at least: genome, tables and the smallest sorting memory.
    std::uint64_t minimumBuildBytes = 0;
};

// For a genome of that padded length (genome positions, padding included).
IndexMemoryEstimate estimateIndexMemory(std::uint64_t paddedSequenceLength, std::uint32_t samplingStep);

// The smallest step whose build fits the memory goal; 0 when even the largest does not.
std::uint32_t defaultSamplingStep(std::uint64_t paddedSequenceLength);

// The memory of a genome and of a key table as built.
std::uint64_t genomeSequenceMemoryBytes(const GenomeSequence& genome);
std::uint64_t keyTableBytes(const KeyTable& table);

// The peak a build may reach: enough to sort each encoding in one piece, but never above the
// memory goal (less a margin for what the estimate does not count), so that large genomes sort
// in ranges instead.
std::uint64_t indexBuildMemoryBudget(std::uint64_t paddedSequenceLength, std::uint32_t samplingStep);

// The machine's physical memory in bytes.
std::uint64_t physicalMemoryBytes();

struct SamplingStepChoice {
    std::uint32_t step = 1;
    const char* origin = "";  // how it was chosen, for the run's report
};

// The step of a build: the requested one, or (0 requested) the default rule's. A genome whose index
// would need more than `availableBytes` at that step, or that no step fits the memory goal, ends
// the run with a message naming the genome file and the memory needed.
SamplingStepChoice chooseSamplingStep(std::uint32_t requested, std::uint64_t paddedSequenceLength,
                                      const std::string& genomeFile, std::uint64_t availableBytes);

}  // namespace koru
