#pragma once
// Settings of the index build that tests may change; a run uses the defaults.

#include <algorithm>
#include <cstdint>

namespace koru {

struct IndexBuildOptions {
    // Memory for sorting one range of the key stream; 0: what the memory budget leaves.
    std::uint64_t sortingMemoryBytes = 0;
    // Partitions of the key stream are 2^partitionBits; 0: chosen from the genome's size.
    int partitionBits = 0;
};

// The peak memory a build may reach: 32 bytes a genome base and 256 MiB. The sorting memory is
// what the genome and the tables leave of it, so that small genomes sort in one piece and large
// ones in ranges.
inline std::uint64_t indexBuildMemoryBudget(std::uint64_t bases) {
    return 32 * bases + (std::uint64_t{256} << 20);
}

// Sorting never gets less than this, however tight the budget.
inline constexpr std::uint64_t minimumSortingMemoryBytes = std::uint64_t{64} << 20;

}  // namespace koru
