// Writes a synthetic reference genome for the benchmarks. Deterministic for a given seed.
//
//   make_synthetic_genome OUTPUT.fa MEGABASES [CHROMOSOMES] [SEED]
//   make_synthetic_genome OUTPUT.fa MEGABASES --human-like [SEED]
//
// The first form writes random chromosomes with copied segments (repeats with a few mutations),
// homopolymer runs and runs of N, so that the index sees some repeat structure at any size.
//
// The second writes a genome built like the human one, scaled to MEGABASES: chr1 ... chr22, chrX,
// chrY with GRCh38's relative lengths; background sequence of about 41% GC in isochore-like
// blocks; Alu-, L1- and DNA-transposon-like interspersed repeats diverged from their consensus;
// segmental duplications; microsatellites; alpha-satellite-like arrays around the centromeres;
// and runs of N at the telomeres, the centromeres, the acrocentric short arms and in many short
// gaps. It prints the share of each component on standard error. Its random draws use no
// standard library distribution and no libm function, so a seed gives the same genome on every
// machine. It holds one chromosome at a time (a 3.1 Gbase genome needs about 300 MB).

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

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

int writeSimpleGenome(const char* path, double megabases, int chromosomes, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::FILE* out = std::fopen(path, "w");
    if (out == nullptr || megabases <= 0 || chromosomes <= 0) return 1;
    const auto total = static_cast<std::size_t>(megabases * 1e6);
    for (int c = 0; c < chromosomes; ++c) {
        const std::string text = makeChromosome(total / static_cast<std::size_t>(chromosomes), random);
        std::fprintf(out, ">synthetic%d synthetic chromosome %d\n", c + 1, c + 1);
        for (std::size_t i = 0; i < text.size(); i += 60) std::fprintf(out, "%.*s\n", 60, text.c_str() + i);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}

}  // namespace

namespace human {

// Random draws from the engine's raw output only: the standard distributions may differ
// between library versions.
class Random {
  public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}
    std::uint64_t below(std::uint64_t bound) { return engine_() % bound; }
    std::size_t range(std::size_t low, std::size_t high) { return low + below(high - low + 1); }
    double uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
    double real(double low, double high) { return low + (high - low) * uniform(); }
    bool coin() { return (bits16() & 1) != 0; }
    // Sixteen bits, four to an engine call: per-base decisions are most of the work.
    std::uint32_t bits16() {
        if (left_ == 0) {
            cache_ = engine_();
            left_ = 4;
        }
        --left_;
        const auto bits = static_cast<std::uint32_t>(cache_ & 0xFFFF);
        cache_ >>= 16;
        return bits;
    }
    // Roughly log-uniform, with no logarithm: a doubling of `low` picked evenly, then a length
    // evenly inside it.
    std::size_t logUniform(std::size_t low, std::size_t high) {
        std::size_t doublings = 0;
        while ((low << (doublings + 1)) < high) ++doublings;
        const std::size_t start = low << below(doublings + 1);
        return range(start, std::min(high, 2 * start));
    }

  private:
    std::mt19937_64 engine_;
    std::uint64_t cache_ = 0;
    int left_ = 0;
};

std::uint32_t threshold16(double chance) {
    return static_cast<std::uint32_t>(chance * 65536.0 + 0.5);
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

char randomBase(Random& random) {
    return bases[random.bits16() & 3];
}

char substitute(char base, Random& random) {
    const char* at = std::strchr(bases, base);
    if (base == 0 || at == nullptr) return randomBase(random);
    return bases[(at - bases + 1 + random.bits16() % 3) % 4];
}

std::string randomSequence(std::size_t length, double gc, Random& random) {
    std::string text(length, 'A');
    const std::uint32_t threshold = threshold16(gc);
    for (char& base : text) base = random.bits16() < threshold ? "CG"[random.coin()] : "AT"[random.coin()];
    return text;
}

// Three CpGs in four decayed to TpG or CpA, as methylated CpGs do in the human genome.
std::string decayCpG(std::string text, Random& random) {
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i - 1] != 'C' || text[i] != 'G' || (random.bits16() & 3) == 0) continue;
        if (random.coin())
            text[i - 1] = 'T';
        else
            text[i] = 'A';
    }
    return text;
}

