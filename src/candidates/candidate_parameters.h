#pragma once
// What candidate generation and the candidate filter need from a run: how keys are cut from a
// read, the per-key limits, the high-repeat trigger, and the genome ranges left out.

#include <cstdint>
#include <vector>

namespace koru {

// One range of the candidate position filter file. The genome positions stay 0 until the
// chromosome table resolves them.
struct CandidatePositionFilter {
    std::uint32_t startPositionInGenome = 0;
    std::uint32_t endPositionInGenome = 0;
    std::uint32_t chromosome = 0;  // 1-based, as in the chromosome table
    std::uint32_t startPositionInChromosome = 0;
    std::uint32_t endPositionInChromosome = 0;
    std::uint32_t lineNumber = 0;  // where the record starts in the filter file, for messages
};

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
