// Candidate generation plus scoring per read, on reads cut from a reference with 1%
// substitutions: reads per second, and how often the best candidate is the read's origin.
//
//   build/koru_candidates_benchmark --genome=bench-output/data/NC_008253.fa [benchmark flags]

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "candidates/candidate_generation.h"
#include "config/command_line.h"
#include "genome/genome_sequence.h"
#include "index/binary_indexes.h"
#include "mapping/candidate_scoring.h"
#include "sequence/nucleotide_encoding.h"

namespace {

using namespace koru;

std::string genomePath;

struct Reference {
    std::unique_ptr<ExecutionParameters> params;
    std::unique_ptr<GenomeSequence> genome;
    std::unique_ptr<CountArrays> counts;
    std::unique_ptr<BinaryIndexes> indexes;
};

Reference& reference() {
    static Reference built = [] {
        Reference r;
        r.params = std::make_unique<ExecutionParameters>();
        initExecutionParameters(*r.params);
        r.params->genomeInformation = createFastaGenomeInformation(genomePath);
        r.params->standardOutputFile = createLockedFile("/dev/null", false, false);
        r.genome = createGenomeSequence(r.params->genomeInformation.get(), nullptr);
        r.counts = buildCountArrays(*r.genome, {750, 32768}, nullptr);
        r.indexes = buildBinaryIndexes(*r.counts, *r.genome, nullptr);
        return r;
    }();
    return built;
}

struct SimulatedRead {
    std::string sequence;
    std::uint32_t position = 0;  // genome position of the leftmost base
};

// Reads from chromosome bases only (no padding or N), either strand, 1% substitutions.
std::vector<SimulatedRead> simulateReads(std::uint32_t length, std::size_t count) {
    const GenomeSequence& genome = *reference().genome;
    std::mt19937_64 random(length);
    std::vector<SimulatedRead> reads;
    while (reads.size() < count) {
        const auto position = static_cast<std::uint32_t>(random() % (genome.paddedSequenceLength - length));
        std::string text;
        referenceText(genome, position, length, text);
        if (text.find_first_not_of("ACGT") != std::string::npos) continue;
        for (char& base : text)
            if (random() % 100 == 0)
                base = "ACGT"[(std::string_view("ACGT").find(base) + 1 + random() % 3) % 4];
        if (random() % 2 == 1) {
            std::string reverse;
            reverseComplementAsciiEncodedSequence(text, reverse);
            text = reverse;
        }
        reads.push_back({text, position});
    }
    return reads;
}

void mapReads(benchmark::State& state) {
    const auto length = static_cast<std::uint32_t>(state.range(0));
    const Reference& ref = reference();
    const std::vector<SimulatedRead> reads = simulateReads(length, 4096);
    auto pair = createReadPair(length, 16);
    Read& read = pair->readA;
    auto store = createCandidatePositions(5, ref.params->maximumSizeOfIndelToDetect);
    auto scratch = std::make_unique<CandidateGenerationScratch>();
    std::size_t next = 0, found = 0, mapped = 0;
    for (auto _ : state) {
        const SimulatedRead& simulated = reads[next++ % reads.size()];
        read.sequence = simulated.sequence;
        read.length = length;
        resetReadPair(*pair, true, false);
        encodeRead(read);
        calculateAndSetBasesToShiftBetweenKeyGenerationForRead(*ref.params, read);
        clearCandidatePositions(*store);
        generateCandidatePositionsForRead(*ref.params, *ref.indexes, read, *store, *scratch);
        scoreCandidatePositions(*ref.params, *store, *ref.genome, read);
        const CandidatePosition* best = store->lowestMismatchCandidate;
        mapped += best != nullptr;
        found += best != nullptr && best->genomePosition == simulated.position;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["best_is_origin"] =
        static_cast<double>(found) / static_cast<double>(std::max<std::size_t>(next, 1));
    state.counters["mapped"] =
        static_cast<double>(mapped) / static_cast<double>(std::max<std::size_t>(next, 1));
}

BENCHMARK(mapReads)->Arg(100)->Arg(150)->ArgName("read_length")->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> arguments;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--genome=", 9) == 0) {
            genomePath = argv[i] + 9;
        } else {
            arguments.push_back(argv[i]);
        }
    }
    if (genomePath.empty()) {
        std::fprintf(stderr, "usage: koru_candidates_benchmark --genome=FASTA [benchmark flags]\n");
        return 1;
    }
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
