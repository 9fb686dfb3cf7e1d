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

#include "support/allocation.h"

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

// The run of `wanted` among the sorted residuals [first, last): a short scan for the small
// buckets nearly every lookup meets, binary search for the large ones of repeated keys.
template <class Residual>
KeyRun findResidualRun(const Residual* residuals, std::uint64_t first, std::uint64_t last, Residual wanted) {
    constexpr std::uint64_t scanned = 32;
    const Residual* const end = residuals + last;
    const Residual* low = residuals + first;
    if (last - first <= scanned) {
        while (low < end && *low < wanted) ++low;
    } else {
        low = std::lower_bound(low, end, wanted);
    }
    if (low == end || *low != wanted) return {};
    const Residual* high = low + 1;
    if (static_cast<std::uint64_t>(end - high) <= scanned) {
        while (high < end && *high == wanted) ++high;
    } else {
        high = std::upper_bound(high, end, wanted);
    }
    return {static_cast<std::uint64_t>(low - residuals), static_cast<std::uint32_t>(high - low)};
}

}  // namespace detail

struct KeyTable {
    int directoryBits = 16;            // D
    CArray<std::uint32_t> directory;   // 2^D + 1 entries
    CArray<std::uint8_t> residuals;    // numberOfEntries residuals of residualBytes() bytes
    CArray<std::uint32_t> positions;   // numberOfEntries positions
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
            return static_cast<std::uint16_t>(std::min<std::uint32_t>(positions[run.first + 1], saturatedKeyCount));
        return static_cast<std::uint16_t>(std::min<std::uint32_t>(run.length, saturatedKeyCount));
    }
    std::uint16_t count(std::uint32_t key) const { return countOfRun(findRun(key)); }

    void prefetch(std::uint32_t key) const { __builtin_prefetch(&directory[bucketOf(key)]); }
    void prefetchEntries(std::uint32_t first) const {
        __builtin_prefetch(residuals.get() + std::uint64_t{first} * static_cast<std::uint64_t>(residualBytes()));
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
