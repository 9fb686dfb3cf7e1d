#include "config/command_line.h"

#include <getopt.h>
#include <omp.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "index/index_memory.h"
#include "index/key_stream.h"
#include "sequence/string_utilities.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/memory_mapped_file.h"
#include "support/text_format.h"

namespace koru {

namespace {

// Values of the long options that have no short letter.
enum LongOption : int {
    kMinimumNumberOfKeysAssociatedWithCandidatePosition = 1000,
    kMaximumPercentageOfKeysThatGeneratedNoCandidates,
    kNumberOfKeysToGenerateForHighRepeatCandidateGeneration,
    kConcordantReadPairInsertSize,
    kBinaryReferenceGenome,
    kSequenceFileStartNumber,
    kSequenceFileEndNumber,
    kQmrOutputFileFormatVersion,
    kQmrOutputFileName,
    kSamOutputFileName,
    kRead1FastqFileName,
    kRead2FastqFileName,
    kPhredQualityOffset,
    kIncreasedAccuracy,
    kReferenceGenomeFastaFileName,
    kServerRequestCheckInterval,
    kServerRequestInputDirectory,
    kServerRequestOutputDirectory,
    kIsReadPairSequencingData,
    kGenerateSupplementalMappings,
    kGenerateAlternateMappings,
    kReportMostDistantMappingAsPrimaryForReadsWithJunctions,
    kSingleThreadAlignment,
    kIndexFile,
    kWriteIndexFile,
    kIndexSamplingStep,
    kMaximumShareOfUncalledBases,
    kReadGroupLine,
    kReportFile,
    kProgress,
    kStatisticsFileName,
};

const char* const shortOptions = "i:I:b:P:p:C:c:m:e:d:f:o:t:T:F:a:h:v?";

const option longOptions[] = {
    {"maximumNumberOfPositionsToIndex", required_argument, nullptr, 'i'},
    {"maximumCandidatePositionsToEvaluatePerIndexEntry", required_argument, nullptr, 'I'},
    {"numberOf32BitWordsInReadToLookupInIndexes", required_argument, nullptr, 'l'},
    {"numberOf32BasePairWordsToScoreInRead", required_argument, nullptr, 'S'},
    {"defaultBasesToShiftBetweenKeyGeneration", required_argument, nullptr, 'b'},
    {"maximumCombinedMinWordMismatchScoreOfBothReads", required_argument, nullptr, 'P'},
    {"maximumPopCountValueForIndividualRead", required_argument, nullptr, 'p'},
    {"minimumCombinedNumberOfKeysAssociatedWithBothReads", required_argument, nullptr, 'C'},
    {"minimumHitCountValueForIndividualRead", required_argument, nullptr, 'c'},
    {"minimumNumberOfKeysAssociatedWithCandidatePosition", required_argument, nullptr,
     kMinimumNumberOfKeysAssociatedWithCandidatePosition},
    {"maximumPercentageOfKeysThatGeneratedNoCandidatesToTriggerHighRepeatCandidateGeneration",
     required_argument, nullptr, kMaximumPercentageOfKeysThatGeneratedNoCandidates},
    {"numberOfKeysToGenerateForHighRepeatCandidateGeneration", required_argument, nullptr,
     kNumberOfKeysToGenerateForHighRepeatCandidateGeneration},
    {"concordantReadPairInsertSize", required_argument, nullptr, kConcordantReadPairInsertSize},
    {"binaryReferenceGenome", required_argument, nullptr, kBinaryReferenceGenome},
    {"directoryWithSequenceFiles", required_argument, nullptr, 'd'},
    {"sequenceFilePrefix", required_argument, nullptr, 'f'},
    {"sequenceFileStartNumber", required_argument, nullptr, kSequenceFileStartNumber},
    {"sequenceFileEndNumber", required_argument, nullptr, kSequenceFileEndNumber},
    {"qmrOutputFileFormatVersion", required_argument, nullptr, kQmrOutputFileFormatVersion},
    {"qmrOutputFileName", required_argument, nullptr, kQmrOutputFileName},
    {"samOutputFileName", required_argument, nullptr, kSamOutputFileName},
    {"read1FastqFileName", required_argument, nullptr, kRead1FastqFileName},
    {"read2FastqFileName", required_argument, nullptr, kRead2FastqFileName},
    {"phredQualityOffset", required_argument, nullptr, kPhredQualityOffset},
    {"increasedAccuracy", no_argument, nullptr, kIncreasedAccuracy},
    {"referenceGenomeFastaFileName", required_argument, nullptr, kReferenceGenomeFastaFileName},
    {"serverRequestCheckInterval", required_argument, nullptr, kServerRequestCheckInterval},
    {"serverRequestInputDirectory", required_argument, nullptr, kServerRequestInputDirectory},
    {"serverRequestOutputDirectory", required_argument, nullptr, kServerRequestOutputDirectory},
    {"isReadPairSequencingData", required_argument, nullptr, kIsReadPairSequencingData},
    {"generateSupplementalMappings", required_argument, nullptr, kGenerateSupplementalMappings},
    {"generateAlternateMappings", required_argument, nullptr, kGenerateAlternateMappings},
    {"reportMostDistantMappingAsPrimaryForReadsWithJunctions", required_argument, nullptr,
     kReportMostDistantMappingAsPrimaryForReadsWithJunctions},
    {"singleThreadAlignment", required_argument, nullptr, kSingleThreadAlignment},
    {"indexFile", required_argument, nullptr, kIndexFile},
    {"writeIndexFile", required_argument, nullptr, kWriteIndexFile},
    {"indexSamplingStep", required_argument, nullptr, kIndexSamplingStep},
    {"maximumShareOfUncalledBases", required_argument, nullptr, kMaximumShareOfUncalledBases},
    {"readGroupLine", required_argument, nullptr, kReadGroupLine},
    {"reportFile", required_argument, nullptr, kReportFile},
    {"progress", no_argument, nullptr, kProgress},
    {"statisticsFileName", required_argument, nullptr, kStatisticsFileName},
    {"standardOutputFileName", required_argument, nullptr, 'o'},
    {"traceOutputFile", required_argument, nullptr, 't'},
    {"maximumNumberOfThreads", required_argument, nullptr, 'T'},
    {"candidatePositionFilterFile", required_argument, nullptr, 'F'},
    {"help", no_argument, nullptr, 'h'},
    {"verbose", no_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};

// The name an option was given under, for messages: the long name when a long option was
// used, else the long name of the short letter, else the letter (-a has no long name).
const char* optionName(int value, int longIndex) {
    if (longIndex >= 0) return longOptions[longIndex].name;
    for (const option* entry = longOptions; entry->name != nullptr; ++entry)
        if (entry->val == value) return entry->name;
    static char letter[2] = {};
    letter[0] = value > 0 && value < 128 ? static_cast<char>(value) : '?';
    return letter;
}

[[noreturn]] void refuseValue(const char* text, const char* name, const char* what) {
    exitWithErrorAndHelp(
        stringPrintf("The value \"%s\" passed to the \"%s\" parameter is not %s.\n", text, name, what));
}

// Reads an unsigned decimal argument. A text that is not wholly a number is refused (it would
// otherwise read as 0, or as its leading digits), and so is a value beyond the field, a negative
// number included, rather than cut to the field.
std::uint32_t readUnsignedArgument(const char* text, const char* name,
                                   std::uint64_t largest = std::numeric_limits<std::uint32_t>::max()) {
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0') refuseValue(text, name, "a whole number");
    const bool negative = text[std::strspn(text, " \t\n\v\f\r")] == '-' && value != 0;
    if (errno == ERANGE || negative || value > largest)
        exitWithErrorAndHelp(
            stringPrintf("The value \"%s\" passed to the \"%s\" parameter is out of range: it must lie "
                         "between 0 and %llu.\n",
                         text, name, static_cast<unsigned long long>(largest)));
    return static_cast<std::uint32_t>(value);
}

// A finite decimal number, wholly: "abc", "" and "2x" are refused rather than read as 0 or 2.
double readNumberArgument(const char* text, const char* name, const char* what) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value)) refuseValue(text, name, what);
    return value;
}

