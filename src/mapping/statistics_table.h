#pragma once
// The mapping statistics as a table of named numbers, one "name<TAB>value" line each, so that the
// statistics of runs over parts of one input (shards) can be added up into the whole input's.

#include <string>
#include <string_view>

#include "mapping/read_pair_mapping_statistics.h"

namespace koru {

inline constexpr const char* statisticsTableHeading = "# koru read pair mapping statistics\n";

std::string statisticsToTable(const ReadPairMappingStatistics& statistics);

// Reads a table that statisticsToTable wrote; a line that is not one of its named numbers, a
// missing name or a repeated one ends the run naming `fileName` and the line.
ReadPairMappingStatistics statisticsFromTable(std::string_view text, const std::string& fileName);

// Adds every counter of `part` (a thread's or a file's) to `total`, the library histograms included
// when both have them; the settings are the total's own.
void addStatisticsCounters(ReadPairMappingStatistics& total, const ReadPairMappingStatistics& part);

// Adds the counters of `part` to `total`. The settings the counts were made under (window size,
// quality criteria, candidate limit) must be the same; false, with `total` unchanged, when not.
bool addStatistics(ReadPairMappingStatistics& total, const ReadPairMappingStatistics& part);

}  // namespace koru
