#include "index/key_stream_partitions.h"

#include <omp.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <utility>

namespace koru {

namespace {

// Progress is reported every million words, as the build's verbose output always has.
constexpr std::uint64_t wordsPerProgressBlock = 1'000'000;

// Partitions smaller than this are sorted by comparison: a radix pass would spend more on
// clearing its histogram than on the elements.
constexpr std::size_t smallPartition = 512;

std::uint32_t keyOf(std::uint64_t element) {
    return static_cast<std::uint32_t>(element >> 32);
}

// One stable counting pass on the key digit of `bits` bits at `shift`.
void radixPass(const std::uint64_t* from, std::uint64_t* to, std::size_t n, int shift, int bits) {
    const std::uint32_t mask = (1u << bits) - 1;
    std::uint32_t offsets[1u << 12] = {};
    for (std::size_t i = 0; i < n; ++i) ++offsets[(keyOf(from[i]) >> shift) & mask];
    std::uint32_t sum = 0;
    for (std::uint32_t d = 0; d <= mask; ++d) sum += std::exchange(offsets[d], sum);
    for (std::size_t i = 0; i < n; ++i) to[offsets[(keyOf(from[i]) >> shift) & mask]++] = from[i];
}

// About 2^14 to 2^15 windows a partition, between 2^8 and 2^10 partitions: more would make
// the scatter's line buffers spill out of the fastest caches.
int partitionBitsFor(std::uint64_t windows) {
    return std::clamp(static_cast<int>(std::bit_width(windows)) - 15, 8, 10);
}

std::vector<KeyStreamChunk> makeChunks(std::uint64_t numberOfWords, int threads, std::uint32_t partitions) {
    std::vector<KeyStreamChunk> chunks;
    for (std::uint64_t block = 0; block < numberOfWords; block += wordsPerProgressBlock) {
        const std::uint64_t blockEnd = std::min(numberOfWords, block + wordsPerProgressBlock);
        const std::uint64_t size = blockEnd - block;
        for (int t = 0; t < threads; ++t) {
            KeyStreamChunk chunk;
            chunk.firstWord =
                block + size * static_cast<std::uint64_t>(t) / static_cast<std::uint64_t>(threads);
            chunk.lastWord =
                block + size * static_cast<std::uint64_t>(t + 1) / static_cast<std::uint64_t>(threads);
            chunk.windows.assign(partitions, 0);
            if (chunk.lastWord > chunk.firstWord) chunks.push_back(std::move(chunk));
        }
    }
    return chunks;
}

// Software write-combining for the scatter: windows are collected in a small per-partition
// buffer that stays in the caches, and written out a cache line at a time. Scattering each
// window on its own into thousands of far-apart streams costs a cache miss per store.
class CombiningScatter {
  public:
    static constexpr std::uint32_t lineElements = 8;

    CombiningScatter(std::uint64_t* elements, std::vector<std::uint64_t>& cursor,
                     const std::vector<std::uint8_t>& kept)
        : lines_(kept.size() * lineElements),
          filled_(kept.size(), 0),
          elements_(elements),
          cursor_(cursor),
          kept_(kept) {}

    void add(std::uint32_t partition, std::uint64_t element) {
        std::uint32_t& filled = filled_[partition];
        std::uint64_t* line = &lines_[partition * lineElements];
        line[filled] = element;
        if (++filled < lineElements) return;
        filled = 0;
        if (kept_[partition] == 0) return;
        // A whole line: a fixed-size copy the compiler turns into a few vector stores.
        std::memcpy(elements_ + cursor_[partition], line, sizeof(std::uint64_t) * lineElements);
        cursor_[partition] += lineElements;
    }

    void flushAll() {
        for (std::uint32_t p = 0; p < filled_.size(); ++p) {
            const std::uint32_t filled = std::exchange(filled_[p], 0);
            if (kept_[p] == 0) continue;
            std::copy_n(&lines_[p * lineElements], filled, elements_ + cursor_[p]);
            cursor_[p] += filled;
        }
    }

