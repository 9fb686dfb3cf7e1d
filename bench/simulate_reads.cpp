// Simulates read pairs with known truth from a FASTA reference, for the demo, the end-to-end tests
// and the benchmarks. Deterministic for a given seed on every machine: it uses its own normal
// distribution rather than the standard library's.
//
//   simulate_reads REFERENCE.fa READ1.fq READ2.fq [--pairs N] [--length L] [--insert MEAN]
//       [--deviation SD] [--substitutions RATE] [--indels RATE] [--mate-pair] [--seed S]
//       [--trimmed-from M]
//
// With --trimmed-from M, paired-end reads have lengths as trimming leaves them: each read, on its
// own, is a quarter of the time M to 63 bases and otherwise 64 to L, uniformly.
// Paired-end pairs face each other across an insert of about MEAN bases. With --mate-pair, a
// fragment of 2 to 5 kbase is circularised: the two ends join at a junction, and the pair's
// reads come from a short stretch around it, so a read may span the junction: one part near its
// mate, the other part at the far end of the fragment.
//
// Read names follow the Illumina 1.8 layout and carry the truth:
//   @sim:<pair>:<chromosome>:<read 1 position>:<read 1 strand>:<read 2 position>:<read 2 strand> 1:N:0:1
// positions being 1-based on the chromosome, of each read's leftmost base (for a read that spans
// a junction, of its part near its mate, written "<position>j<position of the other part>").

#include <sys/mman.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string fasta, read1, read2;
    std::uint64_t pairs = 1000;
    std::size_t readLength = 100;
    double insertMean = 350, insertDeviation = 40, substitutionRate = 0.005, indelRate = 0;
    bool matePair = false;
    std::uint64_t seed = 1;
    std::size_t trimmedFrom = 0;  // 0: every read is L bases
};

// Calls `header` at each header line and `sequence` with each other line's text (without its
// line feed), reading the file in large blocks.
template <typename Header, typename Sequence>
void scanFasta(std::FILE* in, Header header, Sequence sequence) {
    std::vector<char> block(1 << 24);
    bool lineStart = true, inHeader = false;
    for (std::size_t got; (got = std::fread(block.data(), 1, block.size(), in)) > 0;) {
        const char* text = block.data();
        const char* const end = text + got;
        while (text < end) {
            if (lineStart && *text == '>') {
                header();
                inHeader = true;
            }
            const auto* feed =
                static_cast<const char*>(std::memchr(text, '\n', static_cast<std::size_t>(end - text)));
            const char* stop = feed != nullptr ? feed : end;
            if (!inHeader) sequence(text, static_cast<std::size_t>(stop - text));
            lineStart = feed != nullptr;
            if (lineStart) inHeader = false;
            text = feed != nullptr ? feed + 1 : end;
        }
    }
}

