#pragma once
// The one configuration record of a run: every option and derived setting, the request it
// serves and the output files it writes. Read-only once validated.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/genome_information.h"
#include "support/locked_file.h"
#include "support/process_information.h"

namespace koru {

struct CandidateQualityCriteria {
    std::uint32_t maximumCombinedMinWordMismatchScoreOfBothReads = 3;
    std::uint32_t minimumCombinedNumberOfKeysAssociatedWithBothReads = 6;
    std::uint32_t maximumMinWordMismatchScoreForIndividualRead = 2;
    std::uint32_t minimumNumberOfKeysAssociatedWithIndividualReadPosition = 3;
    double maximumPopCountValuePerBPOfRead = 0.05;
};

// One range of the candidate position filter file. The genome positions stay 0 until the
// chromosome table resolves them.
struct CandidatePositionFilter {
    std::uint32_t startPositionInGenome = 0;
    std::uint32_t endPositionInGenome = 0;
    std::uint32_t chromosome = 0;  // 1-based, as in the chromosome table
    std::uint32_t startPositionInChromosome = 0;
    std::uint32_t endPositionInChromosome = 0;
    std::uint32_t lineNumber = 0;  // where the record starts in the filter file, for messages
};

// Texts below are empty when absent.
struct InteractiveServerRequestParameters {
    bool isInteractiveServerRequest = false;
    std::string requestInputDirectory;
    std::string requestOutputDirectory;
    double intervalBetweenRequestCheck = 0.01;  // seconds
};

struct SequenceFileMappingRequestParameters {
    bool isSequenceFileMappingRequest = false;
    std::string directoryWithSequenceFiles;
    std::string sequenceFilePrefix;
    std::uint32_t sequenceFileStartNumber = 0;
    std::uint32_t sequenceFileEndNumber = 0;
    std::vector<std::string> sequenceFileNames;  // full paths, in name order

