#include "mapping/supplemental_mappings.h"

#include "mapping/biotin_junctions.h"
#include "mapping/junction_rescue.h"

namespace koru {

namespace {

const MismatchScores& scoresOf(const Alignment& alignment) {
    return alignment.primaryPosition.mappingScores.mismatchScores;
}

// One match, several candidates would do: the best scoring placement matches one part of the
// read well while the whole read does not.
bool looksLikeJunctionRead(const MappingParameters& params, const PairedAlignment& paired,
                           const Alignment& first) {
    return paired.highQualityFlag == 0 &&
           scoresOf(first).minWordScore <=
               params.candidateQualityCritieria.maximumMinWordMismatchScoreForIndividualRead &&
           scoresOf(first).wholeReadScore > params.biotinJunctionDetectionWholeReadMismatchThreshold;
}

struct ReadOfPair {
    Alignments& alignments;
    CandidatePositions& store;
    CandidatePosition* candidate;
    const Alignments& mateAlignments;
    const CandidatePosition* mateCandidate;
    const Read* read = nullptr;  // for the rescue, with the genome
    const GenomeSequence* genome = nullptr;
};

// The fragment found by comparing the read's unmatched end with the genome around the mate.
std::uint32_t rescueJunctionFragment(const MappingParameters& params, const ReadOfPair& read) {
    Alignments& alignments = read.alignments;
    if (read.read == nullptr || read.genome == nullptr ||
        alignments.numberOfPopulatedAlignments >= alignments.numberOfAllocatedAlignments())
        return 0;
    const JunctionRescueSearch search{
        read.mateCandidate->genomePosition, params.concordantReadPairBasePairWindowSize,
        params.maximumAllowedMinWordMismatchScoreForABiotinJunctionFragmentCandidate};
    CandidatePosition fragment;
    if (!findJunctionFragmentNearMate(*read.read, *read.candidate, search, *read.genome, fragment)) return 0;
    Alignment& alignment = alignments.alignments[alignments.numberOfPopulatedAlignments++];
    alignment.isEmpty = 0;
    alignment.isReportable = 1;
    alignment.alignmentType = biotinJunctionAlignmentType;
    populatePositionFromCandidatePosition(&alignment.primaryPosition, &fragment);
    // The only place in the window: no other candidate competes with it.
    alignment.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches = 1;
    initPosition(alignment.secondaryPosition);
    return 1;
}

std::uint32_t detectJunction(const MappingParameters& params, ReadPairMappingStatistics& statistics,
                             const ReadOfPair& read) {
    if (!params.detectBiotinJunctions || params.isReadPairSequencingData ||
        read.mateAlignments.numberOfPopulatedAlignments == 0 || read.mateAlignments.alignments[0].isEmpty ||
        read.candidate == nullptr || read.mateCandidate == nullptr)
        return 0;
    // With its own candidate alone the read's other part can only be found by the rescue.
    std::uint32_t found = rescueJunctionFragment(params, read);
    if (found == 0 && read.store.lowestMismatchCandidates.count() >= 2) {
        ++statistics.primaryBiotinDetectionsPerformed;
        found = performPrimaryBiotinJunctionDetectionAndMappingGeneration(
            params, read.store, *read.candidate, *read.mateCandidate, read.alignments);
    }
    if (found == 0 && read.store.lowestMismatchCandidates.count() >= 2) {
        ++statistics.secondaryBiotinDetectionsPerformed;
        found = performSecondaryBiotinJunctionDetectionAndMappingGeneration(
            params, read.store, *read.candidate, *read.mateCandidate, read.alignments);
    }
    if (found == 1) ++statistics.readsWithBiotinJunctions;
    return found;
}

void supplementRead(const MappingParameters& params, ReadPairMappingStatistics& statistics,
                    PairedAlignment& paired, const ReadOfPair& read) {
    const Alignment& first = read.alignments.alignments[0];
    if (first.isEmpty || read.store.lowestMismatchCandidates.count() == 0) return;
    if (looksLikeJunctionRead(params, paired, first)) {
        const std::uint32_t found = detectJunction(params, statistics, read);
        read.alignments.hasBiotinJunction = static_cast<std::uint8_t>(found);
        if (found == 1) paired.biotinJunctionFlag = 1;
    }
    if (!params.generateAlternateMappings || params.numberOfAlternateMappingsToReport == 0) return;
    const std::uint32_t added = generateAlternateMappings(params, read.alignments, read.store);
    if (added == 0) return;
    ++statistics.readsWithAlternativeAlignments;
    statistics.alternativeAlignmentsReported += added;
}

}  // namespace

void generateSupplimentalMappingsForCandidate(const MappingParameters& params,
                                              ReadPairMappingStatistics& statistics, PairedAlignment& paired,
                                              CandidatePosition* candidateA, CandidatePosition* candidateB,
                                              CandidatePositionsPair& candidates,
                                              const JunctionRescueReads* rescue) {
    if (!params.generateSupplementalMappings) return;
    const GenomeSequence* genome = rescue != nullptr ? &rescue->genome : nullptr;
    supplementRead(params, statistics, paired,
                   {paired.readAAlignments, candidates.readA, candidateA, paired.readBAlignments, candidateB,
                    rescue != nullptr ? &rescue->pair.readA : nullptr, genome});
    supplementRead(params, statistics, paired,
                   {paired.readBAlignments, candidates.readB, candidateB, paired.readAAlignments, candidateA,
                    rescue != nullptr ? &rescue->pair.readB : nullptr, genome});
    calculatePairedAlignmentAggregateScoresAndDistances(params, paired);
}

std::uint32_t generateAlternateMappings(const MappingParameters& params, Alignments& alignments,
                                        CandidatePositions& store) {
    std::uint32_t populated = alignments.numberOfPopulatedAlignments;
    if (populated == 0) return 0;
    std::uint16_t bestPrimary = kNotScored, bestSecondary = kNotScored;
    for (std::uint32_t i = 0; i < populated; ++i) {
        const MismatchScores& scores = scoresOf(alignments.alignments[i]);
        if (scores.primaryScore < bestPrimary) {
            bestPrimary = scores.primaryScore;
            bestSecondary = scores.secondaryScore;
        }
    }
    if (bestPrimary == kNotScored) return 0;
    const std::uint32_t limit =
        populated +
        (bestPrimary > params.maximumPrimaryMismatchScoreForMoreThanOneAlternativeAlignmentToBeReported
             ? 1
             : params.numberOfAlternateMappingsToReport);
    const std::uint32_t before = populated;
    for (CandidatePosition* entry : store.lowestMismatchCandidates.entries) {
        if (populated >= limit || populated >= alignments.numberOfAllocatedAlignments()) break;
        const MismatchScores& scores = entry->chosenMappingScores.mismatchScores;
        if (entry->usedInAlignment || scores.primaryScore > bestPrimary ||
            scores.secondaryScore > bestSecondary)
            break;
        populateAlignmentFromCandidatePosition(alignments.alignments[populated++], entry, store,
                                               alternateAlignmentType);
    }
    alignments.numberOfPopulatedAlignments = populated;
    return populated - before;
}

}  // namespace koru
