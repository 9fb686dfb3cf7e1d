#pragma once
// Allocation that never returns failure: running out of memory prints the system's fixed
// message and ends the process. Containers (std::vector, std::string) reach the same message
// through the new-handler installed by installAllocationFailureHandler.

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace koru {

extern const char* const allocationFailureMessage;

[[noreturn]] void exitOnAllocationFailure();

// Routes every failed operator new to exitOnAllocationFailure. Called once by main.
void installAllocationFailureHandler();

struct FreeDeleter {
    void operator()(void* memory) const noexcept { std::free(memory); }
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

template <class T>
CArray<T> allocateZeroedArray(std::size_t count) {
    return CArray<T>(static_cast<T*>(callocExitIfNull(count, sizeof(T))));
}

}  // namespace koru
