#include "index/count_arrays.h"

#include <omp.h>

#include <bit>
#include <cmath>
#include <limits>

#include "index/index_memory.h"
#include "index/index_progress.h"
#include "index/key_stream_partitions.h"
#include "index/key_table_builder.h"
#include "support/errors.h"
#include "support/text_format.h"

namespace koru {

int directoryBitsForKeys(std::uint64_t numberOfKeys) {
    // 16 to 32 entries a bucket; from 2^21 buckets on, 2^24 of them cost less than the second
    // residual byte they save.
    const int bits = std::clamp(static_cast<int>(std::bit_width(numberOfKeys)) - 5, 16, 28);
    return bits > 20 ? std::max(bits, 24) : bits;
}

std::uint16_t calculateCount(std::uint32_t evaluationLimit, std::uint32_t indexingLimit, std::uint16_t& entry,
                             CountStatistics& statistics) {
    const std::uint16_t before = entry;
    if (before == 0) ++statistics.numberOfPopulatedKeys;
    const auto crossLimit = [before](std::uint32_t limit, std::uint64_t& keysAbove,
                                     std::uint64_t& positionsOver) {
        if (before == limit) {
            ++keysAbove;
            positionsOver += std::uint64_t{limit} + 1;
        } else if (before > limit) {
            ++positionsOver;
        }
    };
    crossLimit(evaluationLimit, statistics.keysWhoseNumberOfPositionsIsAboveEvaluationLimit,
               statistics.numberOfReferenceGenomePositionsOverEvaluationLimit);
    crossLimit(indexingLimit, statistics.keysWhoseNumberOfPositionsIsAboveIndexingLimit,
               statistics.numberOfReferenceGenomePositionsOverIndexingLimit);
    crossLimit(countLimit, statistics.keysWhoseNumberOfPositionsIsAboveCountLimit,
               statistics.numberOfReferenceGenomePositionsOverCountLimit);
    if (before < saturatedKeyCount) entry = static_cast<std::uint16_t>(before + 1);
    return before;
}

void sumCountStatistics(CountStatistics& total, const CountStatistics& s) {
    total.numberOfPopulatedKeys += s.numberOfPopulatedKeys;
    total.keysWhoseNumberOfPositionsIsAboveEvaluationLimit +=
        s.keysWhoseNumberOfPositionsIsAboveEvaluationLimit;
    total.keysWhoseNumberOfPositionsIsAboveIndexingLimit += s.keysWhoseNumberOfPositionsIsAboveIndexingLimit;
    total.keysWhoseNumberOfPositionsIsAboveCountLimit += s.keysWhoseNumberOfPositionsIsAboveCountLimit;
    total.numberOfReferenceGenomePositionsOverEvaluationLimit +=
        s.numberOfReferenceGenomePositionsOverEvaluationLimit;
    total.numberOfReferenceGenomePositionsOverIndexingLimit +=
        s.numberOfReferenceGenomePositionsOverIndexingLimit;
    total.numberOfReferenceGenomePositionsOverCountLimit += s.numberOfReferenceGenomePositionsOverCountLimit;
}

void averageCountStatistics(CountStatistics& average, const CountStatistics& t, std::uint64_t divisor) {
    average.numberOfPopulatedKeys = t.numberOfPopulatedKeys / divisor;
    average.keysWhoseNumberOfPositionsIsAboveEvaluationLimit =
        t.keysWhoseNumberOfPositionsIsAboveEvaluationLimit / divisor;
    average.keysWhoseNumberOfPositionsIsAboveIndexingLimit =
        t.keysWhoseNumberOfPositionsIsAboveIndexingLimit / divisor;
    average.keysWhoseNumberOfPositionsIsAboveCountLimit =
        t.keysWhoseNumberOfPositionsIsAboveCountLimit / divisor;
    average.numberOfReferenceGenomePositionsOverEvaluationLimit =
        t.numberOfReferenceGenomePositionsOverEvaluationLimit / divisor;
    average.numberOfReferenceGenomePositionsOverIndexingLimit =
        t.numberOfReferenceGenomePositionsOverIndexingLimit / divisor;
    average.numberOfReferenceGenomePositionsOverCountLimit =
        t.numberOfReferenceGenomePositionsOverCountLimit / divisor;
}

std::int32_t calculateMappingQualityOfKeyWithTooManyPositions(
    const std::array<CountStatistics, numberOfKeyEncodings>& statistics) {
    std::int32_t quality = std::numeric_limits<std::int32_t>::max();
    for (const CountStatistics& s : statistics) {
        if (s.keysWhoseNumberOfPositionsIsAboveEvaluationLimit == 0 || s.numberOfPopulatedKeys == 0) continue;
        const double ratio = static_cast<double>(s.keysWhoseNumberOfPositionsIsAboveEvaluationLimit) /
                             static_cast<double>(s.numberOfPopulatedKeys);
        quality = std::min(quality, static_cast<std::int32_t>(std::ceil(-10.0 * std::log10(ratio))));
    }
    return quality;
}

namespace {

const char* const sectionMessages[numberOfKeyEncodings] = {
    "AG count array creation", "CG count array creation", " XOR count array creation"};

void countEncoding(CountArrays& arrays, const GenomeSequence& genome, int encoding, SortWorkspace& workspace,
                   const IndexBuildOptions& options, LockedFile* progressFile) {
    IndexBuildProgress progress(progressFile, encoding, genome.paddedSequenceLength);
    progress.announce(sectionMessages[encoding]);
    const KeyPlane plane(genome.planeWords.get(), encoding);
    const KeyStreamPartitions partitions(plane, genome.utilizedBinaryEncodedArraySize, arrays.samplingStep,
                                         progress.keyStreamProgress(), options.partitionBits);
    KeyTableBuild build =
        buildKeyTable(partitions, sampledCountLimits(arrays.limits, arrays.samplingStep), workspace, options);
    arrays.keyTables[encoding] = std::move(build.table);
    arrays.statistics[encoding] = build.statistics;
    arrays.listedPositions[encoding] = build.listedPositions;
    progress.finish();
}

// What the memory budget leaves for sorting the next encoding: the genome, the encodings already
// built, and the next one's table at its largest (an entry per listed window) all stay within it.
std::uint64_t sortingMemoryLeft(const GenomeSequence& genome, const CountArrays& arrays) {
    const std::uint64_t windows =
        numberOfListedWindows(genome.utilizedBinaryEncodedArraySize, arrays.samplingStep);
    const int directoryBits = directoryBitsForKeys(windows);
    const std::uint64_t nextTable =
        ((std::uint64_t{1} << directoryBits) + 1) * 4 +
        windows * (4 + static_cast<std::uint64_t>(KeyTable::residualBytesFor(directoryBits)));
    std::uint64_t committed = genomeSequenceMemoryBytes(genome) + nextTable + (std::uint64_t{64} << 20);
    for (const KeyTable& table : arrays.keyTables) committed += keyTableBytes(table);
    const std::uint64_t budget = indexBuildMemoryBudget(genome.paddedSequenceLength, arrays.samplingStep);
    return budget > committed ? std::max(budget - committed, minimumSortingMemoryBytes)
                              : minimumSortingMemoryBytes;
}

std::string countReport(const CountArrays& arrays, std::int32_t quality) {
    std::string text = "\n";
    appendPrintf(text, "Mapping Quality of Key with too many positions = %i\n", quality);
    text += countStatisticsToString(arrays.statistics[agKeyEncoding], "\nAG or Base Encoding", "");
    text += countStatisticsToString(arrays.statistics[cgKeyEncoding], "\nCG or Check Encoding", "");
    text += countStatisticsToString(arrays.statistics[xorKeyEncoding], "\nAC or XOR Encoding", "");
    text += countStatisticsToString(arrays.totalStatistics, "\nTotal (AG + CG + AC Encoding)", "");
    text += countStatisticsToString(arrays.averageStatistics, "\nAverage (AG + CG + AC Encoding)/3", "");
    return text;
}

}  // namespace

std::unique_ptr<CountArrays> buildCountArrays(const GenomeSequence& genome, const CountLimits& limits,
                                              LockedFile* progressFile, const IndexBuildOptions& options) {
    auto arrays = std::make_unique<CountArrays>();
    if (genome.genomeInformation)
        arrays->genomeInformation = std::make_unique<GenomeInformation>(*genome.genomeInformation);
    arrays->limits = limits;
    arrays->samplingStep = options.samplingStep;
    // One encoding after another, each with every thread: three at once would hold three
    // sorting buffers at the same time. The one workspace is reused, as fresh pages are costly.
    SortWorkspace workspace;
    for (int encoding = 0; encoding < numberOfKeyEncodings; ++encoding) {
        IndexBuildOptions encodingOptions = options;
        if (options.sortingMemoryBytes == 0)
            encodingOptions.sortingMemoryBytes = sortingMemoryLeft(genome, *arrays);
        workspace.limit(encodingOptions.sortingMemoryBytes);
        countEncoding(*arrays, genome, encoding, workspace, encodingOptions, progressFile);
    }
    for (const CountStatistics& s : arrays->statistics) sumCountStatistics(arrays->totalStatistics, s);
    averageCountStatistics(arrays->averageStatistics, arrays->totalStatistics, numberOfKeyEncodings);
    return arrays;
}

std::unique_ptr<CountArrays> createCountArrays(const CountLimits& limits, const GenomeSequence& genome,
                                               std::uint32_t samplingStep, LockedFile* verboseFile) {
    if (verboseFile != nullptr) {
        verboseFile->writeUnderLock(
            stringPrintf("\nCounting number of positions associated with each key generated from "
                         "reference genome:\n\t%u of %lu keys have been processed\n\t\t",
                         0u, static_cast<unsigned long>(genome.paddedSequenceLength)),
            true);
    }
    IndexBuildOptions options;
    options.samplingStep = samplingStep;
    auto arrays = buildCountArrays(genome, limits, verboseFile, options);
    if (verboseFile != nullptr)
        verboseFile->writeUnderLock(
            countReport(*arrays, calculateMappingQualityOfKeyWithTooManyPositions(arrays->statistics)));
    return arrays;
}

}  // namespace koru
