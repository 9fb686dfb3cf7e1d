#pragma once
// What a FASTQ or sequence file request sums over its threads (or files): each one's statistics are
// added once into the request's total, from which the statistics file and the library report are
// written when mapping has ended.

#include <chrono>
#include <ctime>
#include <memory>
#include <string>

#include "config/execution_parameters.h"
#include "mapping/read_pair_mapping_statistics.h"

namespace koru {

class RequestSummary {
  public:
    // Starts the mapping clocks; does nothing further unless the run asked for a statistics file
    // or a report.
    explicit RequestSummary(const ExecutionParameters& params);

    // Any thread, once per statistics record, when it is complete.
    void add(const ReadPairMappingStatistics& part);
    // After every thread has added its share; `inputs` says what was mapped.
    void write(const std::string& inputs) const;

  private:
    const ExecutionParameters& params_;
    std::unique_ptr<ReadPairMappingStatistics> total_;  // null without a statistics file or report
    std::chrono::steady_clock::time_point wallStart_;
    std::clock_t processorStart_;
};

}  // namespace koru