double readShareArgument(const char* text, const char* name) {
    const char* const what = "a share: it must be a number from 0 to 1";
    const double share = readNumberArgument(text, name, what);
    if (!(share >= 0.0 && share <= 1.0)) refuseValue(text, name, what);
    return share;
}

// Seconds to wait between polls; the server waits at least a millisecond (interactive_server.h).
double readSecondsArgument(const char* text, const char* name) {
    const char* const what = "a number of seconds of 0 or more";
    const double seconds = readNumberArgument(text, name, what);
    if (seconds < 0.0) refuseValue(text, name, what);
    return seconds;
}

// A file or directory option given an empty name would later be taken for one not given at all,
// or reach the file system as "".
const char* fileNameArgument(const char* text, const char* name) {
    if (*text == '\0')
        exitWithErrorAndHelp(
            stringPrintf("The \"%s\" parameter needs a file name, and it was given an empty one.\n", name));
    return text;
}

// The page is written after mapping as a file of its own: standard output carries SAM or the
// run's report lines.
void setLibraryReportFile(ExecutionParameters& params, const char* text, const char* name) {
    if (std::strcmp(fileNameArgument(text, name), standardOutputFileName) == 0)
        exitWithErrorAndHelp(stringPrintf(
            "The \"%s\" parameter needs the name of an HTML file; \"-\" (standard output) is not one.\n",
            name));
    params.libraryReportFileName = text;
    params.gatherLibraryStatistics = true;
}

