#pragma once
// A pool of fixed-size records handed out in order from blocks of many records, so that the
// per-read stores cost one allocation per block instead of one per record. Records are never
// given back one by one: memory returns only when the whole pool goes.

#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

namespace koru {

template <class Record>
struct MemoryBlock {
    std::unique_ptr<Record[]> records;  // value-initialised, so zero-filled
    std::uint32_t capacity = 0;
    std::uint32_t recordsHandedOut = 0;
};

template <class Record>
bool areFreeRecordsAvailable(const MemoryBlock<Record>& block) {
    return block.capacity != block.recordsHandedOut;
}

template <class Record>
class MemoryBlocks {
    static_assert(std::is_trivially_destructible_v<Record>, "pool records are released without destruction");

  public:
    static constexpr std::uint32_t defaultRecordsPerBlock = 4096;

    // recordsPerBlock 0 means 4096. The pool starts with one block.
    explicit MemoryBlocks(std::uint32_t recordsPerBlock = 0)
        : recordsPerBlock_(recordsPerBlock == 0 ? defaultRecordsPerBlock : recordsPerBlock) {
        addMemoryBlock(0);
    }

    // The next unused record of the newest block, appending a block first when it is full.
    Record* getFreeRecordFromMemoryBlocks() {
        MemoryBlock<Record>* newest = &blocks_.back();
        if (!areFreeRecordsAvailable(*newest)) newest = &addMemoryBlock(0);
        return &newest->records[newest->recordsHandedOut++];
    }

    // Appends a block of count records (recordsPerBlock when count is 0); it becomes the newest.
    MemoryBlock<Record>& addMemoryBlock(std::uint32_t count) {
        const std::uint32_t capacity = count == 0 ? recordsPerBlock_ : count;
        blocks_.push_back({std::unique_ptr<Record[]>(new Record[capacity]()), capacity, 0});
        return blocks_.back();
    }

    std::uint32_t recordsPerBlock() const { return recordsPerBlock_; }
    std::size_t numberOfBlocks() const { return blocks_.size(); }
    const MemoryBlock<Record>& newestBlock() const { return blocks_.back(); }

  private:
    std::uint32_t recordsPerBlock_;
    std::vector<MemoryBlock<Record>> blocks_;
};

template <class Record>
std::unique_ptr<MemoryBlocks<Record>> createMemoryBlocks(std::uint32_t recordsPerBlock) {
    return std::make_unique<MemoryBlocks<Record>>(recordsPerBlock);
}

}  // namespace koru
