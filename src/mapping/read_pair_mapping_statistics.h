#pragma once
// Per-thread counters of read pair mapping: candidate generation, pairing inside the concordant
// window, candidate quality by group, indel processing, biotin junctions and alternates, and
// their report.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "candidates/candidate_positions.h"
#include "mapping/library_statistics.h"
#include "mapping/mapping_parameters.h"
#include "support/locked_file.h"

namespace koru {

struct CandidateQualityStatistics {
    std::uint32_t evaluated = 0;
    std::uint32_t combinedMinWordWithinLimit = 0;
    std::uint32_t bothMinWordsWithinLimit = 0;
    std::uint32_t combinedKeysAtLeastMinimum = 0;
    std::uint32_t bothKeysAtLeastMinimum = 0;
};

// The four candidate quality groups, in report order.
inline constexpr int noCandidatesInsideWindowGroup = 0;
inline constexpr int candidatesInsideWindowGroup = 1;
inline constexpr int popCountOutsideWindowGroup = 2;
inline constexpr int hitCountOutsideWindowGroup = 3;

struct ReadPairMappingStatistics {
    std::uint32_t readPairsProcessed = 0;
    std::uint32_t maximumCandidatePositionsPerIndexEntry = 0;
    std::uint32_t windowSize = 0;
    std::uint32_t pairsWithoutProcessedCandidates = 0;
    std::uint32_t readANoCandidates = 0;
    std::uint32_t readBNoCandidates = 0;
    std::uint32_t readATooManyCandidates = 0;
    std::uint32_t readBTooManyCandidates = 0;
    std::uint32_t bothReadsNoCandidates = 0;
    std::uint32_t bothReadsTooManyCandidates = 0;
    std::uint32_t oneReadNoneOtherTooMany = 0;
    std::uint32_t pairsWithNoCandidatesInWindow = 0;
    std::uint32_t pairsWithCandidatesInWindow = 0;
    std::uint32_t pairsWithExactlyOneCandidatePairInWindow = 0;
    std::uint64_t candidateMappingsEvaluated = 0;
    std::uint64_t indelCandidates = 0;
    std::uint64_t readsWithIndelCandidates = 0;
    std::uint64_t candidatesIndelProcessed = 0;
    std::uint64_t readsIndelProcessed = 0;
    std::uint64_t popCountSumOutsideWindow = 0;
    std::uint64_t hitCountSumOutsideWindow = 0;
    std::uint64_t candidatePairsInWindow = 0;
    std::uint64_t popCountSumExactlyOne = 0;
    std::uint64_t hitCountSumExactlyOne = 0;
    std::uint64_t popCountSumMoreThanOne = 0;
    std::uint64_t hitCountSumMoreThanOne = 0;
    CandidateQualityCriteria qualityCriteria;
    std::array<CandidateQualityStatistics, 4> qualityGroups{};
    std::uint32_t readsWithBiotinJunctions = 0;
    std::uint32_t readPairsWithBiotinJunctions = 0;
    std::uint32_t primaryBiotinDetectionsPerformed = 0;
    std::uint32_t secondaryBiotinDetectionsPerformed = 0;
    std::uint32_t readsWithAlternativeAlignments = 0;
    std::uint32_t readPairsWithAlternativeAlignments = 0;
    std::uint32_t alternativeAlignmentsReported = 0;
    // Pairs that were not mapped because a read's length is not supported.
    std::uint32_t readPairsWithUnsupportedReadLength = 0;
    std::uint32_t readsWithTooManyUncalledBases = 0;  // not mapped, their mates mapped alone
    // Histograms for the library report; gathered only when one is asked for.
    std::optional<LibraryStatistics> library;
};

std::unique_ptr<ReadPairMappingStatistics> createReadPairMappingStatistics(const MappingParameters& params);

void collectCandidateQualityStatistics(const CandidateQualityCriteria& criteria,
                                       CandidateQualityStatistics& group, const MappingScores& readA,
                                       const MappingScores& readB);
// The candidate generation counters of one mapped pair (after scoring).
void collectCandidatePositionStatisticsForReadPair(ReadPairMappingStatistics& statistics,
                                                   const CandidatePositionsPair& candidates);

std::string candidateQualityStatisticsToString(const std::string& label,
                                               const CandidateQualityCriteria& criteria,
                                               const CandidateQualityStatistics& group,
                                               const std::string& prefix);
std::string readPairMappingStatisticsToString(const ReadPairMappingStatistics& statistics,
                                              const std::string& prefix);
// Under the file's lock, headed by the calling thread's number and the number of threads.
void printReadPairMappingStatistics(LockedFile& file, const ReadPairMappingStatistics* statistics);

}  // namespace koru
