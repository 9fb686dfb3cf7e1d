#pragma once
// The listed windows of one encoding as one table sorted by key, then by genome position, in a
// structure that grows with the genome rather than with the 2^32 possible keys:
//
//   directory[b], b in [0, 2^D]  index of the first entry whose key's top D bits are >= b, so the
//                                entries of bucket b are [directory[b], directory[b + 1])
//   residuals[i]                 the key's low bits: 8 bits when D >= 24, else 16 bits (D >= 16),
//                                so that bucket and residual together are the whole key
//   positions[i]                 the genome position where the window starts
//
// A key's entries are one run of equal residuals inside its bucket, one entry per listed window,
// so the run's length is the key's count and its positions are the key's ascending list. A key
// that has more windows than the indexing limit (or than a 16-bit count tells exactly) keeps two
// entries instead: the mark 0xFFFFFFFF, which no window position can be, then its count. An entry
// costs 5 or 6 bytes; D is chosen so that a bucket holds at most about 32 entries, so a lookup
// reads one directory pair, a cache line of residuals and then the positions it returns.

#include <algorithm>
#include <cstdint>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "support/allocation.h"
#include "support/prefetch.h"

namespace koru {

inline constexpr std::uint16_t saturatedKeyCount = 65535;
// The first entry of a key whose positions are not listed; the next entry holds its count.
inline constexpr std::uint32_t tooManyPositionsMark = 0xFFFFFFFFu;

// Where a key's entries lie; length 0 when the key has no listed window.
struct KeyRun {
    std::uint64_t first = 0;
    std::uint32_t length = 0;
};

namespace detail {

// Residual arrays are followed by this many readable bytes, so that a vector compare may read past
// a bucket's last residual.
inline constexpr std::size_t residualSlackBytes = 64;

// Buckets up to this many residuals are counted with vector compares; larger ones (the buckets of
// heavily repeated keys) are binary searched.
inline constexpr std::uint64_t vectorScannedResiduals = 64;

template <class Residual>
KeyRun searchResidualRun(const Residual* residuals, std::uint64_t first, std::uint64_t last,
                         Residual wanted) {
    const Residual* const end = residuals + last;
    const Residual* const low = std::lower_bound(residuals + first, end, wanted);
    if (low == end || *low != wanted) return {};
    const Residual* const high = std::upper_bound(low, end, wanted);
    return {static_cast<std::uint64_t>(low - residuals), static_cast<std::uint32_t>(high - low)};
}

#if defined(__SSE2__)
// Residuals are compared 16 bytes at a time with signed compares, which see them shifted by half
// their range: that keeps their order.
template <class Residual>
__m128i residualBias() {
    return sizeof(Residual) == 1 ? _mm_set1_epi8(static_cast<char>(0x80))
                                 : _mm_set1_epi16(static_cast<short>(0x8000));
}

template <class Residual>
__m128i loadBiasedResiduals(const Residual* at) {
    return _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), residualBias<Residual>());
}

// In a sorted bucket the run of `wanted` starts after the residuals below it and is as long as the
// residuals equal to it: two counts, taken 16 bytes at a time without a branch per residual.
template <class Residual>
KeyRun countResidualRun(const Residual* residuals, std::uint64_t first, std::uint64_t last, Residual wanted) {
    constexpr int lanes = 16 / sizeof(Residual);
    const __m128i target = _mm_xor_si128(sizeof(Residual) == 1 ? _mm_set1_epi8(static_cast<char>(wanted))
                                                               : _mm_set1_epi16(static_cast<short>(wanted)),
                                         residualBias<Residual>());
    const auto n = static_cast<int>(last - first);
    int less = 0, equal = 0;
    for (int i = 0; i < n; i += lanes) {
        const __m128i values = loadBiasedResiduals(residuals + first + static_cast<unsigned>(i));
        const __m128i below =
            sizeof(Residual) == 1 ? _mm_cmplt_epi8(values, target) : _mm_cmplt_epi16(values, target);
        const __m128i same =
            sizeof(Residual) == 1 ? _mm_cmpeq_epi8(values, target) : _mm_cmpeq_epi16(values, target);
        const int valid = n - i >= lanes ? 0xFFFF : (1 << ((n - i) * static_cast<int>(sizeof(Residual)))) - 1;
        less += __builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(below) & valid));
        equal += __builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(same) & valid));
    }
    if (equal == 0) return {};
    return {first + static_cast<std::uint64_t>(less) / sizeof(Residual),
            static_cast<std::uint32_t>(equal / static_cast<int>(sizeof(Residual)))};
}
#endif

template <class Residual>
KeyRun findResidualRun(const Residual* residuals, std::uint64_t first, std::uint64_t last, Residual wanted) {
#if defined(__SSE2__)
    if (last - first <= vectorScannedResiduals) return countResidualRun(residuals, first, last, wanted);
#endif
    return searchResidualRun(residuals, first, last, wanted);
}

