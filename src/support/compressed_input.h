#pragma once
// A file read from start to end, plain or gzip-compressed (told by its first bytes, not its
// name), for inputs too large to hold whole. Compressed files are checked as the whole-file reader
// checks them: every member is read, and damaged data, a cut stream or data after the last member
// end the run naming the file, so that both readers accept and refuse the same files.

#include <zlib.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "support/files.h"

namespace koru {

// Ends the run: the gzip file could not be decompressed, for the reason given.
[[noreturn]] void exitOnCorruptGzip(const std::string& fileName, const char* reason);

class CompressedInput {
  public:
    // Ends the run when the file cannot be opened.
    explicit CompressedInput(const std::string& fileName);
    ~CompressedInput();
    CompressedInput(const CompressedInput&) = delete;
    CompressedInput& operator=(const CompressedInput&) = delete;

    // Reads up to `capacity` bytes of the contents (decompressed); fewer only at the end, 0 after it.
    std::size_t read(char* out, std::size_t capacity);
    // Bytes read from the file so far (compressed ones for a gzip file), for progress shown from
    // another thread than the reading one.
    std::uint64_t fileBytesRead() const { return fileBytesRead_.load(std::memory_order_relaxed); }

  private:
    bool fill();
    std::size_t readPlain(char* out, std::size_t capacity);
    void startMember();

    std::string fileName_;
    FileDescriptor file_;
    // Left uninitialised: only what `read` fills is ever used, and zeroing a buffer per file opened
    // is all the time of a file of a few records.
    std::unique_ptr<unsigned char[]> input_;
    std::size_t begin_ = 0, end_ = 0;  // the raw bytes read but not yet used
    bool endOfFile_ = false;
    bool gzip_ = false;
    bool inMember_ = false;
    z_stream stream_{};
    std::atomic<std::uint64_t> fileBytesRead_{0};
};

}  // namespace koru
