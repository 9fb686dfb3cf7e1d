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

std::uint32_t processors() {
    return static_cast<std::uint32_t>(omp_get_num_procs());
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

TEST(ExecutionParameters, LaterOptionsOverrideEarlierOnes) {
    auto p = parse({"-p", "7", "--maximumPopCountValueForIndividualRead=9", "-a", "2", "-a", "3"});
    EXPECT_EQ(p->candidateQualityCritieria.maximumMinWordMismatchScoreForIndividualRead, 9u);
    EXPECT_EQ(p->numberOfAlternateMappingsToReport, 3u);
}

TEST(ExecutionParameters, EvaluationLimitNeverExceedsIndexingLimit) {
    EXPECT_EQ(parse({"-I", "100000"})->maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex, 32768u);
    EXPECT_EQ(parse({"-I", "200", "-i", "100"})->maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex,
              100u);
    EXPECT_EQ(parse({"-I", "100", "-i", "200"})->maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex,
              100u);
}

TEST(ExecutionParameters, ReadLengthLimitFollowsTheBasesToShift) {
    EXPECT_EQ(parse({"-v"})->readLengthToStartLimitingNumberOfKeysGenerated, 8u * 18 + 32);
    auto p = parse({"-b", "4"});
    EXPECT_EQ(p->defaultBasesToShiftBetweenKeyGeneration, 4u);
    EXPECT_EQ(p->readLengthToStartLimitingNumberOfKeysGenerated, 104u);
}

TEST(ExecutionParameters, FlagsAreTrueOnlyForTrueInAnyCase) {
    EXPECT_FALSE(parse({"--singleThreadAlignment", "yes"})->singleThreadAlignment);
    EXPECT_FALSE(parse({"--singleThreadAlignment", "1"})->singleThreadAlignment);
    EXPECT_TRUE(parse({"--singleThreadAlignment", "True"})->singleThreadAlignment);
    EXPECT_TRUE(parse({"--isReadPairSequencingData=tRUE"})->isReadPairSequencingData);
    EXPECT_TRUE(parse({"--generateSupplementalMappings", "TRUE"})->generateSupplementalMappings);
}

TEST(ExecutionParameters, ThreadCountIsClampedToTheProcessors) {
    EXPECT_EQ(parse({"-v"})->maximumNumberOfThreads, std::min(4u, processors()));
    EXPECT_EQ(parse({"-T", "64"})->maximumNumberOfThreads, processors());
    EXPECT_EQ(parse({"-T", "0"})->maximumNumberOfThreads, processors()) << "0 means every processor";
    EXPECT_EQ(parse({"-T", "1"})->maximumNumberOfThreads, 1u);
    EXPECT_EQ(omp_get_max_threads(), 1);
    parse({"-T", "0"});
    EXPECT_EQ(static_cast<std::uint32_t>(omp_get_max_threads()), processors());
}

TEST(ExecutionParameters, NamedBinaryGenomesAreMatchedAfterUpperCasing) {
    auto p = parse({"--binaryReferenceGenome", "default_human"});
    ASSERT_TRUE(p->genomeInformation);
    EXPECT_EQ(p->genomeInformation->name, "Human Reference Genome");
    EXPECT_EQ(p->genomeInformation->version, "GRCh37/hg19");
    EXPECT_EQ(p->genomeInformation->numberOfChromosomes, 26u);
    EXPECT_EQ(p->genomeInformation->formatType, 1u);
    EXPECT_TRUE(p->genomeInformation->file.ends_with("/genome26.hs"));
    auto patched = parse({"--binaryReferenceGenome=Patched_Human"});
    EXPECT_EQ(patched->genomeInformation->numberOfChromosomes, 182u);
    EXPECT_EQ(patched->genomeInformation->formatType, 0u);
}

TEST(ExecutionParameters, SequenceFilesAreFoundByUnanchoredBasicPatternInNameOrder) {
    TemporaryDirectory directory;
    for (const char* name : {"sample_3.seqx", "xsample_2.seq", "other.seq", "sample_1.seq", "sample_9Xseq"})
        directory.write(name, "");
    const std::string root = directory.path().string();
    auto p = parse({"-d", root, "-f", "sample"});
    const auto& request = p->sequenceFileMappingRequestParameters;
    EXPECT_TRUE(request.isSequenceFileMappingRequest);
    EXPECT_EQ(
        request.sequenceFileNames,
        (std::vector<std::string>{root + "/sample_1.seq", root + "/sample_9Xseq", root + "/xsample_2.seq"}));
    EXPECT_EQ(parse({"-d", root})->sequenceFileMappingRequestParameters.numberOfSequenceFiles(), 4u);
}

TEST(ExecutionParameters, FilterFileRecordsEndAtTheLastLineFeed) {
    TemporaryDirectory directory;
    const auto withFinalLineFeed = parse({"-F", directory.write("f1", "1:100-200\n2:300-400\n3:500-600\n")});
    ASSERT_EQ(withFinalLineFeed->candidatePositionFilters.size(), 3u);
    const CandidatePositionFilter& last = withFinalLineFeed->candidatePositionFilters[2];
    EXPECT_EQ(last.chromosome, 3u);
    EXPECT_EQ(last.startPositionInChromosome, 500u);
    EXPECT_EQ(last.endPositionInChromosome, 600u);
    EXPECT_EQ(last.startPositionInGenome, 0u);
    EXPECT_EQ(parse({"-F", directory.write("f2", "1:100-200\n2:300-400\n3:500-600")})
                  ->candidatePositionFilters.size(),
              2u);
}

TEST(ExecutionParameters, FilterRecordsStopAtTheFirstMalformedText) {
    const auto withBlankLines = readCandidatePositionFilters("1:1-2\n\n\n2:3-4\n");
    ASSERT_EQ(withBlankLines.size(), 2u) << "blank lines are white space";
    EXPECT_EQ(withBlankLines[0].lineNumber, 1u);
    EXPECT_EQ(withBlankLines[1].lineNumber, 4u);
    EXPECT_EQ(readCandidatePositionFilters("1:1-2\nchr2:3-4\n3:5-6\n").size(), 1u);
    EXPECT_EQ(readCandidatePositionFilters("1: 1- 2\n").size(), 1u) << "numbers may follow white space";
    EXPECT_EQ(readCandidatePositionFilters("1 :1-2\n").size(), 0u) << "separators may not";
    EXPECT_EQ(readCandidatePositionFilters("1:-5-2\n").size(), 0u) << "negative positions are refused";
    EXPECT_EQ(readCandidatePositionFilters("1:1-99999999999\n").size(), 0u) << "beyond 32 bits is refused";
    EXPECT_EQ(readCandidatePositionFilters("").size(), 0u);
}

TEST(ExecutionParameters, ValidationAcceptsWhatEachRequestNeeds) {
    TemporaryDirectory directory;
    const std::string genome = directory.write("g.fa", ">a\nAC\n"), root = directory.path().string();
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(validateExecutionParameters(
        *parse({"--referenceGenomeFastaFileName", genome, "--serverRequestInputDirectory", root,
                "--serverRequestOutputDirectory", root})));
    EXPECT_FALSE(validateExecutionParameters(
        *parse({"--referenceGenomeFastaFileName", genome, "--serverRequestInputDirectory", root})));
    EXPECT_FALSE(validateExecutionParameters(*parse({"--referenceGenomeFastaFileName", genome, "-d", root})));
    const std::string r1 = directory.write("1.fq", ""), r2 = directory.write("2.fq", "");
    EXPECT_FALSE(validateExecutionParameters(*parse(
        {"--referenceGenomeFastaFileName", genome, "--read1FastqFileName", r1, "--read2FastqFileName", r2})));
    EXPECT_TRUE(validateExecutionParameters(
        *parse({"--referenceGenomeFastaFileName", genome, "--read1FastqFileName", r1, "--read2FastqFileName",
                r2, "--qmrOutputFileFormatVersion", "2"})));
    const std::string messages = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(
        messages,
        "No request output directory was provided!\n"
        "No sequence files were provided to map!  Please use the directoryWithSequenceFiles parameter.\n"
        "An output format was not provided!  Please check the qmrOutputFileName or samOutputFileName "
        "parameter.\n"
        "An output format was not provided!  Please check the qmrOutputFileName or samOutputFileName "
        "parameter.\n");
}

TEST(ExecutionParameters, DumpListsSettingsInOrderWithTheirIndentation) {
    auto p = parse({"-v", "-a", "7", "--concordantReadPairInsertSize", "300"});
    p->candidatePositionFilters = {{170, 180, 2, 10, 20}};
    const std::string dump = executionParametersToString(p.get());
    const std::string expected =
        "\tisReadPairSequencingData = false\n"
        "\tcandidateQualityCritieria.maximumPopCountValuePerBPOfRead = 0.050000\n"
        "\tcandidateQualityCritieria.maximumCombinedMinWordMismatchScoreOfBothReads = 3\n"
        "\tcandidateQualityCritieria.minimumCombinedNumberOfKeysAssociatedWithBothReads = 6\n"
        "\tcandidateQualityCritieria.maximumMinWordMismatchScoreForIndividualRead = 2\n"
        "\tcandidateQualityCritieria.minimumNumberOfKeysAssociatedWithIndividualReadPosition = 3\n"
        "\tconcordantReadPairBasePairWindowSize = 300\n"
        "\tphredQualityOffset = 33\n"
        "\tmaximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex = 750\n"
        "\tmaximumNumberOfPositionsAKeyCanHaveInAnIndex = 32768\n"
        "\tdefaultBasesToShiftBetweenKeyGeneration = 8\n"
        "\tmaximumNumberOfKeysToExhibitLinearScaling = 18\n"
        "\treadLengthToStartLimitingNumberOfKeysGenerated = 176\n"
        "\tnumberOfKeysToGenerateForHighRepeatCandidateGeneration = 2\n"
        "\tmaximumPercentageOfKeysThatGeneratedNoCandidatesToTriggerHighRepeatCandidateGeneration =    0.70\n"
        "\tminimumNumberOfKeysAssociatedWithCandidatePosition = 2\n"
        "\tmaximumSizeOfIndelToDetect = 50\n"
        "\tmininumPercentageOfMismatchedBasesInReadToTriggerIndelProcessing =    0.02\n"
        "\tStandard Output File:\n"
        "\t\tLocked File: \n"
        "\t\t\tFile Name = stdout \n"
        "\t\t\tFile access mode = w \n"
        "\ttraceOutputFileName = \"\"\n"
        "\tcandidatePositionFilterFile = \"\"\n"
        "\tmaximumNumberOfThreads = " +
        std::to_string(p->maximumNumberOfThreads) +
        "\n"
        "\t\tsingleThreadAlignment = false\n"
        "\tmaximumScorePercentageForQualityPairedAlignment =    0.75\n"
        "\tuseDisconcordantPairScorePenaltyToSelectPrimaryAlignment = true\n"
        "\tdiscordantPairScorePenantly = 5\n"
        "\tgenerateSupplementalMappings = false\n"
        "\t\treportMostDistantMappingAsPrimaryForReadsWithJunctions = false\n"
        "\t\tdetectBiotinJunctions = true\n"
        "\t\t\tmaximumDistanceBetweenBiotinJunctionFragments = 500\n"
        "\t\t\tmaximumAllowedMinWordMismatchScoreForABiotinJunctionFragmentCandidate = 2\n"
        "\t\treportSecondaryAlignment = false\n"
        "\t\tgenerateAlternateMappings = false\n"
        "\t\t\tnumberOfAlternateMappingsToReport = 7\n"
        "\t\t\tmaximumPrimaryMismatchScoreForMoreThanOneAlternativeAlignmentToBeReported = 1\n"
        "\tmaximumNumberOfMismatchesInWholeReadForSimpleAlignment = 5\n"
        "\tNumber of Candidate Position Filters = 1\n"
        "\tCandidate Position Filters:\n"
        "\t\tchromsome = 2, start position in chromosome = 10, end position in chromosome = 20, start "
        "position in "
        "genome = 170, end position in genome = 180\n"
        "\tQMR Output Request Parameters:\n"
        "\t\tisQmrOutputRequest = false\n"
        "\t\tqmrOutputFileFormatVersion = 3\n"
        "\t\tLocked File: \n"
        "\t\t\tFile Name = sequenceMapping.out \n"
        "\t\t\tFile access mode = w \n"
        "\tSAM Output Request Parameters:\n"
        "\t\tisSamOutputRequest = false\n"
        "\t\tLocked File: \n"
        "\t\t\tFile Name = alignment.sam \n"
        "\t\t\tFile access mode = w \n"
        "\tSequence File Format Mapping request:\n"
        "\t\tisSequenceFileMappingRequest = false\n"
        "\t\tdirectoryWithSequenceFiles = \"\"\n"
        "\t\tsequenceFilePrefix = \"\"\n"
        "\t\tsequenceFileStartNumber = 0\n"
        "\t\tsequenceFileEndNumber = 0\n"
        "\t\tSequence File Names:\n"
        "\t\t\tNumber of Sequence File Names = 0\n"
        "\t\t\tSequence Files:\n"
        "\tFastq Alignment Request Parameters:\n"
        "\t\tisFastqAlignmentRequest = false\n"
        "\t\tread1FastqFile = \"\"\n"
        "\t\tread2FastqFile = \"\"\n";
    const std::string genomeSection = "\tGenome Information:\n\t\tNULL\n";
    const std::size_t settings = dump.find(genomeSection);
    ASSERT_NE(settings, std::string::npos);
    EXPECT_EQ(
        dump.rfind("\nExecution Parameters:\n\tProcess Information:\n\t\tCommand Line = koru -v -a 7 ", 0),
        0u);
    EXPECT_EQ(dump.substr(settings + genomeSection.size()), expected);
}

TEST(ExecutionParameters, DumpShowsTheServerOnlyWhenRequested) {
    TemporaryDirectory directory;
    const std::string root = directory.path().string();
    const std::string dump = executionParametersToString(
        parse({"--serverRequestInputDirectory", root, "--serverRequestCheckInterval=0.5"}).get());
    EXPECT_TRUE(
        dump.ends_with("\tStarting a server for interactive requests\n"
                       "\t\tintervalBetweenRequestCheck = 0.500000\n"
                       "\t\trequestInputDirectory = \"" +
                       root + "\"\n\t\trequestOutputDirectory = \"\"\n"));
    EXPECT_EQ(executionParametersToString(nullptr), "The provided execution parameter object was null\n");
}

}  // namespace
}  // namespace koru
