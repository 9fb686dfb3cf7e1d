#include "index/binary_indexes.h"

#include <algorithm>
#include <array>
#include <utility>

#include "index/index_progress.h"
#include "support/prefetch.h"
#include "support/text_format.h"

namespace koru {

namespace {

const char* const startMessages[numberOfKeyEncodings] = {
    " starting AG index creation", " starting CG index creation", " starting XOR index creation"};
const char* const completeMessages[numberOfKeyEncodings] = {
    " completed AG index creation", " completed CG index creation", " completed XOR index creation"};

// The lists were laid out by the counting sort, which saw every position anyway, in the tables
// the counts live in; this stage only reports.
void indexEncoding(const GenomeSequence& genome, int encoding, LockedFile* progressFile) {
    IndexBuildProgress progress(progressFile, encoding, genome.paddedSequenceLength);
    progress.announce(startMessages[encoding]);
    progress.announce(completeMessages[encoding]);
    progress.finish();
}

std::string storageUtilizationReport(const BinaryIndexes& indexes, const GenomeSequence& genome) {
    const auto storageSize = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(genome.paddedSequenceLength, std::uint64_t{1} << 31));
    std::string text = "\nIndex Storage Utilization:\n";
    appendPrintf(text, "\tStorage allocated for each index = %u * 4 Bytes\n", storageSize);
    const auto& listed = indexes.countArrays->listedPositions;
    appendPrintf(text, "\tA/G or Base Index =  %16u * 4 Bytes\n",
                 static_cast<std::uint32_t>(listed[agKeyEncoding]));
    appendPrintf(text, "\tC/G or Check Index = %16u * 4 Bytes\n",
                 static_cast<std::uint32_t>(listed[cgKeyEncoding]));
    appendPrintf(text, "\tA/C or XOR Index =   %16u * 4 Bytes\n",
                 static_cast<std::uint32_t>(listed[xorKeyEncoding]));
    return text;
}

}  // namespace

void BinaryIndexes::lookupKeyTriples(
    std::span<const std::array<std::uint32_t, numberOfKeyEncodings>> keys,
    std::span<std::array<KeyPositions, numberOfKeyEncodings>> results) const {
    // A rolling pipeline over the windows: window j's directory entries are asked for, window
    // j - d's residuals, and window j - 2d is resolved, so that 3d misses of each stage stay in
    // flight rather than adding up one after another.
    constexpr std::size_t d = 4, ring = 2 * d;  // a power of two, so that ring slots are a mask
    const auto& tables = countArrays->keyTables;
    std::uint32_t first[ring][numberOfKeyEncodings], last[ring][numberOfKeyEncodings];
    const std::size_t n = keys.size();
    for (std::size_t j = 0; j < n + 2 * d; ++j) {
        if (j < n)
            for (int e = 0; e < numberOfKeyEncodings; ++e) tables[e].prefetch(keys[j][e]);
        if (j >= d && j - d < n) {
            const std::size_t k = j - d, slot = k & (ring - 1);
            for (int e = 0; e < numberOfKeyEncodings; ++e) {
                const KeyTable& table = tables[e];
                const std::uint32_t bucket = table.bucketOf(keys[k][e]);
                first[slot][e] = table.directory[bucket];
                last[slot][e] = table.directory[bucket + 1];
                table.prefetchBucketResiduals(first[slot][e], last[slot][e]);
            }
        }
        if (j >= 2 * d && j - 2 * d < n) {
            const std::size_t k = j - 2 * d, slot = k & (ring - 1);
            for (int e = 0; e < numberOfKeyEncodings; ++e) {
                const KeyTable& table = tables[e];
                const KeyRun run = table.findRunInBucket(keys[k][e], first[slot][e], last[slot][e]);
                results[k][e] = positionsOfRun(table, run);
                // Lists in buckets too large to be asked for whole.
                if (results[k][e].list != nullptr) prefetchLine(results[k][e].list);
            }
        }
    }
}

std::unique_ptr<BinaryIndexes> buildBinaryIndexes(CountArrays& countArrays, const GenomeSequence& genome,
                                                  LockedFile* progressFile) {
    auto indexes = std::make_unique<BinaryIndexes>();
    indexes->countArrays = &countArrays;
    indexes->genomeSequence = &genome;
    for (int encoding = 0; encoding < numberOfKeyEncodings; ++encoding)
        indexEncoding(genome, encoding, progressFile);
    return indexes;
}

std::unique_ptr<BinaryIndexes> createBinaryIndexes(CountArrays& countArrays, const GenomeSequence& genome,
                                                   LockedFile* verboseFile) {
    if (verboseFile != nullptr)
        verboseFile->writeUnderLock(
            stringPrintf("\nGenerating binary indexes for reference genome:\n\t%u of %lu keys have "
                         "been processed\n\t\t",
                         0u, static_cast<unsigned long>(genome.paddedSequenceLength)),
            true);
    auto indexes = buildBinaryIndexes(countArrays, genome, verboseFile);
    if (verboseFile != nullptr) verboseFile->writeUnderLock(storageUtilizationReport(*indexes, genome));
    return indexes;
}

}  // namespace koru
