// Simulates paired-end reads with known truth from a FASTA reference, for the demo, the
// accuracy tests and the benchmarks. Deterministic for a given seed on every machine: it uses
// its own normal distribution rather than the standard library's.
//
// Read names follow the Illumina 1.8 layout and carry the truth:
//   @sim:<pair>:<chromosome number>:<read 1 position>:<read 1 strand>:<read 2 position>:<read 2 strand>
//   1:N:0:1
// with 1-based positions of each read's leftmost base on the chromosome.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

struct Chromosome {
    std::string sequence;
};

struct Options {
    std::string fasta, read1, read2;
    std::uint64_t pairs = 1000;
    int readLength = 100;
    double insertMean = 350, insertDeviation = 40, substitutionRate = 0.005;
    std::uint64_t seed = 1;
};

std::vector<Chromosome> readFasta(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        std::cerr << "cannot read " << path << "\n";
        std::exit(1);
    }
    std::vector<Chromosome> chromosomes;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '>') {
            chromosomes.emplace_back();
        } else if (!chromosomes.empty()) {
            for (char c : line)
                if (!std::isspace(static_cast<unsigned char>(c)))
                    chromosomes.back().sequence +=
                        static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return chromosomes;
}

char complement(char base) {
    switch (base) {
        case 'A':
            return 'T';
        case 'C':
            return 'G';
        case 'G':
            return 'C';
        case 'T':
            return 'A';
        default:
            return 'N';
    }
}

std::string reverseComplement(const std::string& sequence) {
    std::string result(sequence.rbegin(), sequence.rend());
    for (char& base : result) base = complement(base);
    return result;
}

class Random {
  public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}
    double uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
    std::uint64_t below(std::uint64_t bound) { return engine_() % bound; }
    double normal(double mean, double deviation) {
        const double u1 = 1.0 - uniform(), u2 = uniform();
        return mean + deviation * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
    }

  private:
    std::mt19937_64 engine_;
};

std::string mutate(std::string read, double rate, Random& random) {
    static const char bases[] = "ACGT";
    for (char& base : read)
        if (random.uniform() < rate) base = bases[(std::string("ACGT").find(base) + 1 + random.below(3)) % 4];
    return read;
}

void writeRecord(std::FILE* out, const std::string& name, int mate, const std::string& sequence) {
    std::fprintf(out, "@%s %d:N:0:1\n%s\n+\n%s\n", name.c_str(), mate, sequence.c_str(),
                 std::string(sequence.size(), 'I').c_str());
}

Options parseOptions(int argc, char** argv) {
    if (argc < 4) {
        std::cerr
            << "usage: simulate_reads REFERENCE.fa READ1.fq READ2.fq [pairs] [read length] [insert mean] "
               "[insert deviation] [substitution rate] [seed]\n";
        std::exit(1);
    }
    Options options;
    options.fasta = argv[1];
    options.read1 = argv[2];
    options.read2 = argv[3];
    if (argc > 4) options.pairs = std::strtoull(argv[4], nullptr, 10);
    if (argc > 5) options.readLength = std::atoi(argv[5]);
    if (argc > 6) options.insertMean = std::atof(argv[6]);
    if (argc > 7) options.insertDeviation = std::atof(argv[7]);
    if (argc > 8) options.substitutionRate = std::atof(argv[8]);
    if (argc > 9) options.seed = std::strtoull(argv[9], nullptr, 10);
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    const std::vector<Chromosome> chromosomes = readFasta(options.fasta);
    std::uint64_t total = 0;
    for (const Chromosome& c : chromosomes) total += c.sequence.size();
    std::FILE* out1 = std::fopen(options.read1.c_str(), "w");
    std::FILE* out2 = std::fopen(options.read2.c_str(), "w");
    if (total == 0 || out1 == nullptr || out2 == nullptr) {
        std::cerr << "nothing to simulate from, or cannot write the reads\n";
        return 1;
    }
    Random random(options.seed);
    const auto length = static_cast<std::size_t>(options.readLength);
    for (std::uint64_t pair = 0; pair < options.pairs;) {
        std::uint64_t offset = random.below(total);
        std::size_t number = 0;
        while (offset >= chromosomes[number].sequence.size()) offset -= chromosomes[number++].sequence.size();
        const std::string& chromosome = chromosomes[number].sequence;
        const auto insert = static_cast<std::size_t>(
            std::max(static_cast<double>(length),
                     std::round(random.normal(options.insertMean, options.insertDeviation))));
        if (offset + insert > chromosome.size()) continue;
        const std::string fragment = chromosome.substr(offset, insert);
        if (fragment.find_first_not_of("ACGT") != std::string::npos) continue;
        const bool forward = random.below(2) == 0;
        const std::size_t left = offset + 1, right = offset + insert - length + 1;
        std::string first = fragment.substr(0, length),
                    second = reverseComplement(fragment.substr(insert - length));
        std::size_t firstPosition = left, secondPosition = right;
        if (!forward) {
            std::swap(first, second);
            std::swap(firstPosition, secondPosition);
        }
        const std::string name = "sim:" + std::to_string(pair) + ":" + std::to_string(number + 1) + ":" +
                                 std::to_string(firstPosition) + ":" + (forward ? "+" : "-") + ":" +
                                 std::to_string(secondPosition) + ":" + (forward ? "-" : "+");
        writeRecord(out1, name, 1, mutate(first, options.substitutionRate, random));
        writeRecord(out2, name, 2, mutate(second, options.substitutionRate, random));
        ++pair;
    }
    const bool written = std::fclose(out1) == 0 && std::fclose(out2) == 0;
    return written ? 0 : 1;
}
