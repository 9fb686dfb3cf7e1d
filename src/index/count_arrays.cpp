#include "index/count_arrays.h"

#include <omp.h>

#include <bit>
#include <cmath>
#include <limits>

#include "index/index_build_memory.h"
#include "index/index_progress.h"
#include "index/key_stream_partitions.h"
#include "support/errors.h"
#include "support/text_format.h"

namespace koru {

int directoryBitsForKeys(std::uint64_t numberOfKeys) {
    return std::clamp(static_cast<int>(std::bit_width(numberOfKeys)) - 4, 16, 30);
}

std::uint16_t calculateCount(std::uint32_t evaluationLimit, std::uint32_t indexingLimit, std::uint16_t& entry,
                             CountStatistics& statistics) {
    const std::uint16_t before = entry;
    if (before == 0) ++statistics.numberOfPopulatedKeys;
    const auto crossLimit = [before](std::uint32_t limit, std::uint64_t& keysAbove, std::uint64_t& positionsOver) {
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

void addKeyToCountStatistics(std::uint64_t numberOfPositions, const CountLimits& limits,
                             CountStatistics& statistics) {
    ++statistics.numberOfPopulatedKeys;
    const auto above = [numberOfPositions](std::uint32_t limit, std::uint64_t& keysAbove, std::uint64_t& positionsOver) {
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

void sumCountStatistics(CountStatistics& total, const CountStatistics& s) {
    total.numberOfPopulatedKeys += s.numberOfPopulatedKeys;
    total.keysWhoseNumberOfPositionsIsAboveEvaluationLimit += s.keysWhoseNumberOfPositionsIsAboveEvaluationLimit;
    total.keysWhoseNumberOfPositionsIsAboveIndexingLimit += s.keysWhoseNumberOfPositionsIsAboveIndexingLimit;
    total.keysWhoseNumberOfPositionsIsAboveCountLimit += s.keysWhoseNumberOfPositionsIsAboveCountLimit;
    total.numberOfReferenceGenomePositionsOverEvaluationLimit += s.numberOfReferenceGenomePositionsOverEvaluationLimit;
    total.numberOfReferenceGenomePositionsOverIndexingLimit += s.numberOfReferenceGenomePositionsOverIndexingLimit;
    total.numberOfReferenceGenomePositionsOverCountLimit += s.numberOfReferenceGenomePositionsOverCountLimit;
}

void averageCountStatistics(CountStatistics& average, const CountStatistics& t, std::uint64_t divisor) {
    average.numberOfPopulatedKeys = t.numberOfPopulatedKeys / divisor;
    average.keysWhoseNumberOfPositionsIsAboveEvaluationLimit = t.keysWhoseNumberOfPositionsIsAboveEvaluationLimit / divisor;
    average.keysWhoseNumberOfPositionsIsAboveIndexingLimit = t.keysWhoseNumberOfPositionsIsAboveIndexingLimit / divisor;
    average.keysWhoseNumberOfPositionsIsAboveCountLimit = t.keysWhoseNumberOfPositionsIsAboveCountLimit / divisor;
    average.numberOfReferenceGenomePositionsOverEvaluationLimit =
        t.numberOfReferenceGenomePositionsOverEvaluationLimit / divisor;
    average.numberOfReferenceGenomePositionsOverIndexingLimit =
        t.numberOfReferenceGenomePositionsOverIndexingLimit / divisor;
    average.numberOfReferenceGenomePositionsOverCountLimit = t.numberOfReferenceGenomePositionsOverCountLimit / divisor;
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

// What one partition contributes to its key table: its distinct keys, in key order.
struct PartitionKeys {
    std::uint64_t firstEntry = 0;
    std::uint64_t numberOfKeys = 0;
};

std::uint64_t countDistinctKeys(std::span<const std::uint32_t> sortedKeys) {
    std::uint64_t distinct = 0;
    for (std::size_t i = 0; i < sortedKeys.size(); ++i) distinct += (i == 0 || sortedKeys[i] != sortedKeys[i - 1]);
    return distinct;
}

// Writes a partition's entries and its slice of the directory, and adds its statistics.
void emitPartition(KeyTable& table, std::uint32_t partition, std::span<const std::uint32_t> sortedKeys,
                   std::uint64_t firstEntry, const CountLimits& limits, CountStatistics& statistics,
                   std::uint64_t& listedPositions) {
    const int bucketBitsPerPartition = table.directoryBits - partitionBits;
    std::uint64_t bucket = std::uint64_t{partition} << bucketBitsPerPartition;
    const std::uint64_t endBucket = std::uint64_t{partition + 1} << bucketBitsPerPartition;
    std::uint64_t entry = firstEntry;
    for (std::size_t i = 0; i < sortedKeys.size();) {
        const std::uint32_t key = sortedKeys[i];
        std::size_t run = i + 1;
        while (run < sortedKeys.size() && sortedKeys[run] == key) ++run;
        const std::uint64_t positions = run - i;
        for (; bucket <= table.bucketOf(key); ++bucket) table.directory[bucket] = static_cast<std::uint32_t>(entry);
        const auto count = static_cast<std::uint16_t>(std::min<std::uint64_t>(positions, saturatedKeyCount));
        table.entries[entry++] = makeEntry(key, count, 0);
        addKeyToCountStatistics(positions, limits, statistics);
        if (isListedCount(positions, limits.indexingLimit)) listedPositions += positions;
        i = run;
    }
    for (; bucket < endBucket; ++bucket) table.directory[bucket] = static_cast<std::uint32_t>(entry);
}

class EncodingCounter {
public:
    EncodingCounter(CountArrays& arrays, int encoding) : arrays_(arrays), encoding_(encoding) {}

    void count(const KeyStreamPartitions& partitions) {
        KeyTable& table = arrays_.keyTables[encoding_];
        const std::uint64_t keys = partitions.numberOfWindows();
        table.directoryBits = directoryBitsForKeys(keys);
        table.directory.assign((std::size_t{1} << table.directoryBits) + 1, 0);
        // Room for every key being distinct; pages past the real number are never touched.
        table.entries = allocateZeroedArray<std::uint64_t>(std::max<std::uint64_t>(keys, 1));
        const std::uint64_t perRange = std::max<std::uint64_t>(temporaryBytesForIndexBuild(keys, arrays_.sortingMemoryBytes) / 8, 1);
        std::uint64_t nextEntry = 0;
        for (const auto& [first, last] : partitions.ranges(perRange)) nextEntry = countRange(partitions, first, last, nextEntry);
        table.numberOfEntries = nextEntry;
        table.directory.back() = static_cast<std::uint32_t>(nextEntry);
        shrinkEntries(table);
    }

private:
    std::uint64_t countRange(const KeyStreamPartitions& partitions, std::uint32_t first, std::uint32_t last,
                             std::uint64_t nextEntry) {
        std::uint64_t windows = 0;
        for (std::uint32_t p = first; p < last; ++p) windows += partitions.windowsInPartition(p);
        const auto buffer = allocateZeroedArray<std::uint32_t>(std::max<std::uint64_t>(windows, 1));
        const auto scratch = allocateZeroedArray<std::uint32_t>(std::max<std::uint64_t>(windows, 1));
        std::array<PartitionKeys, numberOfPartitions> keys{};
        std::vector<CountStatistics> statistics(static_cast<std::size_t>(omp_get_max_threads()));
        // Distinct keys per partition first, so that every partition knows where its entries go.
        partitions.sortRange(first, last, {buffer.get(), windows}, {scratch.get(), windows},
                             [&](std::uint32_t p, std::span<const std::uint32_t> sorted) {
                                 keys[p].numberOfKeys = countDistinctKeys(sorted);
                             });
        for (std::uint32_t p = first; p < last; ++p) {
            keys[p].firstEntry = nextEntry;
            nextEntry += keys[p].numberOfKeys;
        }
        std::uint64_t start = 0;
        std::array<std::uint64_t, numberOfPartitions> partitionStart{};
        for (std::uint32_t p = first; p < last; ++p) {
            partitionStart[p] = start;
            start += partitions.windowsInPartition(p);
        }
        KeyTable& table = arrays_.keyTables[encoding_];
#pragma omp parallel for schedule(dynamic, 1)
        for (std::uint32_t p = first; p < last; ++p) {
            const std::span<const std::uint32_t> sorted(buffer.get() + partitionStart[p], partitions.windowsInPartition(p));
            emitPartition(table, p, sorted, keys[p].firstEntry, arrays_.limits,
                          statistics[static_cast<std::size_t>(omp_get_thread_num())],
                          arrays_.listedPositionsPerPartition[encoding_][p]);
        }
        for (const CountStatistics& s : statistics) sumCountStatistics(arrays_.statistics[encoding_], s);
        return nextEntry;
    }

    static void shrinkEntries(KeyTable& table) {
        const std::size_t bytes = std::max<std::uint64_t>(table.numberOfEntries, 1) * sizeof(std::uint64_t);
        void* shrunk = std::realloc(table.entries.get(), bytes);
        if (shrunk != nullptr) {
            (void)table.entries.release();
            table.entries.reset(static_cast<std::uint64_t*>(shrunk));
        }
    }

    CountArrays& arrays_;
    int encoding_;
};

const char* const sectionMessages[numberOfKeyEncodings] = {"AG count array creation", "CG count array creation",
                                                           " XOR count array creation"};

void countEncoding(CountArrays& arrays, const GenomeSequence& genome, int encoding, LockedFile* progressFile) {
    IndexBuildProgress progress(progressFile, encoding, genome.paddedSequenceLength);
    progress.announce(sectionMessages[encoding]);
    const KeyPlane plane(genome.basePlaneWords.get(), genome.checkPlaneWords.get(), encoding);
    const KeyStreamPartitions partitions(plane, genome.utilizedBinaryEncodedArraySize, progress.keyStreamProgress());
    EncodingCounter(arrays, encoding).count(partitions);
    progress.finish();
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
                                              LockedFile* progressFile, std::uint64_t sortingMemoryBytes) {
    auto arrays = std::make_unique<CountArrays>();
    if (genome.genomeInformation) arrays->genomeInformation = std::make_unique<GenomeInformation>(*genome.genomeInformation);
    arrays->limits = limits;
    arrays->sortingMemoryBytes = sortingMemoryBytes;
    // One encoding after another, each with every thread: three at once would hold three
    // sorting buffers at the same time.
    for (int encoding = 0; encoding < numberOfKeyEncodings; ++encoding)
        countEncoding(*arrays, genome, encoding, progressFile);
    for (const CountStatistics& s : arrays->statistics) sumCountStatistics(arrays->totalStatistics, s);
    averageCountStatistics(arrays->averageStatistics, arrays->totalStatistics, numberOfKeyEncodings);
    return arrays;
}

std::unique_ptr<CountArrays> createCountArrays(const ExecutionParameters& params, GenomeSequence& genome) {
    LockedFile& output = *params.standardOutputFile;
    if (params.verbose) {
        output.writeUnderLock(stringPrintf("\nCounting number of positions associated with each key generated from "
                                           "reference genome:\n\t%u of %lu keys have been processed\n\t\t",
                                           0u, static_cast<unsigned long>(genome.paddedSequenceLength)),
                              true);
    }
    const CountLimits limits{params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex,
                             params.maximumNumberOfPositionsAKeyCanHaveInAnIndex};
    auto arrays = buildCountArrays(genome, limits, params.verbose ? &output : nullptr);
    genome.mappingQualityOfKeyWithTooManyPositions = calculateMappingQualityOfKeyWithTooManyPositions(arrays->statistics);
    if (params.verbose) output.writeUnderLock(countReport(*arrays, genome.mappingQualityOfKeyWithTooManyPositions));
    return arrays;
}

}  // namespace koru
