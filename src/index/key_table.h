#pragma once
// The keys of one encoding that occur in the genome, with their counts and position index
// entries, in a structure that grows with the genome rather than with the 2^32 possible keys.
//
//   directory[b], b in [0, 2^D]   index of the first entry whose key's top D bits are >= b, so the
//                                 keys of bucket b are entries[directory[b] .. directory[b + 1])
//   entries[i], 64 bits each      in ascending key order:
//       bits 63..48  the key's low 16 bits (with D >= 16 they complete the bucket's top bits)
//       bits 47..32  the count: genome positions of the key, saturating at 65535
//       bits 31..0   the position index entry: the key's position when its count is 1, the
//                    storage offset of its position list when the count is 2 to the indexing
//                    limit, else 0
//
// D is chosen so that a bucket holds about 8 to 16 keys: a lookup reads one directory pair and
// one or two cache lines of entries. A key that is not present has count 0.

#include <cstdint>
#include <vector>

#include "support/allocation.h"

namespace koru {

inline constexpr std::uint16_t saturatedKeyCount = 65535;

inline std::uint16_t entryKeyLowBits(std::uint64_t entry) {
    return static_cast<std::uint16_t>(entry >> 48);
}
inline std::uint16_t entryCount(std::uint64_t entry) {
    return static_cast<std::uint16_t>(entry >> 32);
}
inline std::uint32_t entryValue(std::uint64_t entry) {
    return static_cast<std::uint32_t>(entry);
}
inline std::uint64_t makeEntry(std::uint32_t key, std::uint16_t count, std::uint32_t value) {
    return (static_cast<std::uint64_t>(key & 0xFFFFu) << 48) | (static_cast<std::uint64_t>(count) << 32) |
           value;
}

struct KeyTable {
    int directoryBits = 16;           // D
    CArray<std::uint32_t> directory;  // 2^D + 1 entries
    CArray<std::uint64_t> entries;
    std::uint64_t numberOfEntries = 0;

    std::uint32_t bucketOf(std::uint32_t key) const { return key >> (32 - directoryBits); }
    std::size_t directorySize() const { return directory ? (std::size_t{1} << directoryBits) + 1 : 0; }

    // The entry of the key, or null when the key does not occur.
    const std::uint64_t* findEntry(std::uint32_t key) const {
        const std::uint32_t bucket = bucketOf(key);
        return findEntryInBucket(key, directory[bucket], directory[bucket + 1]);
    }

    // The same, given the bucket's range of entries.
    const std::uint64_t* findEntryInBucket(std::uint32_t key, std::uint32_t first, std::uint32_t last) const {
        const std::uint64_t* entry = entries.get() + first;
        const std::uint64_t* const end = entries.get() + last;
        const auto low = static_cast<std::uint16_t>(key);
        for (; entry < end; ++entry) {
            const std::uint16_t entryLow = entryKeyLowBits(*entry);
            if (entryLow >= low) return entryLow == low ? entry : nullptr;
        }
        return nullptr;
    }

    std::uint16_t count(std::uint32_t key) const {
        const std::uint64_t* entry = findEntry(key);
        return entry == nullptr ? 0 : entryCount(*entry);
    }

    void prefetch(std::uint32_t key) const { __builtin_prefetch(&directory[bucketOf(key)]); }
};

// The number of directory bits for a key stream of that many keys.
int directoryBitsForKeys(std::uint64_t numberOfKeys);

}  // namespace koru