    std::uint32_t numberOfSequenceFiles() const {
        return static_cast<std::uint32_t>(sequenceFileNames.size());
    }
};

struct FastqAlignmentRequestParameters {
    bool isFastqAlignmentRequest = false;
    std::string read1FastqFile;
    std::string read2FastqFile;
};

inline constexpr const char* defaultSamOutputFileName = "alignment.sam";
// A SAM output file of this name is standard output.
inline constexpr const char* standardOutputFileName = "-";
inline constexpr const char* defaultQmrOutputFileName = "sequenceMapping.out";

// The output files are opened by openOutputFiles once the parameters are valid, so that a
// rejected command line or an output the run does not write never empties an existing file.
struct SamOutputRequestParameters {
    bool isSamOutputRequest = false;
    std::string samOutputFileName = defaultSamOutputFileName;
    std::unique_ptr<LockedFile> samOutputFile;
};

struct QmrOutputRequestParameters {
    bool isQmrOutputRequest = false;
    std::int32_t qmrOutputFileFormatVersion = 3;
    std::string qmrOutputFileName = defaultQmrOutputFileName;
    std::unique_ptr<LockedFile> qmrOutputFile;
};

struct ExecutionParameters {
    ProcessInformation processInformation;
    std::unique_ptr<GenomeInformation> genomeInformation;
    // An index file to load instead of reading the reference and building the index, and one to
    // write after building it; empty when absent.
    std::string indexFileName;
    std::string writeIndexFileName;
    // -i or -I was given: an index loaded from a file must have been built with those limits.
    bool indexLimitsGiven = false;
    // The index lists windows whose start is a multiple of this (1, 2, 4 or 8); 0: chosen from
    // the genome's length, or the index file's.
    std::uint32_t indexSamplingStep = 0;
    bool verbose = false;
    std::uint32_t maximumNumberOfThreads = 4;
    bool singleThreadAlignment = false;
    std::uint32_t maximumNumberOfPositionsAKeyCanHaveInAnIndex = 32768;
    std::uint32_t maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex = 750;
    std::uint32_t defaultBasesToShiftBetweenKeyGeneration = 8;
    std::uint32_t readLengthToStartLimitingNumberOfKeysGenerated = 176;
    std::uint32_t maximumNumberOfKeysToExhibitLinearScaling = 18;
    std::uint32_t numberOfKeysToGenerateForHighRepeatCandidateGeneration = 2;
    double maximumPercentageOfKeysThatGeneratedNoCandidatesToTriggerHighRepeatCandidateGeneration = 0.7;
    double mininumPercentageOfMismatchedBasesInReadToTriggerIndelProcessing = 0.02;
    std::uint32_t maximumSizeOfIndelToDetect = 50;
    CandidateQualityCriteria candidateQualityCritieria;
    std::uint16_t concordantReadPairBasePairWindowSize = 10000;
    std::uint32_t maximumDistanceBetweenBiotinJunctionFragments = 500;
    std::uint32_t biotinJunctionDetectionWholeReadMismatchThreshold = 16;
    std::uint32_t maximumPrimaryMismatchScoreForMoreThanOneAlternativeAlignmentToBeReported = 1;
    std::uint32_t maximumAllowedMinWordMismatchScoreForABiotinJunctionFragmentCandidate = 2;
    std::uint32_t maximumNumberOfMismatchesInWholeReadForSimpleAlignment = 5;
    std::uint32_t phredQualityOffset = 33;
    std::unique_ptr<LockedFile> standardOutputFile;
    std::unique_ptr<LockedFile> traceFile;  // standard output unless -t names a file
    std::string traceOutputFileName;
    std::string candidatePositionFilterFile;
    bool useDisconcordantPairScorePenaltyToSelectPrimaryAlignment = true;
    double maximumScorePercentageForQualityPairedAlignment = 0.75;
    bool isReadPairSequencingData = false;
    std::uint32_t discordantPairScorePenantly = 5;
    std::uint32_t minimumNumberOfKeysAssociatedWithCandidatePosition = 2;
    bool generateSupplementalMappings = false;
    bool reportMostDistantMappingAsPrimaryForReadsWithJunctions = false;
    bool generateAlternateMappings = false;
    std::uint32_t numberOfAlternateMappingsToReport = 5;
    bool detectBiotinJunctions = true;
    bool reportSecondaryAlignment = false;
    std::vector<CandidatePositionFilter> candidatePositionFilters;
    InteractiveServerRequestParameters interactiveServerRequestParameters;
    SequenceFileMappingRequestParameters sequenceFileMappingRequestParameters;
    FastqAlignmentRequestParameters fastqAlignmentRequestParameters;
    SamOutputRequestParameters samOutputRequestParameters;
    QmrOutputRequestParameters qmrOutputRequestParameters;
};

// The defaults that depend on the host: the thread count, and standard output for the run's
// report and trace files. Every other default is the record's own initial value.
void initExecutionParameters(ExecutionParameters& params);

// readLengthToStartLimitingNumberOfKeysGenerated follows the bases to shift.
void updateReadLengthToStartLimitingNumberOfKeysGenerated(ExecutionParameters& params);

// The run serves a FASTQ alignment, sequence file mapping or interactive server request.
bool hasRequest(const ExecutionParameters& params);

// Prints every problem on standard error; true when the run can proceed.
bool validateExecutionParameters(const ExecutionParameters& params);

// Opens the SAM and QMR files of the requested output formats, and only those.
void openOutputFiles(ExecutionParameters& params);

// Flushes and closes the output files, checking that everything reached them.
void closeOutputFiles(ExecutionParameters& params);

// Records of the filter file, in file order. Reading stops at the first text that is not
// "chromosome:start-end", and after as many records as the text has line feeds.
std::vector<CandidatePositionFilter> readCandidatePositionFilters(std::string_view text);

std::string executionParametersToString(const ExecutionParameters* params);
void printExecutionParameters(LockedFile& file, const ExecutionParameters* params);

}  // namespace koru
