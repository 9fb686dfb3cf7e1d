#pragma once
// The command line: options, short letters, help text.

#include <memory>
#include <string_view>

#include "config/execution_parameters.h"

namespace koru {

inline constexpr const char* koruVersion = "3.0.0";

// Builds the parameters from the command line: defaults, options in order, the derived
// setting, sequence file discovery, the thread count and the filter file. Every command-line
// error ends the run with its message and status 1.
std::unique_ptr<ExecutionParameters> createExecutionParametersFromCommandLineArguments(int argc, char** argv);

void printHelp();

// A command-line error: the message on standard error, the help text, status 1.
[[noreturn]] void exitWithErrorAndHelp(std::string_view message);

}  // namespace koru
