// The command line: the input is the arguments after the program name, separated by NUL bytes.
// They are read in a scratch directory with a small genome (g.fa), FASTQ files (r1.fq, r2.fq), a
// filter file (f.txt), a sequence file directory (seqs) and request directories (in, out), so that
// options naming them get past their checks; the fuzzer's own paths stay relative to where it
// was started.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "config/command_line.h"
#include "fuzz_support.h"

using namespace koru;
using namespace koru::fuzz;

namespace {

constexpr std::size_t longestCommandLine = 64;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    prepareFuzzing();
    for (const char* directory : {"seqs", "in", "out"})
        std::filesystem::create_directories(scratchPath(directory));
    writeScratchFile(scratchPath("g.fa"), ">c1\nACGTACGTTTGACCA\n");
    writeScratchFile(scratchPath("r1.fq"), "@p/1\nACGT\n+\nIIII\n");
    writeScratchFile(scratchPath("r2.fq"), "@p/2\nACGT\n+\nIIII\n");
    writeScratchFile(scratchPath("f.txt"), "1:10-20\n1:30-40\n");
    writeScratchFile(scratchPath("seqs/lane_1.seq"), "1 ACGTACGT TTGACCAA\n");
    writeScratchFile(scratchPath("seqs/lane_2.seq"), "2 ACGTACGT TTGACCAA\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words = {"koru"};
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty() && words.size() < longestCommandLine) {
        const std::size_t nul = rest.find('\0');
        words.emplace_back(rest.substr(0, nul));
        rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    }
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    static const int started = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    static const int scratch = open(scratchDirectory().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    KORU_FUZZ_CHECK(started >= 0 && scratch >= 0 && fchdir(scratch) == 0);
    std::unique_ptr<ExecutionParameters> params;
    const bool parsed = accepted([&] {
        params =
            createExecutionParametersFromCommandLineArguments(static_cast<int>(words.size()), argv.data());
    });
    KORU_FUZZ_CHECK(fchdir(started) == 0);
    if (!parsed) return 0;
    KORU_FUZZ_CHECK(params->maximumNumberOfThreads >= 1);
    KORU_FUZZ_CHECK(params->maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex <=
                    params->maximumNumberOfPositionsAKeyCanHaveInAnIndex);
    KORU_FUZZ_CHECK(params->defaultBasesToShiftBetweenKeyGeneration > 0);
    validateExecutionParameters(*params);
    KORU_FUZZ_CHECK(!executionParametersToString(params.get()).empty());
    return 0;
}
