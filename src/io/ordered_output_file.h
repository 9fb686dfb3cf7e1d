#pragma once
// Output in input order whatever the thread count. The input is cut into items (a chunk of read
// pairs, a sequence file), each numbered by its first pair or its place in a list; the item
// starting at `start` and ending before `end` is followed by the one starting at `end`. A thread
// writes its item's text in parts as its buffer fills, each part waiting until every earlier item
// is written; an item's last part never waits: it is kept when its turn has not come and written
// by whichever thread completes the items before it. So threads rarely wait, and runs with any
// thread count write byte-identical files.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "support/locked_file.h"

namespace koru {

class OrderedOutputFile {
  public:
    explicit OrderedOutputFile(LockedFile& file, std::uint64_t firstItem = 0);
    OrderedOutputFile(const OrderedOutputFile&) = delete;
    OrderedOutputFile& operator=(const OrderedOutputFile&) = delete;

    LockedFile& file() { return file_; }

    // Writes a part of the item starting at `start` once every earlier item is written, and
    // empties the text.
    void writePart(std::uint64_t start, std::string& text);
    // The item's last part. The text is emptied; when it has to be kept, a spare buffer is
    // swapped in so that the caller keeps one of the same size.
    void finish(std::uint64_t start, std::uint64_t end, std::string& text);

  private:
    struct KeptItem {
        std::uint64_t end = 0;
        std::string text;
    };
    // Items kept at most while an earlier one is still being mapped; past that, a thread waits.
    static constexpr std::size_t maximumKeptItems = 16;

    // Writes the kept items whose turn has come; the caller holds the lock.
    void writeKeptItems();
    void writeOut(std::string& text);

    LockedFile& file_;
    std::mutex lock_;
    std::condition_variable turnChanged_;
    std::uint64_t next_;
    std::map<std::uint64_t, KeptItem> kept_;
    std::vector<std::string> spare_;
};

}  // namespace koru
