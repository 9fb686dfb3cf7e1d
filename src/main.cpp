// The run: the command line is read and checked, the index built or loaded, the request served,
// and each stage's time printed.

#include <cstdio>
#include <filesystem>

#include "config/command_line.h"
#include "config/execution_parameters.h"
#include "config/run_files.h"
#include "genome/genome_sequence.h"
#include "index/binary_indexes.h"
#include "index/count_arrays.h"
#include "index/index_file.h"
#include "index/index_memory.h"
#include "requests/fastq_alignment_request.h"
#include "requests/interactive_server.h"
#include "requests/sequence_file_request.h"
#include "support/allocation.h"
#include "support/diagnostics.h"
#include "support/errors.h"
#include "support/progress_display.h"
#include "support/synchronous_printing.h"
#include "support/text_format.h"
#include "support/timer.h"

namespace koru {
namespace {

std::unique_ptr<ExecutionParameters> configure(int argc, char** argv) {
    auto params = createExecutionParametersFromCommandLineArguments(argc, argv);
    if (!validateExecutionParameters(*params))
        exitWithErrorAndHelp(
            "Some required execution parameters were not provided!  Please provide missing parameters.\n");
    // Every file is checked before the first is written, the report files included.
    checkRunFiles(*params);
    openReportFiles(*params);
    params->progressLine = createStandardErrorProgressLine(params->progress, *params->standardOutputFile);
    if (params->verbose) {
        printExecutionParameters(*params->standardOutputFile, params.get());
        printOpenMPEnvironmentInfo(*params->standardOutputFile);
    }
    return params;
}

std::unique_ptr<GenomeSequence> loadReference(ExecutionParameters& params) {
    auto genome = createGenomeSequence(params.genomeInformation.get(), params.standardOutputFile.get());
    // The run's record shows the chromosome count the reading found, as the verbose dump prints it.
    params.genomeInformation->numberOfChromosomes = genome->genomeInformation->numberOfChromosomes;
    if (params.verbose)
        params.standardOutputFile->writeUnderLock(genomeSequenceHeaderToString(*genome), true);
    return genome;
}

void resolveCandidatePositionFilters(ExecutionParameters& params, const GenomeSequence& genome) {
    lookupGenomePositionsForCandidatePositionFilters(genome, params.candidatePositionFilters,
                                                     params.candidatePositionFilterFile);
    // The dump again, now with the filters' genome positions.
    if (params.verbose) printExecutionParameters(*params.standardOutputFile, &params);
}

// The stage shows on the progress line while it runs; the line is gone before its timer prints.
template <class Stage>
auto timedStage(ExecutionParameters& params, const char* label, Stage&& stage) {
    Timer timer = startTimer(label);
    auto result = [&] {
        StageProgress shown(params.progressLine.get(), std::string("Index: ") + label);
        return stage();
    }();
    stopPrintAndFreePrintTime(*params.standardOutputFile, timer, true);
    return result;
}

void serveRequest(ExecutionParameters& params, const BinaryIndexes& indexes) {
    if (params.sequenceFileMappingRequestParameters.isSequenceFileMappingRequest) {
        processSequenceFileMappingRequest(params, indexes);
        return;
    }
    if (params.interactiveServerRequestParameters.isInteractiveServerRequest) startServer(params, indexes);
    if (params.fastqAlignmentRequestParameters.isFastqAlignmentRequest) {
        processFastqAlignmentRequest(params, indexes);
        return;
    }
    std::fputs("No request was provided.\n", stderr);
    printHelp();
}

// An index file holds the limits its lists were built with; the run maps with those, and refuses
// other limits given on the command line rather than silently ignoring them.
void adoptIndexLimits(ExecutionParameters& params, const CountLimits& limits) {
    if (params.indexLimitsGiven &&
        (params.maximumNumberOfPositionsAKeyCanHaveInAnIndex != limits.indexingLimit ||
         params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex != limits.evaluationLimit))
        exitWithErrorFormat(
            "The index file \"%s\" was built with -i %u and -I %u, not with the -i %u and -I %u requested!  "
            "Please "
            "write an index file with these values, or leave them out.\n",
            params.indexFileName.c_str(), limits.indexingLimit, limits.evaluationLimit,
            params.maximumNumberOfPositionsAKeyCanHaveInAnIndex,
            params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex);
    params.maximumNumberOfPositionsAKeyCanHaveInAnIndex = limits.indexingLimit;
    params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex = limits.evaluationLimit;
}

void reportSamplingStep(LockedFile& output, std::uint32_t step, const char* origin) {
    output.writeUnderLock(stringPrintf("Index sampling step = %u (%s)\n", step, origin), true);
}

double gibibytes(std::uint64_t bytes) {
    return static_cast<double>(bytes) / static_cast<double>(std::uint64_t{1} << 30);
}

// A reference given with an index file must be the one the file was built from: the same bases and
// chromosome names, so that the run maps against the genome the user named.
void checkIndexAgainstReference(ExecutionParameters& params, const GenomeSequence& indexed) {
    const std::unique_ptr<GenomeSequence> reference =
        timedStage(params, "Reading Reference Genome to Check Index File", [&] {
            return createGenomeSequence(params.genomeInformation.get(), params.standardOutputFile.get());
        });
    bool same = reference->chromosomes.size() == indexed.chromosomes.size() &&
                reference->sequenceLength == indexed.sequenceLength;
    for (std::size_t c = 0; same && c < indexed.chromosomes.size(); ++c)
        same = reference->chromosomes[c].name == indexed.chromosomes[c].name &&
               reference->chromosomes[c].basePairs == indexed.chromosomes[c].basePairs;
    if (!same || genomeChecksum(*reference) != genomeChecksum(indexed))
        exitWithErrorFormat(
            "The index file \"%s\" was not built from the reference genome \"%s\": their chromosomes or "
            "bases differ.  Please write the index file again from this reference, or give only one of "
            "them.\n",
            params.indexFileName.c_str(), params.genomeInformation->file.c_str());
}

MappingIndex loadIndexFile(ExecutionParameters& params) {
    LockedFile& output = *params.standardOutputFile;
    std::error_code error;
    const std::uint64_t fileBytes = std::filesystem::file_size(params.indexFileName, error);
    if (!error)
        describeMemoryNeed(stringPrintf("the index file \"%s\" needs about %.1f GiB of memory",
                                        params.indexFileName.c_str(), gibibytes(fileBytes)));
    MappingIndex index = timedStage(params, "Loading Index File", [&] {
        return deserializeBinaryIndexesFromFile(params.indexFileName, params.verbose ? &output : nullptr,
                                                params.indexSamplingStep);
    });
    reportSamplingStep(output, index.countArrays->samplingStep, "from the index file");
    adoptIndexLimits(params, index.countArrays->limits);
    if (params.genomeInformation) checkIndexAgainstReference(params, *index.genome);
    params.genomeInformation = std::make_unique<GenomeInformation>(*index.genome->genomeInformation);
    if (params.verbose) output.writeUnderLock(genomeSequenceHeaderToString(*index.genome), true);
    return index;
}

MappingIndex buildIndex(ExecutionParameters& params) {
    LockedFile& output = *params.standardOutputFile;
    MappingIndex index;
    {
        StageProgress shown(params.progressLine.get(), "Index: Reading the reference genome");
        index.genome = loadReference(params);
    }
    // The same genome gets the same index on every machine; one that would not fit this machine is
    // refused here, before the tables are allocated, rather than running out of memory halfway.
    const std::string genomeFile = params.genomeInformation ? params.genomeInformation->file : "";
    const SamplingStepChoice step = chooseSamplingStep(
        params.indexSamplingStep, index.genome->paddedSequenceLength, genomeFile, physicalMemoryBytes());
    reportSamplingStep(output, step.step, step.origin);
    describeMemoryNeed(stringPrintf(
        "indexing the genome in \"%s\" at --indexSamplingStep %u needs about %.1f GiB of memory",
        genomeFile.c_str(), step.step,
        gibibytes(estimateIndexMemory(index.genome->paddedSequenceLength, step.step).minimumBuildBytes)));
    LockedFile* verboseFile = params.verbose ? &output : nullptr;
    const CountLimits limits{params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex,
                             params.maximumNumberOfPositionsAKeyCanHaveInAnIndex};
    index.countArrays =
        timedStage(params, "Counting Number of Reference Genome Positions Associated with Each Hash Key",
                   [&] { return createCountArrays(limits, *index.genome, step.step, verboseFile); });
    index.genome->mappingQualityOfKeyWithTooManyPositions =
        calculateMappingQualityOfKeyWithTooManyPositions(index.countArrays->statistics);
    index.indexes = timedStage(params, "Generating Hash Tables", [&] {
        return createBinaryIndexes(*index.countArrays, *index.genome, verboseFile);
    });
    if (!params.writeIndexFileName.empty())
        timedStage(params, "Writing Index File", [&] {
            writeIndexFile(params.writeIndexFileName, *index.indexes, params.verbose ? &output : nullptr);
            return true;
        });
    return index;
}

int runMainSequence(int argc, char** argv) {
    installCrashHandler();
    installAllocationFailureHandler();
    auto params = configure(argc, argv);
    LockedFile& output = *params->standardOutputFile;
    Timer total = startTimer("Total Execution Time");
    MappingIndex index = params->indexFileName.empty() ? buildIndex(*params) : loadIndexFile(*params);
    resolveCandidatePositionFilters(*params, *index.genome);
    // A run that only writes an index file serves no request. The outputs are emptied only now, once
    // the reference, the index and the filters have passed their checks.
    if (hasRequest(*params) || (params->writeIndexFileName.empty() && !isIndexCheck(*params))) {
        openOutputFiles(*params);
        serveRequest(*params, *index.indexes);
    }
    index = MappingIndex{};
    stopPrintAndFreePrintTime(output, total, true);
    closeOutputFiles(*params);
    return 0;
}

}  // namespace
}  // namespace koru

int main(int argc, char** argv) {
    return koru::runMainSequence(argc, argv);
}
