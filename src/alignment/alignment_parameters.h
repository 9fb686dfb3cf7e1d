#pragma once
// What aligning a read and its mapping quality need from a run.

#include <cstdint>

namespace koru {

struct AlignmentParameters {
    std::uint32_t maximumNumberOfMismatchesInWholeReadForSimpleAlignment = 5;
    std::uint32_t phredQualityOffset = 33;
};

}  // namespace koru
