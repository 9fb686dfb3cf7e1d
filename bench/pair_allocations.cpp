// Heap allocations of the pair step in the steady state: every read pair of two FASTQ files is
// mapped, aligned and written as SAM and QMR (to /dev/null) on one thread, and the allocations
// made after the first pairs (which size the reused buffers) are counted.
//
//   build/koru_pair_allocations GENOME.fa READS_1.fq READS_2.fq [--mate-pair]
//
// Prints "pairs N, allocations per pair X" and exits 1 when X is above 0.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "config/command_line.h"
#include "genome/genome_sequence.h"
#include "index/binary_indexes.h"
#include "index/count_arrays.h"
#include "io/fastq_reader.h"
#include "io/output_files.h"
#include "mapping/read_pair_alignment.h"
#include "support/locked_file.h"

namespace {

std::size_t allocations = 0;  // one thread only

}  // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

int main(int argc, char** argv) {
    using namespace koru;
    if (argc < 4) {
        std::fprintf(stderr, "usage: koru_pair_allocations GENOME.fa READS_1.fq READS_2.fq [--mate-pair]\n");
        return 2;
    }
    ExecutionParameters params;
    initExecutionParameters(params);
    params.isReadPairSequencingData = !(argc > 4 && std::strcmp(argv[4], "--mate-pair") == 0);
    params.genomeInformation = createFastaGenomeInformation(argv[1]);
    params.standardOutputFile = createLockedFile("/dev/null", false, false);
    params.samOutputRequestParameters.isSamOutputRequest = true;
    params.samOutputRequestParameters.samOutputFile = createLockedFile("/dev/null", false, false);
    params.qmrOutputRequestParameters.isQmrOutputRequest = true;
    params.qmrOutputRequestParameters.qmrOutputFile = createLockedFile("/dev/null", false, true);
    const auto genome = createGenomeSequence(params.genomeInformation.get(), nullptr);
    const auto counts = buildCountArrays(*genome, {750, 32768}, nullptr);
    const auto indexes = buildBinaryIndexes(*counts, *genome, nullptr);

    ReadPairFastqFiles files(argv[2], argv[3]);
    ReadPairFastqFileReadBuffers buffers(files);
    OutputFileBufferedFileWriters writers = createOutputFileBufferedFileWriters(params);
    auto pair = createReadPair(0, 0);
    auto statistics = createReadPairMappingStatistics(params);
    MappingWorkspace workspace(params);
    constexpr std::size_t warmUpPairs = 1000;
    std::size_t pairs = 0, counted = 0, before = 0;
    const auto start = std::chrono::steady_clock::now();
    while (buffers.getNextReadPair(*pair)) {
        if (++pairs == warmUpPairs) before = allocations;
        const PairedAlignments& alignments = alignReadPair(params, *pair, *indexes, *statistics, workspace);
        writePairedAlignmentsToOutputFile(params, alignments, writers, *genome);
        if (pairs >= warmUpPairs) ++counted;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double perPair = counted == 0 ? 0.0 : static_cast<double>(allocations - before) / counted;
    std::printf("pairs %zu, allocations per pair %.2f, pairs per second %.0f\n", pairs, perPair,
                static_cast<double>(pairs) / seconds);
    return perPair > 0.0 ? 1 : 0;
}
