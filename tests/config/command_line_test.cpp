// The command line as users meet it: the real binary, its exit status and its exact messages.

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support/run_binary.h"
#include "test_support/temporary_directory.h"

namespace koru::testing {
namespace {

void expectHelpAndFailure(const CommandResult& result) {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.standardOutput, expectedHelpText());
}

// A value that is not wholly a number of the option's kind once read as 0 (or its leading digits)
// and went unnoticed; so did a word that follows no option. Refused values are named with their
// parameter; other messages, empty or ending in a line feed, are the whole of standard error, and
// the rest a part of its one line.
TEST(CommandLine, HelpRequestsAndRefusedOptionsAndValuesPrintTheHelpTextAndFail) {
    const std::string range = "is out of range: it must lie between 0 and ", number = "is not a whole number";
    const std::string step = "is not a supported index sampling step: it must be 1, 2, 4 or 8";
    const std::string seconds = "is not a number of seconds of 0 or more",
                      readGroup = "is not a read group line: ";
    const std::string share = "is not a share: it must be a number from 0 to 1",
                      threads = "maximumNumberOfThreads";
    const std::string percentage =
        "maximumPercentageOfKeysThatGeneratedNoCandidatesToTriggerHighRepeatCandidateGeneration";
    const struct {
        std::vector<std::string> arguments;
        std::string parameter, message;
    } cases[] = {
        {{}, "", ""},
        {{"-h", "x"}, "", ""},
        {{"--help"}, "", ""},
        {{"--he"}, "", ""},
        {{"-?"}, "", ""},
        // Options that are gone name their letter.
        {{"-m", "5"}, "", "Unrecognized option \"m\" passed to executable\n"},
        {{"--numberOf32Bi=3"}, "", "Unrecognized option \"l\" passed to executable\n"},
        {{"--binaryReferenceGenome", "mars"},
         "",
         "Unrecognized binary reference genome \"MARS\" passed to \"binaryReferenceGenome\" parameter of "
         "executable\n"},
        {{"-T", "2", "stray"},
         "",
         "The argument \"stray\" follows no option that takes a value: every value must follow its "
         "option.\n"},
        {{"--bogus"}, "", "unrecognized option '--bogus'"},
        {{"--max", "3"}, "", "is ambiguous"},
        {{"-T"}, "", "requires an argument"},
        {{"--concordantReadPairInsertSize", "70000"}, "concordantReadPairInsertSize", range + "65535"},
        // Alternates come from a read's few best candidates: the ceiling keeps -a meaningful.
        {{"-a", "101"}, "a", range + "100"},
        {{"-T", "-2"}, threads, range + "4294967295"},
        {{"-i", "4294967296"}, "maximumNumberOfPositionsToIndex", range + "4294967295"},
        {{"-T", "abc"}, threads, number},
        {{"-T", ""}, threads, number},
        {{"-T", "2x"}, threads, number},
        {{"-b", "none"}, "defaultBasesToShiftBetweenKeyGeneration", number},
        {{"-b", "0"}, "defaultBasesToShiftBetweenKeyGeneration", "must be a number of bases above 0"},
        {{"--indexSamplingStep", "0"}, "indexSamplingStep", step},
        {{"--indexSamplingStep", "3"}, "indexSamplingStep", step},
        {{"--indexSamplingStep", "16"}, "indexSamplingStep", step},
        {{"--serverRequestCheckInterval", "abc"}, "serverRequestCheckInterval", seconds},
        {{"--serverRequestCheckInterval", "-1"}, "serverRequestCheckInterval", seconds},
        {{"--serverRequestCheckInterval", "nan"}, "serverRequestCheckInterval", seconds},
        {{"--" + percentage, "-0.5"}, percentage, share},
        {{"--maximumShareOfUncalledBases", "2"}, "maximumShareOfUncalledBases", share},
        {{"--readGroupLine", "ID:lib1\\tSM:x"},
         "readGroupLine",
         readGroup + "it must start with @RG and a tab"},
        {{"--readGroupLine", "@RG\\tSM:x"}, "readGroupLine", readGroup + "it has no ID field"},
        {{"--readGroupLine", "@RG\\tID:a\\tID:b"}, "readGroupLine", readGroup + "it has more than one ID"},
        {{"--readGroupLine", "@RG\\tID:a\\tSM"},
         "readGroupLine",
         readGroup + "every field must be a two-letter tag, a colon and a value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const CommandResult result = runKoru(c.arguments);
        expectHelpAndFailure(result);
        if (!c.parameter.empty()) {
            EXPECT_EQ(result.standardError, "The value \"" + c.arguments.back() + "\" passed to the \"" +
                                                c.parameter + "\" parameter " + c.message + ".\n");
        } else if (c.message.empty() || c.message.ends_with('\n')) {
            EXPECT_EQ(result.standardError, c.message);
        } else {
            EXPECT_NE(result.standardError.find(c.message), std::string::npos) << result.standardError;
            EXPECT_EQ(result.standardError.find('\n'), result.standardError.size() - 1) << "one line";
        }
    }
}

TEST(CommandLine, MissingInputFilesAndEmptyNamesAreNamedWithTheirOption) {
    TemporaryDirectory directory;
    const std::string missing = directory.file("missing.fq");
    EXPECT_EQ(runKoru({"--read1FastqFileName", missing}).standardError,
              "The read 1 FASTQ file \"" + missing + "\" (--read1FastqFileName) does not exist.\n");
    EXPECT_EQ(
        runKoru({"--referenceGenomeFastaFileName", missing}).standardError,
        "The reference genome file \"" + missing + "\" (--referenceGenomeFastaFileName) does not exist.\n");
    EXPECT_EQ(
        runKoru({"-d", missing}).standardError,
        "The sequence file directory \"" + missing + "\" (--directoryWithSequenceFiles) does not exist.\n");
    // An empty output name was once taken for no name at all, or reached the file system as "".
    for (const std::string option :
         {"read2FastqFileName", "samOutputFileName", "writeIndexFile", "standardOutputFileName"})
        EXPECT_EQ(runKoru({"--" + option + "="}).standardError,
                  "The \"" + option + "\" parameter needs a file name, and it was given an empty one.\n");
}

TEST(CommandLine, ValidationReportsEveryProblemAndCreatesNoOutput) {
    TemporaryDirectory directory;
    const std::string failure =
        "Some required execution parameters were not provided!  Please provide missing parameters.\n";
    const CommandResult noRequest =
        runKoru({"--referenceGenomeFastaFileName", directory.write("genome.fa", ">a\nACGT\n")});
    expectHelpAndFailure(noRequest);
    EXPECT_EQ(noRequest.standardError,
              "No sequence files were provided to align!  Please check the read1FastqFileName and "
              "read2FastqFileName parameters.\nAn output format was not provided!  Please check the "
              "qmrOutputFileName or samOutputFileName parameter.\n" +
                  failure);
    const std::string reads = directory.write("reads.fq", "");
    const CommandResult sameFile = runKoru(
        {"--read1FastqFileName", reads, "--read2FastqFileName", reads, "--samOutputFileName", "x.sam"},
        directory.path());
    expectHelpAndFailure(sameFile);
    EXPECT_EQ(
        sameFile.standardError,
        "No reference genome was provided!\nThe same fastq file was provided for both read A and read B "
        "for the paired alignment!  Please check the read1FastqFileName and read2FastqFileName "
        "parameters.\n" +
            failure);
    EXPECT_FALSE(std::filesystem::exists(directory.file("x.sam")));
}

// Runs a request that passes validation in its own directory.
CommandResult runValidRequest(const TemporaryDirectory& directory, std::vector<std::string> outputs) {
    std::vector<std::string> arguments{
        "--referenceGenomeFastaFileName", directory.write("genome.fa", ">a\nACGT\n"),
        "--read1FastqFileName",           directory.write("r1.fq", ""),
        "--read2FastqFileName",           directory.write("r2.fq", "")};
    arguments.insert(arguments.end(), outputs.begin(), outputs.end());
    return runKoru(arguments, directory.path());
}

TEST(CommandLine, DefaultOutputFilesAreCreatedOnlyWhenWrittenTo) {
    TemporaryDirectory directory;
    directory.write("alignment.sam", "an earlier run's result\n");
    runValidRequest(directory, {"--samOutputFileName", "mine.sam", "--qmrOutputFileName", "mine.out"});
    EXPECT_EQ(readFile(directory.file("alignment.sam")), "an earlier run's result\n");
    EXPECT_TRUE(std::filesystem::exists(directory.file("mine.out")));
    TemporaryDirectory fresh;
    runValidRequest(fresh, {"--qmrOutputFileFormatVersion", "2"});
    EXPECT_TRUE(std::filesystem::exists(fresh.file("sequenceMapping.out")))
        << "the QMR output's default file";
    EXPECT_FALSE(std::filesystem::exists(fresh.file("alignment.sam")));
}

TEST(CommandLine, FilterLinesLeftUnreadAreWarnedAbout) {
    TemporaryDirectory directory;
    const std::string filters = directory.write("filters", "1:1-5\n1:8-9x\n1:20-30\n");
    const CommandResult result = runValidRequest(directory, {"--samOutputFileName", "a.sam", "-F", filters});
    EXPECT_EQ(result.status, 0) << result.standardError;
    EXPECT_EQ(result.standardError, "Warning: Line 2 of the candidate position filter file \"" + filters +
                                        "\" is not \"chromosome:start-end\" ended by a line feed: it and the "
                                        "lines after it are ignored.\n");
}

TEST(CommandLine, VerboseDumpGoesToTheStandardOutputFile) {
    TemporaryDirectory directory;
    const CommandResult toStdout = runValidRequest(directory, {"--samOutputFileName", "a.sam", "-v"});
    EXPECT_TRUE(toStdout.standardOutput.starts_with("\nExecution Parameters:\n\tProcess Information:\n"));
    const CommandResult toFile =
        runValidRequest(directory, {"--samOutputFileName", "a.sam", "-v", "-o", "report"});
    EXPECT_EQ(toFile.standardOutput, "");
    EXPECT_NE(readFile(directory.file("report"))
                  .find("\tStandard Output File:\n\t\tLocked File: \n\t\t\tFile Name = report \n"),
              std::string::npos);
}

}  // namespace
}  // namespace koru::testing