// Appends `source` (reverse complemented when asked) with about `divergence` of its bases
// changed: substitutions, and for a tenth of the changes a 1 to 3 base insertion or deletion.
void appendDiverged(std::string& out, std::string_view source, bool reverse, double divergence,
                    Random& random) {
    const std::uint32_t threshold = threshold16(divergence);
    const std::size_t n = source.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char base = reverse ? complement(source[n - 1 - i]) : source[i];
        if (random.bits16() >= threshold) {
            out += base;
            continue;
        }
        const std::uint32_t kind = random.bits16() % 20;
        if (kind == 0) {
            i += random.bits16() % 3;  // deletes this base and up to two more
        } else if (kind == 1) {
            out += base;
            const std::uint32_t inserted = 1 + random.bits16() % 3;
            for (std::uint32_t k = 0; k < inserted; ++k) out += randomBase(random);
        } else {
            out += substitute(base, random);
        }
    }
}

std::string diverged(std::string_view source, double divergence, Random& random) {
    std::string copy;
    copy.reserve(source.size() + source.size() / 8);
    appendDiverged(copy, source, false, divergence, random);
    return copy;
}

// The components, in the order of the summary.
enum Part {
    kAlu,
    kL1,
    kDnaTransposon,
    kDuplication,
    kMicrosatellite,
    kShortGap,  // the last part drawn along the arms
    kSatellite,
    kBackground,
    kTelomereGap,
    kCentromereGap,
    kShortArmGap,
    kParts
};
constexpr int kArmParts = kShortGap + 1;

// Target shares of the whole genome; the short gaps get what the fixed runs of N leave of 5%.
constexpr double kArmShares[kArmParts] = {0.10, 0.17, 0.03, 0.03, 0.02, 0};
constexpr double kNShare = 0.05, kCentromereGapShare = 0.015, kSatelliteShare = 0.015;
// Starting guesses of each part's mean length; the running means replace them.
constexpr double kLengthGuess[kArmParts] = {300, 1500, 900, 21000, 110, 8400};

struct Subfamily {
    std::string consensus;
    double weight, lowDivergence, highDivergence;
};

struct Family {
    std::vector<Subfamily> members;

    const Subfamily& pick(Random& random) const {
        double total = 0;
        for (const Subfamily& member : members) total += member.weight;
        double draw = random.real(0, total);
        for (const Subfamily& member : members)
            if ((draw -= member.weight) < 0) return member;
        return members.back();
    }
};

// Young, middle-aged and old subfamilies of a master sequence: each a few % from the master,
// its copies diverged by its age.
Family makeAgedFamily(const std::string& master, const std::array<double, 3>& weights,
                      const std::array<double, 4>& divergences, Random& random) {
    Family family;
    for (int age = 0; age < 3; ++age)
        family.members.push_back({diverged(master, 0.02 + 0.02 * age, random), weights[age], divergences[age],
                                  divergences[age + 1]});
    return family;
}

struct Families {
    Family alu, l1, dna;
    std::string alphaMonomer;

    explicit Families(Random& random) {
        alu = makeAgedFamily(randomSequence(280, 0.54, random), {0.15, 0.55, 0.30}, {0.05, 0.08, 0.14, 0.20},
                             random);
        // Alus keep many CpGs, L1s and the others have lost most.
        l1 = makeAgedFamily(decayCpG(randomSequence(6000, 0.40, random), random), {0.15, 0.35, 0.50},
                            {0.03, 0.08, 0.14, 0.20}, random);
        // Old DNA transposons: the ends of each are inverted repeats of each other.
        for (const std::size_t length : {220, 480, 1300, 2500}) {
            std::string consensus = decayCpG(randomSequence(length, 0.42, random), random);
            for (std::size_t i = 0; i < 25; ++i) consensus[length - 1 - i] = complement(consensus[i]);
            dna.members.push_back({consensus, 1.0, 0.15, 0.30});
        }
        alphaMonomer = decayCpG(randomSequence(171, 0.38, random), random);
    }
};

// Where a chromosome's fixed runs of N and its satellite arrays go.
struct Shape {
    std::string name;
    std::size_t length, telomereGap, shortArmGap, centromereStart, satelliteLeft, centromereGap,
        satelliteRight;
};

struct Reference {
    const char* name;
    std::uint32_t length, centromere;  // GRCh38, bases; the centromere's middle, kbase
    bool acrocentric;
};

