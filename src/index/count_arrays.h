#pragma once
// The first index pass: for every 32-bit key under each encoding, how many genome positions
// carry it (saturating at 65535), with statistics against the evaluation, indexing and count
// limits. Only keys that occur are held (see key_table.h).

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "genome/genome_sequence.h"
#include "index/index_build_options.h"
#include "index/key_stream.h"
#include "index/key_table.h"
#include "support/locked_file.h"

namespace koru {

struct CountStatistics {
    std::uint64_t numberOfPopulatedKeys = 0;
    std::uint64_t keysWhoseNumberOfPositionsIsAboveEvaluationLimit = 0;
    std::uint64_t keysWhoseNumberOfPositionsIsAboveIndexingLimit = 0;
    std::uint64_t keysWhoseNumberOfPositionsIsAboveCountLimit = 0;
    std::uint64_t numberOfReferenceGenomePositionsOverEvaluationLimit = 0;
    std::uint64_t numberOfReferenceGenomePositionsOverIndexingLimit = 0;
    std::uint64_t numberOfReferenceGenomePositionsOverCountLimit = 0;
};

// A stored count of 65535 means 65535 or more positions, so 65534 is the largest known exactly.
inline constexpr std::uint32_t countLimit = 65534;

struct CountLimits {
    std::uint32_t evaluationLimit = 750;
    std::uint32_t indexingLimit = 32768;
};

// The limits an index of that sampling step applies to a key's listed windows. A key lists about a
// K-th of its positions, so the limits, given for an index of every window, are divided by K: a
// key is then evaluated, listed or left to the high-repeat method as it would be with every window
// listed, and a read in a repeat meets as many candidates. (Compared undivided with listed windows,
// a human genome at step 4 gave six times the candidates and mapped nearly three times slower.)
inline CountLimits sampledCountLimits(const CountLimits& limits, std::uint32_t samplingStep) {
    const auto divide = [samplingStep](std::uint32_t limit) {
        return limit == 0 ? 0u : std::max<std::uint32_t>(limit / samplingStep, 1);
    };
    return {divide(limits.evaluationLimit), divide(limits.indexingLimit)};
}

struct CountArrays {
    std::unique_ptr<GenomeInformation> genomeInformation;
    std::uint64_t sizeOfCountArrays = std::uint64_t{1} << 32;  // keys addressable per encoding
    CountLimits limits;  // as given; the tables and statistics apply sampledCountLimits of them
    // Windows are listed when their start is a multiple of the step; counts are of listed windows.
    std::uint32_t samplingStep = 1;
    // The keys with their counts and positions: the position lists live in the same tables.
    std::array<KeyTable, numberOfKeyEncodings> keyTables;  // AG, CG, XOR
    std::array<CountStatistics, numberOfKeyEncodings> statistics;
    CountStatistics totalStatistics;
    CountStatistics averageStatistics;
    // Per encoding, 1 + the positions of the keys with 2 to the indexing limit windows: what the
    // position lists hold.
    std::array<std::uint64_t, numberOfKeyEncodings> listedPositions{};

    std::uint16_t count(int encoding, std::uint32_t key) const { return keyTables[encoding].count(key); }
};

// The run's count arrays, reported on the verbose file when there is one. The mapping quality of
// keys with too many positions follows from their statistics; the caller gives it to the genome.
std::unique_ptr<CountArrays> createCountArrays(const CountLimits& limits, const GenomeSequence& genome,
                                               std::uint32_t samplingStep, LockedFile* verboseFile);

// Builds the count arrays, reporting progress on progressFile when it is given.
std::unique_ptr<CountArrays> buildCountArrays(const GenomeSequence& genome, const CountLimits& limits,
                                              LockedFile* progressFile,
                                              const IndexBuildOptions& options = {});

// The counting step for one occurrence of a key whose count is `entry` before the step: updates
// the statistics and the count, and returns the count before the step.
std::uint16_t calculateCount(std::uint32_t evaluationLimit, std::uint32_t indexingLimit, std::uint16_t& entry,
                             CountStatistics& statistics);
// The same statistics for a key with all its occurrences at once.
inline void addKeyToCountStatistics(std::uint64_t numberOfPositions, const CountLimits& limits,
                                    CountStatistics& statistics) {
    ++statistics.numberOfPopulatedKeys;
    // Most keys are below every limit: one test decides for them.
    if (numberOfPositions <= std::min(limits.evaluationLimit, limits.indexingLimit)) return;
    const auto above = [numberOfPositions](std::uint32_t limit, std::uint64_t& keysAbove,
                                           std::uint64_t& positionsOver) {
        if (numberOfPositions <= limit) return;
        ++keysAbove;
        positionsOver += numberOfPositions;
    };
    above(limits.evaluationLimit, statistics.keysWhoseNumberOfPositionsIsAboveEvaluationLimit,
          statistics.numberOfReferenceGenomePositionsOverEvaluationLimit);
    above(limits.indexingLimit, statistics.keysWhoseNumberOfPositionsIsAboveIndexingLimit,
          statistics.numberOfReferenceGenomePositionsOverIndexingLimit);
    above(countLimit, statistics.keysWhoseNumberOfPositionsIsAboveCountLimit,
          statistics.numberOfReferenceGenomePositionsOverCountLimit);
}
void sumCountStatistics(CountStatistics& total, const CountStatistics& statistics);
void averageCountStatistics(CountStatistics& average, const CountStatistics& total, std::uint64_t divisor);

// min over encodings of ceiling(-10 log10(keys above the evaluation limit / populated keys));
// an encoding without any key above the limit (or without keys) tells nothing and counts as
// 2147483647.
std::int32_t calculateMappingQualityOfKeyWithTooManyPositions(
    const std::array<CountStatistics, numberOfKeyEncodings>& statistics);

// True when a key with that many positions has its positions listed in the index.
inline bool isListedCount(std::uint64_t numberOfPositions, std::uint32_t indexingLimit) {
    return numberOfPositions >= 2 && numberOfPositions <= indexingLimit && numberOfPositions <= countLimit;
}

std::string countStatisticsToString(const CountStatistics& statistics, const char* label, const char* prefix);
void printCountStatistics(std::FILE* file, const CountStatistics& statistics, const char* label,
                          const char* prefix);
void printCountArrays(std::FILE* file, const CountArrays& countArrays);
void printCountArraysFragementCountFrequencies(std::FILE* file, const CountArrays& countArrays);

}  // namespace koru
