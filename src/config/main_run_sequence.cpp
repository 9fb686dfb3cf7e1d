#include "config/main_run_sequence.h"

#include <cstdio>

#include "config/command_line.h"
#include "config/execution_parameters.h"
#include "genome/genome_sequence.h"
#include "index/binary_indexes.h"
#include "index/count_arrays.h"
#include "requests/fastq_alignment_request.h"
#include "support/allocation.h"
#include "support/diagnostics.h"
#include "support/errors.h"
#include "support/synchronous_printing.h"
#include "support/text_format.h"
#include "support/timer.h"

namespace koru {

namespace {

std::unique_ptr<ExecutionParameters> configure(int argc, char** argv) {
    auto params = createExecutionParametersFromCommandLineArguments(argc, argv);
    if (params->verbose) {
        printExecutionParameters(*params->standardOutputFile, params.get());
        printOpenMPEnvironmentInfo(*params->standardOutputFile);
    }
    if (!validateExecutionParameters(*params))
        exitWithErrorAndHelp(
            "Some required execution parameters were not provided!  Please provide missing parameters.\n");
    openOutputFiles(*params);
    return params;
}

// The requests are entered as they are built; until then the run says plainly where it stops
// instead of pretending to have mapped anything.
[[noreturn]] void stopBeforeUnbuiltStage(ExecutionParameters& params, const char* stage) {
    closeOutputFiles(params);
    exitWithErrorFormat("koru: the run stops before the stage \"%s\", which is not built yet.\n", stage);
}

std::unique_ptr<GenomeSequence> loadReference(ExecutionParameters& params) {
    auto genome = createGenomeSequence(params);
    if (params.verbose)
        params.standardOutputFile->writeUnderLock(genomeSequenceHeaderToString(*genome), true);
    lookupGenomePositionsForCandidatePositionFilters(*genome, params.candidatePositionFilters,
                                                     params.candidatePositionFilterFile);
    // The dump again, now with the filters' genome positions.
    if (params.verbose) printExecutionParameters(*params.standardOutputFile, &params);
    return genome;
}

template <class Stage>
auto timedStage(LockedFile& output, const char* label, Stage&& stage) {
    Timer timer = startTimer(label);
    auto result = stage();
    stopPrintAndFreePrintTime(output, timer, true);
    return result;
}

void serveRequest(ExecutionParameters& params, const BinaryIndexes& indexes) {
    if (params.sequenceFileMappingRequestParameters.isSequenceFileMappingRequest)
        stopBeforeUnbuiltStage(params, "Sequence File Mapping Request");
    if (params.interactiveServerRequestParameters.isInteractiveServerRequest)
        stopBeforeUnbuiltStage(params, "Interactive Request Server");
    if (params.fastqAlignmentRequestParameters.isFastqAlignmentRequest) {
        processFastqAlignmentRequest(params, indexes);
        return;
    }
    std::fputs("No request was provided.\n", stderr);
    printHelp();
}

}  // namespace

int runMainSequence(int argc, char** argv) {
    installCrashHandler();
    installAllocationFailureHandler();
    auto params = configure(argc, argv);
    LockedFile& output = *params->standardOutputFile;
    Timer total = startTimer("Total Execution Time");
    auto genome = loadReference(*params);
    auto countArrays =
        timedStage(output, "Counting Number of Reference Genome Positions Associated with Each Hash Key",
                   [&] { return createCountArrays(*params, *genome); });
    auto indexes = timedStage(output, "Generating Hash Tables",
                              [&] { return createBinaryIndexes(*params, *countArrays, *genome); });
    serveRequest(*params, *indexes);
    indexes.reset();
    genome.reset();
    countArrays.reset();
    stopPrintAndFreePrintTime(output, total, true);
    closeOutputFiles(*params);
    return 0;
}

}  // namespace koru
