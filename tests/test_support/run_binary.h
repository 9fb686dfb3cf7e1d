#pragma once
// Runs the built koru binary (and the read simulator) as a user would, capturing streams and status.

#include <functional>
#include <string>
#include <vector>

#include "test_support/temporary_directory.h"

namespace koru::testing {

struct CommandResult {
    int status = -1;  // exit status, or -1 when the process did not exit normally
    std::string standardOutput;
    std::string standardError;
};

// Runs koru with the arguments in the working directory (the current one when empty).
CommandResult runKoru(const std::vector<std::string>& arguments, const std::string& workingDirectory = {});
// Starts koru without waiting, its streams going to the files; its process id, or -1.
int startKoru(const std::vector<std::string>& arguments, const std::string& workingDirectory,
              const std::string& standardOutputPath, const std::string& standardErrorPath);
// The help text as the users' documentation gives it.
std::string expectedHelpText();

inline const std::string lambdaGenomeFile = std::string(KORU_SOURCE_DIR) + "/data/lambda_phage.fa";
inline const std::string ecoliGenomeFile = KORU_ECOLI_GENOME;

int shell(const std::string& command);
// Simulated pairs of the genome with truth in their names; the simulator's exit status.
int simulateReads(const std::string& genome, const std::string& read1, const std::string& read2,
                  const std::string& options);
// The labels of the "Elapsed time for" lines, in order.
std::vector<std::string> timerLabels(const std::string& output);
// Polls every 10 ms until the condition holds, for at most 30 seconds.
bool waitUntil(const std::function<bool()>& condition);
// The fields of every SAM record line, header lines and empty lines left out.
std::vector<std::vector<std::string>> samRecords(const std::string& sam);

// koru started in the background, its streams in files of the directory; stopped by SIGTERM (by
// its process id) at the latest when the object goes.
class KoruProcess {
  public:
    KoruProcess(const std::vector<std::string>& arguments, const std::string& directory);
    ~KoruProcess() { stop(); }
    KoruProcess(const KoruProcess&) = delete;
    KoruProcess& operator=(const KoruProcess&) = delete;

    bool running();
    int stop();  // the wait status of the ended process
    // Waits for the server's ready line; false when the process ended first.
    bool ready();
    std::string output() const { return readFile(out_); }
    std::string errors() const { return readFile(err_); }

  private:
    std::string out_, err_;
    int pid_ = -1;
    int status_ = 0;
};

}  // namespace koru::testing