// The entries from `start` (at least 1) to `end` that are below the entry before them.
template <class Residual>
std::uint64_t countStepsDown(const Residual* residuals, std::int64_t start, std::int64_t end) {
    std::int64_t i = start;
    std::uint64_t steps = 0;
#if defined(__SSE2__)
    // 16 bytes at a time, the compare's mask counted: the compiler's own vector loop widened every
    // residual to a 64-bit sum, and was slower than reading the residuals from memory.
    constexpr std::int64_t lanes = 16 / sizeof(Residual);
    std::uint64_t maskBits = 0;
    for (; i + lanes <= end; i += lanes) {
        const __m128i current = loadBiasedResiduals(residuals + i);
        const __m128i previous = loadBiasedResiduals(residuals + i - 1);
        const __m128i down =
            sizeof(Residual) == 1 ? _mm_cmpgt_epi8(previous, current) : _mm_cmpgt_epi16(previous, current);
        maskBits +=
            static_cast<std::uint64_t>(__builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(down))));
    }
    steps = maskBits / sizeof(Residual);
#endif
    for (; i < end; ++i) steps += residuals[i] < residuals[i - 1] ? 1 : 0;
    return steps;
}

}  // namespace detail

struct KeyTable {
    int directoryBits = 16;           // D
    CArray<std::uint32_t> directory;  // 2^D + 1 entries
    // numberOfEntries residuals of residualBytes() bytes, then detail::residualSlackBytes readable bytes
    CArray<std::uint8_t> residuals;
    CArray<std::uint32_t> positions;  // numberOfEntries positions
    std::uint64_t numberOfEntries = 0;

    std::uint32_t bucketOf(std::uint32_t key) const { return key >> (32 - directoryBits); }
    std::size_t directorySize() const { return directory ? (std::size_t{1} << directoryBits) + 1 : 0; }
    int residualBytes() const { return residualBytesFor(directoryBits); }
    static int residualBytesFor(int directoryBits) { return directoryBits >= 24 ? 1 : 2; }

    // The run of the key's entries, given its bucket's range.
    KeyRun findRunInBucket(std::uint32_t key, std::uint32_t first, std::uint32_t last) const {
        if (residualBytes() == 1)
            return detail::findResidualRun(residuals.get(), first, last, static_cast<std::uint8_t>(key));
        return detail::findResidualRun(reinterpret_cast<const std::uint16_t*>(residuals.get()), first, last,
                                       static_cast<std::uint16_t>(key));
    }
    KeyRun findRun(std::uint32_t key) const {
        if (!directory) return {};
        const std::uint32_t bucket = bucketOf(key);
        return findRunInBucket(key, directory[bucket], directory[bucket + 1]);
    }

    // A run of two starting with the mark stands for a key whose positions are not listed.
    bool isUnlisted(const KeyRun& run) const {
        return run.length == 2 && positions[run.first] == tooManyPositionsMark;
    }
    // The key's count: its listed windows, saturating at 65535.
    std::uint16_t countOfRun(const KeyRun& run) const {
        if (isUnlisted(run))
            return static_cast<std::uint16_t>(
                std::min<std::uint32_t>(positions[run.first + 1], saturatedKeyCount));
        return static_cast<std::uint16_t>(std::min<std::uint32_t>(run.length, saturatedKeyCount));
    }
    std::uint16_t count(std::uint32_t key) const { return countOfRun(findRun(key)); }

    void prefetch(std::uint32_t key) const { prefetchLine(&directory[bucketOf(key)]); }
    // The lines a bucket's search reads first: a scanned bucket's first and last lines (it may cross
    // a line), a searched one's also at the first probes of the binary search, which would
    // otherwise each wait for the one before.
    void prefetchBucketResiduals(std::uint32_t first, std::uint32_t last) const {
        prefetchResiduals(first);
        const std::uint32_t size = last - first;
        if (size > 1) prefetchResiduals(last - 1);
        if (size <= detail::vectorScannedResiduals) return;
        prefetchResiduals(first + size / 4);
        prefetchResiduals(first + size / 2);
        prefetchResiduals(first + 3 * (size / 4));
    }
    // The line of a bucket's first residuals. Its positions are asked for only once the key's run
    // is known: asking for the whole bucket's along with the residuals costs more in lines than it
    // saves in waiting, as the lookups are bound by the misses in flight.
    void prefetchResiduals(std::uint32_t first) const {
        prefetchLine(residuals.get() + std::uint64_t{first} * static_cast<std::uint64_t>(residualBytes()));
    }

    // The key of an entry, from its bucket and residual.
    std::uint32_t keyOf(std::uint64_t bucket, std::uint64_t entry) const {
        const int bits = 32 - directoryBits;
        const std::uint32_t residual = residualBytes() == 1
                                           ? residuals[entry]
                                           : reinterpret_cast<const std::uint16_t*>(residuals.get())[entry];
        const std::uint32_t low = residual & ((1u << bits) - 1);
        return static_cast<std::uint32_t>(bucket << bits) | low;
    }
};

// The number of directory bits for a table of that many listed windows.
int directoryBitsForKeys(std::uint64_t numberOfKeys);

}  // namespace koru
