#include "index/key_stream_partitions.h"

#include <omp.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace koru {

namespace {

// Progress is reported every million words, as the build's verbose output always has.
constexpr std::uint64_t wordsPerProgressBlock = 1'000'000;

// Partitions smaller than this are sorted by comparison: a radix pass would spend more on
// clearing its histogram than on the elements.
constexpr std::size_t smallPartition = 512;
constexpr int digitBits = 12;
constexpr std::uint32_t digitValues = 1u << digitBits;

std::uint32_t keyOf(std::uint64_t element) {
    return static_cast<std::uint32_t>(element >> 32);
}

// One stable counting pass on a 12-bit digit of the key.
void radixPass(const std::uint64_t* from, std::uint64_t* to, std::size_t n, int shift) {
    std::uint32_t offsets[digitValues] = {};
    for (std::size_t i = 0; i < n; ++i) ++offsets[(keyOf(from[i]) >> shift) & (digitValues - 1)];
    std::uint32_t sum = 0;
    for (std::uint32_t& offset : offsets) sum += std::exchange(offset, sum);
    for (std::size_t i = 0; i < n; ++i)
        to[offsets[(keyOf(from[i]) >> shift) & (digitValues - 1)]++] = from[i];
}

// Sorts one partition by its low 24 key bits, stably; the result ends in `data`.
void sortPartition(std::uint64_t* data, std::uint64_t* scratch, std::size_t n) {
    if (n < smallPartition) {
        // Comparing whole elements orders equal keys by position, as a stable sort would.
        std::sort(data, data + n);
        return;
    }
    radixPass(data, scratch, n, 0);
    radixPass(scratch, data, n, digitBits);
}

std::vector<KeyStreamChunk> makeChunks(std::uint64_t numberOfWords, int threads) {
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
            if (chunk.lastWord > chunk.firstWord) chunks.push_back(chunk);
        }
    }
    return chunks;
}

}  // namespace

void SortWorkspace::reserve(std::uint64_t n, std::uint64_t scratch, int threads) {
    gatheredCapacity_ = std::max(gatheredCapacity_, n);
    scratchCapacity_ = std::max(scratchCapacity_, scratch);
    const std::uint64_t elements = gatheredCapacity_ + scratchCapacity_ * static_cast<std::uint64_t>(threads);
    if (elements <= elements_) return;
    memory_.reset();
    memory_ = allocateZeroedArray<std::uint64_t>(elements);
    elements_ = elements;
}

KeyStreamPartitions::KeyStreamPartitions(const KeyPlane& plane, std::uint64_t numberOfWords,
                                         const KeyStreamProgress& progress)
    : plane_(plane) {
    const std::uint64_t streamWords = numberOfWords < 3 ? 0 : numberOfWords - 2;
    chunks_ = makeChunks(streamWords, std::max(1, omp_get_max_threads()));
    forEachChunk(
        [this](std::size_t c) {
            KeyStreamChunk& chunk = chunks_[c];
            forEachWindow(plane_, chunk.firstWord, chunk.lastWord,
                          [&](std::uint32_t key, std::uint32_t) { ++chunk.windows[partitionOf(key)]; });
        },
        progress);
    for (const KeyStreamChunk& chunk : chunks_)
        for (std::uint32_t p = 0; p < numberOfPartitions; ++p) totals_[p] += chunk.windows[p];
    numberOfWindows_ = numberOfKeysInKeyStream(numberOfWords);
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
    for (std::uint32_t p = 0; p < numberOfPartitions; ++p) {
        if (p > first && elements + totals_[p] > elementsPerRange) {
            result.emplace_back(first, p);
            first = p;
            elements = 0;
        }
        elements += totals_[p];
    }
    result.emplace_back(first, numberOfPartitions);
    return result;
}

namespace {

// Software write-combining for the scatter: windows are collected in a small per-partition
// buffer that stays in L1, and written out a cache line at a time. Scattering each window on its
// own into 256 far-apart streams costs a cache miss per store.
class CombiningScatter {
  public:
    static constexpr std::uint32_t lineElements = 8;

    CombiningScatter(std::uint64_t* elements, std::array<std::uint64_t, numberOfPartitions>& cursor,
                     const std::array<std::uint8_t, numberOfPartitions>& kept)
        : elements_(elements), cursor_(cursor), kept_(kept) {}

    void add(std::uint32_t partition, std::uint64_t element) {
        std::uint32_t& filled = filled_[partition];
        lines_[partition][filled] = element;
        if (++filled == lineElements) flush(partition);
    }

    void flush(std::uint32_t partition) {
        const std::uint32_t filled = std::exchange(filled_[partition], 0);
        if (kept_[partition] == 0) return;
        std::copy_n(lines_[partition], filled, elements_ + cursor_[partition]);
        cursor_[partition] += filled;
    }

    void flushAll() {
        for (std::uint32_t p = 0; p < numberOfPartitions; ++p) flush(p);
    }

  private:
    alignas(64) std::uint64_t lines_[numberOfPartitions][lineElements];
    std::array<std::uint32_t, numberOfPartitions> filled_{};
    std::uint64_t* elements_;
    std::array<std::uint64_t, numberOfPartitions>& cursor_;
    const std::array<std::uint8_t, numberOfPartitions>& kept_;
};

}  // namespace

void KeyStreamPartitions::gather(std::uint32_t first, std::uint32_t last, std::uint64_t* elements) const {
    // Each chunk writes its windows behind those of the chunks before it, partition by
    // partition, so the scatter is stable although the chunks run in parallel.
    std::vector<std::array<std::uint64_t, numberOfPartitions>> cursors(chunks_.size());
    std::array<std::uint8_t, numberOfPartitions> kept{};
    std::uint64_t offset = 0;
    for (std::uint32_t p = first; p < last; ++p) {
        kept[p] = 1;
        for (std::size_t c = 0; c < chunks_.size(); ++c) {
            cursors[c][p] = offset;
            offset += chunks_[c].windows[p];
        }
    }
    forEachChunk(
        [&](std::size_t c) {
            auto scatter = std::make_unique<CombiningScatter>(elements, cursors[c], kept);
            forEachWindow(plane_, chunks_[c].firstWord, chunks_[c].lastWord,
                          [&](std::uint32_t key, std::uint32_t position) {
                              scatter->add(partitionOf(key),
                                           (static_cast<std::uint64_t>(key) << 32) | position);
                          });
            scatter->flushAll();
        },
        {});
}

void KeyStreamPartitions::sortRange(
    std::uint32_t first, std::uint32_t last, SortWorkspace& workspace,
    const std::function<void(std::uint32_t, std::span<const std::uint64_t>)>& sorted) const {
    std::vector<std::uint64_t> start(numberOfPartitions + 1, 0);
    std::uint64_t largest = 0;
    for (std::uint32_t p = first; p < last; ++p) {
        start[p + 1] = start[p] + totals_[p];
        largest = std::max(largest, totals_[p]);
    }
    const int threads = std::max(1, omp_get_max_threads());
    workspace.reserve(start[last], largest, threads);
    gather(first, last, workspace.gathered());
#pragma omp parallel for schedule(dynamic, 1)
    for (std::uint32_t p = first; p < last; ++p) {
        std::uint64_t* data = workspace.gathered() + start[p];
        sortPartition(data, workspace.scratch(omp_get_thread_num()), totals_[p]);
        sorted(p, std::span<const std::uint64_t>(data, totals_[p]));
    }
}

}  // namespace koru
