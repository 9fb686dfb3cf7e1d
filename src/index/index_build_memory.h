#pragma once
// How much temporary memory the index build may use for sorting one range of the key stream.
// Small genomes are sorted in one piece; large ones in ranges, so that the build stays within
// about 32 bytes per genome base at its peak.

#include <algorithm>
#include <cstdint>

namespace koru {

// requestedBytes 0 means the default.
inline std::uint64_t temporaryBytesForIndexBuild(std::uint64_t numberOfKeys, std::uint64_t requestedBytes) {
    if (requestedBytes != 0) return requestedBytes;
    return std::max<std::uint64_t>(std::uint64_t{256} << 20, 4 * numberOfKeys);
}

}  // namespace koru
