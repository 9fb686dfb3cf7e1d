#include "mapping/biotin_junctions.h"

#include <algorithm>

namespace koru {

namespace {

const MismatchScores& scoresOf(const CandidatePosition& candidate) {
    return candidate.chosenMappingScores.mismatchScores;
}

std::uint32_t distance(std::uint32_t a, std::uint32_t b) {
    return a > b ? a - b : b - a;
}

// Whether the two fragments' middle-word mismatches leave room in the read's middle bases;
// `strict` asks for at least one to spare.
bool middlesFit(std::uint32_t readLength, const CandidatePosition& c, const CandidatePosition& e,
                bool strict) {
    const std::int64_t spare = static_cast<std::int64_t>(readLength) - 64 - scoresOf(c).middleWordsScore -
                               scoresOf(e).middleWordsScore;
    return strict ? spare >= 1 : spare >= 0;
}

// The better junction fragment: a lower min word, then a lower whole-read score.
bool isBetterFragment(const CandidatePosition& x, const CandidatePosition& y) {
    if (scoresOf(x).minWordScore != scoresOf(y).minWordScore)
        return scoresOf(x).minWordScore < scoresOf(y).minWordScore;
    return scoresOf(x).wholeReadScore < scoresOf(y).wholeReadScore;
}

// Fills the next free alignment from the candidate; false when the read has no room left.
bool addFragmentAlignment(Alignments& alignments, CandidatePosition& fragment,
                          const CandidatePositions& store, std::uint32_t type) {
    if (alignments.numberOfPopulatedAlignments >= alignments.numberOfAllocatedAlignments()) return false;
    populateAlignmentFromCandidatePosition(alignments.alignments[alignments.numberOfPopulatedAlignments],
                                           &fragment, store, type);
    ++alignments.numberOfPopulatedAlignments;
    return true;
}

// The read's own placement is the one near the mate: the fragment is the distant part.
std::uint32_t addDistantFragment(const MappingParameters& params, CandidatePositions& store,
                                 CandidatePosition& candidate, Alignments& alignments) {
    const std::uint32_t maximumMinWord =
        params.maximumAllowedMinWordMismatchScoreForABiotinJunctionFragmentCandidate;
    for (CandidatePosition* entry : store.lowestMismatchCandidates.entries) {
        if (!middlesFit(alignments.readLength, candidate, *entry, true) ||
            scoresOf(*entry).minWordScore > maximumMinWord || !areComplementaryFragments(*entry, candidate))
            continue;
        if (!params.reportMostDistantMappingAsPrimaryForReadsWithJunctions)
            return addFragmentAlignment(alignments, *entry, store, biotinJunctionAlignmentType) ? 1 : 0;
        // The distant fragment becomes the primary alignment, the near-mate placement its junction.
        const std::uint32_t next = alignments.numberOfPopulatedAlignments;
        if (next >= alignments.numberOfAllocatedAlignments()) return 0;
        alignments.alignments[next] = alignments.alignments[0];
        alignments.alignments[next].alignmentType = biotinJunctionAlignmentType;
        populateAlignmentFromCandidatePosition(alignments.alignments[0], entry, store, primaryAlignmentType);
        ++alignments.numberOfPopulatedAlignments;
        return 1;
    }
    return 0;
}

}  // namespace

bool areComplementaryFragments(const CandidatePosition& x, const CandidatePosition& y) {
    const MismatchScores& a = scoresOf(x);
    const MismatchScores& b = scoresOf(y);
    return (a.firstWordScore < a.lastWordScore && b.firstWordScore > b.lastWordScore) ||
           (a.firstWordScore > a.lastWordScore && b.firstWordScore < b.lastWordScore);
}

std::uint32_t performPrimaryBiotinJunctionDetectionAndMappingGeneration(const MappingParameters& params,
                                                                        CandidatePositions& store,
                                                                        CandidatePosition& candidate,
                                                                        const CandidatePosition& mate,
                                                                        Alignments& alignments) {
    const auto& entries = store.lowestMismatchCandidates.entries;
    if (entries.size() < 2) return 0;
    CandidatePosition* nearMate = nullptr;
    for (CandidatePosition* entry : entries) {
        if (distance(entry->genomePosition, mate.genomePosition) >
                params.maximumDistanceBetweenBiotinJunctionFragments ||
            scoresOf(*entry).minWordScore >
                params.maximumAllowedMinWordMismatchScoreForABiotinJunctionFragmentCandidate)
            continue;
        if (nearMate == nullptr || isBetterFragment(*entry, *nearMate)) nearMate = entry;
    }
    if (nearMate == nullptr) return 0;
    if (nearMate == &candidate) return addDistantFragment(params, store, candidate, alignments);
    if (!middlesFit(alignments.readLength, candidate, *nearMate, true) ||
        !areComplementaryFragments(candidate, *nearMate))
        return 0;
    return addFragmentAlignment(alignments, *nearMate, store, biotinJunctionAlignmentType) ? 1 : 0;
}

std::uint32_t performSecondaryBiotinJunctionDetectionAndMappingGeneration(const MappingParameters& params,
                                                                          CandidatePositions& store,
                                                                          const CandidatePosition& candidate,
                                                                          const CandidatePosition& mate,
                                                                          Alignments& alignments) {
    if (store.numberOfCandidatePositions() < 2) return 0;
    const std::uint64_t reach = params.maximumDistanceBetweenBiotinJunctionFragments;
    const std::uint64_t low = mate.genomePosition <= reach ? 0 : mate.genomePosition - reach;
    const std::uint64_t high = mate.genomePosition + reach;
    auto entry =
        std::lower_bound(store.candidates.begin(), store.candidates.end(), low,
                         [](const CandidatePosition& c, std::uint64_t p) { return c.genomePosition < p; });
    CandidatePosition* best = nullptr;
    for (; entry != store.candidates.end() && entry->genomePosition <= high; ++entry) {
        if (&*entry == &candidate || !middlesFit(alignments.readLength, candidate, *entry, false) ||
            scoresOf(*entry).minWordScore >
                params.maximumAllowedMinWordMismatchScoreForABiotinJunctionFragmentCandidate ||
            !areComplementaryFragments(*entry, candidate))
            continue;
        // Ascending positions: on a full tie the earlier (lower) one stays.
        if (best == nullptr || isBetterFragment(*entry, *best)) best = &*entry;
    }
    if (best == nullptr) return 0;
    return addFragmentAlignment(alignments, *best, store, biotinJunctionAlignmentType) ? 1 : 0;
}

}  // namespace koru
