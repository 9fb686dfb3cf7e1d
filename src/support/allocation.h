#pragma once
// Allocation that never returns failure: running out of memory prints one message, with what
// the run needs once it knows, and ends the process. Containers (std::vector, std::string) reach
// the same message through the new-handler installed by installAllocationFailureHandler.

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace koru {

[[noreturn]] void exitOnAllocationFailure();

// What the run needs, as it computed it ("building the index of ... needs about 2.3 GiB"), for the
// message of a failed allocation; kept without allocating, as that message is printed when memory
// has run out.
void describeMemoryNeed(std::string_view need);

// Routes every failed operator new to exitOnAllocationFailure. Called once by main.
void installAllocationFailureHandler();

// Frees memory the array owns; an array over memory it does not own (a region of a mapped
// index file) frees nothing.
struct FreeDeleter {
    bool owns = true;
    void operator()(void* memory) const noexcept {
        if (owns) std::free(memory);
    }
};

// An owned C allocation. Large zero-filled tables use calloc because the kernel hands out
// zeroed pages lazily, so untouched parts of a table cost no memory.
template <class T>
using CArray = std::unique_ptr<T[], FreeDeleter>;

void* callocExitIfNull(std::size_t count, std::size_t size);
void* mallocExitIfNull(std::size_t size);

// Zero-filled room for count elements plus a terminator: count + 2 elements when size is
// 1 (or 0), count + 1 elements otherwise.
void* callocAndTerminate(std::size_t count, std::size_t size);

// Asks the kernel to back a large region with huge pages: far fewer page faults when it is
// first written, and fewer TLB misses when it is read at random (the index tables).
void adviseHugePages(void* memory, std::size_t bytes);

// A large block of zeroed memory of its own pages, aligned to and backed by huge pages where the
// kernel offers them. Random reads of an index across gigabytes miss the TLB at nearly every
// access with 4 KiB pages, and on virtual machines each miss walks two page tables; and the first
// touch of a huge page costs a fraction of touching its 512 small ones.
class HugePageMemory {
  public:
    explicit HugePageMemory(std::size_t bytes);
    ~HugePageMemory();
    HugePageMemory(const HugePageMemory&) = delete;
    HugePageMemory& operator=(const HugePageMemory&) = delete;

    unsigned char* data() const { return data_; }
    std::size_t size() const { return bytes_; }

  private:
    void* mapping_ = nullptr;
    std::size_t mappingBytes_ = 0;
    unsigned char* data_ = nullptr;
    std::size_t bytes_ = 0;
};

// A view of memory someone else owns, with the interface of an owned array.
template <class T>
CArray<T> borrowArray(const T* memory) {
    return CArray<T>(const_cast<T*>(memory), FreeDeleter{false});
}

template <class T>
CArray<T> allocateZeroedArray(std::size_t count) {
    CArray<T> array(static_cast<T*>(callocExitIfNull(count, sizeof(T))));
    adviseHugePages(array.get(), count * sizeof(T));
    return array;
}

}  // namespace koru
