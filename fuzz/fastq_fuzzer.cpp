// FASTQ read pairs (--read1FastqFileName, --read2FastqFileName): the input is the read 1 file, a
// NUL byte, and the read 2 file, each plain or gzip-compressed (corrupt streams included). Pairs
// are read through the reader thread in small chunks, so that records straddle chunk boundaries,
// and mapped. Plain files are also read gzip-compressed, which must give the same records.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "io/fastq_reader.h"
#include "io/output_files.h"
#include "mapping/read_pair_alignment.h"

namespace {

using namespace koru;
using namespace koru::fuzz;

// Pairs mapped per input, to keep an input's time bounded.
constexpr std::size_t mappedPairs = 32;
// Writers sized for those pairs: the default 10 MiB buffers, zero-filled and quarantined by
// AddressSanitizer on every input, would cost most of each execution.
constexpr std::uint32_t writerBytes = 1 << 16;

struct Reading {
    bool refused = false;
    std::vector<std::string> records;
};

Reading readPairs(const std::string& read1, const std::string& read2, std::size_t chunkBytes,
                  std::uint32_t qualityOffset, bool map) {
    const Reference& reference = lambdaReference();
    static const std::unique_ptr<ExecutionParameters> params = mappingParameters(*reference.genome);
    params->phredQualityOffset = qualityOffset;
    Reading reading;
    reading.refused = !accepted([&] {
        ReadPairFastqFiles files(read1, read2);
        ReadPairFastqFileReadBuffers buffers(files, chunkBytes, qualityOffset);
        OutputFileBufferedFileWriters writers = createOutputFileBufferedFileWriters(
            params->samOutputRequestParameters.samOutputFile.get(), writerBytes,
            params->qmrOutputRequestParameters.qmrOutputFile.get(), writerBytes);
        auto pair = createReadPair(0, 0);
        // Built once: each costs more than reading an input.
        static const auto statistics = createReadPairMappingStatistics(*params);
        static MappingWorkspace workspace(*params);
        while (buffers.getNextReadPair(*pair)) {
            for (const Read* read : {&pair->readA, &pair->readB})
                reading.records.push_back(read->name + "\n" + read->sequence.substr(0, read->length) + "\n" +
                                          read->qualitySequence.substr(0, read->length));
            if (!map || reading.records.size() > 2 * mappedPairs) continue;
            const PairedAlignments& alignments =
                alignReadPair(*params, *pair, *reference.indexes, *statistics, workspace);
            writePairedAlignmentsToOutputFile(*params, alignments, writers, *reference.genome);
        }
    });
    return reading;
}

bool isCompressed(std::string_view text) {
    return text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0x1f &&
           static_cast<unsigned char>(text[1]) == 0x8b;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    prepareFuzzing();
    lambdaReference();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [read1, read2] = splitAtNul(data, size);
    static const std::string paths[4] = {scratchPath("reads_1.fq"), scratchPath("reads_2.fq"),
                                         scratchPath("reads_1.fq.gz"), scratchPath("reads_2.fq.gz")};
    writeScratchFile(paths[0], read1);
    writeScratchFile(paths[1], read2);
    // Chunks from a few bytes up, and now and then qualities at offset 64, both from the input.
    const std::size_t chunkBytes = 8 + size % 251;
    const std::uint32_t qualityOffset = size % 8 == 7 ? 64 : 33;
    const Reading plain = readPairs(paths[0], paths[1], chunkBytes, qualityOffset, true);
    if (isCompressed(read1) || isCompressed(read2)) return 0;
    writeScratchFile(paths[2], gzipCompressed(read1, 2));
    writeScratchFile(paths[3], gzipCompressed(read2, 1));
    const Reading compressed = readPairs(paths[2], paths[3], chunkBytes, qualityOffset, false);
    KORU_FUZZ_CHECK(plain.refused == compressed.refused);
    KORU_FUZZ_CHECK(plain.records == compressed.records);
    return 0;
}
