// The pair step allocates nothing once a thread's buffers have grown: every pair after the first
// thousand is mapped, aligned and written as SAM and QMR without a heap allocation.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "test_support/run_binary.h"
#include "test_support/temporary_directory.h"

namespace koru::testing {
namespace {

// The counting tool's report on simulated pairs of that kind.
std::string allocationReport(const TemporaryDirectory& directory, const std::string& simulation,
                             const std::string& mode) {
    const std::string read1 = directory.file("1.fq"), read2 = directory.file("2.fq");
    const std::string report = directory.file("report");
    EXPECT_EQ(
        simulateReads(lambdaGenomeFile, read1, read2, "--pairs 4000 --length 150 --seed 5 " + simulation), 0);
    shell(std::string(KORU_PAIR_ALLOCATIONS) + " '" + lambdaGenomeFile + "' '" + read1 + "' '" + read2 +
          "' " + mode + " > '" + report + "'");
    return readFile(report);
}

TEST(PairStepAllocationsTest, SteadyStateMakesNoHeapAllocation) {
    TemporaryDirectory directory;
    EXPECT_NE(allocationReport(directory, "--indels 0.05", "").find("allocations per pair 0.00,"),
              std::string::npos);
    // Mate pairs take the junction and alternate paths as well.
    EXPECT_NE(allocationReport(directory, "--mate-pair --indels 0.05", "--mate-pair")
                  .find("allocations per pair 0.00,"),
              std::string::npos);
}

}  // namespace
}  // namespace koru::testing
