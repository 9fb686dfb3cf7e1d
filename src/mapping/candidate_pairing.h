#pragma once
// The pairing of two reads' scored candidates inside the concordant window: the best pair, and
// whether another place of either read fits its mate as well.

#include <cstdint>
#include <vector>

#include "candidates/candidate_positions.h"

namespace koru {

struct Pairing {
    PairedAlignmentCandidate best;
    std::uint64_t pairsEvaluated = 0;
    // Another pair in the window has the best pair's scores with another candidate of read A (of B).
    bool tiedA = false;
    bool tiedB = false;

    bool hasConcordantPair() const { return best.aggregatePrimaryScore != kNotScored; }
};

// Read B's candidates as the pairing reads them, one array per field (ranks, positions, scores).
struct PairingScratch {
    std::vector<std::uint64_t> ranks;
    std::vector<std::uint32_t> positions;
    std::vector<std::uint32_t> scores;
};

// Every candidate of read B within the window of each candidate of read A, in ascending
// positions; the best pair by aggregate primary score, then secondary, then more keys; the
// earlier pair stays on a full tie. Pairs that match the best one's scores mark which read has
// another place that fits the mate as well. The window's start only moves forward, so this is
// linear in both lists plus the pairs evaluated; read B's ranks and positions are laid out in
// arrays of their own first, as a repeat's reads can pair hundreds of millions of times.
Pairing pairInsideWindow(std::vector<CandidatePosition>& readA, std::vector<CandidatePosition>& readB,
                         std::uint32_t window, PairingScratch& scratch);

}  // namespace koru