constexpr Reference kHuman[24] = {
    {"chr1", 248956422, 123400, false}, {"chr2", 242193529, 93900, false},
    {"chr3", 198295559, 90900, false},  {"chr4", 190214555, 50000, false},
    {"chr5", 181538259, 48800, false},  {"chr6", 170805979, 59800, false},
    {"chr7", 159345973, 60100, false},  {"chr8", 145138636, 45200, false},
    {"chr9", 138394717, 43000, false},  {"chr10", 133797422, 39800, false},
    {"chr11", 135086622, 53400, false}, {"chr12", 133275309, 35500, false},
    {"chr13", 114364328, 17700, true},  {"chr14", 107043718, 17200, true},
    {"chr15", 101991189, 19000, true},  {"chr16", 90338345, 36800, false},
    {"chr17", 83257441, 25100, false},  {"chr18", 80373285, 18500, false},
    {"chr19", 58617616, 26200, false},  {"chr20", 64444167, 28100, false},
    {"chr21", 46709983, 12000, true},   {"chr22", 50818468, 15000, true},
    {"chrX", 156040895, 60600, false},  {"chrY", 57227415, 10400, false},
};

Shape shapeChromosome(const Reference& reference, std::size_t length, std::size_t total) {
    Shape shape{reference.name, length, std::min<std::size_t>(10000, length / 20), 0, 0, 0, 0, 0};
    const std::size_t region = length / 4;  // the centromeric gap and arrays never take more
    shape.centromereGap = std::min(region / 2, static_cast<std::size_t>(kCentromereGapShare * total / 24));
    const std::size_t satellites =
        std::min(region / 2, static_cast<std::size_t>(kSatelliteShare * total / 24));
    shape.satelliteLeft = satellites / 2;
    shape.satelliteRight = satellites - shape.satelliteLeft;
    const auto middle = static_cast<std::size_t>(static_cast<double>(reference.centromere) * 1000 /
                                                 reference.length * static_cast<double>(length));
    const std::size_t half = (satellites + shape.centromereGap) / 2;
    shape.centromereStart = std::max(shape.telomereGap, middle > half ? middle - half : 0);
    shape.centromereStart = std::min(shape.centromereStart, length - shape.telomereGap - 2 * half - 1);
    // Most of an acrocentric short arm is unsequenced.
    if (reference.acrocentric) shape.shortArmGap = (shape.centromereStart - shape.telomereGap) * 85 / 100;
    return shape;
}

std::vector<Shape> shapeGenome(std::size_t total) {
    std::uint64_t human = 0;
    for (const Reference& reference : kHuman) human += reference.length;
    std::vector<Shape> shapes;
    std::size_t placed = 0;
    for (const Reference& reference : kHuman) {
        const auto length = static_cast<std::size_t>(static_cast<double>(reference.length) * total / human);
        shapes.push_back(shapeChromosome(reference, length, total));
        placed += length;
    }
    shapes[0] = shapeChromosome(kHuman[0], shapes[0].length + total - placed, total);
    return shapes;
}

std::size_t fixedBases(const Shape& shape) {
    return 2 * shape.telomereGap + shape.shortArmGap + shape.satelliteLeft + shape.centromereGap +
           shape.satelliteRight;
}

// Chooses what comes next along the arms so that each part reaches its share: parts are drawn in
// proportion to share / mean length, the means being the running means of what was made.
class Planner {
  public:
    Planner(const std::vector<Shape>& shapes, std::size_t total) {
        std::size_t fixed = 0, fixedN = 0;
        for (const Shape& shape : shapes) {
            fixed += fixedBases(shape);
            fixedN += 2 * shape.telomereGap + shape.shortArmGap + shape.centromereGap;
        }
        const double arms = static_cast<double>(total - fixed), scale = static_cast<double>(total) / arms;
        background_ = 1;
        for (int part = 0; part < kArmParts; ++part) {
            share_[part] = kArmShares[part] * scale;
            if (part == kShortGap)
                share_[part] =
                    std::max(0.0, kNShare * static_cast<double>(total) - static_cast<double>(fixedN)) / arms;
            background_ -= share_[part];
        }
    }

    Part pick(double gc, Random& random) const {
        std::array<double, kArmParts> weights{};
        double total = 0;
        for (int part = 0; part < kArmParts; ++part) total += weights[part] = rate(part) * bias(part, gc);
        double draw = random.real(0, total);
        for (int part = 0; part < kArmParts; ++part)
            if ((draw -= weights[part]) < 0) return static_cast<Part>(part);
        return kAlu;
    }

