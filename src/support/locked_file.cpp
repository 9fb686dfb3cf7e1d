#include "support/locked_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/errors.h"
#include "support/files.h"
#include "support/text_format.h"

namespace koru {

namespace {

[[noreturn]] void exitOnWriteFailure(const std::string& fileName, int error) {
    exitWithErrorFormat("Could not write to the file \"%s\": %s.\n", fileName.c_str(), std::strerror(error));
}

}  // namespace

LockedFile::LockedFile(std::FILE* handle, std::string fileName, std::string accessMode, bool isStandardOutput)
    : handle_(handle),
      fileName_(std::move(fileName)),
      accessMode_(std::move(accessMode)),
      isStandardOutput_(isStandardOutput) {
    omp_init_lock(&lock_);
}

LockedFile::~LockedFile() {
    // An unchecked close only happens on paths that are already ending the run.
    if (handle_ != nullptr && !isStandardOutput_) std::fclose(handle_);
    omp_destroy_lock(&lock_);
}

void LockedFile::write(std::string_view text) {
    if (text.empty()) return;
    if (beforeWrite_) beforeWrite_();
    if (std::fwrite(text.data(), 1, text.size(), handle_) != text.size())
        exitOnWriteFailure(fileName_, errno);
}

void LockedFile::flushFile() {
    if (std::fflush(handle_) != 0) exitOnWriteFailure(fileName_, errno);
}

void LockedFile::writeUnderLock(std::string_view text, bool flush) {
    LockedFileGuard guard(*this);
    write(text);
    if (flush) flushFile();
}

void LockedFile::close() {
    if (handle_ == nullptr) return;
    if (accessMode_[0] == 'w') flushFile();
    if (isStandardOutput_) return;
    std::FILE* handle = handle_;
    handle_ = nullptr;
    if (std::fclose(handle) != 0 && accessMode_[0] == 'w') exitOnWriteFailure(fileName_, errno);
}

std::unique_ptr<LockedFile> createLockedFile(const std::string& fileName, bool forReading, bool binary) {
    if (forReading) errorIfFileDoesNotExistOrNotAccessible(fileName, R_OK, "The file");
    std::string mode = forReading ? "r" : "w";
    if (binary) mode += 'b';
    std::FILE* handle = std::fopen(fileName.c_str(), mode.c_str());
    errorIfFileIsNull(handle, fileName);
    return std::make_unique<LockedFile>(handle, fileName, mode, false);
}

std::unique_ptr<LockedFile> createLockedFileForStdout() {
    return std::make_unique<LockedFile>(stdout, "stdout", "w", true);
}

std::unique_ptr<LockedFile> createLockedFileForStderr() {
    return std::make_unique<LockedFile>(stderr, "stderr", "w", true);
}

std::string lockedFileDescription(std::string_view fileName, std::string_view accessMode,
                                  const char* prefix) {
    std::string text = stringPrintf("%sLocked File: \n", prefix);
    appendPrintf(text, "%s\tFile Name = %.*s \n", prefix, static_cast<int>(fileName.size()), fileName.data());
    appendPrintf(text, "%s\tFile access mode = %.*s \n", prefix, static_cast<int>(accessMode.size()),
                 accessMode.data());
    return text;
}

std::string lockedFileToString(const LockedFile* file, const char* prefix) {
    if (file == nullptr) return stringPrintf("%sLocked File: \n", prefix);
    return lockedFileDescription(file->fileName(), file->accessMode(), prefix);
}

void printLockedFile(std::FILE* output, const LockedFile* file, const char* prefix) {
    std::fputs(lockedFileToString(file, prefix).c_str(), output);
}

}  // namespace koru
