#pragma once
// Junction rescue: the other part of a junction read is often too short to become a candidate (a
// part of 32 to 49 bases holds one or two keys, and a candidate needs two), so detection among
// the candidates misses it. Both parts lie within the concordant window of the mate (one near it,
// the other at the fragment's far end), so there the genome is compared directly with the 32
// bases at the read's unmatched end, in both orientations. A single place matching them with few
// mismatches becomes the fragment; two such places (a repeat) leave the read as it was.

#include <cstdint>

#include "candidates/candidate_positions.h"
#include "genome/genome_sequence.h"
#include "sequence/read_pair.h"

namespace koru {

struct JunctionRescueSearch {
    std::uint32_t matePosition = 0;
    std::uint32_t window = 0;             // bases searched on either side of the mate
    std::uint32_t maximumMismatches = 0;  // in the 32 bases of the unmatched end
};

// Fills `fragment` (position, orientation and scores of the read placed there) from the read's
// own candidate `own`; false when the read's ends match alike, or no single place fits.
bool findJunctionFragmentNearMate(const Read& read, const CandidatePosition& own,
                                  const JunctionRescueSearch& search, const GenomeSequence& genome,
                                  CandidatePosition& fragment);

}  // namespace koru
