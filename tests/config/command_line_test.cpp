// The command line: the real binary's exit status and messages, and execution parameters in process.

#include <gtest/gtest.h>
#include <omp.h>

#include <filesystem>

#include "config/command_line.h"
#include "config/execution_parameters.h"
#include "test_support/run_binary.h"
#include "test_support/temporary_directory.h"

namespace koru::testing {
namespace {

// Values not wholly a number once read as 0 or their leading digits; stray words went unnoticed. Refused
// values name their parameter; other messages are all of standard error or a part of its one line.
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
        EXPECT_EQ(std::pair(result.status, result.standardOutput), std::pair(1, expectedHelpText()));
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
    for (const auto& [option, file] : {std::pair("read1FastqFileName", "read 1 FASTQ file"),
                                       std::pair("referenceGenomeFastaFileName", "reference genome file"),
                                       std::pair("directoryWithSequenceFiles", "sequence file directory")})
        EXPECT_EQ(runKoru({"--" + std::string(option), missing}).standardError,
                  std::string("The ") + file + " \"" + missing + "\" (--" + option + ") does not exist.\n");
    // An empty output name was once taken for no name at all, or reached the file system as "".
    for (const std::string option :
         {"read2FastqFileName", "samOutputFileName", "writeIndexFile", "standardOutputFileName"})
        EXPECT_EQ(runKoru({"--" + option + "="}).standardError,
                  "The \"" + option + "\" parameter needs a file name, and it was given an empty one.\n");
}

TEST(CommandLine, ValidationReportsEveryProblemAndCreatesNoOutput) {
    TemporaryDirectory directory;
    const std::string reads = directory.write("reads.fq", "");
    const CommandResult result = runKoru(
        {"--read1FastqFileName", reads, "--read2FastqFileName", reads, "--samOutputFileName", "x.sam"},
        directory.path());
    EXPECT_EQ(std::pair(result.status, result.standardOutput), std::pair(1, expectedHelpText()));
    EXPECT_EQ(
        result.standardError,
        "No reference genome was provided!\nThe same fastq file was provided for both read A and read B "
        "for the paired alignment!  Please check the read1FastqFileName and read2FastqFileName "
        "parameters.\nSome required execution parameters were not provided!  Please provide missing "
        "parameters.\n");
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

// An earlier default SAM file is kept; unread filter lines are warned of; -v goes to the -o file.
TEST(CommandLine, ValidRequestsWriteOnlyTheirOutputsWarnOfUnreadFiltersAndDumpWhereAsked) {
    TemporaryDirectory directory;
    directory.write("alignment.sam", "an earlier run's result\n");
    const std::string filters = directory.write("filters", "1:1-5\n1:8-9x\n1:20-30\n");
    const CommandResult result =
        runValidRequest(directory, {"--samOutputFileName", "mine.sam", "-F", filters, "--qmrOutputFileName",
                                    "mine.out", "-v", "-o", "report"});
    EXPECT_EQ(
        std::tuple(result.status, result.standardOutput, result.standardError),
        std::tuple(0, "",
                   "Warning: Line 2 of the candidate position filter file \"" + filters +
                       "\" is not \"chromosome:start-end\" ended by a line feed: it and the lines after it "
                       "are ignored.\n"));
    EXPECT_EQ(readFile(directory.file("alignment.sam")), "an earlier run's result\n");
    EXPECT_TRUE(std::filesystem::exists(directory.file("mine.out")));
    EXPECT_NE(readFile(directory.file("report"))
                  .find("\tStandard Output File:\n\t\tLocked File: \n\t\t\tFile Name = report \n"),
              std::string::npos);
    TemporaryDirectory fresh;
    const CommandResult toStdout = runValidRequest(fresh, {"--qmrOutputFileFormatVersion", "2", "-v"});
    EXPECT_TRUE(toStdout.standardOutput.starts_with("\nExecution Parameters:\n\tProcess Information:\n"));
    EXPECT_TRUE(std::filesystem::exists(fresh.file("sequenceMapping.out")));  // the QMR output's default
    EXPECT_FALSE(std::filesystem::exists(fresh.file("alignment.sam")));
}

std::unique_ptr<ExecutionParameters> parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "koru");
    std::vector<char*> argv;
    for (std::string& word : arguments) argv.push_back(word.data());
    argv.push_back(nullptr);
    return createExecutionParametersFromCommandLineArguments(static_cast<int>(arguments.size()), argv.data());
}

