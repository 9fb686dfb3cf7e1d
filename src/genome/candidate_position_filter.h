#pragma once
// A genome range left out of mapping, as the filter file names it and as the genome resolves it.

#include <cstdint>

namespace koru {

// One range of the candidate position filter file. The genome positions stay 0 until the
// chromosome table resolves them.
struct CandidatePositionFilter {
    std::uint32_t startPositionInGenome = 0;
    std::uint32_t endPositionInGenome = 0;
    std::uint32_t chromosome = 0;  // 1-based, as in the chromosome table
    std::uint32_t startPositionInChromosome = 0;
    std::uint32_t endPositionInChromosome = 0;
    std::uint32_t lineNumber = 0;  // where the record starts in the filter file, for messages
};

}  // namespace koru
