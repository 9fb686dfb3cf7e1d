#include "index/key_stream_partitions.h"

#include <omp.h>

#include <algorithm>
#include <utility>
#include <memory>

namespace koru {

namespace {

// Progress is reported every million words, as the build's verbose output always has.
constexpr std::uint64_t wordsPerProgressBlock = 1'000'000;

// Partitions smaller than this are sorted by comparison: a radix pass would spend more on
// clearing its histogram than on the elements.
constexpr std::size_t smallPartition = 512;
constexpr int digitBits = 12;
constexpr std::uint32_t digitValues = 1u << digitBits;

std::uint32_t keyOf(std::uint32_t element) { return element; }
std::uint32_t keyOf(std::uint64_t element) { return static_cast<std::uint32_t>(element >> 32); }

std::uint32_t makeElement(std::uint32_t key, std::uint32_t, std::uint32_t*) { return key; }
std::uint64_t makeElement(std::uint32_t key, std::uint32_t position, std::uint64_t*) {
    return (static_cast<std::uint64_t>(key) << 32) | position;
}

// One stable counting pass on a 12-bit digit of the key.
template <class Element>
void radixPass(const Element* from, Element* to, std::size_t n, int shift) {
    std::uint32_t offsets[digitValues] = {};
    for (std::size_t i = 0; i < n; ++i) ++offsets[(keyOf(from[i]) >> shift) & (digitValues - 1)];
    std::uint32_t sum = 0;
    for (std::uint32_t& offset : offsets) sum += std::exchange(offset, sum);
    for (std::size_t i = 0; i < n; ++i) to[offsets[(keyOf(from[i]) >> shift) & (digitValues - 1)]++] = from[i];
}

// Sorts one partition by its low 24 key bits, stably; the result ends in `data`.
template <class Element>
void sortPartition(Element* data, Element* scratch, std::size_t n) {
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
            chunk.firstWord = block + size * static_cast<std::uint64_t>(t) / static_cast<std::uint64_t>(threads);
            chunk.lastWord = block + size * static_cast<std::uint64_t>(t + 1) / static_cast<std::uint64_t>(threads);
            if (chunk.lastWord > chunk.firstWord) chunks.push_back(chunk);
        }
    }
    return chunks;
}

}  // namespace

KeyStreamPartitions::KeyStreamPartitions(const KeyPlane& plane, std::uint64_t numberOfWords,
                                         const KeyStreamProgress& progress)
    : plane_(plane) {
    const std::uint64_t streamWords = numberOfWords < 3 ? 0 : numberOfWords - 2;
    const int threads = std::max(1, omp_get_max_threads());
    chunks_ = makeChunks(streamWords, threads);
    for (std::size_t blockStart = 0; blockStart < chunks_.size();) {
        std::size_t blockEnd = blockStart;
        while (blockEnd < chunks_.size() && chunks_[blockEnd].firstWord / wordsPerProgressBlock ==
                                                chunks_[blockStart].firstWord / wordsPerProgressBlock)
            ++blockEnd;
#pragma omp parallel for schedule(static, 1)
        for (std::size_t c = blockStart; c < blockEnd; ++c) {
            KeyStreamChunk& chunk = chunks_[c];
            forEachWindow(plane_, chunk.firstWord, chunk.lastWord,
                          [&](std::uint32_t key, std::uint32_t) { ++chunk.windows[partitionOf(key)]; });
        }
        const std::uint64_t wordsCounted = chunks_[blockEnd - 1].lastWord;
        if (progress && wordsCounted % wordsPerProgressBlock == 0) progress(wordsCounted);
        blockStart = blockEnd;
    }
    for (const KeyStreamChunk& chunk : chunks_)
        for (std::uint32_t p = 0; p < numberOfPartitions; ++p) totals_[p] += chunk.windows[p];
    numberOfWindows_ = numberOfKeysInKeyStream(numberOfWords);
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> KeyStreamPartitions::ranges(std::uint64_t elementsPerRange) const {
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

template <class Element>
void KeyStreamPartitions::gather(std::uint32_t first, std::uint32_t last, Element* buffer) const {
    // Each chunk writes its windows behind those of the chunks before it, partition by
    // partition, so the scatter is stable although the chunks run in parallel.
    std::vector<std::array<std::uint64_t, numberOfPartitions>> cursors(chunks_.size());
    std::uint64_t offset = 0;
    for (std::uint32_t p = first; p < last; ++p) {
        for (std::size_t c = 0; c < chunks_.size(); ++c) {
            cursors[c][p] = offset;
            offset += chunks_[c].windows[p];
        }
    }
    const bool wholeStream = first == 0 && last == numberOfPartitions;
#pragma omp parallel for schedule(dynamic, 1)
    for (std::size_t c = 0; c < chunks_.size(); ++c) {
        std::array<std::uint64_t, numberOfPartitions>& cursor = cursors[c];
        forEachWindow(plane_, chunks_[c].firstWord, chunks_[c].lastWord, [&](std::uint32_t key, std::uint32_t position) {
            const std::uint32_t p = partitionOf(key);
            if (wholeStream || (p >= first && p < last))
                buffer[cursor[p]++] = makeElement(key, position, static_cast<Element*>(nullptr));
        });
    }
}

template <class Element>
void KeyStreamPartitions::sortGathered(std::uint32_t first, std::uint32_t last, Element* buffer, Element* scratch,
                                       const std::function<void(std::uint32_t, std::span<const Element>)>& sorted) const {
    std::vector<std::uint64_t> start(numberOfPartitions + 1, 0);
    for (std::uint32_t p = first; p < last; ++p) start[p + 1] = start[p] + totals_[p];
#pragma omp parallel for schedule(dynamic, 1)
    for (std::uint32_t p = first; p < last; ++p) {
        Element* data = buffer + start[p];
        const std::size_t n = totals_[p];
        sortPartition(data, scratch + start[p], n);
        sorted(p, std::span<const Element>(data, n));
    }
}

void KeyStreamPartitions::sortRange(std::uint32_t first, std::uint32_t last, std::span<std::uint32_t> buffer,
                                    std::span<std::uint32_t> scratch,
                                    const std::function<void(std::uint32_t, std::span<const std::uint32_t>)>& sorted) const {
    gather(first, last, buffer.data());
    sortGathered(first, last, buffer.data(), scratch.data(), sorted);
}

void KeyStreamPartitions::sortRange(std::uint32_t first, std::uint32_t last, std::span<std::uint64_t> buffer,
                                    std::span<std::uint64_t> scratch,
                                    const std::function<void(std::uint32_t, std::span<const std::uint64_t>)>& sorted) const {
    gather(first, last, buffer.data());
    sortGathered(first, last, buffer.data(), scratch.data(), sorted);
}

}  // namespace koru
