#pragma once
// Runs the built koru binary (and the read simulator) as a user would, capturing streams and status.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "test_support/temporary_directory.h"

namespace koru::testing {

struct CommandResult {
    int status = -1;  // exit status, or -1 when the process did not exit normally
    std::string standardOutput, standardError;
};

// Starts koru without waiting, its streams going to the files; its process id, or -1.
inline int startKoru(const std::vector<std::string>& arguments, const std::string& workingDirectory,
                     const std::string& standardOutputPath, const std::string& standardErrorPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, standardOutputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, standardErrorPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!workingDirectory.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    std::vector<std::string> words{KORU_BINARY};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, KORU_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? child : -1;
}

// Runs koru with the arguments in the working directory (the current one when empty).
inline CommandResult runKoru(const std::vector<std::string>& arguments,
                             const std::string& workingDirectory = {}) {
    TemporaryDirectory streams;
    const std::string outPath = streams.file("stdout"), errPath = streams.file("stderr");
    const pid_t child = startKoru(arguments, workingDirectory, outPath, errPath);
    if (child < 0) throw std::runtime_error("could not start koru");
    int wstatus = 0;
    waitpid(child, &wstatus, 0);
    return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, readFile(outPath), readFile(errPath)};
}

inline const std::string lambdaGenomeFile = std::string(KORU_SOURCE_DIR) + "/data/lambda_phage.fa";
inline const std::string ecoliGenomeFile = KORU_ECOLI_GENOME;

inline int shell(const std::string& command) {
    return std::system(command.c_str());
}

// Simulated pairs of the genome with truth in their names; the simulator's exit status.
inline int simulateReads(const std::string& genome, const std::string& read1, const std::string& read2,
                         const std::string& options) {
    return shell(std::string(KORU_SIMULATOR) + " '" + genome + "' '" + read1 + "' '" + read2 + "' " +
                 options);
}

// The labels of the "Elapsed time for" lines, in order.
inline std::vector<std::string> timerLabels(const std::string& output) {
    static const std::regex timer(
        "Elapsed time for \"([^\n]*)\": Wall time = +[0-9]+, CPU time = [0-9.e+-]+\n");
    std::vector<std::string> labels;
    for (auto it = std::sregex_iterator(output.begin(), output.end(), timer); it != std::sregex_iterator();
         ++it)
        labels.push_back((*it)[1]);
    return labels;
}

// The fields of every SAM record line, header lines and empty lines left out.
inline std::vector<std::vector<std::string>> samRecords(const std::string& sam) {
    std::vector<std::vector<std::string>> records;
    std::istringstream lines(sam);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '@') continue;
        records.emplace_back();
        std::istringstream columns(line);
        for (std::string field; std::getline(columns, field, '\t');) records.back().push_back(field);
    }
    return records;
}

// Polls every 10 ms until the condition holds, for at most 30 seconds.
inline bool waitUntil(const std::function<bool()>& condition) {
    for (int tries = 0; tries < 3000 && !condition(); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

// koru started in the background, its streams in files of the directory; stopped by SIGTERM (by
// its process id) at the latest when the object goes.
class KoruProcess {
  public:
    KoruProcess(const std::vector<std::string>& arguments, const std::string& directory)
        : out_(directory + "/server.out"),
          err_(directory + "/server.err"),
          pid_(startKoru(arguments, directory, out_, err_)) {}
    ~KoruProcess() { stop(); }
    KoruProcess(const KoruProcess&) = delete;
    KoruProcess& operator=(const KoruProcess&) = delete;

    bool running() {
        if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = -1;
        return pid_ > 0;
    }
    // The wait status of the ended process.
    int stop() {
        if (pid_ <= 0) return status_;
        kill(pid_, SIGTERM);
        waitpid(pid_, &status_, 0);
        pid_ = -1;
        return status_;
    }
    // Waits for the server's ready line; false when the process ended first.
    bool ready() {
        waitUntil([&] { return output().find("server is ready") != std::string::npos || !running(); });
        return running();
    }
    std::string output() const { return readFile(out_); }
    std::string errors() const { return readFile(err_); }

  private:
    std::string out_, err_;
    int pid_ = -1;
    int status_ = 0;
};

// The help text as the users' documentation gives it.
inline std::string expectedHelpText() {
    return "KORU V3.0.0\n"
           "\n"
           "System Requirements: The index takes about 16 bytes of memory per base of the genome at "
           "--indexSamplingStep 1 (19 for a genome of a few megabases), its tables a K-th of that at step "
           "K, and building it 0.3 GiB more; a run that builds an index refuses a genome whose index would "
           "not fit this machine, with the memory it needs.\n"
           "\n"
           "Usage:\n"
           "\tkoru options\n"
           "\n"
           "Options:\n"
           "\t    --concordantReadPairInsertSize \tmaximum concordant insert size [10000]\n"
           "\t-h, --help                         \tdisplay this help text and exit\n"
           "\t    --increasedAccuracy            \tEvaluate additional candidate positions, increases "
           "runtime by factor of 2\n"
           "\t    --isReadPairSequencingData     \tSequencing is not from Mate-pair protocol, no biotin "
           "junctions should be present [false]\n"
           "\t    --phredQualityOffset           \tASCII encoding offset of phred score (Sanger = 33, "
           "Illumina 1.0+ = 59, Illumina 1.3+ = 64, Illumina 1.8+ = 33) [33]\n"
           "\t    --read1FastqFileName           \tFASTQ formatted file containing all 1st reads of read "
           "pair\n"
           "\t    --read2FastqFileName           \tFASTQ formatted file containing all 2nd reads of read "
           "pair\n"
           "\t    --referenceGenomeFastaFileName \tFASTA formated file containing reference genome\n"
           "\t    --singleThreadAlignment        \tUse only 1 thread when performing alignment, but "
           "multiple during index generation\n"
           "\t    --samOutputFileName            \tSAM formatted output file name\n"
           "\t-T, --maximumNumberOfThreads       \tmaximum number of threads to utilize [4]\n"
           "\t-v, --verbose                      \tdisplay execution options and progress\n"
           "\t    --writeIndexFile               \tbuild the index from the reference genome and write it "
           "to this file\n"
           "\t    --indexFile                    \tload the index and genome from this file instead of "
           "building them\n"
           "\t    --indexSamplingStep            \tindex only the genome windows starting at a multiple of "
           "this (1, 2, 4 or 8), and look up that many more keys per read: less memory for large genomes "
           "[chosen from the genome's length]\n"
           "\t    --maximumShareOfUncalledBases  \ta read with a larger share of N is not mapped, its mate "
           "is mapped alone [0.5]\n"
           "\t    --generateSupplementalMappings \tlook for a junction read's other fragment (SAM: a "
           "supplementary record and SA tags) [false]\n"
           "\t    --generateAlternateMappings    \twith supplemental mappings, list other positions that "
           "fit a read as well (SAM: an XA tag) [false]\n"
           "\t    --readGroupLine                \ta SAM read group line ('@RG\\tID:...\\tSM:...'): written "
           "in the header, its ID tagged on every record\n"
           "\t    --reportFile                   \ta FASTQ or sequence file request also writes a library "
           "report to this HTML file: insert sizes by orientation, junctions, mapping qualities, errors\n"
           "\t    --progress                     \tshow progress on standard error even when it is not a "
           "terminal (where it is shown anyway), as a line each second\n"
           "\t    --statisticsFileName           \twrite a FASTQ or sequence file request's mapping "
           "statistics to this file, as a table of named numbers\n"
           "\n";
}

}  // namespace koru::testing
