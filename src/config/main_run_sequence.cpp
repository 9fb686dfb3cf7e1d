#include "config/main_run_sequence.h"

#include <cstdio>

#include "config/command_line.h"
#include "config/execution_parameters.h"
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

// The stages after configuration are entered as they are built; until then the run says
// plainly where it stops instead of pretending to have mapped anything.
[[noreturn]] void stopBeforeUnbuiltStage(ExecutionParameters& params, const char* stage) {
    closeOutputFiles(params);
    exitWithErrorFormat("koru: the run stops before the stage \"%s\", which is not built yet.\n", stage);
}

}  // namespace

int runMainSequence(int argc, char** argv) {
    installCrashHandler();
    installAllocationFailureHandler();
    auto params = configure(argc, argv);
    Timer total = startTimer("Total Execution Time");
    stopBeforeUnbuiltStage(*params, "Reading in Reference Genome");
    stopPrintAndFreePrintTime(*params->standardOutputFile, total, true);
    closeOutputFiles(*params);
    return 0;
}

}  // namespace koru
