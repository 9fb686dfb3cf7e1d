#pragma once
// Indel detection. A read carrying a short insertion or deletion hits two nearby candidates of
// one orientation: the keys before the indel one, the keys after it the other, shifted by the
// indel's size. For each such pair the word scores tell which side is which and whether the
// reference or the read holds the extra bases; the split of the read that leaves the fewest
// mismatches is searched, and when the gapped placement beats both candidates it is recorded on
// the candidate that starts at the read's true start, which is rescored and re-ranked.

#include <cstdint>
#include <string_view>
#include <vector>

#include "candidates/candidate_positions.h"
#include "genome/genome_sequence.h"
#include "mapping/mapping_parameters.h"
#include "sequence/read_pair.h"

namespace koru {

void processIndelCandidates(const MappingParameters& params, CandidatePositions& store, Read& read,
                            const GenomeSequence& genome);

// A split leaves 30 bases before it and 31 after, so shorter reads are not searched for indels.
inline constexpr std::uint32_t shortestReadSearchedForIndels = 61;

// The largest indel searched for in a read of that length: none below the shortest searched.
inline std::uint32_t maximumIndelSearchedFor(const MappingParameters& params, std::uint32_t readLength) {
    return readLength < shortestReadSearchedForIndels ? 0 : params.maximumSizeOfIndelToDetect;
}

struct IndelSplit {
    std::uint32_t split = 0;
    std::uint16_t total = 0;
};

// The split s in [30, readLength - 31] minimising the mismatches of x[i] against y[i] before s
// plus x[j + shift] against y[j] from s to compared - 1; the smallest split wins ties. Positions
// past the end of either text count as mismatches.
// With `suffix` as scratch.
IndelSplit findBestIndelSplit(std::string_view x, std::string_view y, std::uint32_t shift,
                              std::uint32_t readLength, std::uint32_t compared,
                              std::vector<std::uint32_t>& suffix);
IndelSplit findBestIndelSplit(std::string_view x, std::string_view y, std::uint32_t shift,
                              std::uint32_t readLength, std::uint32_t compared);

}  // namespace koru
