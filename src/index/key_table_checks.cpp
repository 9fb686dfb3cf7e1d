#include "index/key_table_checks.h"

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace koru {

namespace {

// Whether the mark at `entry` starts a run of exactly two entries of one key, the mark and the count.
template <class Residual>
bool markStartsRunOfTwo(const KeyTable& table, const Residual* residuals, std::uint64_t entry) {
    // The bucket holding the entry: the directory rises from 0 to the entry count.
    const std::uint32_t* directory = table.directory.get();
    const std::uint32_t* after = std::upper_bound(directory, directory + table.directorySize(), entry);
    const std::uint64_t first = *(after - 1), last = *after;
    const Residual key = residuals[entry];
    return entry + 1 < last && residuals[entry + 1] == key &&
           (entry == first || residuals[entry - 1] != key) &&
           (entry + 2 == last || residuals[entry + 2] != key);
}

// Whether entries `start` to `end` of the table hold positions inside the genome (below `limit`)
// and marks that each start a run of two. The count after a mark is below the limit too: a key
// has fewer windows than the genome has positions. Four entries at a time: an entry plus one is
// above the limit when it is outside, and 0 for a mark, which is rare and looked at alone.
template <class Residual>
bool positionsAreInsideGenome(const KeyTable& table, const Residual* residuals, std::uint32_t limit,
                              std::int64_t start, std::int64_t end) {
    const std::uint32_t* positions = table.positions.get();
    const auto markStartsRun = [&](std::int64_t i) {
        return markStartsRunOfTwo(table, residuals, static_cast<std::uint64_t>(i));
    };
    bool inside = true;
    std::int64_t i = start;
#if defined(__SSE2__)
    // Unsigned compares as signed ones, with the top bit flipped.
    const __m128i one = _mm_set1_epi32(1), topBit = _mm_set1_epi32(INT32_MIN), zero = _mm_setzero_si128();
    const __m128i flippedLimit = _mm_xor_si128(_mm_set1_epi32(static_cast<int>(limit)), topBit);
    __m128i outside = zero;
    for (; i + 4 <= end; i += 4) {
        const __m128i next =
            _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(positions + i)), one);
        outside = _mm_or_si128(outside, _mm_cmpgt_epi32(_mm_xor_si128(next, topBit), flippedLimit));
        auto marks = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(next, zero))));
        for (; marks != 0; marks &= marks - 1) inside &= markStartsRun(i + std::countr_zero(marks));
    }
    inside &= _mm_movemask_epi8(outside) == 0;
#endif
    for (; i < end; ++i)
        inside &= positions[i] == tooManyPositionsMark ? markStartsRun(i) : positions[i] < limit;
    return inside;
}

// Of the buckets starting at entries `start` to `end`, those that start below the entry before
// them: with residuals in order within each bucket, these are all the steps down. The directory
// must rise.
template <class Residual>
std::uint64_t bucketsStartingDown(const KeyTable& table, const Residual* residuals, std::int64_t start,
                                  std::int64_t end) {
    const std::uint32_t* directory = table.directory.get();
    const std::uint32_t* last = directory + table.directorySize() - 1;
    std::uint64_t down = 0;
    for (const std::uint32_t* bucket = std::lower_bound(directory, last, static_cast<std::uint64_t>(start));
         bucket != last && *bucket < end; ++bucket)
        down += *bucket > 0 && *bucket < bucket[1] && residuals[*bucket] < residuals[*bucket - 1];
    return down;
}

bool directoryRises(const KeyTable& table) {
    const std::uint32_t* directory = table.directory.get();
    const auto buckets = static_cast<std::int64_t>(table.directorySize()) - 1;
    bool descending = false;
#pragma omp parallel for schedule(static) reduction(| : descending)
    for (std::int64_t bucket = 0; bucket < buckets; ++bucket)
        descending |= directory[bucket] > directory[bucket + 1];
    return !descending;
}

// The entries of an array at `array`, `width` bytes each, whose first byte lies in the piece.
std::pair<std::int64_t, std::int64_t> entriesIn(const void* array, std::size_t width, std::uint64_t entries,
                                                const unsigned char* piece, std::size_t bytes) {
    // As addresses: the piece may lie in another array.
    const auto from = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(piece) -
                                                reinterpret_cast<std::uintptr_t>(array));
    const auto w = static_cast<std::int64_t>(width);
    const auto firstAt = [&](std::int64_t offset) {
        return std::clamp<std::int64_t>(offset <= 0 ? 0 : (offset + w - 1) / w, 0,
                                        static_cast<std::int64_t>(entries));
    };
    return {firstAt(from), firstAt(from + static_cast<std::int64_t>(bytes))};
}

}  // namespace

KeyTableEntryChecks::KeyTableEntryChecks(const CountArrays& arrays, std::uint64_t genomePositions)
    : tables_(arrays.keyTables),
      // Positions are 32-bit: with 2^32 genome positions only the mark is outside.
      limit_(static_cast<std::uint32_t>(std::min<std::uint64_t>(genomePositions, tooManyPositionsMark))) {
    for (const KeyTable& table : tables_) ordered_ &= directoryRises(table);
}

void KeyTableEntryChecks::check(const unsigned char* piece, std::size_t bytes) {
    if (!ordered_) return;
    for (const KeyTable& table : tables_) {
        if (table.residualBytes() == 1) {
            checkTable(table, table.residuals.get(), piece, bytes);
        } else {
            checkTable(table, reinterpret_cast<const std::uint16_t*>(table.residuals.get()), piece, bytes);
        }
    }
}

bool KeyTableEntryChecks::consistent() const {
    return ordered_ && !outside_.load() && stepsDownInsideBuckets_.load() == 0;
}

template <class Residual>
void KeyTableEntryChecks::checkTable(const KeyTable& table, const Residual* residuals,
                                     const unsigned char* piece, std::size_t bytes) {
    const auto [first, end] = entriesIn(residuals, sizeof(Residual), table.numberOfEntries, piece, bytes);
    if (first < end) {
        // Every step down is at a bucket's start, or the residuals are out of order: the steps at
        // bucket starts are among the steps counted, so the difference is never below 0.
        const std::uint64_t steps = detail::countStepsDown(residuals, std::max<std::int64_t>(first, 1), end);
        stepsDownInsideBuckets_ += steps - bucketsStartingDown(table, residuals, first, end);
    }
    const auto [from, to] = entriesIn(table.positions.get(), 4, table.numberOfEntries, piece, bytes);
    if (!positionsAreInsideGenome(table, residuals, limit_, from, to)) outside_ = true;
}

}  // namespace koru
