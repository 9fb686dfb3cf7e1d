#include "io/ordered_output_file.h"

namespace koru {

OrderedOutputFile::OrderedOutputFile(LockedFile& file, std::uint64_t firstItem)
    : file_(file), next_(firstItem) {}

void OrderedOutputFile::writeOut(std::string& text) {
    if (!text.empty()) file_.writeUnderLock(text, true);
    text.clear();
}

void OrderedOutputFile::writePart(std::uint64_t start, std::string& text) {
    std::unique_lock<std::mutex> lock(lock_);
    turnChanged_.wait(lock, [&] { return next_ == start; });
    writeOut(text);
}

void OrderedOutputFile::finish(std::uint64_t start, std::uint64_t end, std::string& text) {
    std::unique_lock<std::mutex> lock(lock_);
    turnChanged_.wait(lock, [&] { return next_ == start || kept_.size() < maximumKeptItems; });
    if (next_ != start) {
        KeptItem& item = kept_[start];
        item.end = end;
        item.text.swap(text);
        if (!spare_.empty()) {
            text.swap(spare_.back());
            spare_.pop_back();
        }
        text.clear();
        return;
    }
    writeOut(text);
    next_ = end;
    writeKeptItems();
    lock.unlock();
    turnChanged_.notify_all();
}

void OrderedOutputFile::writeKeptItems() {
    for (auto item = kept_.find(next_); item != kept_.end(); item = kept_.find(next_)) {
        writeOut(item->second.text);
        next_ = item->second.end;
        spare_.push_back(std::move(item->second.text));
        kept_.erase(item);
    }
}

}  // namespace koru
