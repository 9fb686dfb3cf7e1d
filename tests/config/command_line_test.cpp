// The command line as users meet it: the real binary, its exit status and its exact messages.

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support/run_binary.h"
#include "test_support/temporary_directory.h"

namespace koru::testing {
namespace {

const char* const validationFailure =
    "Some required execution parameters were not provided!  Please provide missing parameters.\n";

void expectHelpAndFailure(const CommandResult& result) {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.standardOutput, expectedHelpText());
}

TEST(CommandLine, HelpRequestsPrintTheHelpTextAndFail) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {"-h", "x"}, {"--help"}, {"--he"}, {"-?"}}) {
        SCOPED_TRACE(arguments.empty() ? "no arguments" : arguments[0]);
        const CommandResult result = runKoru(arguments);
        expectHelpAndFailure(result);
        EXPECT_EQ(result.standardError, "");
    }
}

std::string outOfRange(const std::string& value, const std::string& parameter, const std::string& range) {
    return "The value \"" + value + "\" passed to the \"" + parameter +
           "\" parameter is out of range: it must lie " + range + ".\n";
}

std::string unsupportedStep(const std::string& value) {
    return "The value \"" + value +
           "\" passed to the \"indexSamplingStep\" parameter is not a supported index sampling step: it must "
           "be "
           "1, 2, 4 or 8.\n";
}

std::string notAReadGroupLine(const std::string& value, const std::string& why) {
    return "The value \"" + value +
           "\" passed to the \"readGroupLine\" parameter is not a read group line: " + why + ".\n";
}

