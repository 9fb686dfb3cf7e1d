#pragma once
// The index proper: for every key with 1 to the indexing limit listed windows, the ascending list
// of the genome positions where its windows start; a key with more than the limit (or a
// saturated count) lists none. The lists are built with the counts, in the same tables.

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

#include "genome/genome_sequence.h"
#include "index/count_arrays.h"
#include "support/allocation.h"

namespace koru {

// What the index holds for one key under one encoding.
struct KeyPositions {
    std::uint16_t count = 0;              // listed windows; 0: none; saturates at 65535
    const std::uint32_t* list = nullptr;  // the positions when the count is 1 to the indexing limit

    // Positions exist but the index does not list them.
    bool hasTooManyPositions() const { return count >= 2 && list == nullptr; }
    // The positions, ascending: none, or the listed ones.
    std::span<const std::uint32_t> positions() const {
        if (list != nullptr) return {list, count};
        return {};
    }
};

struct BinaryIndexes {
    const CountArrays* countArrays = nullptr;
    const GenomeSequence* genomeSequence = nullptr;

    std::uint32_t samplingStep() const { return countArrays->samplingStep; }

    KeyPositions lookup(int encoding, std::uint32_t key) const {
        const KeyTable& table = countArrays->keyTables[encoding];
        return positionsOfRun(table, table.findRun(key));
    }

    // Looks up the AG, CG and XOR keys of many read windows at once. Each lookup is a chain of
    // dependent cache misses (directory, residuals, positions); going through all the lookups
    // stage by stage, prefetching the next stage, lets those misses overlap instead of adding up.
    void lookupKeyTriples(std::span<const std::array<std::uint32_t, numberOfKeyEncodings>> keys,
                          std::span<std::array<KeyPositions, numberOfKeyEncodings>> results) const;

    static KeyPositions positionsOfRun(const KeyTable& table, const KeyRun& run) {
        if (run.length == 0) return {};
        if (table.isUnlisted(run)) return {table.countOfRun(run), nullptr};
        return {table.countOfRun(run), table.positions.get() + run.first};
    }
};

// The index over the count arrays' tables, which hold the position lists too.
std::unique_ptr<BinaryIndexes> createBinaryIndexes(CountArrays& countArrays, const GenomeSequence& genome,
                                                   LockedFile* verboseFile);
// The same without reporting, for callers that are not a run.
std::unique_ptr<BinaryIndexes> buildBinaryIndexes(CountArrays& countArrays, const GenomeSequence& genome,
                                                  LockedFile* progressFile);

// Rows of keys firstKey to lastKey and, when firstKey is below the largest table, of table
// entries; optionally preceded by the count frequencies.
void printBinaryIndexes(std::FILE* file, const BinaryIndexes& indexes, std::uint32_t firstKey,
                        std::uint32_t lastKey, bool printFrequencies);

}  // namespace koru