void setBasesToShift(ExecutionParameters& params, const char* text, const char* name) {
    const std::uint32_t bases = readUnsignedArgument(text, name);
    // A shift of 0 would never advance key generation along a read.
    if (bases == 0)
        exitWithErrorAndHelp(stringPrintf(
            "The value \"%s\" passed to the \"%s\" parameter must be a number of bases above 0.\n", text,
            name));
    params.defaultBasesToShiftBetweenKeyGeneration = bases;
    updateReadLengthToStartLimitingNumberOfKeysGenerated(params);
}

void setIndexSamplingStep(ExecutionParameters& params, const char* text, const char* name) {
    const std::uint32_t step = readUnsignedArgument(text, name);
    if (!isSupportedSamplingStep(step))
        exitWithErrorAndHelp(stringPrintf(
            "The value \"%s\" passed to the \"%s\" parameter is not a supported index sampling step: it "
            "must be 1, 2, 4 or 8.\n",
            text, name));
    params.indexSamplingStep = step;
}

// "@RG\tID:...\t...", written as for other aligners with \t for each tab: every field a two-letter
// tag, a colon and a value, exactly one of them ID.
void setReadGroupLine(ExecutionParameters& params, const char* text, const char* name) {
    std::string line;
    for (const char* c = text; *c != '\0'; ++c) {
        const bool tab = c[0] == '\\' && c[1] == 't';
        line += tab ? '\t' : *c;
        c += tab ? 1 : 0;
    }
    const auto refuse = [&](const char* why) {
        exitWithErrorAndHelp(
            stringPrintf("The value \"%s\" passed to the \"%s\" parameter is not a read group line: %s.\n",
                         text, name, why));
    };
    if (line.rfind("@RG\t", 0) != 0) refuse("it must start with @RG and a tab");
    std::string id;
    for (std::size_t start = 4; start <= line.size();) {
        const std::size_t end = std::min(line.find('\t', start), line.size());
        const std::string_view field(line.data() + start, end - start);
        if (field.size() < 4 || field[2] != ':')
            refuse("every field must be a two-letter tag, a colon and a value");
        if (field.substr(0, 3) == "ID:") {
            if (!id.empty()) refuse("it has more than one ID");
            id = field.substr(3);
        }
        start = end + 1;
    }
    if (id.empty()) refuse("it has no ID field");
    params.samOutputRequestParameters.readGroupLine = line;
    params.samOutputRequestParameters.readGroupId = id;
}

// Versions the QMR writer knows: another is refused here rather than once the outputs are written.
void setQmrOutputFileFormatVersion(ExecutionParameters& params, const char* text, const char* name) {
    const std::uint32_t version = readUnsignedArgument(text, name);
    if (version != 2 && version != 3)
        exitWithErrorAndHelp(stringPrintf(
            "The value \"%s\" passed to the \"%s\" parameter is not a supported QMR format version: it must "
            "be 2 or 3.\n",
            text, name));
    params.qmrOutputRequestParameters.qmrOutputFileFormatVersion = static_cast<std::int32_t>(version);
    params.qmrOutputRequestParameters.isQmrOutputRequest = true;
}

