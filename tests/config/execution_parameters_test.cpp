// How options become execution parameters, checked in process.

#include "config/execution_parameters.h"

#include <gtest/gtest.h>
#include <omp.h>

#include "config/command_line.h"
#include "test_support/temporary_directory.h"

namespace koru {
namespace {

using testing::TemporaryDirectory;

std::unique_ptr<ExecutionParameters> parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "koru");
    std::vector<char*> argv;
    for (std::string& word : arguments) argv.push_back(word.data());
    argv.push_back(nullptr);
    return createExecutionParametersFromCommandLineArguments(static_cast<int>(arguments.size()), argv.data());
}

TEST(ExecutionParameters, LongOptionsTakeAbbreviationsAndEqualsForms) {
    auto p =
        parse({"--maximumNumberOfPositionsToI=100", "--concordant", "500", "--phred=64", "--increasedAcc"});
    EXPECT_EQ(p->maximumNumberOfPositionsAKeyCanHaveInAnIndex, 100u);
    EXPECT_EQ(p->concordantReadPairBasePairWindowSize, 500u);
    EXPECT_EQ(p->phredQualityOffset, 64u);
    EXPECT_EQ(p->minimumNumberOfKeysAssociatedWithCandidatePosition, 1u);
    EXPECT_EQ(parse({"--concordantReadPairInsertSize=65535"})->concordantReadPairBasePairWindowSize, 65535u);
}

TEST(ExecutionParameters, EvaluationLimitNeverExceedsIndexingLimit) {
    EXPECT_EQ(parse({"-I", "100000"})->maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex, 32768u);
    EXPECT_EQ(parse({"-I", "200", "-i", "100"})->maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex,
              100u);
    EXPECT_EQ(parse({"-I", "100", "-i", "200"})->maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex,
              100u);
}

TEST(ExecutionParameters, FlagsAreTrueOnlyForTrueInAnyCase) {
    EXPECT_FALSE(parse({"--singleThreadAlignment", "yes"})->singleThreadAlignment);
    EXPECT_FALSE(parse({"--singleThreadAlignment", "1"})->singleThreadAlignment);
    EXPECT_TRUE(parse({"--singleThreadAlignment", "True"})->singleThreadAlignment);
    EXPECT_TRUE(parse({"--isReadPairSequencingData=tRUE"})->isReadPairSequencingData);
    EXPECT_TRUE(parse({"--generateAlternateMappings", "true"})->generateAlternateMappings);
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
    const auto human = parse({"--binaryReferenceGenome", "default_human"});
    ASSERT_TRUE(human->genomeInformation);
    EXPECT_EQ(human->genomeInformation->file,
              parse({"--binaryReferenceGenome", "DEFAULT_HUMAN"})->genomeInformation->file);
    const auto patched = parse({"--binaryReferenceGenome=Patched_Human"});
    ASSERT_TRUE(patched->genomeInformation);
    EXPECT_NE(patched->genomeInformation->file, human->genomeInformation->file);
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

// Records are read up to the first text that is not one, and no more than the text has line feeds.
TEST(ExecutionParameters, FilterRecordsStopAtTheFirstMalformedTextOrTheLastLineFeed) {
    TemporaryDirectory directory;
    const auto p = parse({"-F", directory.write("f", "1:100-200\n2:300-400\n3:500-600")});
    ASSERT_EQ(p->candidatePositionFilters.size(), 2u);
    const CandidatePositionFilter& last = p->candidatePositionFilters[1];
    EXPECT_EQ(std::vector({last.chromosome, last.startPositionInChromosome, last.endPositionInChromosome,
                           last.lineNumber, last.startPositionInGenome}),
              std::vector<std::uint32_t>({2, 300, 400, 2, 0}))
        << "placed in the genome once the genome is read";
    EXPECT_EQ(readCandidatePositionFilters("1:1-2\n\n\n2:3-4\n").at(1).lineNumber, 4u)
        << "blank lines are white space";
    std::uint32_t ignored = 7;
    EXPECT_EQ(readCandidatePositionFilters("1:1-2\n\nchr2:3-4\n3:5-6\n", &ignored).size(), 1u);
    EXPECT_EQ(ignored, 3u) << "the first line left unread";
    EXPECT_EQ(readCandidatePositionFilters("1:1-2\n2:3-4", &ignored).size(), 1u);
    EXPECT_EQ(ignored, 2u) << "a last line without its line feed";
    EXPECT_EQ(readCandidatePositionFilters("1:1-2\n\n \n", &ignored).size(), 1u);
    EXPECT_EQ(ignored, 0u) << "white space is not left unread";
    EXPECT_EQ(readCandidatePositionFilters("1: 1- 2\n").size(), 1u) << "numbers may follow white space";
    EXPECT_EQ(readCandidatePositionFilters("1 :1-2\n").size(), 0u) << "separators may not";
    EXPECT_EQ(readCandidatePositionFilters("1:-5-2\n").size(), 0u) << "negative positions are refused";
    EXPECT_EQ(readCandidatePositionFilters("1:1-99999999999\n").size(), 0u) << "beyond 32 bits is refused";
    EXPECT_EQ(readCandidatePositionFilters("").size(), 0u);
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
              "No request output directory was provided!\nThe directory \"" + root +
                  "\" (--directoryWithSequenceFiles) holds no sequence file named like \"*.seq\".\n" +
                  noOutput +
                  "No sequence files were provided to map!  Please use the directoryWithSequenceFiles "
                  "parameter.\n" +
                  noOutput + "The directory \"" + genome +
                  "\" (--directoryWithSequenceFiles) is not a directory.\n" + noOutput + noOutput);
}

}  // namespace
}  // namespace koru
