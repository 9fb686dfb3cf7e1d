// Random key lookups in the compact index: keys that occur and keys that do not, under each
// encoding, on a synthetic genome of random bases.
//
//   build/koru_index_lookup_benchmark [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "index/binary_indexes.h"
#include "index/count_arrays.h"

namespace {

using namespace koru;

constexpr std::size_t genomeWords = 1 << 20;  // 32 Mbase

struct Index {
    std::unique_ptr<GenomeSequence> genome;
    std::unique_ptr<CountArrays> counts;
    std::unique_ptr<BinaryIndexes> indexes;
};

const Index& sharedIndex() {
    static const Index index = [] {
        Index built;
        built.genome = std::make_unique<GenomeSequence>();
        GenomeSequence& genome = *built.genome;
        genome.planeWords = allocateZeroedArray<std::uint32_t>(2 * genomeWords);
        std::mt19937 random(1);
        for (std::size_t i = 0; i + 2 < genomeWords; ++i) {
            genome.setWords(i, static_cast<std::uint32_t>(random()), static_cast<std::uint32_t>(random()));
        }
        genome.utilizedBinaryEncodedArraySize = genomeWords;
        genome.paddedSequenceLength = 32 * genomeWords;
        built.counts = buildCountArrays(genome, {750, 32768}, nullptr);
        built.indexes = buildBinaryIndexes(*built.counts, genome, nullptr);
        return built;
    }();
    return index;
}

std::vector<std::uint32_t> presentKeys(int encoding) {
    const GenomeSequence& genome = *sharedIndex().genome;
    std::mt19937 random(2);
    std::vector<std::uint32_t> keys(1 << 16);
    for (std::uint32_t& key : keys) {
        const std::size_t word = 1 + random() % (genomeWords - 4);
        const std::uint32_t base = genome.baseWord(word), check = genome.checkWord(word);
        key = encoding == 0 ? base : encoding == 1 ? check : base ^ check;
    }
    return keys;
}

std::vector<std::uint32_t> randomKeys() {
    std::mt19937 random(3);
    std::vector<std::uint32_t> keys(1 << 16);
    for (std::uint32_t& key : keys) key = static_cast<std::uint32_t>(random());
    return keys;
}

void lookupKeys(benchmark::State& state, const std::vector<std::uint32_t>& keys) {
    const BinaryIndexes& indexes = *sharedIndex().indexes;
    const int encoding = static_cast<int>(state.range(0));
    std::size_t i = 0;
    std::uint64_t found = 0;
    for (auto _ : state) {
        const KeyPositions positions = indexes.lookup(encoding, keys[i++ & (keys.size() - 1)]);
        found += positions.count;
        benchmark::DoNotOptimize(positions.positions().data());
    }
    benchmark::DoNotOptimize(found);
    state.SetItemsProcessed(state.iterations());
}

void BM_LookupPresentKey(benchmark::State& state) {
    lookupKeys(state, presentKeys(static_cast<int>(state.range(0))));
}
void BM_LookupAbsentKey(benchmark::State& state) {
    sharedIndex();
    lookupKeys(state, randomKeys());
}

// A read's worth of key triples at a time, looked up stage by stage.
void BM_LookupKeyTriplesInBatches(benchmark::State& state) {
    const BinaryIndexes& indexes = *sharedIndex().indexes;
    const std::vector<std::uint32_t> present = presentKeys(0), absent = randomKeys();
    std::vector<std::array<std::uint32_t, 3>> keys(1 << 12);
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = {present[i], present[i + 7] ^ 1, absent[i]};
    std::vector<std::array<KeyPositions, 3>> results(60);
    std::size_t offset = 0;
    for (auto _ : state) {
        indexes.lookupKeyTriples(std::span(keys).subspan(offset, 60), results);
        benchmark::DoNotOptimize(results.data());
        offset = (offset + 60) % (keys.size() - 60);
    }
    state.SetItemsProcessed(state.iterations() * 60 * 3);
}

BENCHMARK(BM_LookupPresentKey)->Arg(0)->Arg(1)->Arg(2)->ArgName("encoding");
BENCHMARK(BM_LookupAbsentKey)->Arg(0)->Arg(1)->Arg(2)->ArgName("encoding");
BENCHMARK(BM_LookupKeyTriplesInBatches);

}  // namespace

BENCHMARK_MAIN();