void setBinaryReferenceGenome(ExecutionParameters& params, const char* argument, const char* name) {
    std::string genomeName(argument);
    toUpper(genomeName);
    auto info = getNamedBinaryGenomeInformation(genomeName);
    if (!info)
        exitWithErrorAndHelp(stringPrintf(
            "Unrecognized binary reference genome \"%s\" passed to \"%s\" parameter of executable\n",
            genomeName.c_str(), name));
    params.genomeInformation = std::move(info);
}

std::string checkedPath(const char* path, const char* label, const char* name) {
    errorIfFileDoesNotExistOrNotAccessible(fileNameArgument(path, name), R_OK, label,
                                           std::string("--") + name);
    return path;
}

bool applySearchOption(ExecutionParameters& p, int value, const char* argument, const char* name) {
    auto& criteria = p.candidateQualityCritieria;
    switch (value) {
        case 'i':
            p.maximumNumberOfPositionsAKeyCanHaveInAnIndex = readUnsignedArgument(argument, name);
            p.indexLimitsGiven = true;
            return true;
        case 'I':
            p.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex = readUnsignedArgument(argument, name);
            p.indexLimitsGiven = true;
            return true;
        case 'b':
            setBasesToShift(p, argument, name);
            return true;
        case 'P':
            criteria.maximumCombinedMinWordMismatchScoreOfBothReads = readUnsignedArgument(argument, name);
            return true;
        case 'p':
            criteria.maximumMinWordMismatchScoreForIndividualRead = readUnsignedArgument(argument, name);
            return true;
        case 'C':
            criteria.minimumCombinedNumberOfKeysAssociatedWithBothReads =
                readUnsignedArgument(argument, name);
            return true;
        case 'c':
            criteria.minimumNumberOfKeysAssociatedWithIndividualReadPosition =
                readUnsignedArgument(argument, name);
            return true;
        case kMinimumNumberOfKeysAssociatedWithCandidatePosition:
            p.minimumNumberOfKeysAssociatedWithCandidatePosition = readUnsignedArgument(argument, name);
            return true;
        case kMaximumPercentageOfKeysThatGeneratedNoCandidates:
            p.maximumPercentageOfKeysThatGeneratedNoCandidatesToTriggerHighRepeatCandidateGeneration =
                readShareArgument(argument, name);
            return true;
        case kNumberOfKeysToGenerateForHighRepeatCandidateGeneration:
            p.numberOfKeysToGenerateForHighRepeatCandidateGeneration = readUnsignedArgument(argument, name);
            return true;
        case kConcordantReadPairInsertSize:
            p.concordantReadPairBasePairWindowSize = static_cast<std::uint16_t>(
                readUnsignedArgument(argument, name, std::numeric_limits<std::uint16_t>::max()));
            return true;
        case kPhredQualityOffset:
            p.phredQualityOffset = readUnsignedArgument(argument, name);
            return true;
        case kIncreasedAccuracy:
            p.minimumNumberOfKeysAssociatedWithCandidatePosition = 1;
            return true;
        case 'a':
            p.numberOfAlternateMappingsToReport =
                readUnsignedArgument(argument, name, maximumAlternateMappings);
            return true;
        default:
            return false;
    }
}