// Abbreviated and "=" forms; the evaluation limit never exceeds the indexing limit; flags need "true".
TEST(ExecutionParameters, OptionFormsLimitsAndFlags) {
    const auto p = parse({"-I", "200", "--maximumNumberOfPositionsToI=100", "--concordant", "500",
                          "--phred=64", "--increasedAcc", "--singleThreadAlignment", "yes",
                          "--isReadPairSequencingData=tRUE", "--generateAlternateMappings", "true"});
    EXPECT_EQ(
        std::tuple(p->maximumNumberOfPositionsAKeyCanHaveInAnIndex, p->concordantReadPairBasePairWindowSize,
                   p->phredQualityOffset, p->minimumNumberOfKeysAssociatedWithCandidatePosition,
                   p->maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex, p->singleThreadAlignment,
                   p->isReadPairSequencingData, p->generateAlternateMappings),
        std::tuple(100u, 500u, 64u, 1u, 100u, false, true, true));
    EXPECT_EQ(parse({"--concordantReadPairInsertSize=65535"})->concordantReadPairBasePairWindowSize, 65535u);
    EXPECT_EQ(parse({"-I", "100000"})->maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex, 32768u);
    EXPECT_EQ(parse({"-I", "100", "-i", "200"})->maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex,
              100u);
    EXPECT_TRUE(parse({"--singleThreadAlignment", "True"})->singleThreadAlignment);
}

TEST(ExecutionParameters, ThreadCountIsClampedToTheProcessors) {
    const auto processors = static_cast<std::uint32_t>(omp_get_num_procs());
    EXPECT_EQ(parse({"-v"})->maximumNumberOfThreads, std::min(4u, processors));
    EXPECT_EQ(parse({"-T", "64"})->maximumNumberOfThreads, processors);
    EXPECT_EQ(parse({"-T", "1"})->maximumNumberOfThreads, 1u);
    EXPECT_EQ(omp_get_max_threads(), 1);
    EXPECT_EQ(parse({"-T", "0"})->maximumNumberOfThreads, processors) << "0 means every processor";
    EXPECT_EQ(static_cast<std::uint32_t>(omp_get_max_threads()), processors);
}

TEST(ExecutionParameters, NamedBinaryGenomesAreMatchedAfterUpperCasing) {
    const auto genomeFile = [](const std::string& name) {
        const auto p = parse({"--binaryReferenceGenome", name});
        return p->genomeInformation ? p->genomeInformation->file : "none";
    };
    EXPECT_NE(genomeFile("default_human"), "none");
    EXPECT_EQ(genomeFile("default_human"), genomeFile("DEFAULT_HUMAN"));
    EXPECT_NE(genomeFile("Patched_Human"), genomeFile("default_human"));
}

TEST(ExecutionParameters, SequenceFilesAreFoundByUnanchoredBasicPatternInNameOrder) {
    TemporaryDirectory directory;
    for (const char* name : {"sample_3.seqx", "xsample_2.seq", "other.seq", "sample_1.seq", "sample_9Xseq"})
        directory.write(name, "");
    const std::string root = directory.path().string();
    const auto p = parse({"-d", root, "-f", "sample"});
    const auto& request = p->sequenceFileMappingRequestParameters;
    EXPECT_TRUE(request.isSequenceFileMappingRequest);
    EXPECT_EQ(
        request.sequenceFileNames,
        (std::vector<std::string>{root + "/sample_1.seq", root + "/sample_9Xseq", root + "/xsample_2.seq"}));
    EXPECT_EQ(parse({"-d", root})->sequenceFileMappingRequestParameters.numberOfSequenceFiles(), 4u);
}

