#pragma once
// A thread's private output buffer on a shared output file. Text is collected in the buffer and
// written out whole under the file's lock, so the lock is taken once per buffer and the text of
// one buffer is never split by another thread's output.

#include <cstdint>
#include <string>
#include <string_view>

#include "io/ordered_output_file.h"
#include "support/locked_file.h"

namespace koru {

class BufferedFileWriter {
  public:
    static constexpr std::uint32_t defaultCapacity = 10'485'760;

    // capacity 0 means the default.
    BufferedFileWriter(LockedFile& file, std::uint32_t capacity);
    // A writer whose text goes out in input order: it belongs to the item begun last.
    BufferedFileWriter(OrderedOutputFile& ordered, std::uint32_t capacity);
    // Writes out what is left; a failed write ends the run.
    ~BufferedFileWriter();
    BufferedFileWriter(const BufferedFileWriter&) = delete;
    BufferedFileWriter& operator=(const BufferedFileWriter&) = delete;

    // Appends the text, writing the buffer out first when the text does not fit what is free.
    void write(std::string_view text);
    // Writes the buffer out when fewer than `requested` bytes are free, so that the next texts
    // (the records of one pair) land in one buffer.
    void flushIfRequestedFreeBufferSpaceUnAvailable(std::uint64_t requested);
    // Writes the collected text in one piece under the file's lock; an empty buffer takes no lock.
    void flush();
    // The buffer itself, for a formatter that appends a record in place instead of building it
    // elsewhere and copying it: first makes `bytes` free. A longer record still lands whole; the
    // buffer then grows past its capacity until the next flush.
    std::string& recordBuffer(std::uint64_t bytes) {
        flushIfRequestedFreeBufferSpaceUnAvailable(bytes);
        return buffer_;
    }

    // In input order: the texts from here on belong to the item starting at `start`; the item
    // ends before `end`.
    void beginItem(std::uint64_t start) { itemStart_ = start; }
    void finishItem(std::uint64_t end);

    std::uint64_t freeSpace() const { return buffer_.size() >= capacity_ ? 0 : capacity_ - buffer_.size(); }
    std::uint64_t usedSpace() const { return buffer_.size(); }

  private:
    void writeOut(std::string& text);

    LockedFile& file_;
    OrderedOutputFile* ordered_ = nullptr;
    std::uint64_t itemStart_ = 0;
    std::uint32_t capacity_;
    std::string buffer_;
};

}  // namespace koru
