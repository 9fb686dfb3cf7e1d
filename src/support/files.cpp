#include "support/files.h"

#include <dirent.h>
#include <regex.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
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

void errorIfFileDoesNotExistOrNotAccessible(std::string_view path, int accessMode, std::string_view label) {
    const std::string labelText = toString(label);
    if (path.empty()) exitWithErrorFormat("%s name was null or an empty string.\n", labelText.c_str());
    const std::string pathText = toString(path);
    if (access(pathText.c_str(), F_OK) != 0)
        exitWithErrorFormat("%s \"%s\" does not exist.\n", labelText.c_str(), pathText.c_str());
    if (access(pathText.c_str(), accessMode) != 0)
        exitWithErrorFormat("%s \"%s\" is not accessible.\n", labelText.c_str(), pathText.c_str());
}

void errorIfFileIsNull(const std::FILE* handle, std::string_view fileName) {
    if (handle == nullptr)
        exitWithErrorFormat("The provided file, %s, does not exist or cannot be opened.",
                            toString(fileName).c_str());
}

void errorIfFileHandleProvidedToMethodIsNull(const std::FILE* handle, std::string_view functionName) {
    if (handle == nullptr)
        exitWithErrorFormat("A null file handle was provided to the \"%s\" function",
                            toString(functionName).c_str());
}

std::int64_t getFileSize(std::FILE* stream) {
    struct stat status {};
    if (fstat(fileno(stream), &status) != 0) return 0;
    return static_cast<std::int64_t>(status.st_size);
}

std::uint32_t getNumberOfMatchingFiles(const std::string& directory, const std::string& pattern) {
    errorIfFileDoesNotExistOrNotAccessible(directory, R_OK,
                                           "Directory passed to getNumberOfMatchingFiles function ");
    const BasicRegex regex(pattern);
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) return 0;
    std::uint32_t matches = 0;
    while (const dirent* entry = readdir(listing)) matches += regex.matches(entry->d_name) ? 1 : 0;
    closedir(listing);
    return matches;
}

std::vector<std::string> getMatchingFileNames(const std::string& directory, const std::string& pattern) {
    errorIfFileDoesNotExistOrNotAccessible(directory, R_OK,
                                           "Directory passed to getNumberOfMatchingFiles function ");
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
