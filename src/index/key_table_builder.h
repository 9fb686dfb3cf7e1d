#pragma once
// Builds one encoding's key table and position lists from its key stream in a single sort:
// windows gathered as (key << 32 | position), partitions radix-sorted, then every run of equal
// keys becomes one entry (count, and the position or the list's offset) and, for keys with 2
// to the indexing limit positions, a list in the storage.

#include <cstdint>

#include "index/count_arrays.h"
#include "index/key_stream_partitions.h"
#include "index/key_table.h"

namespace koru {

struct KeyTableBuild {
    KeyTable table;
    CArray<std::uint32_t> storage;  // entry 0 unused: offsets start at 1
    std::uint64_t storageUsed = 1;  // 1 + the entries of all lists
    CountStatistics statistics;
};

KeyTableBuild buildKeyTable(const KeyStreamPartitions& partitions, const CountLimits& limits,
                            SortWorkspace& workspace, const IndexBuildOptions& options);

}  // namespace koru
