#pragma once
// Mate rescue for reads that found no candidate: a short read with a substitution in each of its
// few keys, or a longer one whose keys are all broken by substitutions or an indel, though its
// mate places it within the concordant window. There the genome is compared with the read
// directly, in both orientations, and the place with the fewest mismatches, if few enough,
// becomes the read's candidate; scoring and pairing then treat it like any other.

#include "candidates/candidate_positions.h"
#include "genome/genome_sequence.h"
#include "sequence/read_pair.h"

namespace koru {

// At most this share of a rescued read's bases (or of either half's) may mismatch.
inline constexpr double rescuedReadMismatchShare = 0.1;

struct MateRescueSearch {
    std::uint32_t keys = 1;          // the keys a rescued place counts in its orientation
    std::uint32_t maximumIndel = 0;  // the farthest apart the places of the read's halves may be
};

// Adds the read's best place within `window` of the mate's position, on the mate's chromosome, to
// the store's key hits; when no place fits the whole read, the places of its two halves, when
// each fits its half and they lie at most search.maximumIndel apart in one orientation. False
// when nothing was added.
bool rescueReadNearMate(const Read& read, std::uint32_t matePosition, std::uint32_t window,
                        const GenomeSequence& genome, const MateRescueSearch& search,
                        CandidatePositions& store);

}  // namespace koru
