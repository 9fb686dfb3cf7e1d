#pragma once
// Builds one encoding's key table from its listed windows in a single sort: windows gathered as
// (key << 32 | position), partitions radix-sorted, then every run of equal keys becomes its
// entries (one per window, or the mark and the count for a key with too many positions).

#include <cstdint>

#include "index/count_arrays.h"
#include "index/key_stream_partitions.h"
#include "index/key_table.h"

namespace koru {

struct KeyTableBuild {
    KeyTable table;
    std::uint64_t listedPositions = 1;  // 1 + the positions of the keys with 2 to the limit positions
    CountStatistics statistics;
};

KeyTableBuild buildKeyTable(const KeyStreamPartitions& partitions, const CountLimits& limits,
                            SortWorkspace& workspace, const IndexBuildOptions& options);

}  // namespace koru