// Filters are read up to the first malformed line or the last line feed; the first unread one is told.
TEST(ExecutionParameters, FilterRecordsStopAtTheFirstMalformedTextOrTheLastLineFeed) {
    TemporaryDirectory directory;
    const auto p = parse({"-F", directory.write("f", "1:100-200\n2:300-400\n3:500-600")});
    ASSERT_EQ(p->candidatePositionFilters.size(), 2u);
    const CandidatePositionFilter& last = p->candidatePositionFilters[1];
    EXPECT_EQ(std::vector({last.chromosome, last.startPositionInChromosome, last.endPositionInChromosome,
                           last.lineNumber, last.startPositionInGenome}),
              std::vector<std::uint32_t>({2, 300, 400, 2, 0}));
    EXPECT_EQ(readCandidatePositionFilters("1:1-2\n\n\n2:3-4\n").at(1).lineNumber, 4u)
        << "blank lines are white space";
    const auto read = [](const char* text) {
        std::uint32_t ignoredLine = 7;
        const std::size_t records = readCandidatePositionFilters(text, &ignoredLine).size();
        return std::pair(records, ignoredLine);
    };
    // Left unread: a malformed line and a last line without its line feed, but not white space.
    // Numbers may follow white space, separators may not; negative and 33-bit positions are refused.
    EXPECT_EQ(std::vector({read("1:1-2\n\nchr2:3-4\n3:5-6\n"), read("1:1-2\n2:3-4"), read("1:1-2\n\n \n"),
                           read("1: 1- 2\n"), read("1 :1-2\n"), read("1:-5-2\n"), read("1:1-99999999999\n"),
                           read("")}),
              (std::vector<std::pair<std::size_t, std::uint32_t>>{
                  {1, 3}, {1, 2}, {1, 0}, {1, 0}, {0, 1}, {0, 1}, {0, 1}, {0, 0}}));
}

TEST(ExecutionParameters, ValidationAcceptsWhatEachRequestNeeds) {
    TemporaryDirectory directory;
    const std::string genome = directory.write("g.fa", ">a\nAC\n"), root = directory.path().string();
    const std::string r1 = directory.write("1.fq", ""), r2 = directory.write("2.fq", "");
    const auto valid = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--referenceGenomeFastaFileName", genome});
        return validateExecutionParameters(*parse(arguments));
    };
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(valid({}));
    EXPECT_TRUE(valid({"--serverRequestInputDirectory", root, "--serverRequestOutputDirectory", root}));
    EXPECT_FALSE(valid({"--serverRequestInputDirectory", root}));
    EXPECT_FALSE(valid({"-d", root}));
    EXPECT_FALSE(valid({"-f", "x"}));
    EXPECT_FALSE(valid({"-d", genome}));
    EXPECT_FALSE(valid({"--read1FastqFileName", r1, "--read2FastqFileName", r2}));
    EXPECT_TRUE(
        valid({"--read1FastqFileName", r1, "--read2FastqFileName", r2, "--qmrOutputFileFormatVersion", "2"}));
    const std::string noOutput =
        "An output format was not provided!  Please check the qmrOutputFileName or samOutputFileName "
        "parameter.\n";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "No sequence files were provided to align!  Please check the read1FastqFileName and "
              "read2FastqFileName parameters.\n" +
                  noOutput + "No request output directory was provided!\nThe directory \"" + root +
                  "\" (--directoryWithSequenceFiles) holds no sequence file named like \"*.seq\".\n" +
                  noOutput +
                  "No sequence files were provided to map!  Please use the directoryWithSequenceFiles "
                  "parameter.\n" +
                  noOutput + "The directory \"" + genome +
                  "\" (--directoryWithSequenceFiles) is not a directory.\n" + noOutput + noOutput);
}

}  // namespace
}  // namespace koru::testing
