// A run on a small real genome (lambda phage) through reference reading and index
// construction: its report lines and reference errors, from the binary.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "test_support/run_binary.h"
#include "test_support/temporary_directory.h"

namespace koru::testing {
namespace {

const std::string lambdaGenome = std::string(KORU_SOURCE_DIR) + "/data/lambda_phage.fa";

std::vector<std::string> requestArguments(const TemporaryDirectory& directory,
                                          std::vector<std::string> extra) {
    std::vector<std::string> arguments{"--referenceGenomeFastaFileName",
                                       lambdaGenome,
                                       "--read1FastqFileName",
                                       directory.write("1.fq", ""),
                                       "--read2FastqFileName",
                                       directory.write("2.fq", ""),
                                       "--samOutputFileName",
                                       directory.file("out.sam")};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return arguments;
}

std::vector<std::string> timerLabels(const std::string& output) {
    static const std::regex timer(
        "Elapsed time for \"([^\n]*)\": Wall time = +[0-9]+, CPU time = [0-9.e+-]+\n");
    std::vector<std::string> labels;
    for (auto it = std::sregex_iterator(output.begin(), output.end(), timer); it != std::sregex_iterator();
         ++it)
        labels.push_back((*it)[1]);
    return labels;
}

TEST(IndexRun, QuietRunReportsOnlyItsStageTimers) {
    TemporaryDirectory directory;
    const CommandResult result = runKoru(requestArguments(directory, {}));
    EXPECT_EQ(result.status, 0);
    const std::string request =
        "for Aligning \"" + directory.file("1.fq") + "\" and \"" + directory.file("2.fq") + "\" fastq files.";
    EXPECT_EQ(timerLabels(result.standardOutput),
              (std::vector<std::string>{
                  "Reading in Reference Genome",
                  "Converting Reference Genome to binary encoding and generating metadata",
                  "Counting Number of Reference Genome Positions Associated with Each Hash Key",
                  "Generating Hash Tables", request, "Total Execution Time"}));
    // Besides the timers, only the index's sampling step and the request's report of the threads
    // it may use.
    const std::string rest =
        std::regex_replace(result.standardOutput, std::regex("Elapsed time for [^\n]*\n"), "");
    EXPECT_EQ(rest.rfind("Index sampling step = 1 (chosen from the genome's length)\n"
                         "\nOpen MP Environment:\n\tNumber of processors available = ",
                         0),
              0u)
        << rest;
    EXPECT_EQ(std::count(rest.begin(), rest.end(), '\n'), 6);
}

TEST(IndexRun, FilterOnAChromosomeTheGenomeLacksIsRefused) {
    TemporaryDirectory directory;
    const std::string filters = directory.write("filters", "1:10-20\n7:1-5\n");
    const CommandResult result = runKoru(requestArguments(directory, {"-F", filters}));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.standardError, "ERROR: The candidate position filter on line 2 of \"" + filters +
                                        "\" names chromosome 7, which is not in the reference genome.\n");
}

}  // namespace
}  // namespace koru::testing
