#pragma once
// A software prefetch the compiler must keep. __builtin_prefetch has no effect the optimiser must
// preserve, and GCC removed those of the candidate scoring loop altogether; written as an
// instruction, a prefetch stays where it was put.

namespace koru {

inline void prefetchLine(const void* address) {
#if defined(__x86_64__)
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(address)));
#else
    __builtin_prefetch(address);
#endif
}

}  // namespace koru
