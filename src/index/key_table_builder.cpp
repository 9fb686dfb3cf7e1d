#include "index/key_table_builder.h"

#include <omp.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "index/index_build_options.h"

namespace koru {

namespace {

std::uint32_t keyOf(std::uint64_t element) {
    return static_cast<std::uint32_t>(element >> 32);
}
std::uint32_t positionOf(std::uint64_t element) {
    return static_cast<std::uint32_t>(element);
}

// Calls visit(first, count) for every run of equal keys of a sorted partition.
template <class Visit>
void forEachKeyRun(std::span<const std::uint64_t> sorted, Visit&& visit) {
    for (std::size_t i = 0; i < sorted.size();) {
        const std::uint32_t key = keyOf(sorted[i]);
        std::size_t run = i + 1;
        while (run < sorted.size() && keyOf(sorted[run]) == key) ++run;
        visit(i, run - i);
        i = run;
    }
}

// The entries a key with that many listed windows takes: one per window, or the mark and the
// count when its positions are not listed.
std::uint64_t entriesOfKey(std::uint64_t positions, std::uint32_t indexingLimit) {
    return positions >= 2 && !isListedCount(positions, indexingLimit) ? 2 : positions;
}

// Where one partition's entries go.
struct PartitionPlace {
    std::uint64_t windowStart = 0;  // in the gathered range
    std::uint64_t entries = 0;
    std::uint64_t firstEntry = 0;
};

class KeyTableBuilder {
  public:
    KeyTableBuilder(const KeyStreamPartitions& partitions, const CountLimits& limits)
        : partitions_(partitions), limits_(limits) {
        const std::uint64_t windows = partitions.numberOfWindows();
        KeyTable& table = build_.table;
        table.directoryBits = directoryBitsForKeys(windows);
        table.directory = allocateZeroedArray<std::uint32_t>((std::size_t{1} << table.directoryBits) + 1);
        // Room for one entry per window; keys with too many positions take fewer, and the tail
        // that is never touched is given back below.
        const std::uint64_t room = std::max<std::uint64_t>(windows, 1);
        table.residuals = allocateZeroedArray<std::uint8_t>(
            room * static_cast<std::uint64_t>(table.residualBytes()) + detail::residualSlackBytes);
        table.positions = allocateZeroedArray<std::uint32_t>(room);
    }

    KeyTableBuild build(SortWorkspace& workspace, const IndexBuildOptions& options) {
        // Each gathered window takes 8 bytes; the radix scratch is small beside it. No limit: one piece.
        const std::uint64_t perRange =
            options.sortingMemoryBytes == 0
                ? partitions_.numberOfWindows()
                : std::max<std::uint64_t>(options.sortingMemoryBytes / 8 * 15 / 16, 1);
        for (const auto& [first, last] : partitions_.ranges(perRange)) buildRange(workspace, first, last);
        KeyTable& table = build_.table;
        table.numberOfEntries = nextEntry_;
        table.directory[table.directorySize() - 1] = static_cast<std::uint32_t>(nextEntry_);
        const std::uint64_t kept = std::max<std::uint64_t>(nextEntry_, 1);
        shrink(table.residuals,
               kept * static_cast<std::uint64_t>(table.residualBytes()) + detail::residualSlackBytes);
        shrink(table.positions, kept);
        return std::move(build_);
    }

