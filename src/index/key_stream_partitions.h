#pragma once
// Sorting the key stream of one encoding in bounded memory. The stream is split by the key's top
// bits into partitions, about 20,000 windows each so that a partition sorts inside the caches.
// A counting pass measures every partition in every chunk of the genome; then ranges of
// consecutive partitions, as many as fit the memory allowance, are gathered in turn as
// (key << 32 | position) elements (a stable parallel scatter: windows stay in position order
// within a partition), and each partition is radix-sorted on its remaining key bits. Stability
// keeps the positions of a key ascending.

#include <cstdint>
#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "index/key_stream.h"
#include "support/allocation.h"

namespace koru {

// Memory for sorting, reused by every range and encoding of a build: fresh pages are costly,
// as the kernel zeroes each of them.
class SortWorkspace {
  public:
    // Room to gather n elements, and a radix scratch area of `scratch` elements per thread.
    void reserve(std::uint64_t n, std::uint64_t scratch, int threads);
    // Gives memory back until the workspace holds at most that many bytes.
    void limit(std::uint64_t bytes);
    std::uint64_t* gathered() { return memory_.get(); }
    std::uint64_t* scratch(int thread) {
        return memory_.get() + gatheredElements_ + scratchElements_ * static_cast<std::uint64_t>(thread);
    }

  private:
    CArray<std::uint64_t> memory_;
    std::uint64_t elements_ = 0;
    std::uint64_t gatheredElements_ = 0;
    std::uint64_t scratchElements_ = 0;
};

// Called after every 1,000,000 words of the counting pass with the number of words counted.
using KeyStreamProgress = std::function<void(std::uint64_t wordsCounted)>;

struct KeyStreamChunk {
    std::uint64_t firstWord = 0;
    std::uint64_t lastWord = 0;          // exclusive
    std::vector<std::uint64_t> windows;  // per partition
};

class KeyStreamPartitions {
  public:
    // Counts the listed windows (those whose start is a multiple of samplingStep) of every
    // partition, chunk by chunk, with all threads. partitionBits 0 chooses the partitions from the
    // number of windows.
    KeyStreamPartitions(const KeyPlane& plane, std::uint64_t numberOfWords, std::uint32_t samplingStep,
                        const KeyStreamProgress& progress, int partitionBits = 0);

    int partitionBits() const { return partitionBits_; }
    std::uint32_t numberOfPartitions() const { return 1u << partitionBits_; }
    std::uint32_t partitionOf(std::uint32_t key) const { return key >> (32 - partitionBits_); }
    std::uint64_t windowsInPartition(std::uint32_t partition) const { return totals_[partition]; }
    std::uint64_t numberOfWindows() const { return numberOfWindows_; }

    // Consecutive partition ranges [first, last) whose windows fit the given number of
    // elements; a partition larger than that forms a range of its own.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges(std::uint64_t elementsPerRange) const;

    // Gathers and sorts the partitions of a range, then calls sorted(partition, elements) for
    // every partition, from any thread.
    void sortRange(std::uint32_t first, std::uint32_t last, SortWorkspace& workspace,
                   const std::function<void(std::uint32_t, std::span<const std::uint64_t>)>& sorted) const;

  private:
    void forEachChunk(const std::function<void(std::size_t)>& visit, const KeyStreamProgress& progress) const;
    void gather(std::uint32_t first, std::uint32_t last, std::uint64_t* elements) const;
    void sortPartition(std::uint64_t* data, std::uint64_t* scratch, std::size_t n) const;

    KeyPlane plane_;
    std::uint32_t samplingStep_;
    int partitionBits_;
    std::vector<KeyStreamChunk> chunks_;
    std::vector<std::uint64_t> totals_;
    std::uint64_t numberOfWindows_ = 0;
};

}  // namespace koru