// Touching a 3 Gbase genome for the first time in 4 KiB pages costs more than reading it: ask
// for huge pages where the system grants them on request.
void adviseHugePages(std::string& text) {
    constexpr std::uintptr_t kHuge = 2 << 20;
    const auto start = (reinterpret_cast<std::uintptr_t>(text.data()) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(text.data()) + text.capacity()) & ~(kHuge - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

// Each record's bases, white space dropped and letters upper-cased. A first pass counts them, so
// that each chromosome is allocated once at its size: a 3 Gbase genome is held only once.
std::vector<std::string> readFasta(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        std::cerr << "cannot read " << path << "\n";
        std::exit(1);
    }
    std::array<bool, 256> keep{};
    std::array<char, 256> upper{};
    for (int c = 0; c < 256; ++c) {
        keep[c] = !std::isspace(c);
        upper[c] = static_cast<char>(std::toupper(c));
    }
    std::vector<std::size_t> sizes;
    scanFasta(
        in, [&] { sizes.push_back(0); },
        [&](const char* text, std::size_t length) {
            if (sizes.empty()) return;
            for (std::size_t i = 0; i < length; ++i)
                sizes.back() += keep[static_cast<unsigned char>(text[i])];
        });
    std::rewind(in);
    std::vector<std::string> chromosomes;
    std::vector<char> line;
    scanFasta(
        in,
        [&] {
            const std::size_t size = sizes[chromosomes.size()];
            chromosomes.emplace_back().reserve(size);
            adviseHugePages(chromosomes.back());
        },
        [&](const char* text, std::size_t length) {
            if (chromosomes.empty()) return;
            line.resize(length);
            std::size_t kept = 0;
            for (std::size_t i = 0; i < length; ++i) {
                const auto c = static_cast<unsigned char>(text[i]);
                line[kept] = upper[c];
                kept += keep[c];
            }
            chromosomes.back().append(line.data(), kept);
        });
    std::fclose(in);
    return chromosomes;
}

std::string reverseComplement(const std::string& sequence) {
    std::string result(sequence.rbegin(), sequence.rend());
    for (char& base : result) {
        switch (base) {
            case 'A':
                base = 'T';
                break;
            case 'C':
                base = 'G';
                break;
            case 'G':
                base = 'C';
                break;
            case 'T':
                base = 'A';
                break;
            default:
                base = 'N';
        }
    }
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

// Substitutions anywhere, and rarely a 1 to 3 base insertion or deletion away from the ends;
// the read keeps its length.
std::string mutate(const std::string& source, std::size_t length, const Options& options, Random& random) {
    std::string read = source.substr(0, std::min(source.size(), length + 3));
    if (random.uniform() < options.indelRate && length > 60) {
        const std::size_t at = 20 + random.below(length - 40), size = 1 + random.below(3);
        if (random.below(2) == 0) {
            read.erase(at, size);
        } else {
            read.insert(at, std::string(size, "ACGT"[random.below(4)]));
        }
    }
    read.resize(length, 'A');
    for (char& base : read)
        if (random.uniform() < options.substitutionRate)
            base = "ACGT"[(std::string("ACGT").find(base) + 1 + random.below(3)) % 4];
    return read;
}

void writeRecord(std::FILE* out, const std::string& name, int mate, const std::string& sequence) {
    std::fprintf(out, "@%s %d:N:0:1\n%s\n+\n%s\n", name.c_str(), mate, sequence.c_str(),
                 std::string(sequence.size(), 'I').c_str());
}

struct Placement {
    std::size_t chromosome = 0, offset = 0;
};

Placement pick(const std::vector<std::string>& chromosomes, std::uint64_t total, Random& random) {
    std::uint64_t offset = random.below(total);
    std::size_t number = 0;
    while (offset >= chromosomes[number].size()) offset -= chromosomes[number++].size();
    return {number, static_cast<std::size_t>(offset)};
}

std::string truthName(std::uint64_t pair, std::size_t chromosome, const std::string& first, bool forward,
                      const std::string& second) {
    return std::string("sim:") + std::to_string(pair) + ":" + std::to_string(chromosome + 1) + ":" + first +
           ":" + (forward ? "+" : "-") + ":" + second + ":" + (forward ? "-" : "+");
}

}  // namespace

namespace {

// A read's length: L, or as trimming leaves it with --trimmed-from.
std::size_t trimmedLength(const Options& options, Random& random) {
    const std::size_t full = options.readLength;
    if (options.trimmedFrom == 0 || options.trimmedFrom >= 64 || full < 64) return full;
    if (random.below(4) == 0) return options.trimmedFrom + random.below(64 - options.trimmedFrom);
    return 64 + random.below(full - 63);
}

// A paired-end pair: both reads inside one insert, facing each other.
bool simulatePairedEnd(const std::vector<std::string>& chromosomes, std::uint64_t total,
                       const Options& options, Random& random, std::string& name, std::string& first,
                       std::string& second, std::uint64_t pair) {
    const std::size_t length = options.readLength;
    const Placement place = pick(chromosomes, total, random);
    const std::string& chromosome = chromosomes[place.chromosome];
    const auto insert = static_cast<std::size_t>(
        std::max(static_cast<double>(length) + 4,
                 std::round(random.normal(options.insertMean, options.insertDeviation))));
    if (place.offset + insert > chromosome.size()) return false;
    const std::string fragment = chromosome.substr(place.offset, insert);
    if (fragment.find_first_not_of("ACGT") != std::string::npos) return false;
    const bool forward = random.below(2) == 0;
    const std::size_t firstLength = trimmedLength(options, random),
                      secondLength = trimmedLength(options, random);
    first = mutate(fragment, firstLength, options, random);
    second = mutate(reverseComplement(fragment), secondLength, options, random);
    std::string firstPosition = std::to_string(place.offset + 1);
    std::string secondPosition = std::to_string(place.offset + insert - secondLength + 1);
    if (!forward) {
        std::swap(first, second);
        std::swap(firstPosition, secondPosition);
    }
    name = truthName(pair, place.chromosome, firstPosition, forward, secondPosition);
    return true;
}

// A mate pair: a 2 to 5 kbase fragment whose ends are joined; the reads are the two ends of a
// short stretch around the junction, in the stretch's orientation.
bool simulateMatePair(const std::vector<std::string>& chromosomes, std::uint64_t total,
                      const Options& options, Random& random, std::string& name, std::string& first,
                      std::string& second, std::uint64_t pair) {
    const std::size_t length = options.readLength;
    const Placement place = pick(chromosomes, total, random);
    const std::string& chromosome = chromosomes[place.chromosome];
    const std::size_t fragment = 2000 + random.below(3000);
    const auto stretch = static_cast<std::size_t>(
        std::max(static_cast<double>(length) + 4,
                 std::round(random.normal(options.insertMean, options.insertDeviation))));
    if (place.offset + fragment > chromosome.size() || stretch >= fragment) return false;
    // The stretch reads the fragment's end, then, across the junction, its start.
    const std::size_t beforeJunction = 1 + random.below(stretch - 1);
    const std::size_t endStart = place.offset + fragment - beforeJunction;
    const std::string text = chromosome.substr(endStart, beforeJunction) +
                             chromosome.substr(place.offset, stretch - beforeJunction);
    if (text.find_first_not_of("ACGT") != std::string::npos) return false;
    first = mutate(text, length, options, random);
    second = mutate(reverseComplement(text), length, options, random);
    // Read 1 starts on the fragment's end; it spans the junction when the stretch turns inside it.
    std::string firstPosition = std::to_string(endStart + 1);
    if (beforeJunction < length) firstPosition += std::string("j") + std::to_string(place.offset + 1);
    const std::size_t secondStart = stretch - length;  // read 2's leftmost base, in the stretch
    std::string secondPosition =
        secondStart >= beforeJunction
            ? std::to_string(place.offset + secondStart - beforeJunction + 1)
            : std::to_string(endStart + secondStart + 1) + "j" + std::to_string(place.offset + 1);
    name = truthName(pair, place.chromosome, firstPosition, true, secondPosition);
    return true;
}

Options parseOptions(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: simulate_reads REFERENCE.fa READ1.fq READ2.fq [--pairs N] [--length L] "
                     "[--insert MEAN] "
                     "[--deviation SD] [--substitutions RATE] [--indels RATE] [--mate-pair] [--seed S]\n";
        std::exit(1);
    }
    Options options;
    options.fasta = argv[1];
    options.read1 = argv[2];
    options.read2 = argv[3];
    for (int i = 4; i < argc; ++i) {
        const std::string flag = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "0";
        if (flag == "--mate-pair") {
            options.matePair = true;
            continue;
        }
        ++i;
        if (flag == "--pairs")
            options.pairs = std::strtoull(value, nullptr, 10);
        else if (flag == "--length")
            options.readLength = std::strtoull(value, nullptr, 10);
        else if (flag == "--insert")
            options.insertMean = std::atof(value);
        else if (flag == "--deviation")
            options.insertDeviation = std::atof(value);
        else if (flag == "--substitutions")
            options.substitutionRate = std::atof(value);
        else if (flag == "--indels")
            options.indelRate = std::atof(value);
        else if (flag == "--seed")
            options.seed = std::strtoull(value, nullptr, 10);
        else if (flag == "--trimmed-from")
            options.trimmedFrom = std::strtoull(value, nullptr, 10);
        else {
            std::cerr << "unknown option " << flag << "\n";
            std::exit(1);
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    const std::vector<std::string> chromosomes = readFasta(options.fasta);
    std::uint64_t total = 0;
    for (const std::string& c : chromosomes) total += c.size();
    std::FILE* out1 = std::fopen(options.read1.c_str(), "w");
    std::FILE* out2 = std::fopen(options.read2.c_str(), "w");
    if (total == 0 || out1 == nullptr || out2 == nullptr) {
        std::cerr << "nothing to simulate from, or cannot write the reads\n";
        return 1;
    }
    Random random(options.seed);
    std::string name, first, second;
    for (std::uint64_t pair = 0; pair < options.pairs;) {
        const bool made =
            options.matePair
                ? simulateMatePair(chromosomes, total, options, random, name, first, second, pair)
                : simulatePairedEnd(chromosomes, total, options, random, name, first, second, pair);
        if (!made) continue;
        writeRecord(out1, name, 1, first);
        writeRecord(out2, name, 2, second);
        ++pair;
    }
    const bool written = std::fclose(out1) == 0 && std::fclose(out2) == 0;
    return written ? 0 : 1;
}
