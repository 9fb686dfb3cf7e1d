// Index building and index files from the binary: the report of a run, runs that write an index
// file and runs that map with one (the same SAM and QMR records as a run that builds the index), and
// clear refusals of what cannot work.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "test_support/run_binary.h"
#include "test_support/temporary_directory.h"

namespace koru::testing {
namespace {

TEST(IndexRun, QuietRunReportsOnlyItsStageTimers) {
    TemporaryDirectory directory;
    const CommandResult result =
        runKoru({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--read1FastqFileName",
                 directory.write("1.fq", ""), "--read2FastqFileName", directory.write("2.fq", ""),
                 "--samOutputFileName", directory.file("out.sam")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(timerLabels(result.standardOutput),
              (std::vector<std::string>{
                  "Reading in Reference Genome",
                  "Converting Reference Genome to binary encoding and generating metadata",
                  "Counting Number of Reference Genome Positions Associated with Each Hash Key",
                  "Generating Hash Tables",
                  "for Aligning \"" + directory.file("1.fq") + "\" and \"" + directory.file("2.fq") +
                      "\" fastq files.",
                  "Total Execution Time"}));
    // Besides the timers, only the index's sampling step and the threads the request may use.
    const std::string rest =
        std::regex_replace(result.standardOutput, std::regex("Elapsed time for [^\n]*\n"), "");
    EXPECT_EQ(rest.rfind("Index sampling step = 1 (chosen from the genome's length)\n"
                         "\nOpen MP Environment:\n\tNumber of processors available = ",
                         0),
              0u)
        << rest;
    EXPECT_EQ(std::count(rest.begin(), rest.end(), '\n'), 6);
}

// The lines of a file that do not depend on the run's command line, time or process, in order.
std::vector<std::string> comparableLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream text(readFile(path));
    for (std::string line; std::getline(text, line);)
        if (line.rfind("@PG", 0) != 0 && line.rfind("#Command Line", 0) != 0 &&
            line.rfind("#Process Information", 0) != 0)
            lines.push_back(line);
    // Threads write records in any order; the records themselves must agree.
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

    std::vector<std::string> request(const std::string& tag) const {
        return {"--read1FastqFileName",
                directory_.file("1.fq"),
                "--read2FastqFileName",
                directory_.file("2.fq"),
                "--samOutputFileName",
                directory_.file(tag + ".sam"),
                "--qmrOutputFileName",
                directory_.file(tag + ".qmr"),
                "-T",
                "2"};
    }
    std::vector<std::string> with(std::vector<std::string> first,
                                  const std::vector<std::string>& second) const {
        first.insert(first.end(), second.begin(), second.end());
        return first;
    }
    std::string index() const { return directory_.file("lambda.kix"); }
    CommandResult writeIndex() const {
        return runKoru({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--writeIndexFile", index()},
                       directory_.path());
    }

    TemporaryDirectory directory_;
};

TEST_F(IndexFileRun, MappingFromTheFileGivesTheRecordsOfMappingFromTheReference) {
    // One run builds, writes the file and maps; the next maps from the file alone.
    const CommandResult built =
        runKoru(with({"--referenceGenomeFastaFileName", lambdaGenomeFile, "--writeIndexFile", index()},
                     request("built")),
                directory_.path());
    ASSERT_EQ(built.status, 0) << built.standardError;
    const CommandResult loaded =
        runKoru(with({"--indexFile", index()}, request("loaded")), directory_.path());
    ASSERT_EQ(loaded.status, 0) << loaded.standardError;
    const std::string requestLabel = "for Aligning \"" + directory_.file("1.fq") + "\" and \"" +
                                     directory_.file("2.fq") + "\" fastq files.";
    EXPECT_EQ(timerLabels(loaded.standardOutput),
              (std::vector<std::string>{"Loading Index File", requestLabel, "Total Execution Time"}));
    const auto sam = comparableLines(directory_.file("built.sam"));
    EXPECT_EQ(std::count_if(sam.begin(), sam.end(), [](const std::string& l) { return l[0] != '@'; }), 3000);
    EXPECT_EQ(sam, comparableLines(directory_.file("loaded.sam")));
    EXPECT_EQ(comparableLines(directory_.file("built.qmr")), comparableLines(directory_.file("loaded.qmr")));
}

// A reference and an index file alone only write the file: no request, no output file, no help.
TEST_F(IndexFileRun, WritingTheFileAloneAndRefusalsOfConflictingSourcesAndLimits) {
    const CommandResult written = writeIndex();
    ASSERT_EQ(written.status, 0) << written.standardError;
    EXPECT_EQ(timerLabels(written.standardOutput),
              (std::vector<std::string>{
                  "Reading in Reference Genome",
                  "Converting Reference Genome to binary encoding and generating metadata",
                  "Counting Number of Reference Genome Positions Associated with Each Hash Key",
                  "Generating Hash Tables", "Writing Index File", "Total Execution Time"}));
    EXPECT_GT(std::filesystem::file_size(index()), 48502u);
    EXPECT_FALSE(std::filesystem::exists(directory_.file("alignment.sam")));
    EXPECT_FALSE(std::filesystem::exists(directory_.file("sequenceMapping.out")));
    EXPECT_EQ(written.standardError, "");
    // A reference given with the file must be the one it was built from: the same bases and names.
    const CommandResult both = runKoru(
        with({"--indexFile", index(), "--referenceGenomeFastaFileName", lambdaGenomeFile}, request("x")));
    EXPECT_EQ(both.status, 0) << both.standardError;
    std::string other = readFile(lambdaGenomeFile);
    other[other.find('\n') + 1] = other[other.find('\n') + 1] == 'A' ? 'C' : 'A';
    const CommandResult otherBases = runKoru(
        {"--indexFile", index(), "--referenceGenomeFastaFileName", directory_.write("other.fa", other)});
    EXPECT_EQ(otherBases.status, 1);
    EXPECT_EQ(otherBases.standardError,
              "The index file \"" + index() + "\" was not built from the reference genome \"" +
                  directory_.file("other.fa") +
                  "\": their chromosomes or bases differ.  Please write the index file again from this "
                  "reference, or give only one of them.\n");
    other = readFile(lambdaGenomeFile);
    other.insert(1, "renamed");
    EXPECT_EQ(runKoru({"--indexFile", index(), "--referenceGenomeFastaFileName",
                       directory_.write("renamed.fa", other)})
                  .status,
              1);
    // The file alone, without a request: loaded, checked, and nothing else.
    EXPECT_EQ(runKoru({"--indexFile", index()}).status, 0);
    const CommandResult copy =
        runKoru({"--indexFile", index(), "--writeIndexFile", directory_.file("copy.kix")});
    EXPECT_EQ(copy.status, 1);
    EXPECT_NE(copy.standardError.find("An index file is written from a reference genome"), std::string::npos);
    const CommandResult limits = runKoru(with({"--indexFile", index(), "-i", "100"}, request("x")));
    EXPECT_EQ(limits.status, 1);
    EXPECT_NE(limits.standardError.find("was built with -i 32768 and -I 750, not with the -i 100 and -I 100"),
              std::string::npos)
        << limits.standardError;
    const CommandResult sameLimits = runKoru(with({"--indexFile", index(), "-i", "32768"}, request("x")));
    EXPECT_EQ(sameLimits.status, 0) << sameLimits.standardError;
    const CommandResult missing =
        runKoru(with({"--indexFile", directory_.file("missing.kix")}, request("x")));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.standardError.find("The index file \"" + directory_.file("missing.kix") +
                                         "\" (--indexFile) does not exist."),
              std::string::npos);
    // A damaged file ends the run before any mapping.
    std::string contents = readFile(index());
    contents[contents.size() / 2] ^= 0x01;
    std::ofstream(index(), std::ios::binary) << contents;
    const CommandResult damaged = runKoru(with({"--indexFile", index()}, request("damaged")));
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.standardError.find("The index file \"" + index() +
                                         "\" cannot be used: its contents do not match their checksum"),
              std::string::npos)
        << damaged.standardError;
    EXPECT_EQ(timerLabels(damaged.standardOutput), std::vector<std::string>{});
}

// The file keeps the step it was built with: a run from it maps at that step, says so, and gives
// the records of a run that builds the same sampled index; a run asking for another is refused.
TEST_F(IndexFileRun, SampledIndexFileKeepsItsStep) {
    const CommandResult built = runKoru(with({"--referenceGenomeFastaFileName", lambdaGenomeFile,
                                              "--writeIndexFile", index(), "--indexSamplingStep", "4"},
                                             request("built")),
                                        directory_.path());
    ASSERT_EQ(built.status, 0) << built.standardError;
    EXPECT_NE(built.standardOutput.find("Index sampling step = 4 (as requested)\n"), std::string::npos);
    const CommandResult loaded = runKoru(
        with({"--indexFile", index(), "--indexSamplingStep", "4"}, request("loaded")), directory_.path());
    ASSERT_EQ(loaded.status, 0) << loaded.standardError;
    EXPECT_NE(loaded.standardOutput.find("Index sampling step = 4 (from the index file)\n"),
              std::string::npos);
    EXPECT_EQ(comparableLines(directory_.file("built.sam")), comparableLines(directory_.file("loaded.sam")));
    const CommandResult other =
        runKoru(with({"--indexFile", index(), "--indexSamplingStep", "2"}, request("x")));
    EXPECT_EQ(other.status, 1);
    EXPECT_EQ(other.standardError,
              "The index file \"" + index() +
                  "\" was built with --indexSamplingStep 4, not with the 2 requested; write an "
                  "index file with that step, or leave the option out to use the file's.\n");
    EXPECT_EQ(timerLabels(other.standardOutput), std::vector<std::string>{}) << "refused before loading";
}

}  // namespace
}  // namespace koru::testing
