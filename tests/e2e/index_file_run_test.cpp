// Index files from the binary: runs that write one, runs that map with one, their stages and refusals.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <regex>
#include <sstream>

#include "test_support/run_binary.h"

namespace koru::testing {
namespace {

using ::testing::HasSubstr;

using Labels = std::vector<std::string>;

const Labels buildTimers{
    "Reading in Reference Genome", "Converting Reference Genome to binary encoding and generating metadata",
    "Counting Number of Reference Genome Positions Associated with Each Hash Key", "Generating Hash Tables"};

Labels operator+(Labels first, const Labels& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::string untimed(const std::string& output) {
    return std::regex_replace(output, std::regex("Elapsed time for [^\n]*\n"), "");
}

// A file's lines but those naming the command line, time or process, sorted: threads write in any order.
Labels comparableLines(const std::string& path) {
    Labels lines;
    std::istringstream text(readFile(path));
    for (std::string line; std::getline(text, line);)
        if (!line.starts_with("@PG") && !line.starts_with("#Command Line") &&
            !line.starts_with("#Process Information"))
            lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

class IndexFileRun : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(simulateReads(
                      lambdaGenomeFile, directory_.file("1.fq"), directory_.file("2.fq"),
                      "--pairs 1500 --length 150 --mate-pair --substitutions 0.01 --indels 0.002 --seed 11"),
                  0);
    }
    // The index source's options followed by a request writing <tag>.sam and <tag>.qmr.
    CommandResult run(Labels arguments, const std::string& tag) const {
        const std::string d = directory_.path().string() + "/";
        arguments.insert(arguments.end(), {"--read1FastqFileName", d + "1.fq", "--read2FastqFileName",
                                           d + "2.fq", "--samOutputFileName", d + tag + ".sam",
                                           "--qmrOutputFileName", d + tag + ".qmr", "-T", "2"});
        return runKoru(arguments, directory_.path());
    }
    std::string index() const { return directory_.file("lambda.kix"); }

    TemporaryDirectory directory_;
};

// A reference and an index file alone only write the file. Runs writing one file at once each write
// their own and rename it into place: all succeed, and the file left is whole.
TEST_F(IndexFileRun, WritingTheFileAloneAndRefusalsOfConflictingSourcesAndLimits) {
    std::vector<std::future<CommandResult>> writers;
    for (int run = 0; run < 4; ++run)
        writers.push_back(std::async(std::launch::async, [&] {
            return runKoru({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--writeIndexFile", index()},
                           directory_.path());
        }));
    for (auto& writer : writers) {
        const CommandResult written = writer.get();
        EXPECT_EQ(std::pair(written.status, written.standardError), std::pair(0, std::string()));
        EXPECT_EQ(timerLabels(written.standardOutput),
                  (buildTimers + Labels{"Writing Index File", "Total Execution Time"}));
        // Besides its timers a quiet run reports only the index's sampling step.
        EXPECT_EQ(untimed(written.standardOutput),
                  "Index sampling step = 1 (chosen from the genome's length)\n");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory_.path()), {}), 3)
        << "reads and index only: no partial file";
    // A reference given with the file must be the one it was built from: the same bases and names.
    std::string other = readFile(lambdaGenomeFile);
    other[other.find('\n') + 1] = other[other.find('\n') + 1] == 'A' ? 'C' : 'A';
    const std::string otherBases = directory_.write("other.fa", other);
    const std::string renamed =
        directory_.write("renamed.fa", readFile(lambdaGenomeFile).insert(1, "renamed"));
    const auto notBuiltFrom = [&](const std::string& fasta) {
        return "The index file \"" + index() + "\" was not built from the reference genome \"" + fasta +
               "\": their chromosomes or bases differ.  Please write the index file again from this "
               "reference, or give only one of them.\n";
    };
    const struct {
        CommandResult result;
        int status;
        std::string message;  // all of standard error when it ends a line, else a part of it
    } cases[] = {
        {run({"--indexFile", index(), "--referenceGenomeFastaFileName", lambdaGenomeFile}, "x"), 0, ""},
        {runKoru({"--indexFile", index(), "--referenceGenomeFastaFileName", otherBases}), 1,
         notBuiltFrom(otherBases)},
        {runKoru({"--indexFile", index(), "--referenceGenomeFastaFileName", renamed}), 1,
         notBuiltFrom(renamed)},
        {runKoru({"--indexFile", index(), "--writeIndexFile", directory_.file("copy.kix")}), 1,
         "An index file is written from a reference genome"},
        // Other limits are refused (reliability_test.cpp); the same ones are no conflict.
        {run({"--indexFile", index(), "-i", "32768"}, "x"), 0, ""},
        {run({"--indexFile", directory_.file("missing.kix")}, "x"), 1,
         "The index file \"" + directory_.file("missing.kix") + "\" (--indexFile) does not exist."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.result.status, c.status) << c.result.standardError;
        if (c.message.ends_with('\n'))
            EXPECT_EQ(c.result.standardError, c.message);
        else
            EXPECT_THAT(c.result.standardError, HasSubstr(c.message));
    }
}

// A run from the file, at the step it keeps, maps as the run that built it; another step is refused.
TEST_F(IndexFileRun, MappingFromASampledFileGivesTheRecordsOfMappingFromTheReference) {
    const CommandResult built = run({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--writeIndexFile",
                                     index(), "--indexSamplingStep", "4"},
                                    "built");
    ASSERT_EQ(built.status, 0) << built.standardError;
    const std::string aligning = "for Aligning \"" + directory_.file("1.fq") + "\" and \"" +
                                 directory_.file("2.fq") + "\" fastq files.";
    // Besides its timers a quiet run that maps reports its sampling step and the threads it may use.
    const std::string rest = untimed(built.standardOutput);
    EXPECT_TRUE(rest.starts_with("Index sampling step = 4 (as requested)\n\nOpen MP Environment:\n")) << rest;
    EXPECT_EQ(std::count(rest.begin(), rest.end(), '\n'), 6) << rest;
    EXPECT_EQ(timerLabels(built.standardOutput),
              (buildTimers + Labels{"Writing Index File", aligning, "Total Execution Time"}));
    const CommandResult loaded = run({"--indexFile", index()}, "loaded");
    ASSERT_EQ(loaded.status, 0) << loaded.standardError;
    EXPECT_THAT(loaded.standardOutput, HasSubstr("Index sampling step = 4 (from the index file)\n"));
    EXPECT_EQ(timerLabels(loaded.standardOutput),
              (Labels{"Loading Index File", aligning, "Total Execution Time"}));
    const Labels sam = comparableLines(directory_.file("built.sam"));
    EXPECT_EQ(std::count_if(sam.begin(), sam.end(), [](const std::string& l) { return l[0] != '@'; }), 3000);
    for (const std::string kind : {".sam", ".qmr"})
        EXPECT_TRUE(comparableLines(directory_.file("built" + kind)) ==
                    comparableLines(directory_.file("loaded" + kind)))
            << kind;
    EXPECT_EQ(runKoru({"--indexFile", index(), "--indexSamplingStep", "4"}).status, 0)
        << "the file's own step";
    const CommandResult other = run({"--indexFile", index(), "--indexSamplingStep", "2"}, "x");
    EXPECT_EQ(other.status, 1);
    EXPECT_EQ(other.standardError,
              "The index file \"" + index() +
                  "\" was built with --indexSamplingStep 4, not with the 2 requested; write an "
                  "index file with that step, or leave the option out to use the file's.\n");
    EXPECT_EQ(timerLabels(other.standardOutput), Labels{}) << "refused before loading";
}

}  // namespace
}  // namespace koru::testing
