// Writes a synthetic reference genome for the benchmarks: random chromosomes with copied
// segments (repeats with a few mutations), homopolymer runs and runs of N, so that the index
// sees realistic repeat structure at any size. Deterministic for a given seed.
//
//   make_synthetic_genome OUTPUT.fa MEGABASES [CHROMOSOMES] [SEED]

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

const char bases[] = "ACGT";

void mutate(std::string& text, std::size_t start, std::size_t length, double rate, std::mt19937_64& random) {
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    for (std::size_t i = start; i < start + length && i < text.size(); ++i)
        if (uniform(random) < rate) text[i] = bases[random() % 4];
}

std::string makeChromosome(std::size_t length, std::mt19937_64& random) {
    std::string text(length, 'A');
    for (char& base : text) base = bases[random() % 4];
    // About 20% of the chromosome is copies of earlier segments: interspersed repeats.
    for (std::size_t copied = 0; copied < length / 5 && length > 20000;) {
        const std::size_t size = 300 + random() % 6000;
        const std::size_t from = random() % (length - size), to = random() % (length - size);
        text.replace(to, size, text, from, size);
        mutate(text, to, size, 0.01, random);
        copied += size;
    }
    // Homopolymer and dinucleotide runs.
    for (std::size_t i = 0; i < length / 20000; ++i) {
        const std::size_t size = 20 + random() % 200, at = random() % (length - size);
        const char a = bases[random() % 4], b = bases[random() % 4];
        for (std::size_t j = 0; j < size; ++j) text[at + j] = (j % 2 == 0) ? a : b;
    }
    // Runs of N: many short gaps and a few long ones.
    for (std::size_t i = 0; i < length / 100000 + 1; ++i) {
        const std::size_t size = (i % 10 == 0 ? 10000 + random() % 40000 : 10 + random() % 500);
        if (size >= length) continue;
        text.replace(random() % (length - size), size, size, 'N');
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_synthetic_genome OUTPUT.fa MEGABASES [CHROMOSOMES] [SEED]\n");
        return 1;
    }
    const double megabases = std::atof(argv[2]);
    const int chromosomes = argc > 3 ? std::atoi(argv[3]) : 8;
    std::mt19937_64 random(argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1);
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr || megabases <= 0 || chromosomes <= 0) return 1;
    const auto total = static_cast<std::size_t>(megabases * 1e6);
    for (int c = 0; c < chromosomes; ++c) {
        const std::string text = makeChromosome(total / static_cast<std::size_t>(chromosomes), random);
        std::fprintf(out, ">synthetic%d synthetic chromosome %d\n", c + 1, c + 1);
        for (std::size_t i = 0; i < text.size(); i += 60) std::fprintf(out, "%.*s\n", 60, text.c_str() + i);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
