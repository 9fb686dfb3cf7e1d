#pragma once
// The second index pass: for every key with 2 to the indexing limit positions, the ascending list
// of the genome positions where its window starts. A key with one position keeps it in its entry;
// a key with more than the limit (or a saturated count) lists none.

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

#include "config/execution_parameters.h"
#include "genome/genome_sequence.h"
#include "index/count_arrays.h"
#include "support/allocation.h"

namespace koru {

// What the index holds for one key under one encoding.
struct KeyPositions {
    std::uint16_t count = 0;               // 0: the key does not occur; saturates at 65535
    std::uint32_t positionIndexEntry = 0;  // the position (count 1) or the list's storage offset
    const std::uint32_t* list = nullptr;   // the list when the count is 2 to the indexing limit

    // Positions exist but the index does not list them.
    bool hasTooManyPositions() const { return count >= 2 && list == nullptr; }
    // The positions, ascending: none, the single one, or the list. Valid while this record lives.
    std::span<const std::uint32_t> positions() const {
        if (count == 1) return {&positionIndexEntry, 1};
        if (list != nullptr) return {list, count};
        return {};
    }
};

struct BinaryIndexes {
    const CountArrays* countArrays = nullptr;
    const GenomeSequence* genomeSequence = nullptr;
    // Per encoding, the position lists; entry 0 is never used, so an offset of 0 is no list.
    std::array<CArray<std::uint32_t>, numberOfKeyEncodings> storage;
    // Per encoding, 1 + the entries reserved for lists.
    std::array<std::uint64_t, numberOfKeyEncodings> storageUsed{};

    KeyPositions lookup(int encoding, std::uint32_t key) const {
        return positionsOfEntry(encoding, countArrays->keyTables[encoding].findEntry(key));
    }

    // Looks up the AG, CG and XOR keys of many read windows at once. Each lookup is a chain of
    // dependent cache misses (directory, entries, list); going through all the lookups stage by
    // stage, prefetching the next stage, lets those misses overlap instead of adding up.
    void lookupKeyTriples(std::span<const std::array<std::uint32_t, numberOfKeyEncodings>> keys,
                          std::span<std::array<KeyPositions, numberOfKeyEncodings>> results) const;

  private:
    KeyPositions positionsOfEntry(int encoding, const std::uint64_t* entry) const {
        if (entry == nullptr) return {};
        KeyPositions result{entryCount(*entry), entryValue(*entry), nullptr};
        if (result.count >= 2 && result.positionIndexEntry != 0)
            result.list = storage[encoding].get() + result.positionIndexEntry;
        return result;
    }
};

// Fills the position index entries of the count arrays' keys and builds the position lists.
std::unique_ptr<BinaryIndexes> createBinaryIndexes(const ExecutionParameters& params,
                                                   CountArrays& countArrays, const GenomeSequence& genome);
// The same without reporting, for callers that are not a run.
std::unique_ptr<BinaryIndexes> buildBinaryIndexes(CountArrays& countArrays, const GenomeSequence& genome,
                                                  LockedFile* progressFile);

// Rows of keys firstKey to lastKey and, when firstKey is below the largest storage, of storage
// entries; optionally preceded by the count frequencies.
void printBinaryIndexes(std::FILE* file, const BinaryIndexes& indexes, std::uint32_t firstKey,
                        std::uint32_t lastKey, bool printFrequencies);

}  // namespace koru
