#pragma once
// Sorting the key stream of one encoding in bounded memory. The stream is split by the key's
// top 8 bits into 256 partitions. A counting pass measures every partition in every chunk of
// the genome; then ranges of consecutive partitions, as many as fit the memory allowance, are
// gathered in turn (a stable parallel scatter: windows stay in position order within a
// partition) and each partition is radix-sorted on its remaining 24 key bits. Stability keeps
// the positions of a key ascending.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "index/key_stream.h"

namespace koru {

inline constexpr int partitionBits = 8;
inline constexpr std::uint32_t numberOfPartitions = 1u << partitionBits;

inline std::uint32_t partitionOf(std::uint32_t key) { return key >> (32 - partitionBits); }

// Called after every 1,000,000 words of the counting pass with the number of words counted.
using KeyStreamProgress = std::function<void(std::uint64_t wordsCounted)>;

struct KeyStreamChunk {
    std::uint64_t firstWord = 0;
    std::uint64_t lastWord = 0;  // exclusive
    std::array<std::uint64_t, numberOfPartitions> windows{};
};

class KeyStreamPartitions {
public:
    // Counts the windows of every partition, chunk by chunk, with all threads.
    KeyStreamPartitions(const KeyPlane& plane, std::uint64_t numberOfWords, const KeyStreamProgress& progress);

    std::uint64_t windowsInPartition(std::uint32_t partition) const { return totals_[partition]; }
    std::uint64_t numberOfWindows() const { return numberOfWindows_; }

    // Consecutive partition ranges [first, last) whose windows fit the given number of
    // elements; a partition larger than that forms a range of its own.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges(std::uint64_t elementsPerRange) const;

    // Sorts the partitions of a range. Keys alone (32-bit elements) or keys with their
    // positions (64-bit elements: key << 32 | position). `buffer` and `scratch` hold at least the
    // range's windows. Calls sorted(partition, elements) for every partition, from any thread.
    void sortRange(std::uint32_t first, std::uint32_t last, std::span<std::uint32_t> buffer,
                   std::span<std::uint32_t> scratch,
                   const std::function<void(std::uint32_t, std::span<const std::uint32_t>)>& sorted) const;
    void sortRange(std::uint32_t first, std::uint32_t last, std::span<std::uint64_t> buffer,
                   std::span<std::uint64_t> scratch,
                   const std::function<void(std::uint32_t, std::span<const std::uint64_t>)>& sorted) const;

private:
    template <class Element>
    void gather(std::uint32_t first, std::uint32_t last, Element* buffer) const;
    template <class Element>
    void sortGathered(std::uint32_t first, std::uint32_t last, Element* buffer, Element* scratch,
                      const std::function<void(std::uint32_t, std::span<const Element>)>& sorted) const;

    KeyPlane plane_;
    std::vector<KeyStreamChunk> chunks_;
    std::array<std::uint64_t, numberOfPartitions> totals_{};
    std::uint64_t numberOfWindows_ = 0;
};

}  // namespace koru