    std::size_t backgroundStretch(Random& random) const {
        double events = 0;
        for (int part = 0; part < kArmParts; ++part) events += rate(part);
        return random.range(0, static_cast<std::size_t>(2 * background_ / events));
    }

    void made(Part part, std::size_t length) {
        bases_[part] += static_cast<double>(length);
        ++count_[part];
    }

  private:
    double rate(int part) const {
        const double mean = count_[part] >= 20 ? bases_[part] / count_[part] : kLengthGuess[part];
        return share_[part] / mean;
    }
    // Alu-like copies gather in GC-rich blocks and L1-like ones in AT-rich blocks.
    static double bias(int part, double gc) {
        if (part == kAlu) return 1 + 2.5 * (gc - 0.40);
        if (part == kL1) return 1 - 2.5 * (gc - 0.40);
        return 1;
    }

    std::array<double, kArmParts> share_{}, bases_{}, count_{};
    double background_ = 0;
};

// Segments of finished chromosomes, as sources of duplications between chromosomes.
class DuplicationPool {
  public:
    void keep(const std::string& text, Random& random) {
        for (int i = 0; i < 4 && text.size() > 2 * kSegment; ++i)
            segments_.push_back(text.substr(random.below(text.size() - kSegment), kSegment));
    }
    bool empty() const { return segments_.empty(); }
    std::string_view pick(std::size_t length, Random& random) const {
        const std::string& segment = segments_[random.below(segments_.size())];
        return std::string_view(segment).substr(random.below(kSegment - length + 1), length);
    }

    static constexpr std::size_t kSegment = 100000;

  private:
    std::vector<std::string> segments_;
};

struct Tally {
    std::array<std::uint64_t, kParts> parts{};
    std::uint64_t gc = 0, acgt = 0, n = 0;
};

// Builds one chromosome from its telomere to the other: arms filled with background and
// interspersed parts, the centromere flanked by satellite arrays.
class ChromosomeBuilder {
  public:
    ChromosomeBuilder(const Shape& shape, const Families& families, Planner& planner,
                      const DuplicationPool& pool, Tally& tally, Random& random)
        : shape_(shape), families_(families), planner_(planner), pool_(pool), tally_(tally), random_(random) {
        // Each chromosome's arrays are of its own variant of the monomer.
        monomer_ = diverged(families.alphaMonomer, 0.12, random);
    }

    std::string build() {
        text_.reserve(shape_.length + 300000);
        gap(kTelomereGap, shape_.telomereGap);
        gap(kShortArmGap, shape_.shortArmGap);
        fillArm(shape_.centromereStart);
        satellites(shape_.satelliteLeft);
        gap(kCentromereGap, shape_.centromereGap);
        satellites(shape_.satelliteRight);
        fillArm(shape_.length - shape_.telomereGap);
        gap(kTelomereGap, shape_.telomereGap);
        return std::move(text_);
    }

  private:
    void account(Part part, std::size_t before) {
        tally_.parts[part] += text_.size() - before;
        last_ = part;
    }
    // Ends the text at `end`, taking the excess off the part that overran it.
    void cut(std::size_t end) {
        if (text_.size() <= end) return;
        tally_.parts[last_] -= text_.size() - end;
        text_.resize(end);
    }

    void gap(Part part, std::size_t length) {
        const std::size_t before = text_.size();
        text_.append(length, 'N');
        account(part, before);
    }

    void fillArm(std::size_t end) {
        while (text_.size() < end) {
            background(planner_.backgroundStretch(random_));
            if (text_.size() >= end) break;
            const Part part = planner_.pick(gc_, random_);
            const std::size_t before = text_.size();
            interspersed(part);
            if (text_.size() > before) planner_.made(part, text_.size() - before);
            account(part, before);
        }
        cut(end);
    }

    void interspersed(Part part) {
        switch (part) {
            case kAlu:
                return alu();
            case kL1:
                return l1();
            case kDnaTransposon:
                return dnaTransposon();
            case kDuplication:
                return duplication();
            case kMicrosatellite:
                return microsatellite();
            default:
                text_.append(random_.logUniform(100, 50000), 'N');
        }
    }

    void nextIsochore() {
        const double size = random_.uniform(), rich = random_.uniform();
        isochoreEnd_ = text_.size() + 100000 + static_cast<std::size_t>(900000 * size * size);
        gc_ = 0.362 + 0.188 * rich * rich * rich * rich;
        // Drawn richer by what the decay of CpGs below takes away: gc' - 3/16 gc'^2 = gc.
        const double drawn = (1 - std::sqrt(1 - 0.75 * gc_)) / 0.375;
        gcThreshold12_ = static_cast<std::uint32_t>(drawn * 4096 + 0.5);
    }

