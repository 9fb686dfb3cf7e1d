#include "io/buffered_file_writer.h"

namespace koru {

BufferedFileWriter::BufferedFileWriter(LockedFile& file, std::uint32_t capacity)
    : file_(file), capacity_(capacity == 0 ? defaultCapacity : capacity) {
    buffer_.reserve(capacity_);
}

BufferedFileWriter::~BufferedFileWriter() {
    flush();
}

void BufferedFileWriter::write(std::string_view text) {
    if (text.size() > freeSpace()) flush();
    // A text longer than the whole buffer goes out on its own rather than being cut.
    if (text.size() > capacity_) {
        file_.writeUnderLock(text, true);
        return;
    }
    buffer_.append(text);
}

void BufferedFileWriter::flushIfRequestedFreeBufferSpaceUnAvailable(std::uint64_t requested) {
    if (requested > freeSpace()) flush();
}

void BufferedFileWriter::flush() {
    if (buffer_.empty()) return;
    file_.writeUnderLock(buffer_, true);
    buffer_.clear();
}

}  // namespace koru