// A message ending in a line feed is the whole of standard error; any other is a part of its one
// line. A value that is not wholly a number of the option's kind once read as 0 (or its leading
// digits) and went unnoticed; so did a word that follows no option.
TEST(CommandLine, RefusedOptionsAndValuesPrintTheirMessageAndHelp) {
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        // Options that are gone name their letter.
        {{"-m", "5"}, "Unrecognized option \"m\" passed to executable\n"},
        {{"-e", "5"}, "Unrecognized option \"e\" passed to executable\n"},
        {{"--numberOf32BitWordsInReadToLookupInIndexes", "3"},
         "Unrecognized option \"l\" passed to executable\n"},
        {{"--numberOf32Bi=3"}, "Unrecognized option \"l\" passed to executable\n"},
        {{"--numberOf32BasePairWordsToScoreInRead", "3"}, "Unrecognized option \"S\" passed to executable\n"},
        {{"--binaryReferenceGenome", "mars"},
         "Unrecognized binary reference genome \"MARS\" passed to \"binaryReferenceGenome\" parameter of "
         "executable\n"},
        {{"--concordantReadPairInsertSize", "70000"},
         outOfRange("70000", "concordantReadPairInsertSize", "between 0 and 65535")},
        // Alternates come from a read's few best candidates: the ceiling keeps -a meaningful.
        {{"-a", "101"}, outOfRange("101", "a", "between 0 and 100")},
        {{"--indexSamplingStep", "3"}, unsupportedStep("3")},
        {{"--indexSamplingStep", "0"}, unsupportedStep("0")},
        {{"--indexSamplingStep", "16"}, unsupportedStep("16")},
        {{"-b", "0"},
         "The value \"0\" passed to the \"defaultBasesToShiftBetweenKeyGeneration\" parameter must be a "
         "number of "
         "bases above 0.\n"},
        {{"--readGroupLine", "ID:lib1\\tSM:x"},
         notAReadGroupLine("ID:lib1\\tSM:x", "it must start with @RG and a tab")},
        {{"--readGroupLine", "@RG\\tSM:x"}, notAReadGroupLine("@RG\\tSM:x", "it has no ID field")},
        {{"--readGroupLine", "@RG\\tID:a\\tID:b"},
         notAReadGroupLine("@RG\\tID:a\\tID:b", "it has more than one ID")},
        {{"--readGroupLine", "@RG\\tID:a\\tSM"},
         notAReadGroupLine("@RG\\tID:a\\tSM", "every field must be a two-letter tag, a colon and a value")},
        {{"--bogus"}, "unrecognized option '--bogus'"},
        {{"--max", "3"}, "is ambiguous"},
        {{"-T"}, "requires an argument"},
        {{"-T", "abc"}, "\"abc\" passed to the \"maximumNumberOfThreads\" parameter is not a whole number"},
        {{"-T", ""}, "\"\" passed to the \"maximumNumberOfThreads\" parameter is not a whole number"},
        {{"-T", "2x"}, "\"2x\" passed to the \"maximumNumberOfThreads\" parameter is not a whole number"},
        {{"--concordantReadPairInsertSize", "abc"},
         "\"abc\" passed to the \"concordantReadPairInsertSize\" parameter is not a whole number"},
        {{"-b", "none"},
         "\"none\" passed to the \"defaultBasesToShiftBetweenKeyGeneration\" parameter is not a whole "
         "number"},
        {{"--serverRequestCheckInterval", "abc"},
         "\"abc\" passed to the \"serverRequestCheckInterval\" parameter is not a number of seconds of 0 or "
         "more"},
        {{"--serverRequestCheckInterval", "-1"}, "\"-1\" passed to the \"serverRequestCheckInterval\""},
        {{"--serverRequestCheckInterval", "nan"}, "\"nan\" passed to the \"serverRequestCheckInterval\""},
        {{"--maximumPercentageOfKeysThatGeneratedNoCandidatesToTriggerHighRepeatCandidateGeneration", "-0.5"},
         "parameter is not a share: it must be a number from 0 to 1"},
        {{"--maximumShareOfUncalledBases", "2"},
         "The value \"2\" passed to the \"maximumShareOfUncalledBases\" parameter is not a share"},
        {{"-T", "-2"}, "\"-2\" passed to the \"maximumNumberOfThreads\" parameter is out of range"},
        {{"-i", "4294967296"}, "passed to the \"maximumNumberOfPositionsToIndex\" parameter is out of range"},
        {{"-T", "2", "stray"},
         "The argument \"stray\" follows no option that takes a value: every value must follow its option"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        const CommandResult result = runKoru(c.arguments);
        expectHelpAndFailure(result);
        if (c.message.ends_with('\n')) {
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
    for (const char* option :
         {"read2FastqFileName", "samOutputFileName", "writeIndexFile", "standardOutputFileName"})
        EXPECT_EQ(runKoru({std::string("--") + option + "="}).standardError,
                  std::string("The \"") + option +
                      "\" parameter needs a file name, and it was given an empty one.\n");
}

TEST(CommandLine, ValidationReportsEveryProblem) {
    TemporaryDirectory directory;
    const std::string genome = directory.write("genome.fa", ">a\nACGT\n");
    const CommandResult noRequest = runKoru({"--referenceGenomeFastaFileName", genome});
    expectHelpAndFailure(noRequest);
    EXPECT_EQ(
        noRequest.standardError,
        std::string("No sequence files were provided to align!  Please check the read1FastqFileName and "
                    "read2FastqFileName parameters.\n"
                    "An output format was not provided!  Please check the qmrOutputFileName or "
                    "samOutputFileName parameter.\n") +
            validationFailure);

    const std::string reads = directory.write("reads.fq", "");
    const CommandResult sameFile = runKoru(
        {"--read1FastqFileName", reads, "--read2FastqFileName", reads, "--samOutputFileName", "x.sam"},
        directory.path());
    expectHelpAndFailure(sameFile);
    EXPECT_EQ(
        sameFile.standardError,
        std::string("No reference genome was provided!\n"
                    "The same fastq file was provided for both read A and read B for the paired alignment!  "
                    "Please check the read1FastqFileName and read2FastqFileName parameters.\n") +
            validationFailure);
    EXPECT_FALSE(std::filesystem::exists(directory.file("x.sam")))
        << "a rejected run must not create outputs";
}

// Runs a request that passes validation in its own directory.
CommandResult runValidRequest(const TemporaryDirectory& directory, std::vector<std::string> outputs) {
    const std::string genome = directory.write("genome.fa", ">a\nACGT\n");
    const std::string read1 = directory.write("r1.fq", ""), read2 = directory.write("r2.fq", "");
    std::vector<std::string> arguments{"--referenceGenomeFastaFileName", genome,
                                       "--read1FastqFileName",           read1,
                                       "--read2FastqFileName",           read2};
    arguments.insert(arguments.end(), outputs.begin(), outputs.end());
    return runKoru(arguments, directory.path());
}

TEST(CommandLine, DefaultOutputFilesAreCreatedOnlyWhenWrittenTo) {
    TemporaryDirectory directory;
    directory.write("alignment.sam", "an earlier run's result\n");
    directory.write("sequenceMapping.out", "an earlier run's mapping\n");
    runValidRequest(directory, {"--samOutputFileName", "mine.sam", "--qmrOutputFileName", "mine.out"});
    EXPECT_EQ(readFile(directory.file("alignment.sam")), "an earlier run's result\n");
    EXPECT_EQ(readFile(directory.file("sequenceMapping.out")), "an earlier run's mapping\n");
    EXPECT_TRUE(std::filesystem::exists(directory.file("mine.sam")));
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
    EXPECT_EQ(result.standardError,
              "Warning: Line 2 of the candidate position filter file \"" + filters +
                  "\" is not \"chromosome:start-end\" ended by a line feed: it and the lines after it are "
                  "ignored.\n");
}

TEST(CommandLine, VerboseDumpGoesToTheStandardOutputFile) {
    TemporaryDirectory directory;
    const CommandResult toStdout = runValidRequest(directory, {"--samOutputFileName", "a.sam", "-v"});
    EXPECT_EQ(toStdout.standardOutput.rfind("\nExecution Parameters:\n\tProcess Information:\n", 0), 0u);
    EXPECT_NE(toStdout.standardOutput.find("\nOpen MP Environment:\n"), std::string::npos);

    const CommandResult toFile =
        runValidRequest(directory, {"--samOutputFileName", "a.sam", "-v", "-o", "report"});
    EXPECT_EQ(toFile.standardOutput, "");
    const std::string report = readFile(directory.file("report"));
    EXPECT_NE(report.find("\tStandard Output File:\n\t\tLocked File: \n\t\t\tFile Name = report \n"),
              std::string::npos);
}

}  // namespace
}  // namespace koru::testing
