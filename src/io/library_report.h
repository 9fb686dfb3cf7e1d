#pragma once
// The library report: one self-contained HTML page (styles inline, plots as inline SVG, nothing
// fetched) that shows whether a library is good: how its pairs mapped, insert sizes by
// orientation, where junctions split reads, mapping qualities and mismatches by read position.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "mapping/read_pair_mapping_statistics.h"

namespace koru {

// What the page says of the run besides its counts.
struct LibraryReportRun {
    std::string inputs;  // what was mapped, for the heading
    std::vector<std::pair<std::string, std::string>> settings;
    double mappingSeconds = 0;    // wall clock
    double processorSeconds = 0;  // of all threads while mapping
    std::string created;          // when the page was written
};

// The smallest bin value whose cumulative count reaches the share q of all counts; 0 for no counts.
std::uint64_t histogramQuantile(const std::vector<std::uint64_t>& bins, double q);

// The statistics must carry library histograms.
std::string libraryReportHtml(const ReadPairMappingStatistics& statistics, const LibraryReportRun& run);

// Writes the page, ending the run with a message if it cannot be written completely.
void writeLibraryReport(const std::string& path, const std::string& html);

}  // namespace koru
