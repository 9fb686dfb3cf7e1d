#pragma once
// Mate rescue for reads under two keys: a short read with a substitution in each of its few keys
// finds no candidate, though its mate places it within the concordant window. There the genome is
// compared with the read directly, in both orientations, and the place with the fewest mismatches,
// if few enough, becomes the read's candidate; scoring and pairing then treat it like any other.

#include "candidates/candidate_positions.h"
#include "genome/genome_sequence.h"
#include "sequence/read_pair.h"

namespace koru {

// At most this share of a rescued read's bases may mismatch.
inline constexpr double rescuedReadMismatchShare = 0.1;

// Adds the read's best place within `window` of the mate's position, on the mate's chromosome, to
// the store's key hits with one key in its orientation; false when no place is close enough.
bool rescueShortRead(const Read& read, std::uint32_t matePosition, std::uint32_t window,
                     const GenomeSequence& genome, CandidatePositions& store);

}  // namespace koru
