#include "requests/interactive_server.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "io/sam_output.h"
#include "io/sequence_file.h"
#include "requests/sequence_file_request.h"
#include "support/allocation.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/locked_file.h"
#include "support/text_format.h"
#include "support/timer.h"

namespace koru {

namespace {

// Longer intervals are taken as a day, so that the wait in microseconds cannot overflow.
constexpr double longestCheckInterval = 86400;
// Shorter ones (0 above all) as a millisecond: an idle server would otherwise list its input
// directory without pause, at the full use of a processor.
constexpr double shortestCheckInterval = 0.001;
constexpr mode_t resultPermissions = 0660;

FileDescriptor openDirectory(const std::string& path) {
    return FileDescriptor(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

RequestIdentity identityOf(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
            static_cast<std::uint64_t>(status.st_size),
            static_cast<std::uint64_t>(status.st_mtim.tv_sec) * 1'000'000'000u +
                static_cast<std::uint64_t>(status.st_mtim.tv_nsec)};
}

// A request entry as read from the input directory.
struct RequestFile {
    bool present = false;  // false: gone, or neither a regular file nor a link
    RequestIdentity identity{};
    std::unique_ptr<MemoryMappedFile> contents;  // null when the request is refused unread
    std::string problem;                         // why it is refused unread
};

// Reads to the end of the file, however long it has grown since it was listed; false on an error.
bool readToEnd(int descriptor, std::string& text) {
    char block[65536];
    for (;;) {
        const ssize_t count = ::read(descriptor, block, sizeof block);
        if (count == 0) return true;
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return false;
        text.append(block, static_cast<std::size_t>(count));
    }
}

RequestFile readRequestFile(int directory, const std::string& name, const std::string& path) {
    RequestFile request;
    struct stat status {};
    if (fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return request;
    request.present = S_ISLNK(status.st_mode) || S_ISREG(status.st_mode);
    request.identity = identityOf(status);
    const char* linkProblem = "it is a symbolic link, which the server does not follow";
    if (S_ISLNK(status.st_mode)) request.problem = linkProblem;
    if (!request.problem.empty() || !request.present) return request;
    // O_NOFOLLOW: a link put in the file's place since the listing is refused, not read through.
    // O_NONBLOCK: nor can a FIFO put there make the server wait for a writer.
    FileDescriptor file(openat(directory, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file) {
        request.present = errno != ENOENT;
        request.problem =
            errno == ELOOP ? linkProblem : stringPrintf("it cannot be read: %s", std::strerror(errno));
        return request;
    }
    if (fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        request.present = false;  // replaced since the listing: the next listing decides
        return request;
    }
    std::string text;
    if (!readToEnd(file.get(), text)) {
        request.problem = stringPrintf("it cannot be read: %s", std::strerror(errno));
        return request;
    }
    request.contents = createInMemoryFile(path, text);
    return request;
}

// Opens a new result file. An earlier regular result of the name is replaced; anything else
// there (a link above all) is left alone and the result refused. Creating a file in a free place
// that fails leaves `unavailable` saying why: the output directory is then unusable for every
// request, and the request waits for it.
std::unique_ptr<LockedFile> createResultFile(int directory, const std::string& name, const std::string& path,
                                             std::string& refusal, std::string& unavailable) {
    struct stat status {};
    if (fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(status.st_mode)) {
            refusal = "a symbolic link has the result's name in the output directory";
            return nullptr;
        }
        if (!S_ISREG(status.st_mode)) {
            refusal = "something other than a regular file has the result's name in the output directory";
            return nullptr;
        }
        if (unlinkat(directory, name.c_str(), 0) != 0 && errno != ENOENT) {
            refusal = stringPrintf("the earlier result of the same name could not be removed: %s",
                                   std::strerror(errno));
            return nullptr;
        }
    }
    // O_EXCL creates a new file and never follows a link planted meanwhile.
    FileDescriptor file(openat(directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                               resultPermissions));
    if (!file && errno == EEXIST) {
        refusal = "another file took the result's name while the result was being created";
        return nullptr;
    }
    std::FILE* handle = file ? fdopen(file.get(), "w") : nullptr;
    if (handle == nullptr) {
        unavailable = std::strerror(errno);
        if (file) unlinkat(directory, name.c_str(), 0);
        return nullptr;
    }
    file.release();
    return std::make_unique<LockedFile>(handle, path, "w", false);
}

// Permissions on the open file, not on its name, so that no link can redirect them.
void finishResultFile(LockedFile& result) {
    if (fchmod(fileno(result.stream()), resultPermissions) != 0)
        std::fprintf(stderr, "Warning: The permissions of the result file \"%s\" could not be set: %s.\n",
                     result.fileName().c_str(), std::strerror(errno));
    result.writeUnderLock("END");
    result.close();
}

// SAM read names are printable ASCII without "@" and at most 254 characters: anything else in
// a request's name becomes "_", and a long name is cut, room left for ":<record>".
std::string readNamePrefix(const std::string& requestName) {
    constexpr std::size_t longestPrefix = 240;
    std::string prefix = requestName.substr(0, longestPrefix);
    for (char& c : prefix)
        if (c <= ' ' || c > '~' || c == '@') c = '_';
    return prefix;
}

// Says once, not at every listing, when a request directory becomes unusable and when it can be
// used again; returns whether it can be used now.
bool noteDirectoryState(const char* role, const std::string& directory, const std::string& problem,
                        std::string& reported) {
    if (problem == reported) return problem.empty();
    if (problem.empty())
        std::fprintf(stderr, "The request %s directory \"%s\" can be used again.\n", role, directory.c_str());
    else
        std::fprintf(stderr,
                     "ERROR: The request %s directory \"%s\" cannot be used (%s); requests wait in the input "
                     "directory until it can.\n",
                     role, directory.c_str(), problem.c_str());
    std::fflush(stderr);
    reported = problem;
    return problem.empty();
}

// Why a directory cannot be listed or written to; empty when it can.
std::string directoryProblem(const std::string& path, int access) {
    const FileDescriptor directory = openDirectory(path);
    if (!directory || faccessat(directory.get(), ".", access, AT_EACCESS) != 0) return std::strerror(errno);
    return {};
}

void writeResult(const ExecutionParameters& params, const BinaryIndexes& indexes, const std::string& name,
                 const SequenceFile* sequenceFile, const std::string& problem, LockedFile& result) {
    if (problem.empty()) {
        SequenceFileOutputFiles outputs = runOutputFiles(params);
        outputs.qmrFile = params.qmrOutputRequestParameters.isQmrOutputRequest ? &result : nullptr;
        // Reads of every request go to one SAM file: the request's name keeps them apart.
        const std::string prefix = readNamePrefix(name);
        outputs.readNamePrefix = prefix;
        alignSequencesFromSeqeunceFile(*sequenceFile, indexes, params, outputs);
    } else {
        result.writeUnderLock(stringPrintf("%sThe request \"%s\" was not mapped: %s.\n", requestErrorPrefix,
                                           name.c_str(), problem.c_str()));
    }
    finishResultFile(result);
}

// Writes the mapping of the request, or the error that refused it, as the request's result.
// Returns false, having written nothing, when the output directory cannot take a result now.
bool answerRequest(const ExecutionParameters& params, const BinaryIndexes& indexes, const std::string& name,
                   const SequenceFile* sequenceFile, const std::string& problem,
                   InteractiveServerState& state) {
    const auto& server = params.interactiveServerRequestParameters;
    const std::string requestPath = server.requestInputDirectory + "/" + name;
    const std::string resultPath = server.requestOutputDirectory + "/" + name;
    const FileDescriptor output = openDirectory(server.requestOutputDirectory);
    std::string refusal, unavailable = output ? std::string() : std::strerror(errno);
    std::unique_ptr<LockedFile> result;
    if (output) result = createResultFile(output.get(), name, resultPath, refusal, unavailable);
    if (!noteDirectoryState("output", server.requestOutputDirectory, unavailable,
                            state.outputDirectoryProblem))
        return false;
    if (!problem.empty()) {
        std::fprintf(stderr, "ERROR: The request \"%s\" was not mapped: %s.\n", requestPath.c_str(),
                     problem.c_str());
        std::fflush(stderr);
    }
    if (!result) {
        std::fprintf(stderr, "ERROR: No result was written for the request \"%s\": %s.\n",
                     requestPath.c_str(), refusal.c_str());
        std::fflush(stderr);
        return true;
    }
    writeResult(params, indexes, name, sequenceFile, problem, *result);
    return true;
}

// A request that stays after its answer would be answered again at every listing; it is
// remembered instead, until it changes.
void removeRequest(int directory, const std::string& name, const std::string& path,
                   const RequestIdentity& identity, InteractiveServerState& state) {
    if (unlinkat(directory, name.c_str(), 0) == 0 || errno == ENOENT) return;
    std::fprintf(
        stderr,
        "ERROR: The answered request \"%s\" could not be removed: %s. It is not mapped again while it "
        "stays unchanged.\n",
        path.c_str(), std::strerror(errno));
    std::fflush(stderr);
    state.unremovableRequests.insert(identity);
}

// Names of the regular files and links of the directory, sorted as alphasort sorts them.
std::vector<std::string> listRequestNames(const std::string& directory) {
    std::vector<std::string> names;
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) return names;
    while (const dirent* entry = readdir(listing)) {
        unsigned char type = entry->d_type;
        struct stat status {};
        if (type == DT_UNKNOWN && fstatat(dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0)
            type = S_ISREG(status.st_mode) ? DT_REG : S_ISLNK(status.st_mode) ? DT_LNK : DT_UNKNOWN;
        if (type == DT_REG || type == DT_LNK) names.emplace_back(entry->d_name);
    }
    closedir(listing);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::strcoll(a.c_str(), b.c_str()) < 0;
    });
    return names;
}

}  // namespace

std::chrono::microseconds serverCheckInterval(double seconds) {
    const double bounded = std::clamp(seconds, shortestCheckInterval, longestCheckInterval);
    return std::chrono::microseconds(static_cast<std::int64_t>(std::trunc(1'000'000 * bounded)));
}

RequestOutcome processInteractiveRequest(const ExecutionParameters& params, const BinaryIndexes& indexes,
                                         const std::string& requestFileName, InteractiveServerState& state) {
    const auto& server = params.interactiveServerRequestParameters;
    const std::string requestPath = server.requestInputDirectory + "/" + requestFileName;
    const FileDescriptor input = openDirectory(server.requestInputDirectory);
    if (!input) return RequestOutcome::ignored;
    RequestFile request = readRequestFile(input.get(), requestFileName, requestPath);
    if (!request.present || state.unremovableRequests.contains(request.identity))
        return RequestOutcome::ignored;

    LockedFile& output = *params.standardOutputFile;
    output.writeUnderLock(stringPrintf("\n\n\nProcessing File \"%s\" \n", requestFileName.c_str()), true);
    Timer timer = startTimer(stringPrintf("Mapping time for \"%s\" request file", requestPath.c_str()));
    std::string problem = request.problem;
    const std::size_t longestPath =
        std::max(requestPath.size(), server.requestOutputDirectory.size() + 1 + requestFileName.size());
    if (problem.empty() && longestPath > longestRequestPath)
        problem = stringPrintf("its path or the path of its result is longer than %zu characters",
                               longestRequestPath);
    std::unique_ptr<SequenceFile> sequenceFile;
    if (problem.empty()) {
        SequenceFileOpening opening = openSequenceFile(std::move(request.contents), 0, requestEndMarker);
        if (opening.incomplete) {
            stopPrintAndFreePrintTime(output, timer, true);
            return RequestOutcome::incomplete;
        }
        problem = std::move(opening.problem);
        sequenceFile = std::move(opening.sequenceFile);
    }
    if (!answerRequest(params, indexes, requestFileName, sequenceFile.get(), problem, state)) {
        stopPrintAndFreePrintTime(output, timer, true);
        return RequestOutcome::waiting;
    }
    sequenceFile.reset();
    removeRequest(input.get(), requestFileName, requestPath, request.identity, state);
    stopPrintAndFreePrintTime(output, timer, true);
    return RequestOutcome::answered;
}

std::uint32_t pollInteractiveRequests(const ExecutionParameters& params, const BinaryIndexes& indexes,
                                      InteractiveServerState& state) {
    // A directory removed or made unwritable (while it is replaced, say) makes requests wait, not the
    // server end: it answers them once the directory is back.
    const auto& server = params.interactiveServerRequestParameters;
    if (!noteDirectoryState("input", server.requestInputDirectory,
                            directoryProblem(server.requestInputDirectory, R_OK | X_OK),
                            state.inputDirectoryProblem) ||
        !noteDirectoryState("output", server.requestOutputDirectory,
                            directoryProblem(server.requestOutputDirectory, W_OK | X_OK),
                            state.outputDirectoryProblem))
        return 0;
    std::uint32_t answered = 0;
    for (const std::string& name : listRequestNames(server.requestInputDirectory)) {
        const RequestOutcome outcome = processInteractiveRequest(params, indexes, name, state);
        if (outcome == RequestOutcome::waiting) break;
        if (outcome == RequestOutcome::answered) ++answered;
    }
    return answered;
}

void startServer(const ExecutionParameters& params, const BinaryIndexes& indexes) {
    // One SAM file collects every request's records, so it gets its header once, first.
    if (params.samOutputRequestParameters.isSamOutputRequest)
        writeSamFileHeader(params, *indexes.genomeSequence);
    params.standardOutputFile->writeUnderLock("\n\nKORU server is ready to process requests!!!\n\n", true);
    InteractiveServerState state;
    const std::chrono::microseconds pause =
        serverCheckInterval(params.interactiveServerRequestParameters.intervalBetweenRequestCheck);
    // An incomplete request is listed again at every pass, so only a pass that answered a
    // request may go on without waiting.
    for (;;)
        if (pollInteractiveRequests(params, indexes, state) == 0) std::this_thread::sleep_for(pause);
}

}  // namespace koru