    // Random bases of the block's GC content, one 16-bit draw a base: 12 bits for GC, one for
    // the base, three for the CpG decay.
    void background(std::size_t length) {
        if (text_.size() >= isochoreEnd_) nextIsochore();
        const std::size_t before = text_.size();
        text_.resize(before + length);
        char* out = text_.data() + before;
        char previous = before > 0 ? out[-1] : 'A';
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint32_t bits = random_.bits16();
            char base = (bits >> 4) < gcThreshold12_ ? "CG"[bits & 1] : "AT"[bits & 1];
            // Three CpGs in four have decayed to TpG or CpA, as methylated CpGs do in the human genome.
            if (previous == 'C' && base == 'G' && (bits & 6) != 0) {
                if ((bits & 8) != 0 && i > 0)
                    out[i - 1] = 'T';
                else
                    base = 'A';
            }
            out[i] = previous = base;
        }
        account(kBackground, before);
    }

    void copyOf(const Subfamily& member, std::size_t start, std::size_t length, std::size_t tail) {
        std::string copy = member.consensus.substr(start, length);
        copy.append(tail, 'A');
        const double divergence = random_.real(member.lowDivergence, member.highDivergence);
        appendDiverged(text_, copy, random_.coin(), divergence, random_);
    }

    void alu() {
        const Subfamily& member = families_.alu.pick(random_);
        const std::size_t size = member.consensus.size();
        const std::size_t start = random_.below(10) == 0 ? random_.below(size - 50) : 0;  // few are truncated
        copyOf(member, start, size - start, random_.range(8, 30));
    }

    // Reverse transcription mostly stops early: copies lack their 5' part, most are under 1 kbase,
    // one in twenty is whole.
    void l1() {
        const Subfamily& member = families_.l1.pick(random_);
        const std::size_t size = member.consensus.size();
        const std::size_t length = random_.below(20) == 0 ? size : random_.logUniform(100, size);
        copyOf(member, size - length, length, random_.range(5, 30));
    }

    // Old copies, often broken: four in ten are a fragment.
    void dnaTransposon() {
        const Subfamily& member = families_.dna.pick(random_);
        const std::size_t size = member.consensus.size();
        std::size_t start = 0, length = size;
        if (random_.below(10) < 4) {
            length = random_.range(std::min<std::size_t>(100, size), size);
            start = random_.below(size - length + 1);
        }
        copyOf(member, start, length, 0);
    }

    // From earlier on this chromosome, or now and then from an earlier one; most copies are close
    // to their source.
    void duplication() {
        const std::size_t length = random_.logUniform(1000, 100000);
        std::string source;
        if (text_.size() > length + 50000 && (pool_.empty() || random_.below(10) < 7))
            source = text_.substr(random_.below(text_.size() - length), length);
        else if (!pool_.empty())
            source = pool_.pick(length, random_);
        for (char& base : source)
            if (base == 'N') base = randomBase(random_);
        const double closeness = random_.uniform();
        appendDiverged(text_, source, random_.coin(), 0.005 + 0.095 * closeness * closeness, random_);
    }

    // Units of 1 to 6 bases, mostly mono- and dinucleotides, runs of 20 to 300 bases.
    void microsatellite() {
        static constexpr std::uint64_t kUnitWeights[6] = {25, 30, 10, 20, 10, 5};
        std::uint64_t draw = random_.below(100);
        std::size_t unit = 1;
        for (; draw >= kUnitWeights[unit - 1]; ++unit) draw -= kUnitWeights[unit - 1];
        const std::string motif = randomSequence(unit, 0.35, random_);
        const double u = random_.uniform();
        std::string run;
        while (run.size() < 20 + static_cast<std::size_t>(280 * u * u)) run += motif;
        appendDiverged(text_, run, false, random_.real(0, 0.06), random_);
    }

    // Arrays of 100 to 800 kbase, each of its own monomer variant, monomers a few % apart;
    // short stretches of background between them.
    void satellites(std::size_t length) {
        const std::size_t end = text_.size() + length;
        while (text_.size() < end) {
            const std::string monomer = diverged(monomer_, 0.03, random_);
            const std::size_t arrayEnd = std::min(end, text_.size() + random_.range(100000, 800000));
            const bool reverse = random_.coin();
            const double divergence = random_.real(0.01, 0.04);
            const std::size_t before = text_.size();
            while (text_.size() < arrayEnd) appendDiverged(text_, monomer, reverse, divergence, random_);
            account(kSatellite, before);
            cut(arrayEnd);
            if (text_.size() < end) background(std::min(end - text_.size(), random_.range(2000, 20000)));
        }
    }

    const Shape& shape_;
    const Families& families_;
    Planner& planner_;
    const DuplicationPool& pool_;
    Tally& tally_;
    Random& random_;
    std::string text_, monomer_;
    Part last_ = kBackground;
    std::size_t isochoreEnd_ = 0;
    double gc_ = 0.41;
    std::uint32_t gcThreshold12_ = 0;
};

