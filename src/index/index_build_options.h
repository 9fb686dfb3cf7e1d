#pragma once
// Settings of the index build that tests may change; a run uses the defaults.

#include <algorithm>
#include <cstdint>

namespace koru {

struct IndexBuildOptions {
    // Memory for sorting one range of the key stream; 0: the default below.
    std::uint64_t sortingMemoryBytes = 0;
    // Partitions of the key stream are 2^partitionBits; 0: chosen from the genome's size.
    int partitionBits = 0;
};

// Small genomes are sorted in one piece; large ones in ranges, so that the build stays within
// about 32 bytes per genome base at its peak.
inline std::uint64_t temporaryBytesForIndexBuild(std::uint64_t numberOfKeys, const IndexBuildOptions& options) {
    if (options.sortingMemoryBytes != 0) return options.sortingMemoryBytes;
    return std::max<std::uint64_t>(std::uint64_t{256} << 20, 4 * numberOfKeys);
}

}  // namespace koru