bool applyRequestOption(ExecutionParameters& p, int value, const char* argument, const char* name) {
    auto& files = p.sequenceFileMappingRequestParameters;
    auto& server = p.interactiveServerRequestParameters;
    auto& fastq = p.fastqAlignmentRequestParameters;
    switch (value) {
        case kBinaryReferenceGenome:
            setBinaryReferenceGenome(p, argument, name);
            return true;
        case kReferenceGenomeFastaFileName:
            p.genomeInformation = createFastaGenomeInformation(fileNameArgument(argument, name));
            return true;
        case kIndexFile:
            p.indexFileName = checkedPath(argument, "The index file", name);
            return true;
        case kWriteIndexFile:
            p.writeIndexFileName = fileNameArgument(argument, name);
            return true;
        case kIndexSamplingStep:
            setIndexSamplingStep(p, argument, name);
            return true;
        case kMaximumShareOfUncalledBases:
            p.maximumShareOfUncalledBases = readShareArgument(argument, name);
            return true;
        case kReadGroupLine:
            setReadGroupLine(p, argument, name);
            return true;
        case 'd':
            files.directoryWithSequenceFiles = checkedPath(argument, "The sequence file directory", name);
            files.isSequenceFileMappingRequest = true;
            return true;
        case 'f':
            files.sequenceFilePrefix = argument;
            files.isSequenceFileMappingRequest = true;
            return true;
        case kSequenceFileStartNumber:
            files.sequenceFileStartNumber = readUnsignedArgument(argument, name);
            files.isSequenceFileMappingRequest = true;
            return true;
        case kSequenceFileEndNumber:
            files.sequenceFileEndNumber = readUnsignedArgument(argument, name);
            files.isSequenceFileMappingRequest = true;
            return true;
        case kRead1FastqFileName:
            fastq.read1FastqFile = checkedPath(argument, "The read 1 FASTQ file", name);
            fastq.isFastqAlignmentRequest = true;
            return true;
        case kRead2FastqFileName:
            fastq.read2FastqFile = checkedPath(argument, "The read 2 FASTQ file", name);
            fastq.isFastqAlignmentRequest = true;
            return true;
        case kServerRequestCheckInterval:
            server.intervalBetweenRequestCheck = readSecondsArgument(argument, name);
            server.isInteractiveServerRequest = true;
            return true;
        case kServerRequestInputDirectory:
            server.requestInputDirectory = checkedPath(argument, "The request input directory", name);
            server.isInteractiveServerRequest = true;
            return true;
        case kServerRequestOutputDirectory:
            server.requestOutputDirectory = checkedPath(argument, "The request output directory", name);
            server.isInteractiveServerRequest = true;
            return true;
        default:
            return false;
    }
}

bool applyOutputOption(ExecutionParameters& p, int value, const char* argument, const char* name) {
    switch (value) {
        case kQmrOutputFileFormatVersion:
            setQmrOutputFileFormatVersion(p, argument, name);
            return true;
        case kQmrOutputFileName:
            p.qmrOutputRequestParameters.qmrOutputFileName = fileNameArgument(argument, name);
            p.qmrOutputRequestParameters.isQmrOutputRequest = true;
            return true;
        case kSamOutputFileName:
            p.samOutputRequestParameters.samOutputFileName = fileNameArgument(argument, name);
            p.samOutputRequestParameters.isSamOutputRequest = true;
            return true;
        case 'o':
            p.reportFileName = fileNameArgument(argument, name);
            return true;
        case kReportFile:
            setLibraryReportFile(p, argument, name);
            return true;
        case 't':
            p.traceOutputFileName = fileNameArgument(argument, name);
            return true;
        case kStatisticsFileName:
            p.statisticsFileName = fileNameArgument(argument, name);
            return true;
        case 'F':
            p.candidatePositionFilterFile = checkedPath(argument, "The candidate position filter file", name);
            return true;
        default:
            return false;
    }
}

bool applyRunOption(ExecutionParameters& p, int value, const char* argument, const char* name) {
    switch (value) {
        case kIsReadPairSequencingData:
            p.isReadPairSequencingData = isTrue(argument);
            return true;
        case kGenerateSupplementalMappings:
            p.generateSupplementalMappings = isTrue(argument);
            return true;
        case kGenerateAlternateMappings:
            p.generateAlternateMappings = isTrue(argument);
            return true;
        case kReportMostDistantMappingAsPrimaryForReadsWithJunctions:
            p.reportMostDistantMappingAsPrimaryForReadsWithJunctions = isTrue(argument);
            return true;
        case kSingleThreadAlignment:
            p.singleThreadAlignment = isTrue(argument);
            return true;
        case 'T':
            p.maximumNumberOfThreads = readUnsignedArgument(argument, name);
            return true;
        case 'v':
            p.verbose = true;
            return true;
        case kProgress:
            p.progress = true;
            return true;
        default:
            return false;
    }
}

