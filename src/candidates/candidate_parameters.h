#pragma once
// What candidate generation and the candidate filter need from a run: how keys are cut from a
// read, the per-key limits, the high-repeat trigger, and the genome ranges left out.

#include <cstdint>
#include <vector>

#include "genome/candidate_position_filter.h"

namespace koru {

struct CandidateParameters {
    std::uint32_t maximumNumberOfPositionsAKeyCanHaveInAnIndex = 32768;
    std::uint32_t maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex = 750;
    std::uint32_t defaultBasesToShiftBetweenKeyGeneration = 8;
    std::uint32_t readLengthToStartLimitingNumberOfKeysGenerated = 176;
    std::uint32_t maximumNumberOfKeysToExhibitLinearScaling = 18;
    std::uint32_t numberOfKeysToGenerateForHighRepeatCandidateGeneration = 2;
    double maximumPercentageOfKeysThatGeneratedNoCandidatesToTriggerHighRepeatCandidateGeneration = 0.7;
    std::uint32_t minimumNumberOfKeysAssociatedWithCandidatePosition = 2;
    std::vector<CandidatePositionFilter> candidatePositionFilters;
};

}  // namespace koru
