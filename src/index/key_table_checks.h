#pragma once
// The checks of a key table's entries that a loaded index file must pass before any lookup: a
// crafted file whose checksum matches could otherwise have lookups and mapping read outside the
// tables and the genome.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "index/count_arrays.h"
#include "index/key_table.h"

namespace koru {

// Lookups and mapping take bucket ranges and positions from the tables as they are, so every
// entry is checked once, before use: directories that rise, residuals in order within each bucket,
// positions inside the genome and marks only where a run of two starts. The entries are handed over
// in pieces of the file, each just after the checksum has read it, while it is in the cache: the
// residuals and positions are most of the file, and reading them from memory a second time took as
// long as the checksum. The directories' ends are checked when the tables are read.
class KeyTableEntryChecks {
  public:
    // Checks the directories, which the other checks need to rise.
    KeyTableEntryChecks(const CountArrays& arrays, std::uint64_t genomePositions);

    // Checks the residuals and positions whose first byte lies in the piece; from any thread, each
    // byte of the arrays in exactly one piece.
    void check(const unsigned char* piece, std::size_t bytes);

    // After every piece was checked.
    bool consistent() const;

  private:
    template <class Residual>
    void checkTable(const KeyTable& table, const Residual* residuals, const unsigned char* piece,
                    std::size_t bytes);

    const std::array<KeyTable, numberOfKeyEncodings>& tables_;
    const std::uint32_t limit_;                             // positions lie below it
    bool ordered_ = true;                                   // every directory rises
    std::atomic<bool> outside_{false};                      // some position lies outside the genome
    std::atomic<std::uint64_t> stepsDownInsideBuckets_{0};  // residuals out of order
};

}  // namespace koru