void applyOption(ExecutionParameters& params, int value, int longIndex) {
    const char* name = optionName(value, longIndex);
    if (value == 'h' || value == '?') {
        printHelp();
        exitWithError("");
    }
    if (applySearchOption(params, value, optarg, name) || applyRequestOption(params, value, optarg, name) ||
        applyOutputOption(params, value, optarg, name) || applyRunOption(params, value, optarg, name))
        return;
    if (value < 256)
        exitWithErrorAndHelp(stringPrintf("Unrecognized option \"%c\" passed to executable\n", value));
    exitWithErrorAndHelp(stringPrintf("Unrecognized option \"%s\" passed to executable\n", name));
}

void discoverSequenceFiles(ExecutionParameters& params) {
    auto& files = params.sequenceFileMappingRequestParameters;
    if (!files.isSequenceFileMappingRequest || files.directoryWithSequenceFiles.empty()) return;
    const std::string pattern = files.sequenceFilePrefix + ".*.seq$";
    files.sequenceFileNames.clear();
    for (const std::string& entry : getMatchingFileNames(files.directoryWithSequenceFiles, pattern))
        files.sequenceFileNames.push_back(files.directoryWithSequenceFiles + "/" + entry);
}

// A thread count of 0 means every processor; more threads than processors only contend.
void fixThreadCount(ExecutionParameters& params) {
    const auto processors = static_cast<std::uint32_t>(omp_get_num_procs());
    if (params.maximumNumberOfThreads == 0 || params.maximumNumberOfThreads > processors)
        params.maximumNumberOfThreads = processors;
    omp_set_num_threads(static_cast<int>(params.maximumNumberOfThreads));
}

void finishParameters(ExecutionParameters& params) {
    if (params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex >
        params.maximumNumberOfPositionsAKeyCanHaveInAnIndex)
        params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex =
            params.maximumNumberOfPositionsAKeyCanHaveInAnIndex;
    discoverSequenceFiles(params);
    fixThreadCount(params);
    if (!params.candidatePositionFilterFile.empty()) {
        const auto file = createMemoryMappedFile(params.candidatePositionFilterFile);
        std::uint32_t ignoredLine = 0;
        params.candidatePositionFilters = readCandidatePositionFilters(file->text(), &ignoredLine);
        // A mistyped line would otherwise drop the filters after it unnoticed.
        if (ignoredLine != 0)
            std::fprintf(
                stderr,
                "Warning: Line %u of the candidate position filter file \"%s\" is not "
                "\"chromosome:start-end\" ended by a line feed: it and the lines after it are ignored.\n",
                ignoredLine, params.candidatePositionFilterFile.c_str());
    }
}

}  // namespace

void exitWithErrorAndHelp(std::string_view message) {
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fflush(stderr);
    printHelp();
    exitWithError("");
}

std::unique_ptr<ExecutionParameters> createExecutionParametersFromCommandLineArguments(int argc,
                                                                                       char** argv) {
    if (argc < 2) {
        printHelp();
        exitWithError("");
    }
    auto params = std::make_unique<ExecutionParameters>();
    initExecutionParameters(*params);
    params->processInformation = createProcessInformation(argc, argv);
    optind = 0;  // 0 makes getopt start afresh, so the parser can run more than once
    int longIndex = -1;
    for (int value; (value = getopt_long(argc, argv, shortOptions, longOptions, &longIndex)) != -1;
         longIndex = -1)
        applyOption(*params, value, longIndex);
    // Every value follows its option's name: a word left over was meant for an option and would be
    // silently ignored.
    if (optind < argc)
        exitWithErrorAndHelp(stringPrintf(
            "The argument \"%s\" follows no option that takes a value: every value must follow its option.\n",
            argv[optind]));
    finishParameters(*params);
    return params;
}

namespace {

// What the run itself computes (index_memory.h), for a human-sized and a bacterial genome: entries
// take a byte less on large genomes, and the directory weighs more on small ones.
void printMemoryRequirements() {
    const auto perBase = [](double bases) {
        const IndexMemoryEstimate estimate = estimateIndexMemory(static_cast<std::uint64_t>(bases), 1);
        return static_cast<double>(estimate.genomeBytes + estimate.tableBytes) / bases;
    };
    const IndexMemoryEstimate any = estimateIndexMemory(1 << 20, 1);
    const double buildGiB = static_cast<double>(any.minimumBuildBytes - any.genomeBytes - any.tableBytes) /
                            static_cast<double>(std::uint64_t{1} << 30);
    std::printf(
        "System Requirements: The index takes about %.0f bytes of memory per base of the genome at "
        "--indexSamplingStep 1 (%.0f for a genome of a few megabases), its tables a K-th of that at "
        "step K, and building it %.1f GiB more; a run that builds an index refuses a genome whose index "
        "would not fit this machine, with the memory it needs.\n\n",
        perBase(3e9), perBase(5e6), buildGiB);
}

}  // namespace

