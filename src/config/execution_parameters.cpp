#include "config/execution_parameters.h"

#include <omp.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "support/text_format.h"

namespace koru {

void initExecutionParameters(ExecutionParameters& params) {
    params.maximumNumberOfThreads =
        std::min<std::uint32_t>(4, static_cast<std::uint32_t>(omp_get_num_procs()));
    params.standardOutputFile = createLockedFileForStdout();
    params.traceFile = createLockedFileForStdout();
}

void updateReadLengthToStartLimitingNumberOfKeysGenerated(ExecutionParameters& params) {
    params.readLengthToStartLimitingNumberOfKeysGenerated =
        params.defaultBasesToShiftBetweenKeyGeneration * params.maximumNumberOfKeysToExhibitLinearScaling +
        32;
}

namespace {

// Every failed check prints its message; all of them are reported, not only the first.
class Validation {
  public:
    void fail(const char* message) {
        std::fputs(message, stderr);
        ok_ = false;
    }
    bool ok() const { return ok_; }

  private:
    bool ok_ = true;
};

void validateFastqRequest(const FastqAlignmentRequestParameters& fastq, Validation& validation) {
    if (fastq.read1FastqFile.empty())
        validation.fail(
            "No read 1 fastq file was provided for the paired alignment, file should contain all 1st reads "
            "of "
            "paired read sequencing!  Please use the read1FastqFileName parameter.\n");
    if (fastq.read2FastqFile.empty())
        validation.fail(
            "No read 2 fastq file was provided for the paired alignment, file should contain all 2nd reads "
            "of "
            "paired read sequencing!  Please use the read2FastqFileName parameter.\n");
    if (!fastq.read1FastqFile.empty() && fastq.read1FastqFile == fastq.read2FastqFile)
        validation.fail(
            "The same fastq file was provided for both read A and read B for the paired alignment!  Please "
            "check "
            "the read1FastqFileName and read2FastqFileName parameters.\n");
}

// A directory given but holding no matching file is told apart from no directory given, and from
// a file given as the directory.
void validateSequenceFileRequest(const SequenceFileMappingRequestParameters& files, Validation& validation) {
    std::error_code error;
    if (files.directoryWithSequenceFiles.empty()) {
        validation.fail(
            "No sequence files were provided to map!  Please use the directoryWithSequenceFiles "
            "parameter.\n");
    } else if (!std::filesystem::is_directory(files.directoryWithSequenceFiles, error)) {
        const std::string message =
            stringPrintf("The directory \"%s\" (--directoryWithSequenceFiles) is not a directory.\n",
                         files.directoryWithSequenceFiles.c_str());
        validation.fail(message.c_str());
    } else if (files.numberOfSequenceFiles() == 0) {
        const std::string message = stringPrintf(
            "The directory \"%s\" (--directoryWithSequenceFiles) holds no sequence file named like "
            "\"%s*.seq\".\n",
            files.directoryWithSequenceFiles.c_str(), files.sequenceFilePrefix.c_str());
        validation.fail(message.c_str());
    }
}

// The index comes either from a reference genome, built in the run (and then possibly written to
// an index file), or from an index file; given both, the run checks that the file was built from
// that reference.
void validateIndexSource(const ExecutionParameters& params, Validation& validation) {
    const bool fromFile = !params.indexFileName.empty();
    if (!params.genomeInformation && !fromFile) validation.fail("No reference genome was provided!\n");
    if (fromFile && !params.writeIndexFileName.empty())
        validation.fail(
            "An index file is written from a reference genome, not from another index file!  Please use the "
            "writeIndexFile parameter with the referenceGenomeFastaFileName parameter.\n");
}

}  // namespace

bool hasRequest(const ExecutionParameters& params) {
    return params.interactiveServerRequestParameters.isInteractiveServerRequest ||
           params.sequenceFileMappingRequestParameters.isSequenceFileMappingRequest ||
           params.fastqAlignmentRequestParameters.isFastqAlignmentRequest;
}

bool isIndexCheck(const ExecutionParameters& params) {
    return !params.indexFileName.empty() && params.writeIndexFileName.empty() && !hasRequest(params);
}

bool validateExecutionParameters(const ExecutionParameters& params) {
    Validation validation;
    validateIndexSource(params, validation);
    // Writing an index file is a whole run by itself, and so is checking one against its reference.
    if ((!params.writeIndexFileName.empty() && !hasRequest(params)) || isIndexCheck(params))
        return validation.ok();
    const auto& server = params.interactiveServerRequestParameters;
    if (server.isInteractiveServerRequest) {
        if (server.requestOutputDirectory.empty())
            validation.fail("No request output directory was provided!\n");
        if (server.requestInputDirectory.empty())
            validation.fail("No request input directory was provided!\n");
        if (!params.libraryReportFileName.empty())
            validation.fail(
                "The reportFile parameter applies to FASTQ and sequence file requests, not to the "
                "interactive server.\n");
        if (!params.statisticsFileName.empty())
            validation.fail(
                "The statisticsFileName parameter applies to FASTQ and sequence file requests, not to "
                "the interactive server.\n");
        return validation.ok();
    }
    if (params.sequenceFileMappingRequestParameters.isSequenceFileMappingRequest) {
        validateSequenceFileRequest(params.sequenceFileMappingRequestParameters, validation);
    } else if (params.fastqAlignmentRequestParameters.isFastqAlignmentRequest) {
        validateFastqRequest(params.fastqAlignmentRequestParameters, validation);
    } else {
        validation.fail(
            "No sequence files were provided to align!  Please check the read1FastqFileName and "
            "read2FastqFileName "
            "parameters.\n");
    }
    if (!params.samOutputRequestParameters.isSamOutputRequest &&
        !params.qmrOutputRequestParameters.isQmrOutputRequest)
        validation.fail(
            "An output format was not provided!  Please check the qmrOutputFileName or samOutputFileName "
            "parameter.\n");
    return validation.ok();
}

void openReportFiles(ExecutionParameters& params) {
    const auto& sam = params.samOutputRequestParameters;
    if (sam.isSamOutputRequest && sam.samOutputFileName == standardOutputFileName) {
        params.standardOutputFile = createLockedFileForStderr();
        params.traceFile = createLockedFileForStderr();
    }
    if (!params.reportFileName.empty())
        params.standardOutputFile = createLockedFile(params.reportFileName, false, false);
    if (!params.traceOutputFileName.empty())
        params.traceFile = createLockedFile(params.traceOutputFileName, false, false);
}

void openOutputFiles(ExecutionParameters& params) {
    auto& sam = params.samOutputRequestParameters;
    if (sam.isSamOutputRequest && !sam.samOutputFile)
        sam.samOutputFile = sam.samOutputFileName == standardOutputFileName
                                ? createLockedFileForStdout()
                                : createLockedFile(sam.samOutputFileName, false, false);
    auto& qmr = params.qmrOutputRequestParameters;
    if (qmr.isQmrOutputRequest && !qmr.qmrOutputFile)
        qmr.qmrOutputFile = createLockedFile(qmr.qmrOutputFileName, false, false);
}

void closeOutputFiles(ExecutionParameters& params) {
    for (LockedFile* file : {params.samOutputRequestParameters.samOutputFile.get(),
                             params.qmrOutputRequestParameters.qmrOutputFile.get(), params.traceFile.get(),
                             params.standardOutputFile.get()}) {
        if (file != nullptr) file->close();
    }
}

namespace {

// Reads one unsigned number after optional white space, as a scanf %u would, but refuses
// signs and values beyond 32 bits instead of wrapping them.
bool readUnsigned(std::string_view text, std::size_t& cursor, std::uint32_t& value) {
    while (cursor < text.size() && std::isspace(static_cast<unsigned char>(text[cursor]))) ++cursor;
    const std::size_t start = cursor;
    std::uint64_t number = 0;
    while (cursor < text.size() && std::isdigit(static_cast<unsigned char>(text[cursor]))) {
        number = number * 10 + static_cast<std::uint64_t>(text[cursor] - '0');
        if (number > std::numeric_limits<std::uint32_t>::max()) return false;
        ++cursor;
    }
    value = static_cast<std::uint32_t>(number);
    return cursor > start;
}

bool readCharacter(std::string_view text, std::size_t& cursor, char expected) {
    if (cursor >= text.size() || text[cursor] != expected) return false;
    ++cursor;
    return true;
}

bool readFilter(std::string_view text, std::size_t& cursor, CandidatePositionFilter& filter) {
    return readUnsigned(text, cursor, filter.chromosome) && readCharacter(text, cursor, ':') &&
           readUnsigned(text, cursor, filter.startPositionInChromosome) && readCharacter(text, cursor, '-') &&
           readUnsigned(text, cursor, filter.endPositionInChromosome);
}

}  // namespace

std::vector<CandidatePositionFilter> readCandidatePositionFilters(std::string_view text,
                                                                  std::uint32_t* ignoredLine) {
    const auto lineFeeds = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    std::vector<CandidatePositionFilter> filters;
    std::size_t cursor = 0, counted = 0;
    std::uint32_t line = 1;
    const auto countLinesTo = [&](std::size_t position) {
        line += static_cast<std::uint32_t>(std::count(text.begin() + static_cast<long>(counted),
                                                      text.begin() + static_cast<long>(position), '\n'));
        counted = position;
    };
    const auto skipWhiteSpace = [&] {
        while (cursor < text.size() && std::isspace(static_cast<unsigned char>(text[cursor]))) ++cursor;
        countLinesTo(cursor);
    };
    if (ignoredLine != nullptr) *ignoredLine = 0;
    for (skipWhiteSpace(); cursor < text.size(); skipWhiteSpace()) {
        CandidatePositionFilter filter;
        filter.lineNumber = line;
        // No more records than line feeds: a last line without one is not read.
        if (filters.size() >= lineFeeds || !readFilter(text, cursor, filter)) {
            if (ignoredLine != nullptr) *ignoredLine = line;
            break;
        }
        filters.push_back(filter);
    }
    return filters;
}

}  // namespace koru
