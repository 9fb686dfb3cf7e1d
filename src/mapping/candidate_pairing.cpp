#include "mapping/candidate_pairing.h"

#include <algorithm>

#if defined(__SSE4_1__)
#include <smmintrin.h>
#endif

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

#if defined(__SSE4_1__)
// The first of read B's candidates from `j` on that lies past `high` or may pair at least as well
// as the best pair so far, four at a time: the pairs passed over score worse than the best. The
// scores are compared as 16-bit halves of one word (primary above secondary), which their sums
// fit while every score is below 2^15.
std::size_t skipWorsePairs(const std::uint32_t* scoresB, const std::uint32_t* positionsB, std::size_t j,
                           std::size_t sizeB, std::uint32_t scoreA, std::uint32_t best, std::uint32_t high) {
    const __m128i a = _mm_set1_epi32(static_cast<int>(scoreA));
    // Above `best` (`high`) exactly when the maximum of the value and best + 1 (high + 1) is the value.
    const __m128i worse = _mm_set1_epi32(static_cast<int>(best + 1));
    const __m128i past = _mm_set1_epi32(static_cast<int>(high + 1));
    for (; j + 4 <= sizeB; j += 4) {
        const __m128i positions = _mm_loadu_si128(reinterpret_cast<const __m128i*>(positionsB + j));
        const __m128i sums = _mm_add_epi32(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(scoresB + j)));
        const __m128i beyond = _mm_cmpeq_epi32(_mm_max_epu32(positions, past), positions);
        const __m128i scoresWorse = _mm_cmpeq_epi32(_mm_max_epu32(sums, worse), sums);
        if (_mm_movemask_epi8(_mm_andnot_si128(beyond, scoresWorse)) != 0xFFFF) break;
    }
    return j;
}
#endif

// Both scores of a candidate as 16-bit halves of one word, for the skip above.
std::uint32_t halfwordScores(const MappingScores& scores) {
    const MismatchScores& s = scores.mismatchScores;
    return std::uint32_t{s.primaryScore} << 16 | s.secondaryScore;
}

// Lays out read B's ranks, positions and scores; whether every score of both reads is below 2^15,
// so that the sums of two fit 16 bits (scores are at most a read's length).
bool layOutReadB(const std::vector<CandidatePosition>& readA, const std::vector<CandidatePosition>& readB,
                 PairingScratch& scratch) {
    const std::size_t sizeB = readB.size();
    scratch.ranks.resize(sizeB);
    scratch.positions.resize(sizeB);
    scratch.scores.resize(sizeB);
    std::uint32_t allScores = 0;
    for (std::size_t j = 0; j < sizeB; ++j) {
        scratch.ranks[j] = pairingRank(readB[j].chosenMappingScores);
        scratch.positions[j] = readB[j].genomePosition;
        scratch.scores[j] = halfwordScores(readB[j].chosenMappingScores);
        allScores |= scratch.scores[j];
    }
    for (const CandidatePosition& a : readA) allScores |= halfwordScores(a.chosenMappingScores);
    return (allScores & 0x80008000u) == 0;
}

// The best pair's scores as 16-bit halves, from its rank.
std::uint32_t halfwordScoresOfRank(std::uint64_t rank) {
    const std::uint64_t scores = rank >> secondaryShift;
    return static_cast<std::uint32_t>((scores >> (primaryShift - secondaryShift)) << 16 | (scores & 0x1FFFF));
}

}  // namespace

Pairing pairInsideWindow(std::vector<CandidatePosition>& readA, std::vector<CandidatePosition>& readB,
                         std::uint32_t window, PairingScratch& scratch) {
    const std::size_t sizeB = readB.size();
    [[maybe_unused]] const bool skipFourAtATime = layOutReadB(readA, readB, scratch);
    const std::uint64_t* const ranksB = scratch.ranks.data();
    const std::uint32_t* const positionsB = scratch.positions.data();
    // The running best in locals, so that the loop over the pairs keeps it in registers.
    std::uint64_t best = ~std::uint64_t{0};
    [[maybe_unused]] std::uint32_t bestHalfwords = 0;  // the best pair's scores, for the skip
    std::size_t bestA = readA.size(), bestB = sizeB;   // none yet
    std::uint64_t evaluated = 0;
    bool tiedA = false, tiedB = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < readA.size(); ++i) {
        const CandidatePosition& a = readA[i];
        const std::uint64_t low = a.genomePosition >= window ? a.genomePosition - window : 0;
        const std::uint64_t high = std::uint64_t{a.genomePosition} + window;
        while (start < sizeB && positionsB[start] < low) ++start;
        const std::uint64_t rankA = pairingRank(a.chosenMappingScores);
        [[maybe_unused]] const std::uint32_t halfwordsA = halfwordScores(a.chosenMappingScores);
        [[maybe_unused]] const auto high32 =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(high, 0xFFFFFFFEu));
        std::size_t j = start;
        for (;; ++j) {
#if defined(__SSE4_1__)
            if (skipFourAtATime && bestB != sizeB)
                j = skipWorsePairs(scratch.scores.data(), positionsB, j, sizeB, halfwordsA, bestHalfwords,
                                   high32);
#endif
            if (j >= sizeB || positionsB[j] > high) break;
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
            bestHalfwords = halfwordScoresOfRank(rank);
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
