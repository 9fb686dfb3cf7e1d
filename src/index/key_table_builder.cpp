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

// Where one partition's entries and lists go.
struct PartitionPlace {
    std::uint64_t windowStart = 0;  // in the gathered range
    std::uint64_t numberOfKeys = 0;
    std::uint64_t listedPositions = 0;
    std::uint64_t firstEntry = 0;
    std::uint64_t firstOffset = 0;
};

class KeyTableBuilder {
  public:
    KeyTableBuilder(const KeyStreamPartitions& partitions, const CountLimits& limits)
        : partitions_(partitions), limits_(limits) {
        const std::uint64_t keys = partitions.numberOfWindows();
        KeyTable& table = build_.table;
        table.directoryBits = directoryBitsForKeys(keys);
        table.directory = allocateZeroedArray<std::uint32_t>((std::size_t{1} << table.directoryBits) + 1);
        // Room for every key being distinct and every window listed; pages past what is used are
        // never touched, and are given back below.
        table.entries = allocateZeroedArray<std::uint64_t>(std::max<std::uint64_t>(keys, 1));
        build_.storage = allocateZeroedArray<std::uint32_t>(keys + 1);
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
        shrink(table.entries, std::max<std::uint64_t>(nextEntry_, 1));
        build_.storageUsed = nextOffset_;
        shrink(build_.storage, nextOffset_);
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
        // Sizes first, so that every partition knows where its entries and lists go.
        partitions_.sortRange(first, last, workspace,
                              [&](std::uint32_t p, std::span<const std::uint64_t> sorted) {
                                  forEachKeyRun(sorted, [&](std::size_t, std::size_t positions) {
                                      ++places[p].numberOfKeys;
                                      if (isListedCount(positions, limits_.indexingLimit))
                                          places[p].listedPositions += positions;
                                  });
                              });
        for (std::uint32_t p = first; p < last; ++p) {
            places[p].firstEntry = std::exchange(nextEntry_, nextEntry_ + places[p].numberOfKeys);
            places[p].firstOffset = std::exchange(nextOffset_, nextOffset_ + places[p].listedPositions);
        }
        std::vector<CountStatistics> statistics(static_cast<std::size_t>(omp_get_max_threads()));
#pragma omp parallel for schedule(dynamic, 1)
        for (std::uint32_t p = first; p < last; ++p)
            emitPartition(p,
                          {workspace.gathered() + places[p].windowStart, partitions_.windowsInPartition(p)},
                          places[p], statistics[static_cast<std::size_t>(omp_get_thread_num())]);
        for (const CountStatistics& s : statistics) sumCountStatistics(build_.statistics, s);
    }

    // Writes a partition's entries, lists and slice of the directory, and adds its statistics.
    void emitPartition(std::uint32_t partition, std::span<const std::uint64_t> sorted,
                       const PartitionPlace& place, CountStatistics& statistics) {
        KeyTable& table = build_.table;
        const int bucketBitsPerPartition = table.directoryBits - partitions_.partitionBits();
        std::uint64_t bucket = std::uint64_t{partition} << bucketBitsPerPartition;
        const std::uint64_t endBucket = std::uint64_t{partition + 1} << bucketBitsPerPartition;
        std::uint64_t entry = place.firstEntry, offset = place.firstOffset;
        forEachKeyRun(sorted, [&](std::size_t start, std::size_t positions) {
            const std::uint32_t key = keyOf(sorted[start]);
            for (; bucket <= table.bucketOf(key); ++bucket)
                table.directory[bucket] = static_cast<std::uint32_t>(entry);
            std::uint32_t value = 0;
            if (positions == 1) {
                value = positionOf(sorted[start]);
            } else if (isListedCount(positions, limits_.indexingLimit)) {
                value = static_cast<std::uint32_t>(offset);
                for (std::size_t j = start; j < start + positions; ++j)
                    build_.storage[offset++] = positionOf(sorted[j]);
            }
            const auto count =
                static_cast<std::uint16_t>(std::min<std::uint64_t>(positions, saturatedKeyCount));
            table.entries[entry++] = makeEntry(key, count, value);
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
    std::uint64_t nextOffset_ = 1;
};

}  // namespace

KeyTableBuild buildKeyTable(const KeyStreamPartitions& partitions, const CountLimits& limits,
                            SortWorkspace& workspace, const IndexBuildOptions& options) {
    return KeyTableBuilder(partitions, limits).build(workspace, options);
}

}  // namespace koru
