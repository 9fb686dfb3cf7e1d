#pragma once
// Checks on file names and handles, and directory listings. Each check ends the run with its
// fixed message when it fails, so callers go on only with usable files.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace koru {

// Returns when the path names something that exists and is accessible in the given mode
// (R_OK, ...); otherwise ends the run with a message naming the file as the label describes it
// ("The index file") and, when given, the option that named it ("--indexFile").
void errorIfFileDoesNotExistOrNotAccessible(std::string_view path, int accessMode, std::string_view label,
                                            std::string_view option = {});
// Ends the run when a file could not be opened, with the reason errno holds.
void errorIfFileIsNull(const std::FILE* handle, std::string_view fileName);

// A POSIX file descriptor closed at the end of its scope; negative when the open failed.
class FileDescriptor {
  public:
    explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return descriptor_; }
    explicit operator bool() const { return descriptor_ >= 0; }
    // Hands the descriptor to a new owner (a stream, for example).
    int release() { return std::exchange(descriptor_, -1); }

  private:
    int descriptor_;
};

// Whether two paths name one regular file: the same device and inode when both exist, the same
// path once links, "." and ".." are resolved when neither does. Devices and pipes (/dev/null
// named twice) are never one file in this sense: writing to them destroys nothing.
bool namesSameFile(const std::string& first, const std::string& second);

// Why a file could not be written at the path, found without changing an existing file (a new
// one is created and removed again); empty when it can be, or when it is a device or a pipe.
std::string whyFileCannotBeWritten(const std::string& path);

// A file being written that no failing run may leave behind: removed when the run ends with an
// error (through exit) or is ended by SIGINT, SIGTERM or SIGHUP, until it is kept. One at a time.
void removeIfRunFails(const std::string& path);
// The file is complete (or renamed into place): it stays.
void keepFileWhenRunFails();

// Writes a whole small output (a report, a table) to the file, replacing it; a failure ends the run
// naming the file by `label` and the option that named it ("report file", "--reportFile").
void writeWholeTextFile(const std::string& path, std::string_view text, const char* label,
                        const char* option);

// Size of an open file; its position is left where it was.
std::int64_t getFileSize(std::FILE* stream);

// The number of entry names of the directory ("." and ".." included) that the POSIX basic
// regular expression matches anywhere; 0 when the directory cannot be opened.
std::uint32_t getNumberOfMatchingFiles(const std::string& directory, const std::string& pattern);

// The matching entry names, sorted by name in the collation order of the current locale.
std::vector<std::string> getMatchingFileNames(const std::string& directory, const std::string& pattern);

}  // namespace koru
