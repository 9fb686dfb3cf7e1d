#pragma once
// A merge of two ascending lists of positions into the first.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace koru {

// Merges the ascending `added` into the ascending `list`, from the back and in place: the list's
// entries below the first added one stay where they are. Without a branch on which side an entry
// comes from: where the two sides interleave at random, a branch mispredicts half the time.
inline void mergeSortedFromTheBack(std::vector<std::uint32_t>& list, std::span<const std::uint32_t> added) {
    auto i = static_cast<std::ptrdiff_t>(list.size()) - 1;
    auto j = static_cast<std::ptrdiff_t>(added.size()) - 1;
    list.resize(list.size() + added.size());
    std::uint32_t* const out = list.data();
    for (std::ptrdiff_t k = static_cast<std::ptrdiff_t>(list.size()) - 1; j >= 0; --k) {
        const std::uint32_t fromList = i >= 0 ? out[i] : 0, fromAdded = added[static_cast<std::size_t>(j)];
        const bool takeList = i >= 0 && fromList > fromAdded;
        out[k] = takeList ? fromList : fromAdded;
        i -= takeList ? 1 : 0;
        j -= takeList ? 0 : 1;
    }
}

}  // namespace koru
