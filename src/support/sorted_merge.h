#pragma once
// A merge of two ascending lists of positions into the first.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace koru {

// Merges the ascending `added` into the ascending `list`, from the back and in place: the list's
// entries below the first added one stay where they are. A few added entries part the list into
// runs that move whole; many are merged entry by entry without a branch on which side an entry
// comes from, as where the two sides interleave at random a branch mispredicts half the time.
inline void mergeSortedFromTheBack(std::vector<std::uint32_t>& list, std::span<const std::uint32_t> added) {
    std::size_t i = list.size(), j = added.size();  // the entries of each side not yet placed
    list.resize(i + j);
    std::uint32_t* const out = list.data();
    if (j * 8 < i) {
        for (std::size_t k = i + j; j > 0; --j) {
            const std::uint32_t value = added[j - 1];
            const std::size_t above =
                static_cast<std::size_t>(out + i - std::upper_bound(out, out + i, value));
            std::memmove(out + k - above, out + i - above, above * sizeof(std::uint32_t));
            k -= above + 1;
            i -= above;
            out[k] = value;
        }
        return;
    }
    for (std::size_t k = i + j; j > 0;) {
        const std::uint32_t fromList = i > 0 ? out[i - 1] : 0, fromAdded = added[j - 1];
        const bool takeList = i > 0 && fromList > fromAdded;
        out[--k] = takeList ? fromList : fromAdded;
        i -= takeList ? 1 : 0;
        j -= takeList ? 0 : 1;
    }
}

}  // namespace koru
