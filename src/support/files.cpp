#include "support/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <regex.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "support/errors.h"
#include "support/text_format.h"

namespace koru {

FileDescriptor::~FileDescriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

namespace {

std::string toString(std::string_view text) {
    return std::string(text);
}

// A compiled POSIX basic regular expression, freed with its scope.
class BasicRegex {
  public:
    explicit BasicRegex(const std::string& pattern) {
        if (regcomp(&regex_, pattern.c_str(), REG_NOSUB) != 0)
            exitWithErrorFormat("Could not compile \"%s\" regular expression.\n", pattern.c_str());
    }
    ~BasicRegex() { regfree(&regex_); }
    BasicRegex(const BasicRegex&) = delete;
    BasicRegex& operator=(const BasicRegex&) = delete;
    bool matches(const char* text) const { return regexec(&regex_, text, 0, nullptr, 0) == 0; }

  private:
    regex_t regex_;
};

}  // namespace

void errorIfFileDoesNotExistOrNotAccessible(std::string_view path, int accessMode, std::string_view label,
                                            std::string_view option) {
    const std::string labelText = toString(label);
    const std::string optionText = option.empty() ? std::string() : " (" + toString(option) + ")";
    if (path.empty())
        exitWithErrorFormat("%s%s was given an empty name.\n", labelText.c_str(), optionText.c_str());
    const std::string pathText = toString(path);
    if (access(pathText.c_str(), F_OK) != 0)
        exitWithErrorFormat("%s \"%s\"%s does not exist.\n", labelText.c_str(), pathText.c_str(),
                            optionText.c_str());
    if (access(pathText.c_str(), accessMode) != 0)
        exitWithErrorFormat("%s \"%s\"%s cannot be %s: %s.\n", labelText.c_str(), pathText.c_str(),
                            optionText.c_str(), accessMode == R_OK ? "read" : "used", std::strerror(errno));
}

void errorIfFileIsNull(const std::FILE* handle, std::string_view fileName) {
    if (handle != nullptr) return;
    const int error = errno;
    if (fileName.empty()) exitWithError("Could not open a file: it was given an empty name.\n");
    exitWithErrorFormat("Could not open the file \"%s\": %s.\n", toString(fileName).c_str(),
                        std::strerror(error));
}

bool namesSameFile(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    const bool firstExists = ::stat(first.c_str(), &a) == 0, secondExists = ::stat(second.c_str(), &b) == 0;
    if (firstExists && secondExists)
        return S_ISREG(a.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    if (firstExists || secondExists) return false;
    // Absolute first: a relative path with no existing part would be left as it is.
    const auto resolved = [](const std::string& path, std::error_code& error) {
        const std::filesystem::path absolute = std::filesystem::absolute(path, error);
        return error ? absolute : std::filesystem::weakly_canonical(absolute, error);
    };
    std::error_code firstError, secondError;
    const std::filesystem::path firstPath = resolved(first, firstError);
    const std::filesystem::path secondPath = resolved(second, secondError);
    return !firstError && !secondError && firstPath == secondPath;
}

std::string whyFileCannotBeWritten(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return "it is a directory";
        if (!S_ISREG(status.st_mode)) return {};
        // Opened without truncation: the earlier contents stay until the run really writes.
        const FileDescriptor file(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
        return file ? std::string() : std::strerror(errno);
    }
    if (errno != ENOENT) return std::strerror(errno);
    // A trial file tells about the directory's existence, kind, permissions and file system at once.
    const FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666));
    // EEXIST: a link to nothing, or a file made meanwhile; the real opening decides.
    if (!file) return errno == EEXIST ? std::string() : std::strerror(errno);
    ::unlink(path.c_str());
    return {};
}

namespace {

// Plain storage, so that the signal handler reads it without touching the heap.
char unfinishedFile[PATH_MAX + 1] = {};

void removeUnfinishedFile() {
    if (unfinishedFile[0] != '\0') ::unlink(unfinishedFile);
    unfinishedFile[0] = '\0';
}

void removeUnfinishedFileAndDie(int signalNumber) {
    removeUnfinishedFile();
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

}  // namespace

void removeIfRunFails(const std::string& path) {
    [[maybe_unused]] static const bool installed = [] {
        std::atexit(removeUnfinishedFile);
        for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
            std::signal(signalNumber, removeUnfinishedFileAndDie);
        return true;
    }();
    if (path.size() > PATH_MAX) return;
    path.copy(unfinishedFile, path.size());
    unfinishedFile[path.size()] = '\0';
}

void keepFileWhenRunFails() {
    unfinishedFile[0] = '\0';
}

void writeWholeTextFile(const std::string& path, std::string_view text, const char* label,
                        const char* option) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        exitWithErrorFormat("The %s \"%s\" (%s) could not be opened: %s.\n", label, path.c_str(), option,
                            std::strerror(errno));
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int error = errno;
    if (std::fclose(file) != 0 || !written)
        exitWithErrorFormat("The %s \"%s\" (%s) could not be written completely: %s.\n", label, path.c_str(),
                            option, std::strerror(written ? errno : error));
}

std::int64_t getFileSize(std::FILE* stream) {
    struct stat status {};
    if (fstat(fileno(stream), &status) != 0) return 0;
    return static_cast<std::int64_t>(status.st_size);
}

std::uint32_t getNumberOfMatchingFiles(const std::string& directory, const std::string& pattern) {
    errorIfFileDoesNotExistOrNotAccessible(directory, R_OK, "The directory");
    const BasicRegex regex(pattern);
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) return 0;
    std::uint32_t matches = 0;
    while (const dirent* entry = readdir(listing)) matches += regex.matches(entry->d_name) ? 1 : 0;
    closedir(listing);
    return matches;
}

std::vector<std::string> getMatchingFileNames(const std::string& directory, const std::string& pattern) {
    errorIfFileDoesNotExistOrNotAccessible(directory, R_OK, "The directory");
    const BasicRegex regex(pattern);
    dirent** entries = nullptr;
    const int count = scandir(directory.c_str(), &entries, nullptr, alphasort);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        if (regex.matches(entries[i]->d_name)) names.emplace_back(entries[i]->d_name);
        std::free(entries[i]);
    }
    std::free(entries);
    return names;
}

}  // namespace koru
