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

// One encoding's view of the genome planes (interleaved: base word w at 2w, check word at 2w + 1),
// word by word.
class KeyPlane {
  public:
    KeyPlane(const std::uint32_t* planePairs, int encoding) : pairs_(planePairs), encoding_(encoding) {}

    std::uint32_t word(std::uint64_t index) const {
        switch (encoding_) {
            case agKeyEncoding:
                return pairs_[2 * index];
            case cgKeyEncoding:
                return pairs_[2 * index + 1];
            default:
                return pairs_[2 * index] ^ pairs_[2 * index + 1];
        }
    }

  private:
    const std::uint32_t* pairs_;
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

// The sampling steps an index supports: a window is listed when its start is a multiple of the
// step. Every step divides 32, so the listed windows sit at the same bits of every word.
inline bool isSupportedSamplingStep(std::uint32_t step) {
    return step == 1 || step == 2 || step == 4 || step == 8;
}

// The windows of the key stream that an index of that sampling step lists. A window that ends at
// base b starts at b - 31, a multiple of the step exactly when b + 1 is (the step divides 32).
inline std::uint64_t numberOfListedWindows(std::uint64_t words, std::uint32_t step) {
    return numberOfKeysInKeyStream(words) / step;
}

// Calls visit(key, position) for every listed window that ends in words first to last - 1, in
// order: with step k, the windows that end at bits k - 1, 2k - 1, ..., 31 of each word. The step
// is a template argument so that the inner loop unrolls completely.
template <int Step, class Visitor>
inline void forEachWindowOfStep(const KeyPlane& plane, std::uint64_t first, std::uint64_t last,
                                Visitor&& visit) {
    std::uint64_t previous = first == 0 ? 0 : plane.word(first - 1);
    std::uint64_t w = first;
    if (w == 0 && w < last) {
        // Only the windows that end in word 0 can start before base 0.
        previous = plane.word(0);
        for (int i = Step - 1; i < 32; i += Step)
            visit(static_cast<std::uint32_t>(previous >> (31 - i)),
                  windowPosition(static_cast<std::uint64_t>(i)));
        w = 1;
    }
    for (; w < last; ++w) {
        const std::uint64_t current = plane.word(w);
        const std::uint64_t pair = (previous << 32) | current;
        const auto start = static_cast<std::uint32_t>(32 * w - 31);
#pragma GCC unroll 32
        for (int i = Step - 1; i < 32; i += Step)
            visit(static_cast<std::uint32_t>(pair >> (31 - i)), start + static_cast<std::uint32_t>(i));
        previous = current;
    }
}

template <class Visitor>
inline void forEachWindow(const KeyPlane& plane, std::uint64_t first, std::uint64_t last, std::uint32_t step,
                          Visitor&& visit) {
    switch (step) {
        case 2:
            return forEachWindowOfStep<2>(plane, first, last, visit);
        case 4:
            return forEachWindowOfStep<4>(plane, first, last, visit);
        case 8:
            return forEachWindowOfStep<8>(plane, first, last, visit);
        default:
            return forEachWindowOfStep<1>(plane, first, last, visit);
    }
}

}  // namespace koru
