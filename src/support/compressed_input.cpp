#include "support/compressed_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "support/allocation.h"
#include "support/errors.h"

namespace koru {

namespace {

// Reads of 64 KiB cost no more per byte than larger ones, and the buffer stays small for the
// many inputs a process may open.
constexpr std::size_t inputBytes = std::size_t{1} << 16;

bool startsGzipMember(const unsigned char* bytes) {
    return bytes[0] == 0x1f && bytes[1] == 0x8b;
}

}  // namespace

void exitOnCorruptGzip(const std::string& fileName, const char* reason) {
    exitWithErrorFormat("ERROR: The gzip file \"%s\" could not be decompressed: %s.\n", fileName.c_str(),
                        reason);
}

CompressedInput::CompressedInput(const std::string& fileName)
    : fileName_(fileName),
      file_(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC)),
      input_(std::make_unique_for_overwrite<unsigned char[]>(inputBytes)) {
    if (!file_)
        exitWithErrorFormat("Could not open the file \"%s\": %s.\n", fileName.c_str(), std::strerror(errno));
    // A pipe may hand over its first bytes one at a time.
    while (end_ < 2 && fill()) {
    }
    gzip_ = end_ >= 2 && startsGzipMember(input_.get());
    if (!gzip_) return;
    if (inflateInit2(&stream_, 15 + 16) != Z_OK) exitOnAllocationFailure();
    inMember_ = true;
}

CompressedInput::~CompressedInput() {
    if (gzip_) inflateEnd(&stream_);
}

// Appends raw bytes after those not yet used, moved to the front first; false at the end of the file.
bool CompressedInput::fill() {
    if (endOfFile_) return false;
    std::memmove(input_.get(), input_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    for (;;) {
        const ssize_t count = ::read(file_.get(), input_.get() + end_, inputBytes - end_);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0)
            exitWithErrorFormat("Could not read the file \"%s\": %s.\n", fileName_.c_str(),
                                std::strerror(errno));
        endOfFile_ = count == 0;
        end_ += static_cast<std::size_t>(count);
        fileBytesRead_.store(
            fileBytesRead_.load(std::memory_order_relaxed) + static_cast<std::uint64_t>(count),
            std::memory_order_relaxed);
        return count > 0;
    }
}

std::size_t CompressedInput::readPlain(char* out, std::size_t capacity) {
    std::size_t copied = 0;
    while (copied < capacity && (begin_ < end_ || fill())) {
        const std::size_t count = std::min(end_ - begin_, capacity - copied);
        std::memcpy(out + copied, input_.get() + begin_, count);
        begin_ += count;
        copied += count;
    }
    return copied;
}

// What follows a member must be another member: anything else would be read past unnoticed.
void CompressedInput::startMember() {
    if (end_ - begin_ < 2) fill();
    if (end_ - begin_ < 2 || !startsGzipMember(input_.get() + begin_))
        exitOnCorruptGzip(fileName_, "it has data after the end of the compressed stream");
    inflateReset(&stream_);
    inMember_ = true;
}

std::size_t CompressedInput::read(char* out, std::size_t capacity) {
    if (!gzip_) return readPlain(out, capacity);
    const auto wanted = static_cast<uInt>(std::min<std::size_t>(capacity, UINT_MAX));
    stream_.next_out = reinterpret_cast<unsigned char*>(out);
    stream_.avail_out = wanted;
    while (stream_.avail_out > 0) {
        if (begin_ == end_ && !fill()) {
            if (inMember_) exitOnCorruptGzip(fileName_, "it ends in the middle of the compressed stream");
            break;
        }
        if (!inMember_) startMember();
        stream_.next_in = input_.get() + begin_;
        stream_.avail_in = static_cast<uInt>(end_ - begin_);
        const int status = inflate(&stream_, Z_NO_FLUSH);
        begin_ = end_ - stream_.avail_in;
        if (status == Z_STREAM_END) inMember_ = false;
        if (status == Z_MEM_ERROR) exitOnAllocationFailure();
        // Z_BUF_ERROR: all input used, more is read above; with input left it would never end.
        if ((status == Z_BUF_ERROR && begin_ < end_) ||
            (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR))
            exitOnCorruptGzip(fileName_,
                              stream_.msg != nullptr ? stream_.msg : "the compressed data is invalid");
    }
    return wanted - stream_.avail_out;
}

}  // namespace koru