  private:
    void buildRange(SortWorkspace& workspace, std::uint32_t first, std::uint32_t last) {
        std::vector<PartitionPlace> places(partitions_.numberOfPartitions());
        std::uint64_t windows = 0;
        for (std::uint32_t p = first; p < last; ++p) {
            places[p].windowStart = windows;
            windows += partitions_.windowsInPartition(p);
        }
        // Sizes first, so that every partition knows where its entries go.
        partitions_.sortRange(first, last, workspace,
                              [&](std::uint32_t p, std::span<const std::uint64_t> sorted) {
                                  forEachKeyRun(sorted, [&](std::size_t, std::size_t positions) {
                                      places[p].entries += entriesOfKey(positions, limits_.indexingLimit);
                                  });
                              });
        for (std::uint32_t p = first; p < last; ++p)
            places[p].firstEntry = std::exchange(nextEntry_, nextEntry_ + places[p].entries);
        std::vector<CountStatistics> statistics(static_cast<std::size_t>(omp_get_max_threads()));
        std::vector<std::uint64_t> listed(statistics.size(), 0);
        const bool narrow = build_.table.residualBytes() == 1;
#pragma omp parallel for schedule(dynamic, 1)
        for (std::uint32_t p = first; p < last; ++p) {
            const std::span<const std::uint64_t> sorted{workspace.gathered() + places[p].windowStart,
                                                        partitions_.windowsInPartition(p)};
            const auto thread = static_cast<std::size_t>(omp_get_thread_num());
            if (narrow) {
                emitPartition<std::uint8_t>(p, sorted, places[p], statistics[thread], listed[thread]);
            } else {
                emitPartition<std::uint16_t>(p, sorted, places[p], statistics[thread], listed[thread]);
            }
        }
        for (const CountStatistics& s : statistics) sumCountStatistics(build_.statistics, s);
        for (std::uint64_t l : listed) build_.listedPositions += l;
    }

    // Writes a partition's entries and slice of the directory, and adds its statistics.
    template <class Residual>
    void emitPartition(std::uint32_t partition, std::span<const std::uint64_t> sorted,
                       const PartitionPlace& place, CountStatistics& statistics, std::uint64_t& listed) {
        KeyTable& table = build_.table;
        auto* const residuals = reinterpret_cast<Residual*>(table.residuals.get());
        const int bucketBitsPerPartition = table.directoryBits - partitions_.partitionBits();
        std::uint64_t bucket = std::uint64_t{partition} << bucketBitsPerPartition;
        const std::uint64_t endBucket = std::uint64_t{partition + 1} << bucketBitsPerPartition;
        std::uint64_t entry = place.firstEntry;
        forEachKeyRun(sorted, [&](std::size_t start, std::size_t positions) {
            const std::uint32_t key = keyOf(sorted[start]);
            for (; bucket <= table.bucketOf(key); ++bucket)
                table.directory[bucket] = static_cast<std::uint32_t>(entry);
            const auto residual = static_cast<Residual>(key);
            if (positions == 1 || isListedCount(positions, limits_.indexingLimit)) {
                for (std::size_t j = start; j < start + positions; ++j) {
                    residuals[entry] = residual;
                    table.positions[entry++] = positionOf(sorted[j]);
                }
                if (positions >= 2) listed += positions;
            } else {
                residuals[entry] = residual;
                table.positions[entry++] = tooManyPositionsMark;
                residuals[entry] = residual;
                table.positions[entry++] = static_cast<std::uint32_t>(positions);
            }
            addKeyToCountStatistics(positions, limits_, statistics);
        });
        for (; bucket < endBucket; ++bucket) table.directory[bucket] = static_cast<std::uint32_t>(entry);
    }

    template <class T>
    static void shrink(CArray<T>& array, std::uint64_t count) {
        // Shrinking a large block gives its tail back to the system without copying.
        if (void* shrunk = std::realloc(array.get(), count * sizeof(T))) {
            (void)array.release();
            array.reset(static_cast<T*>(shrunk));
        }
    }

    const KeyStreamPartitions& partitions_;
    const CountLimits limits_;
    KeyTableBuild build_;
    std::uint64_t nextEntry_ = 0;
};

}  // namespace

KeyTableBuild buildKeyTable(const KeyStreamPartitions& partitions, const CountLimits& limits,
                            SortWorkspace& workspace, const IndexBuildOptions& options) {
    return KeyTableBuilder(partitions, limits).build(workspace, options);
}

}  // namespace koru
