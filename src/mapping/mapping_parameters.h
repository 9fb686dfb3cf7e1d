#pragma once
// What mapping a read pair needs from a run: candidate generation's and alignment's records,
// and the settings of scoring, indels, pairing, junctions, alternates and the primary's choice.
// The run's record is made of these records, so a run passes itself where one is asked for.

#include <cstdint>

#include "alignment/alignment_parameters.h"
#include "candidates/candidate_parameters.h"

namespace koru {

// The most alternate mappings a read may ask for (-a). Alternates come from a read's few
// best-ranked candidates, so more are never found; a SAM XA tag of more would also grow unwieldy.
inline constexpr std::uint32_t maximumAlternateMappings = 100;

struct CandidateQualityCriteria {
    std::uint32_t maximumCombinedMinWordMismatchScoreOfBothReads = 3;
    std::uint32_t minimumCombinedNumberOfKeysAssociatedWithBothReads = 6;
    std::uint32_t maximumMinWordMismatchScoreForIndividualRead = 2;
    std::uint32_t minimumNumberOfKeysAssociatedWithIndividualReadPosition = 3;
    double maximumPopCountValuePerBPOfRead = 0.05;
};

struct MappingParameters : CandidateParameters, AlignmentParameters {
    double mininumPercentageOfMismatchedBasesInReadToTriggerIndelProcessing = 0.02;
    std::uint32_t maximumSizeOfIndelToDetect = 50;
    CandidateQualityCriteria candidateQualityCritieria;
    std::uint16_t concordantReadPairBasePairWindowSize = 10000;
    std::uint32_t maximumDistanceBetweenBiotinJunctionFragments = 500;
    std::uint32_t biotinJunctionDetectionWholeReadMismatchThreshold = 16;
    std::uint32_t maximumPrimaryMismatchScoreForMoreThanOneAlternativeAlignmentToBeReported = 1;
    std::uint32_t maximumAllowedMinWordMismatchScoreForABiotinJunctionFragmentCandidate = 2;
    bool useDisconcordantPairScorePenaltyToSelectPrimaryAlignment = true;
    double maximumScorePercentageForQualityPairedAlignment = 0.75;
    bool isReadPairSequencingData = false;
    std::uint32_t discordantPairScorePenantly = 5;
    bool generateSupplementalMappings = false;
    bool reportMostDistantMappingAsPrimaryForReadsWithJunctions = false;
    bool generateAlternateMappings = false;
    std::uint32_t numberOfAlternateMappingsToReport = 5;
    bool detectBiotinJunctions = true;
    // A read with a larger share of uncalled bases (N) is not mapped: N matches any base.
    double maximumShareOfUncalledBases = 0.5;
    // Each pair's outcome is also counted into the histograms of a library report.
    bool gatherLibraryStatistics = false;
};

}  // namespace koru
