#pragma once
// The interactive request server: the process keeps its index and maps requests that arrive as
// sequence record files in an input directory, each answered by a result file of the same name in
// an output directory. Both directories may be shared with other users, so the server follows no
// symbolic link in them and answers a bad request with an error result instead of ending.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "config/execution_parameters.h"
#include "index/binary_indexes.h"

namespace koru {

// Longest joined path (directory, "/", file name) of a request or a result.
inline constexpr std::size_t longestRequestPath = 1023;

// Begins the one comment line of a result that answers a request the server could not map.
inline constexpr const char* requestErrorPrefix = "#ERROR: ";

enum class RequestOutcome {
    answered,    // a result was written (or refused) and the request removed
    incomplete,  // the request has no end marker yet and stays for the next listing
    ignored,     // nothing to answer: gone, not a file, or already answered
    waiting,     // the output directory cannot take its result now; the request stays
};

// Device, inode, size and modification time of a request file.
using RequestIdentity = std::array<std::uint64_t, 4>;

// What the server remembers between listings: answered requests whose files it could not remove,
// so that they are not mapped again and again while they stay unchanged, and why a request
// directory could not be used when last looked at (empty when it could), so that this is reported
// once and not at every listing.
struct InteractiveServerState {
    std::set<RequestIdentity> unremovableRequests;
    std::string inputDirectoryProblem;
    std::string outputDirectoryProblem;
};

// The pause after a listing that answered no request: the interval asked for, at least a
// millisecond and at most a day.
std::chrono::microseconds serverCheckInterval(double seconds);

// Never returns: lists the input directory, answers its requests and waits the check interval
// after every listing that answered none.
[[noreturn]] void startServer(const ExecutionParameters& params, const BinaryIndexes& indexes);

// One listing of the input directory, its entries in name order; returns the requests answered.
std::uint32_t pollInteractiveRequests(const ExecutionParameters& params, const BinaryIndexes& indexes,
                                      InteractiveServerState& state);

// Handles one entry of the input directory.
RequestOutcome processInteractiveRequest(const ExecutionParameters& params, const BinaryIndexes& indexes,
                                         const std::string& requestFileName, InteractiveServerState& state);

}  // namespace koru