  private:
    std::vector<std::uint64_t> lines_;
    std::vector<std::uint32_t> filled_;
    std::uint64_t* elements_;
    std::vector<std::uint64_t>& cursor_;
    const std::vector<std::uint8_t>& kept_;
};

}  // namespace

void SortWorkspace::reserve(std::uint64_t n, std::uint64_t scratch, int threads) {
    gatheredElements_ = n;
    scratchElements_ = scratch;
    const std::uint64_t elements = n + scratch * static_cast<std::uint64_t>(threads);
    if (elements <= elements_) return;
    memory_.reset();
    memory_ = allocateZeroedArray<std::uint64_t>(elements);
    elements_ = elements;
}

void SortWorkspace::limit(std::uint64_t bytes) {
    const std::uint64_t elements = bytes / sizeof(std::uint64_t);
    if (elements >= elements_) return;
    // Shrinking in place keeps the pages already touched and returns the rest.
    if (void* shrunk =
            std::realloc(memory_.get(), std::max<std::uint64_t>(elements, 1) * sizeof(std::uint64_t))) {
        (void)memory_.release();
        memory_.reset(static_cast<std::uint64_t*>(shrunk));
        elements_ = elements;
    }
}

KeyStreamPartitions::KeyStreamPartitions(const KeyPlane& plane, std::uint64_t numberOfWords,
                                         std::uint32_t samplingStep, const KeyStreamProgress& progress,
                                         int partitionBits)
    : plane_(plane),
      samplingStep_(samplingStep),
      partitionBits_(partitionBits != 0
                         ? partitionBits
                         : partitionBitsFor(numberOfListedWindows(numberOfWords, samplingStep))),
      totals_(numberOfPartitions(), 0),
      numberOfWindows_(numberOfListedWindows(numberOfWords, samplingStep)) {
    const std::uint64_t streamWords = numberOfWords < 3 ? 0 : numberOfWords - 2;
    chunks_ = makeChunks(streamWords, std::max(1, omp_get_max_threads()), numberOfPartitions());
    const int shift = 32 - partitionBits_;
    forEachChunk(
        [&](std::size_t c) {
            std::uint64_t* windows = chunks_[c].windows.data();
            forEachWindow(plane_, chunks_[c].firstWord, chunks_[c].lastWord, samplingStep_,
                          [&](std::uint32_t key, std::uint32_t) { ++windows[key >> shift]; });
        },
        progress);
    for (const KeyStreamChunk& chunk : chunks_)
        for (std::uint32_t p = 0; p < numberOfPartitions(); ++p) totals_[p] += chunk.windows[p];
}

void KeyStreamPartitions::forEachChunk(const std::function<void(std::size_t)>& visit,
                                       const KeyStreamProgress& progress) const {
    // Blocks of a million words one after another, the chunks of a block in parallel, so that
    // progress can be told after every block.
    for (std::size_t blockStart = 0; blockStart < chunks_.size();) {
        std::size_t blockEnd = blockStart;
        while (blockEnd < chunks_.size() && chunks_[blockEnd].firstWord / wordsPerProgressBlock ==
                                                chunks_[blockStart].firstWord / wordsPerProgressBlock)
            ++blockEnd;
#pragma omp parallel for schedule(dynamic, 1)
        for (std::size_t c = blockStart; c < blockEnd; ++c) visit(c);
        const std::uint64_t wordsDone = chunks_[blockEnd - 1].lastWord;
        if (progress && wordsDone % wordsPerProgressBlock == 0) progress(wordsDone);
        blockStart = blockEnd;
    }
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> KeyStreamPartitions::ranges(
    std::uint64_t elementsPerRange) const {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> result;
    std::uint32_t first = 0;
    std::uint64_t elements = 0;
    for (std::uint32_t p = 0; p < numberOfPartitions(); ++p) {
        if (p > first && elements + totals_[p] > elementsPerRange) {
            result.emplace_back(first, p);
            first = p;
            elements = 0;
        }
        elements += totals_[p];
    }
    result.emplace_back(first, numberOfPartitions());
    return result;
}

void KeyStreamPartitions::gather(std::uint32_t first, std::uint32_t last, std::uint64_t* elements) const {
    // Each chunk writes its windows behind those of the chunks before it, partition by
    // partition, so the scatter is stable although the chunks run in parallel.
    std::vector<std::vector<std::uint64_t>> cursors(chunks_.size(),
                                                    std::vector<std::uint64_t>(numberOfPartitions(), 0));
    std::vector<std::uint8_t> kept(numberOfPartitions(), 0);
    std::uint64_t offset = 0;
    for (std::uint32_t p = first; p < last; ++p) {
        kept[p] = 1;
        for (std::size_t c = 0; c < chunks_.size(); ++c) {
            cursors[c][p] = offset;
            offset += chunks_[c].windows[p];
        }
    }
    const int shift = 32 - partitionBits_;
    forEachChunk(
        [&](std::size_t c) {
            CombiningScatter scatter(elements, cursors[c], kept);
            forEachWindow(plane_, chunks_[c].firstWord, chunks_[c].lastWord, samplingStep_,
                          [&](std::uint32_t key, std::uint32_t position) {
                              scatter.add(key >> shift, (static_cast<std::uint64_t>(key) << 32) | position);
                          });
            scatter.flushAll();
        },
        {});
}

// Sorts one partition by its key bits below the partition's, stably; the result ends in `data`.
void KeyStreamPartitions::sortPartition(std::uint64_t* data, std::uint64_t* scratch, std::size_t n) const {
    if (n < smallPartition) {
        // Comparing whole elements orders equal keys by position, as a stable sort would.
        std::sort(data, data + n);
        return;
    }
    const int bits = 32 - partitionBits_;
    radixPass(data, scratch, n, 0, bits / 2);
    radixPass(scratch, data, n, bits / 2, bits - bits / 2);
}

void KeyStreamPartitions::sortRange(
    std::uint32_t first, std::uint32_t last, SortWorkspace& workspace,
    const std::function<void(std::uint32_t, std::span<const std::uint64_t>)>& sorted) const {
    std::vector<std::uint64_t> start(numberOfPartitions() + 1, 0);
    std::uint64_t largest = 0;
    for (std::uint32_t p = first; p < last; ++p) {
        start[p + 1] = start[p] + totals_[p];
        largest = std::max(largest, totals_[p]);
    }
    workspace.reserve(start[last], largest, std::max(1, omp_get_max_threads()));
    gather(first, last, workspace.gathered());
#pragma omp parallel for schedule(dynamic, 1)
    for (std::uint32_t p = first; p < last; ++p) {
        std::uint64_t* data = workspace.gathered() + start[p];
        sortPartition(data, workspace.scratch(omp_get_thread_num()), totals_[p]);
        sorted(p, std::span<const std::uint64_t>(data, totals_[p]));
    }
}

}  // namespace koru
