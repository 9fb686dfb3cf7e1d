#pragma once
// A file shared by the threads of the run, with the one lock every user takes around its own
// reads, writes and seeks. The lock serialises this process's threads only; it is not an
// operating-system lock on the file.

#include <omp.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace koru {

class LockedFile {
  public:
    LockedFile(std::FILE* handle, std::string fileName, std::string accessMode, bool isStandardOutput);
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    std::FILE* stream() const { return handle_; }
    const std::string& fileName() const { return fileName_; }
    const std::string& accessMode() const { return accessMode_; }
    bool isStandardOutput() const { return isStandardOutput_; }

    void lockFile() { omp_set_lock(&lock_); }
    void unlockFile() { omp_unset_lock(&lock_); }

    // Checked output: a failed write or flush (a full disk, a closed pipe) ends the run with a
    // message instead of letting it report success. The caller holds the lock or needs none.
    void write(std::string_view text);
    void flushFile();
    // Writes the text and flushes it, under the lock.
    void writeUnderLock(std::string_view text, bool flush = false);
    // Flushes and closes the file, checking both; standard output is flushed, never closed.
    void close();
    // Called before every write: the run's report file clears the progress line with it.
    void setBeforeWrite(std::function<void()> hook) { beforeWrite_ = std::move(hook); }

  private:
    std::FILE* handle_;
    std::string fileName_;
    std::string accessMode_;
    bool isStandardOutput_;
    omp_lock_t lock_;
    std::function<void()> beforeWrite_;
};

// Holds a LockedFile's lock for a scope.
class LockedFileGuard {
  public:
    explicit LockedFileGuard(LockedFile& file) : file_(file) { file_.lockFile(); }
    ~LockedFileGuard() { file_.unlockFile(); }
    LockedFileGuard(const LockedFileGuard&) = delete;
    LockedFileGuard& operator=(const LockedFileGuard&) = delete;

  private:
    LockedFile& file_;
};

// Opens the file in mode "r" or "w", with "b" appended for binary access. A file to read must
// exist and be readable first; a file that cannot be opened ends the run.
std::unique_ptr<LockedFile> createLockedFile(const std::string& fileName, bool forReading, bool binary);
std::unique_ptr<LockedFile> createLockedFileForStdout();
// For the run's reports when standard output carries the SAM output.
std::unique_ptr<LockedFile> createLockedFileForStderr();

void printLockedFile(std::FILE* output, const LockedFile* file, const char* prefix);
std::string lockedFileToString(const LockedFile* file, const char* prefix);
// The same description for a file that is named but not opened yet.
std::string lockedFileDescription(std::string_view fileName, std::string_view accessMode, const char* prefix);

}  // namespace koru
