#include "index/binary_indexes.h"

#include <algorithm>
#include <utility>

#include "index/index_build_memory.h"
#include "index/key_stream_partitions.h"
#include "index/index_progress.h"
#include "support/text_format.h"

namespace koru {

namespace {

// Sets the position index entries of one partition's keys and copies their lists into place.
// The partition's sorted windows and its entries are both in key order, one run per entry.
void placePartition(KeyTable& table, std::uint32_t partition, std::span<const std::uint64_t> sorted,
                    std::uint32_t* storage, std::uint64_t offset, std::uint32_t indexingLimit) {
    const int bucketBitsPerPartition = table.directoryBits - partitionBits;
    std::uint64_t entry = table.directory[std::size_t{partition} << bucketBitsPerPartition];
    for (std::size_t i = 0; i < sorted.size(); ++entry) {
        const std::uint64_t key = sorted[i] >> 32;
        std::size_t run = i + 1;
        while (run < sorted.size() && (sorted[run] >> 32) == key) ++run;
        const std::uint64_t positions = run - i;
        std::uint32_t value = 0;
        if (positions == 1) {
            value = static_cast<std::uint32_t>(sorted[i]);
        } else if (isListedCount(positions, indexingLimit)) {
            value = static_cast<std::uint32_t>(offset);
            for (std::size_t j = i; j < run; ++j) storage[offset++] = static_cast<std::uint32_t>(sorted[j]);
        }
        std::uint64_t& slot = table.entries[entry];
        slot = makeEntry(static_cast<std::uint32_t>(key), entryCount(slot), value);
        i = run;
    }
}

const char* const startMessages[numberOfKeyEncodings] = {" starting AG index creation", " starting CG index creation",
                                                         " starting XOR index creation"};
const char* const completeMessages[numberOfKeyEncodings] = {" completed AG index creation", " completed CG index creation",
                                                            " completed XOR index creation"};

void indexEncoding(BinaryIndexes& indexes, CountArrays& countArrays, const GenomeSequence& genome, int encoding,
                   LockedFile* progressFile) {
    IndexBuildProgress progress(progressFile, encoding, genome.paddedSequenceLength);
    progress.announce(startMessages[encoding]);
    const KeyPlane plane(genome.basePlaneWords.get(), genome.checkPlaneWords.get(), encoding);
    const KeyStreamPartitions partitions(plane, genome.utilizedBinaryEncodedArraySize, progress.keyStreamProgress());

    const auto& listed = countArrays.listedPositionsPerPartition[encoding];
    std::array<std::uint64_t, numberOfPartitions> offset{};
    std::uint64_t next = 1;
    for (std::uint32_t p = 0; p < numberOfPartitions; ++p) offset[p] = std::exchange(next, next + listed[p]);
    indexes.storageUsed[encoding] = next;
    indexes.storage[encoding] = allocateZeroedArray<std::uint32_t>(next);

    KeyTable& table = countArrays.keyTables[encoding];
    const std::uint32_t indexingLimit = countArrays.limits.indexingLimit;
    const std::uint64_t perRange =
        std::max<std::uint64_t>(temporaryBytesForIndexBuild(partitions.numberOfWindows(), countArrays.sortingMemoryBytes) / 16, 1);
    for (const auto& [first, last] : partitions.ranges(perRange)) {
        std::uint64_t windows = 0;
        for (std::uint32_t p = first; p < last; ++p) windows += partitions.windowsInPartition(p);
        const auto buffer = allocateZeroedArray<std::uint64_t>(std::max<std::uint64_t>(windows, 1));
        const auto scratch = allocateZeroedArray<std::uint64_t>(std::max<std::uint64_t>(windows, 1));
        partitions.sortRange(first, last, {buffer.get(), windows}, {scratch.get(), windows},
                             [&](std::uint32_t p, std::span<const std::uint64_t> sorted) {
                                 placePartition(table, p, sorted, indexes.storage[encoding].get(), offset[p], indexingLimit);
                             });
    }
    progress.announce(completeMessages[encoding]);
    progress.finish();
}

std::string storageUtilizationReport(const BinaryIndexes& indexes, const GenomeSequence& genome) {
    const auto storageSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(genome.paddedSequenceLength, std::uint64_t{1} << 31));
    std::string text = "\nIndex Storage Utilization:\n";
    appendPrintf(text, "\tStorage allocated for each index = %u * 4 Bytes\n", storageSize);
    appendPrintf(text, "\tA/G or Base Index =  %16u * 4 Bytes\n", static_cast<std::uint32_t>(indexes.storageUsed[agKeyEncoding]));
    appendPrintf(text, "\tC/G or Check Index = %16u * 4 Bytes\n", static_cast<std::uint32_t>(indexes.storageUsed[cgKeyEncoding]));
    appendPrintf(text, "\tA/C or XOR Index =   %16u * 4 Bytes\n", static_cast<std::uint32_t>(indexes.storageUsed[xorKeyEncoding]));
    return text;
}

}  // namespace

std::unique_ptr<BinaryIndexes> buildBinaryIndexes(CountArrays& countArrays, const GenomeSequence& genome,
                                                  LockedFile* progressFile) {
    auto indexes = std::make_unique<BinaryIndexes>();
    indexes->countArrays = &countArrays;
    indexes->genomeSequence = &genome;
    for (int encoding = 0; encoding < numberOfKeyEncodings; ++encoding)
        indexEncoding(*indexes, countArrays, genome, encoding, progressFile);
    return indexes;
}

std::unique_ptr<BinaryIndexes> createBinaryIndexes(const ExecutionParameters& params, CountArrays& countArrays,
                                                   const GenomeSequence& genome) {
    LockedFile& output = *params.standardOutputFile;
    if (params.verbose)
        output.writeUnderLock(stringPrintf("\nGenerating binary indexes for reference genome:\n\t%u of %lu keys have "
                                           "been processed\n\t\t",
                                           0u, static_cast<unsigned long>(genome.paddedSequenceLength)),
                              true);
    auto indexes = buildBinaryIndexes(countArrays, genome, params.verbose ? &output : nullptr);
    if (params.verbose) output.writeUnderLock(storageUtilizationReport(*indexes, genome));
    return indexes;
}

}  // namespace koru
