#pragma once
// Mate rescue for reads that found no candidate: a short read with a substitution in each of its
// few keys, or a longer one whose keys are all broken by substitutions or an indel, though its
// mate places it within the concordant window. There the genome is compared with the read
// directly, in both orientations, and the place with the fewest mismatches, if few enough,
// becomes the read's candidate; scoring and pairing then treat it like any other.

#include <array>
#include <cstdint>
#include <vector>

#include "candidates/candidate_positions.h"
#include "genome/genome_sequence.h"
#include "sequence/read_pair.h"

namespace koru {

// At most this share of a rescued read's bases (or of either half's) may mismatch.
inline constexpr double rescuedReadMismatchShare = 0.1;

// Places are found through the read's seeds of this many bases, 16,384 codes.
inline constexpr unsigned seedBases = 7;

// A thread's buffers for rescues, kept from pair to pair.
struct MateRescueScratch {
    std::vector<std::uint32_t> seeds;  // the read's words: code << 16 | orientation << 15 | offset
    std::array<std::vector<std::uint32_t>, 2> places;  // per orientation, the places to score
    std::array<std::uint64_t, (std::size_t{1} << (2 * seedBases)) / 64> present{};  // the read's codes
};

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
                        CandidatePositions& store, MateRescueScratch& scratch);

}  // namespace koru
