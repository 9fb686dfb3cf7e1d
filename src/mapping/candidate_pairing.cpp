#include "mapping/candidate_pairing.h"

#include <algorithm>

namespace koru {

namespace {

// A candidate's rank for pairing as one number, so that a pair's rank is the sum of its
// candidates' and a lower sum is a better pair: the primary score in the top bits, then the
// secondary, then the keys counted down from a ceiling no candidate reaches (a read has far fewer
// lookups). Sums of two fields fit their field: scores are 16 bits, the fields 17. A scored
// candidate's scores are at most its read's length, so the sums are those of 16-bit scores.
constexpr int secondaryShift = 30, primaryShift = 47;
constexpr std::uint64_t keysCeiling = (std::uint64_t{1} << 29) - 1;

std::uint64_t pairingRank(const MappingScores& scores) {
    const MismatchScores& s = scores.mismatchScores;
    const std::uint64_t keys = std::min<std::uint64_t>(scores.numberOfAssociatedKeys, keysCeiling);
    return std::uint64_t{s.primaryScore} << primaryShift | std::uint64_t{s.secondaryScore} << secondaryShift |
           (keysCeiling - keys);
}

}  // namespace

Pairing pairInsideWindow(std::vector<CandidatePosition>& readA, std::vector<CandidatePosition>& readB,
                         std::uint32_t window, PairingScratch& scratch) {
    const std::size_t sizeB = readB.size();
    scratch.ranks.resize(sizeB);
    scratch.positions.resize(sizeB);
    for (std::size_t j = 0; j < sizeB; ++j) {
        scratch.ranks[j] = pairingRank(readB[j].chosenMappingScores);
        scratch.positions[j] = readB[j].genomePosition;
    }
    const std::uint64_t* const ranksB = scratch.ranks.data();
    const std::uint32_t* const positionsB = scratch.positions.data();
    // The running best in locals, so that the loop over the pairs keeps it in registers.
    std::uint64_t best = ~std::uint64_t{0};
    std::size_t bestA = readA.size(), bestB = sizeB;  // none yet
    std::uint64_t evaluated = 0;
    bool tiedA = false, tiedB = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < readA.size(); ++i) {
        const CandidatePosition& a = readA[i];
        const std::uint64_t low = a.genomePosition >= window ? a.genomePosition - window : 0;
        const std::uint64_t high = std::uint64_t{a.genomePosition} + window;
        while (start < sizeB && positionsB[start] < low) ++start;
        const std::uint64_t rankA = pairingRank(a.chosenMappingScores);
        std::size_t j = start;
        for (; j < sizeB && positionsB[j] <= high; ++j) {
            const std::uint64_t rank = rankA + ranksB[j];
            // Most pairs score worse than the best: one compare settles them.
            if ((rank >> secondaryShift) > (best >> secondaryShift)) continue;
            // The same scores as the best pair's (whatever the keys): another place fits as well.
            const bool same = (rank >> secondaryShift) == (best >> secondaryShift);
            tiedA |= same & (i != bestA);
            tiedB |= same & (j != bestB);
            if (rank >= best) continue;
            if (!same) tiedA = tiedB = false;
            best = rank;
            bestA = i;
            bestB = j;
        }
        evaluated += j - start;
    }
    Pairing pairing;
    if (bestB != sizeB)
        initAlignmentCandidate(pairing.best, concordantPairedAlignmentType, &readA[bestA], &readB[bestB]);
    pairing.pairsEvaluated = evaluated;
    pairing.tiedA = tiedA;
    pairing.tiedB = tiedB;
    return pairing;
}

}  // namespace koru
