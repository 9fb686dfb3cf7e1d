#pragma once
// Settings of the index build: the sampling step a run chooses, and memory settings that tests
// may change (a run uses their defaults).

#include <algorithm>
#include <cstdint>

namespace koru {

struct IndexBuildOptions {
    // Only windows whose start is a multiple of this are listed (1, 2, 4 or 8).
    std::uint32_t samplingStep = 1;
    // Memory for sorting one range of the key stream; 0: what the memory budget leaves.
    std::uint64_t sortingMemoryBytes = 0;
    // Partitions of the key stream are 2^partitionBits; 0: chosen from the genome's size.
    int partitionBits = 0;
};

// Sorting never gets less than this, however tight the budget.
inline constexpr std::uint64_t minimumSortingMemoryBytes = std::uint64_t{64} << 20;

}  // namespace koru
