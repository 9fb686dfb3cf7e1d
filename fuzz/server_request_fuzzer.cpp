// Requests to the interactive server: the input is one request file dropped into the request
// directory. The server must answer it (a result ending in END, the request removed) or leave an
// incomplete one for later, and never end.

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>

#include "fuzz_support.h"
#include "requests/interactive_server.h"

using namespace koru;
using namespace koru::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    prepareFuzzing();
    lambdaReference();
    std::filesystem::create_directories(scratchPath("requests"));
    std::filesystem::create_directories(scratchPath("results"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Reference& reference = lambdaReference();
    static const std::unique_ptr<ExecutionParameters> params = [&] {
        auto made = mappingParameters(*reference.genome);
        made->interactiveServerRequestParameters.isInteractiveServerRequest = true;
        made->interactiveServerRequestParameters.requestInputDirectory = scratchPath("requests");
        made->interactiveServerRequestParameters.requestOutputDirectory = scratchPath("results");
        // The result file holds the QMR records, as a server run writes them.
        made->qmrOutputRequestParameters.qmrOutputFile.reset();
        return made;
    }();
    const std::string name = "request_3";
    const std::string request = scratchPath("requests/" + name), result = scratchPath("results/" + name);
    std::filesystem::remove(result);
    writeScratchFile(request, std::string_view(reinterpret_cast<const char*>(data), size));

    InteractiveServerState state;
    RequestOutcome outcome = RequestOutcome::ignored;
    KORU_FUZZ_CHECK(
        accepted([&] { outcome = processInteractiveRequest(*params, *reference.indexes, name, state); }));
    struct stat status {};
    if (outcome == RequestOutcome::incomplete) {
        KORU_FUZZ_CHECK(::stat(request.c_str(), &status) == 0);
        KORU_FUZZ_CHECK(::stat(result.c_str(), &status) != 0);
        std::filesystem::remove(request);
        return 0;
    }
    KORU_FUZZ_CHECK(outcome == RequestOutcome::answered);
    KORU_FUZZ_CHECK(::stat(request.c_str(), &status) != 0);
    const std::string answer = readWholeFile(result);
    KORU_FUZZ_CHECK(answer.size() >= 3 && answer.compare(answer.size() - 3, 3, "END") == 0);
    return 0;
}