void writeChromosome(std::FILE* out, const std::string& name, const std::string& text, Tally& tally) {
    std::array<std::uint64_t, 256> counts{};
    for (const char base : text) ++counts[static_cast<unsigned char>(base)];
    tally.gc += counts['C'] + counts['G'];
    tally.acgt += counts['A'] + counts['C'] + counts['G'] + counts['T'];
    tally.n += counts['N'];
    std::fprintf(out, ">%s\n", name.c_str());
    std::string lines;
    constexpr std::size_t kLinesPerWrite = 1 << 14;
    lines.reserve(kLinesPerWrite * 61);
    for (std::size_t i = 0; i < text.size(); i += 60) {
        lines.append(text, i, 60);
        lines += '\n';
        if (lines.size() >= kLinesPerWrite * 61 - 61 || i + 60 >= text.size()) {
            std::fwrite(lines.data(), 1, lines.size(), out);
            lines.clear();
        }
    }
}

void printSummary(std::size_t total, const Tally& tally) {
    const auto share = [&](std::uint64_t bases) { return 100.0 * static_cast<double>(bases) / total; };
    const auto& p = tally.parts;
    std::fprintf(stderr,
                 "human-like genome: %.1f Mbase in 24 chromosomes; N %.2f%% (telomeric %.2f%%, centromeric "
                 "%.2f%%, acrocentric short arms %.2f%%, short gaps %.2f%%); GC %.2f%% of ACGT; Alu-like "
                 "%.2f%%, L1-like %.2f%%, DNA-transposon-like %.2f%%, segmental duplications %.2f%%, "
                 "microsatellites %.2f%%, alpha satellite %.2f%%, background %.2f%%\n",
                 total / 1e6, share(tally.n), share(p[kTelomereGap]), share(p[kCentromereGap]),
                 share(p[kShortArmGap]), share(p[kShortGap]), 100.0 * tally.gc / tally.acgt, share(p[kAlu]),
                 share(p[kL1]), share(p[kDnaTransposon]), share(p[kDuplication]), share(p[kMicrosatellite]),
                 share(p[kSatellite]), share(p[kBackground]));
}

int writeGenome(const char* path, double megabases, std::uint64_t seed) {
    std::FILE* out = std::fopen(path, "w");
    if (out == nullptr || megabases <= 0) return 1;
    const auto total = static_cast<std::size_t>(megabases * 1e6);
    Random random(seed);
    const Families families(random);
    const std::vector<Shape> shapes = shapeGenome(total);
    Planner planner(shapes, total);
    DuplicationPool pool;
    Tally tally;
    std::size_t written = 0;
    for (const Shape& shape : shapes) {
        const std::string text = ChromosomeBuilder(shape, families, planner, pool, tally, random).build();
        writeChromosome(out, shape.name, text, tally);
        pool.keep(text, random);
        written += text.size();
    }
    printSummary(written, tally);
    return std::fclose(out) == 0 ? 0 : 1;
}

}  // namespace human

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: make_synthetic_genome OUTPUT.fa MEGABASES [CHROMOSOMES] [SEED]\n"
                     "       make_synthetic_genome OUTPUT.fa MEGABASES --human-like [SEED]\n");
        return 1;
    }
    const double megabases = std::atof(argv[2]);
    if (argc > 3 && std::strcmp(argv[3], "--human-like") == 0)
        return human::writeGenome(argv[1], megabases, argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1);
    const int chromosomes = argc > 3 ? std::atoi(argv[3]) : 8;
    return writeSimpleGenome(argv[1], megabases, chromosomes,
                             argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1);
}
