#include "support/allocation.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>

#include "support/errors.h"

namespace koru {

namespace {

constexpr std::string_view memoryRanOut = "The host could not provide the memory koru asked for";
// The whole message, composed when the run's need is known: nothing may be allocated once memory
// has run out.
char allocationFailureMessage[1024] = "The host could not provide the memory koru asked for.\n";

}  // namespace

void describeMemoryNeed(std::string_view need) {
    const std::string message = std::string(memoryRanOut) + ": " + std::string(need) + ".\n";
    const std::size_t length = std::min(message.size(), sizeof allocationFailureMessage - 1);
    message.copy(allocationFailureMessage, length);
    allocationFailureMessage[length] = '\0';
}

void exitOnAllocationFailure() {
    exitWithError(allocationFailureMessage);
}

void installAllocationFailureHandler() {
    std::set_new_handler(exitOnAllocationFailure);
}

void* callocExitIfNull(std::size_t count, std::size_t size) {
    // calloc(0, n) may legitimately return null; ask for one byte so callers always get memory.
    void* memory = std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
    if (memory == nullptr) exitOnAllocationFailure();
    return memory;
}

void* mallocExitIfNull(std::size_t size) {
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) exitOnAllocationFailure();
    return memory;
}

void adviseHugePages(void* memory, std::size_t bytes) {
    constexpr std::uintptr_t hugePage = std::uintptr_t{2} << 20;
    if (bytes < 4 * hugePage) return;
    const auto start = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t first = (start + hugePage - 1) & ~(hugePage - 1);
    const std::uintptr_t last = (start + bytes) & ~(hugePage - 1);
    // Only advice: a kernel without huge pages simply ignores it.
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

HugePageMemory::HugePageMemory(std::size_t bytes) : bytes_(bytes) {
    constexpr std::size_t hugePage = std::size_t{2} << 20;
    mappingBytes_ = (bytes + hugePage - 1) / hugePage * hugePage + hugePage;
    mapping_ = mmap(nullptr, mappingBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping_ == MAP_FAILED) exitOnAllocationFailure();
    const auto start = reinterpret_cast<std::uintptr_t>(mapping_);
    data_ = reinterpret_cast<unsigned char*>((start + hugePage - 1) & ~std::uintptr_t{hugePage - 1});
    // Only advice: a kernel without huge pages simply ignores it.
    madvise(data_, mappingBytes_ - hugePage, MADV_HUGEPAGE);
}

HugePageMemory::~HugePageMemory() {
    munmap(mapping_, mappingBytes_);
}

void* callocAndTerminate(std::size_t count, std::size_t size) {
    if (size <= 1) return callocExitIfNull(count + 2, 1);
    return callocExitIfNull(count + 1, size);
}

}  // namespace koru
