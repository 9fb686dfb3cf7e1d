#include "io/buffered_file_writer.h"

namespace koru {

BufferedFileWriter::BufferedFileWriter(LockedFile& file, std::uint32_t capacity)
    : file_(file), capacity_(capacity == 0 ? defaultCapacity : capacity) {
    buffer_.reserve(capacity_);
}

BufferedFileWriter::BufferedFileWriter(OrderedOutputFile& ordered, std::uint32_t capacity)
    : file_(ordered.file()), ordered_(&ordered), capacity_(capacity == 0 ? defaultCapacity : capacity) {
    buffer_.reserve(capacity_);
}

BufferedFileWriter::~BufferedFileWriter() {
    flush();
}

void BufferedFileWriter::writeOut(std::string& text) {
    if (ordered_ != nullptr) {
        ordered_->writePart(itemStart_, text);
        return;
    }
    file_.writeUnderLock(text, true);
    text.clear();
}

void BufferedFileWriter::write(std::string_view text) {
    if (text.size() > freeSpace()) flush();
    buffer_.append(text);
    // A text longer than the whole buffer goes out on its own rather than being cut.
    if (buffer_.size() > capacity_) flush();
}

void BufferedFileWriter::flushIfRequestedFreeBufferSpaceUnAvailable(std::uint64_t requested) {
    if (requested > freeSpace()) flush();
}

void BufferedFileWriter::flush() {
    if (!buffer_.empty()) writeOut(buffer_);
}

void BufferedFileWriter::finishItem(std::uint64_t end) {
    if (ordered_ != nullptr) ordered_->finish(itemStart_, end, buffer_);
    itemStart_ = end;
}

}  // namespace koru
