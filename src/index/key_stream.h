#pragma once
// The hash keys of the genome. A key is 32 consecutive bits of one single-bit view of the bases:
//   encoding 0, AG  : the base-plane bit  (1 for A, G)
//   encoding 1, CG  : the check-plane bit (1 for C, G)
//   encoding 2, XOR : base XOR check      (1 for A, C)
// The key that ends at base b has the bit of base b - 31 on top and the bit of base b at the
// bottom; bits of bases before base 0 read as 0. The key stream of a genome of W words is the
// keys that end in words 0 to W - 3, in order: 32 (W - 2) keys, the first 31 zero-filled at the
// top. The last two words (a separator and its predecessor's padding) never end a window.

#include <cstdint>

namespace koru {

inline constexpr int numberOfKeyEncodings = 3;
inline constexpr int agKeyEncoding = 0;
inline constexpr int cgKeyEncoding = 1;
inline constexpr int xorKeyEncoding = 2;

// One encoding's view of the genome planes, word by word.
class KeyPlane {
  public:
    KeyPlane(const std::uint32_t* basePlane, const std::uint32_t* checkPlane, int encoding)
        : base_(basePlane), check_(checkPlane), encoding_(encoding) {}

    std::uint32_t word(std::uint64_t index) const {
        switch (encoding_) {
            case agKeyEncoding:
                return base_[index];
            case cgKeyEncoding:
                return check_[index];
            default:
                return base_[index] ^ check_[index];
        }
    }

  private:
    const std::uint32_t* base_;
    const std::uint32_t* check_;
    int encoding_;
};

// The number of keys in the key stream of a genome of W words.
inline std::uint64_t numberOfKeysInKeyStream(std::uint64_t words) {
    return words < 3 ? 0 : 32 * (words - 2);
}

// The genome position stored for the window that ends at base b: where the window starts. The
// 31 windows that start before base 0 are stored at position 0, so no position ever lies
// outside the genome.
inline std::uint32_t windowPosition(std::uint64_t endBase) {
    return endBase < 31 ? 0 : static_cast<std::uint32_t>(endBase - 31);
}

// Calls visit(key, position) for every window that ends in words first to last - 1, in order.
template <class Visitor>
inline void forEachWindow(const KeyPlane& plane, std::uint64_t first, std::uint64_t last, Visitor&& visit) {
    std::uint64_t previous = first == 0 ? 0 : plane.word(first - 1);
    std::uint64_t w = first;
    if (w == 0 && w < last) {
        // Only the windows that end in word 0 can start before base 0.
        previous = plane.word(0);
        for (int i = 0; i < 32; ++i)
            visit(static_cast<std::uint32_t>(previous >> (31 - i)),
                  windowPosition(static_cast<std::uint64_t>(i)));
        w = 1;
    }
    for (; w < last; ++w) {
        const std::uint64_t current = plane.word(w);
        const std::uint64_t pair = (previous << 32) | current;
        const auto start = static_cast<std::uint32_t>(32 * w - 31);
#pragma GCC unroll 32
        for (int i = 0; i < 32; ++i)
            visit(static_cast<std::uint32_t>(pair >> (31 - i)), start + static_cast<std::uint32_t>(i));
        previous = current;
    }
}

}  // namespace koru
