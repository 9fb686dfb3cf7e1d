#pragma once
// Runs the built koru binary as a user would, capturing its streams and exit status.

#include <string>
#include <vector>

namespace koru::testing {

struct CommandResult {
    int status = -1;  // exit status, or -1 when the process did not exit normally
    std::string standardOutput;
    std::string standardError;
};

// Runs koru with the arguments in the working directory (the current one when empty).
CommandResult runKoru(const std::vector<std::string>& arguments, const std::string& workingDirectory = {});

// Starts koru without waiting for it, its standard output and error going to the given files;
// returns its process id, or -1 when it could not be started.
int startKoru(const std::vector<std::string>& arguments, const std::string& workingDirectory,
              const std::string& standardOutputPath, const std::string& standardErrorPath);

// The help text as the users' documentation gives it.
std::string expectedHelpText();

}  // namespace koru::testing
