#pragma once
// The one configuration record of a run: every option and derived setting, the request it
// serves and the output files it writes. Read-only once validated.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "genome/genome_information.h"
#include "mapping/mapping_parameters.h"
#include "support/locked_file.h"
#include "support/process_information.h"
#include "support/progress_display.h"

namespace koru {

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

// The output files are opened by openOutputFiles once the index is ready and every check of the
// run has passed, so that a rejected run or an output the run does not write never empties an
// existing file.
struct SamOutputRequestParameters {
    bool isSamOutputRequest = false;
    std::string samOutputFileName = defaultSamOutputFileName;
    // --readGroupLine with its \t written as tabs, and its ID; both empty without one.
    std::string readGroupLine;
    std::string readGroupId;
    std::unique_ptr<LockedFile> samOutputFile;
};

struct QmrOutputRequestParameters {
    bool isQmrOutputRequest = false;
    std::int32_t qmrOutputFileFormatVersion = 3;
    std::string qmrOutputFileName = defaultQmrOutputFileName;
    std::unique_ptr<LockedFile> qmrOutputFile;
};

// The run: the mapping record its stages take (candidate generation's and alignment's within it),
// then what only the run itself reads.
struct ExecutionParameters : MappingParameters {
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
    // --progress: progress shown on standard error even when it is not a terminal.
    bool progress = false;
    // Where the FASTQ request writes its statistics, summed over threads, as a table (empty: none).
    std::string statisticsFileName;
    std::uint32_t maximumNumberOfThreads = 4;
    bool singleThreadAlignment = false;
    // Null when no progress is shown; before the report file, which clears it and so must go first.
    std::unique_ptr<ProgressLine> progressLine;
    std::unique_ptr<LockedFile> standardOutputFile;  // standard output unless -o names a file
    std::unique_ptr<LockedFile> traceFile;           // standard output unless -t names a file
    std::string reportFileName;                      // -o; empty when absent
    std::string traceOutputFileName;
    std::string libraryReportFileName;  // --reportFile; empty when absent
    std::string candidatePositionFilterFile;
    bool reportSecondaryAlignment = false;
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

// An index file without a request: the run loads and checks it (against the reference genome too,
// when one is given), and ends.
bool isIndexCheck(const ExecutionParameters& params);

// Prints every problem on standard error; true when the run can proceed.
bool validateExecutionParameters(const ExecutionParameters& params);

// Opens the files of -o and -t, once the run's files have been checked; with SAM on standard
// output the reports go to standard error unless -o names a file.
void openReportFiles(ExecutionParameters& params);

// Opens the SAM and QMR files of the requested output formats, and only those.
void openOutputFiles(ExecutionParameters& params);

// Flushes and closes the output files, checking that everything reached them.
void closeOutputFiles(ExecutionParameters& params);

// Records of the filter file, in file order. Reading stops at the first text that is not
// "chromosome:start-end", and after as many records as the text has line feeds. When text is left
// unread (not white space), `ignoredLine` receives the number of the first such line.
std::vector<CandidatePositionFilter> readCandidatePositionFilters(std::string_view text,
                                                                  std::uint32_t* ignoredLine = nullptr);

std::string executionParametersToString(const ExecutionParameters* params);
void printExecutionParameters(LockedFile& file, const ExecutionParameters* params);

}  // namespace koru