void printHelp() {
    const char* const separator = "\t";
    std::printf("KORU V%s\n\n", koruVersion);
    printMemoryRequirements();
    std::printf("Usage:\n\tkoru options\n\nOptions:\n");
    std::printf("\t    --concordantReadPairInsertSize %smaximum concordant insert size [10000]\n", separator);
    std::printf("\t-h, --help                         %sdisplay this help text and exit\n", separator);
    std::printf(
        "\t    --increasedAccuracy            %sEvaluate additional candidate positions, increases runtime "
        "by factor "
        "of 2\n",
        separator);
    std::printf(
        "\t    --isReadPairSequencingData     %sSequencing is not from Mate-pair protocol, no biotin "
        "junctions should "
        "be present [false]\n",
        separator);
    std::printf(
        "\t    --phredQualityOffset           %sASCII encoding offset of phred score (Sanger = 33, Illumina "
        "1.0+ = "
        "59, Illumina 1.3+ = 64, Illumina 1.8+ = 33) [33]\n",
        separator);
    std::printf(
        "\t    --read1FastqFileName           %sFASTQ formatted file containing all 1st reads of read pair\n",
        separator);
    std::printf(
        "\t    --read2FastqFileName           %sFASTQ formatted file containing all 2nd reads of read pair\n",
        separator);
    std::printf("\t    --referenceGenomeFastaFileName %sFASTA formated file containing reference genome\n",
                separator);
    std::printf(
        "\t    --singleThreadAlignment        %sUse only 1 thread when performing alignment, but multiple "
        "during "
        "index generation\n",
        separator);
    std::printf("\t    --samOutputFileName            %sSAM formatted output file name\n", separator);
    std::printf("\t-T, --maximumNumberOfThreads       %smaximum number of threads to utilize [4]\n",
                separator);
    std::printf("\t-v, --verbose                      %sdisplay execution options and progress\n", separator);
    std::printf(
        "\t    --writeIndexFile               %sbuild the index from the reference genome and write it to "
        "this "
        "file\n",
        separator);
    std::printf(
        "\t    --indexFile                    %sload the index and genome from this file instead of building "
        "them\n",
        separator);
    std::printf(
        "\t    --indexSamplingStep            %sindex only the genome windows starting at a multiple of this "
        "(1, 2, 4 or 8), and look up that many more keys per read: less memory for large genomes "
        "[chosen from the genome's length]\n",
        separator);
    std::printf(
        "\t    --maximumShareOfUncalledBases  %sa read with a larger share of N is not mapped, its mate "
        "is mapped alone [0.5]\n",
        separator);
    std::printf(
        "\t    --generateSupplementalMappings %slook for a junction read's other fragment (SAM: a "
        "supplementary record and SA tags) [false]\n",
        separator);
    std::printf(
        "\t    --generateAlternateMappings    %swith supplemental mappings, list other positions that fit a "
        "read as well (SAM: an XA tag) [false]\n",
        separator);
    std::printf(
        "\t    --readGroupLine                %sa SAM read group line ('@RG\\tID:...\\tSM:...'): written in "
        "the "
        "header, its ID tagged on every record\n",
        separator);
    std::printf(
        "\t    --reportFile                   %sa FASTQ or sequence file request also writes a library "
        "report to this HTML file: insert sizes by orientation, junctions, mapping qualities, errors\n",
        separator);
    std::printf(
        "\t    --progress                     %sshow progress on standard error even when it is not a "
        "terminal (where it is shown anyway), as a line each second\n",
        separator);
    std::printf(
        "\t    --statisticsFileName           %swrite a FASTQ or sequence file request's mapping "
        "statistics to this file, as a table of named numbers\n",
        separator);
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace koru
