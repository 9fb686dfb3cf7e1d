#pragma once
// The library report of a FASTQ or sequence file request: the statistics of its threads (or files)
// summed once each into the request's total, and the page written when mapping has ended.

#include <chrono>
#include <ctime>
#include <memory>
#include <string>

#include "config/execution_parameters.h"
#include "mapping/read_pair_mapping_statistics.h"

namespace koru {

class RequestLibraryReport {
  public:
    // Starts the mapping clocks; does nothing further unless the run asked for a report.
    explicit RequestLibraryReport(const ExecutionParameters& params);

    // Any thread, once per statistics record, when it is complete.
    void add(const ReadPairMappingStatistics& part);
    // After every thread has added its share; `inputs` says what was mapped.
    void write(const std::string& inputs) const;

  private:
    const ExecutionParameters& params_;
    std::unique_ptr<ReadPairMappingStatistics> total_;  // null without a report
    std::chrono::steady_clock::time_point wallStart_;
    std::clock_t processorStart_;
};

}  // namespace koru
