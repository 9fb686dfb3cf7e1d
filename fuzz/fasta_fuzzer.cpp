// FASTA references as koru reads them from a file (--referenceGenomeFastaFileName): the input is the
// file, plain or gzip-compressed (corrupt compressed streams included). A plain input is also read
// compressed in two members, which must give the same genome; a small genome is indexed too.

#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "index/binary_indexes.h"
#include "index/count_arrays.h"

namespace {

using namespace koru;
using namespace koru::fuzz;

std::unique_ptr<GenomeSequence> readGenome(const std::string& path) {
    GenomeInformation information;
    information.file = path;
    information.formatType = fastaGenomeFormatType;
    std::unique_ptr<GenomeSequence> genome;
    if (!accepted([&] { genome = createGenomeSequence(&information, nullptr); })) return nullptr;
    return genome;
}

bool sameGenome(const GenomeSequence& a, const GenomeSequence& b) {
    if (a.chromosomes.size() != b.chromosomes.size() || a.paddedSequenceLength != b.paddedSequenceLength ||
        a.sequenceLength != b.sequenceLength || a.otherLetters.size() != b.otherLetters.size())
        return false;
    for (std::size_t i = 0; i < a.chromosomes.size(); ++i)
        if (a.chromosomes[i].name != b.chromosomes[i].name ||
            a.chromosomes[i].basePairs != b.chromosomes[i].basePairs)
            return false;
    const std::size_t words = a.utilizedBinaryEncodedArraySize;
    return std::memcmp(a.planeWords.get(), b.planeWords.get(), 8 * words) == 0 &&
           std::memcmp(a.uncalledPlaneWords.get(), b.uncalledPlaneWords.get(), 4 * words) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    prepareFuzzing();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static const std::string plainPath = scratchPath("genome.fa");
    static const std::string compressedPath = scratchPath("genome.fa.gz");
    writeScratchFile(plainPath, text);
    const std::unique_ptr<GenomeSequence> genome = readGenome(plainPath);
    if (genome) checkGenome(*genome);

    const bool isCompressed = size >= 2 && data[0] == 0x1f && data[1] == 0x8b;
    if (!isCompressed) {
        writeScratchFile(compressedPath, gzipCompressed(text, 2));
        const std::unique_ptr<GenomeSequence> decompressed = readGenome(compressedPath);
        KORU_FUZZ_CHECK((genome == nullptr) == (decompressed == nullptr));
        if (genome) KORU_FUZZ_CHECK(sameGenome(*genome, *decompressed));
    }

    // Small genomes are indexed, as a run would index them, and every key is looked up.
    if (genome && genome->paddedSequenceLength <= 8192) {
        const std::unique_ptr<CountArrays> counts = buildCountArrays(*genome, CountLimits{}, nullptr);
        const std::unique_ptr<BinaryIndexes> indexes = buildBinaryIndexes(*counts, *genome, nullptr);
        for (const KeyTable& table : counts->keyTables)
            for (std::uint64_t entry = 0; entry < table.numberOfEntries; ++entry) {
                const std::uint32_t position = table.positions[entry];
                KORU_FUZZ_CHECK(position == tooManyPositionsMark || position < genome->paddedSequenceLength ||
                                (entry > 0 && table.positions[entry - 1] == tooManyPositionsMark));
            }
    }
    return 0;
}
