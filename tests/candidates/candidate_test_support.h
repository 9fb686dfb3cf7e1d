#pragma once
// Genomes, reads and placements for the tests, and naive mismatch counts taken on the texts.

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "alignment/alignment.h"
#include "candidates/score_records.h"
#include "genome/genome_test_helpers.h"
#include "index/binary_indexes.h"
#include "sequence/nucleotide_encoding.h"
#include "sequence/read_pair.h"

namespace koru::testing {

inline std::string randomBases(std::size_t length, std::mt19937& random) {
    std::string text(length, 'A');
    for (char& c : text) c = "ACGT"[random() % 4];
    return text;
}

inline std::string reverseComplementOf(std::string_view text) {
    std::string out;
    reverseComplementAsciiEncodedSequence(text, out);
    return out;
}

// A base's bit under a key encoding's view: AG (0), CG (1), XOR (2: A or C). N reads as T.
inline bool viewBit(char base, int encoding) {
    const char* const ones[] = {"AG", "CG", "AC"};
    return std::string_view(ones[encoding]).find(base) != std::string_view::npos;
}

// The other base of the pair that keeps its bit under the encoding.
inline char substituteKeeping(char base, int encoding) {
    const std::string_view pairs = encoding == 0 ? "AGCT" : encoding == 1 ? "CGAT" : "ACGT";
    return pairs[pairs.find(base) ^ 1];
}

// Keeps view index % 3 only: bases broken at two consecutive indices break every view.
inline char breakBase(char base, std::size_t index) {
    return substituteKeeping(base, static_cast<int>(index % 3));
}

struct IndexedGenome {
    std::unique_ptr<GenomeSequence> genome;
    std::unique_ptr<CountArrays> counts;
    std::unique_ptr<BinaryIndexes> indexes;

    // The genome's text from a position, '\0' outside the padded sequence.
    std::string textAt(std::int64_t position, std::size_t length) const {
        std::string text(length, '\0');
        for (std::size_t i = 0; i < length; ++i)
            if (position + static_cast<std::int64_t>(i) >= 0)
                copyReferenceText(*genome, static_cast<std::uint64_t>(position) + i, 1, &text[i]);
        return text;
    }
};

inline IndexedGenome indexedGenome(const std::vector<std::string>& chromosomes, CountLimits limits = {},
                                   std::uint32_t samplingStep = 1) {
    std::string fasta;
    for (std::size_t i = 0; i < chromosomes.size(); ++i)
        fasta += ">c" + std::to_string(i) + "\n" + chromosomes[i] + "\n";
    IndexedGenome result{fastaGenome(fasta), nullptr, nullptr};
    IndexBuildOptions options;
    options.samplingStep = samplingStep;
    result.counts = buildCountArrays(*result.genome, limits, nullptr, options);
    result.indexes = buildBinaryIndexes(*result.counts, *result.genome, nullptr);
    return result;
}

// Planes sized for `allocatedLength` bases, as a reused read pair holds a shorter read.
inline Read makeRead(std::string_view sequence, std::uint32_t basesToShift = 8,
                     std::uint32_t allocatedLength = 0) {
    Read read;
    const auto length = static_cast<std::uint32_t>(sequence.size());
    allocateMemberArraysForRead(read, std::max(length, allocatedLength), 4);
    read.length = length;
    read.name = "read";
    read.sequence.assign(sequence);
    encodeRead(read);
    read.basesToShiftBetweenKeyGeneration = basesToShift;
    return read;
}

// Binary rules: called bases by their planes, every `step`-th window; character rules: every one.
inline MismatchScores naiveScores(std::string_view text, std::string_view reference,
                                  std::uint32_t orientation, std::uint32_t step, bool binaryRules) {
    const auto code = [](char base) { return viewBit(base, 0) * 2 + viewBit(base, 1); };
    const std::size_t n = text.size();
    std::vector<int> mismatch(n);
    for (std::size_t i = 0; i < n; ++i)
        mismatch[i] =
            binaryRules ? text[i] != 'N' && code(text[i]) != code(reference[i]) : text[i] != reference[i];
    const auto window = [&](std::size_t k) { return std::count(&mismatch[k], &mismatch[k] + 32, 1); };
    long minimum = 65535;
    for (std::size_t k = 0;; k = std::min(n - 32, k + (binaryRules ? step : 1))) {
        minimum = std::min(minimum, window(k));
        if (k == n - 32) break;
    }
    auto first = window(0), last = window(n - 32);
    if (orientation == kReverseComplementOrientation) std::swap(first, last);
    const auto whole = std::count(mismatch.begin(), mismatch.end(), 1);
    const auto u16 = [](long v) { return static_cast<std::uint16_t>(v); };
    return {u16(whole),   u16(minimum), u16(first), u16(last), u16(whole - first - last),
            u16(minimum), u16(whole)};
}

inline std::vector<int> fieldsOf(const MismatchScores& s) {
    return {s.wholeReadScore,   s.minWordScore, s.firstWordScore, s.lastWordScore,
            s.middleWordsScore, s.primaryScore, s.secondaryScore};
}

// Two chromosomes; the second starts after 400 bases rounded to a word and a 32-base separator.
inline constexpr std::uint32_t kSecondChromosomeStart = 448;

inline const std::vector<std::string>& testChromosomes() {
    static const std::vector<std::string> chromosomes = [] {
        std::mt19937 random(1234);
        return std::vector<std::string>{randomBases(400, random), randomBases(200, random)};
    }();
    return chromosomes;
}

inline std::unique_ptr<GenomeSequence> newTestGenome() {
    return fastaGenome(">c1\n" + testChromosomes()[0] + "\n>c2\n" + testChromosomes()[1] + "\n");
}

inline char otherBase(char base) {
    return base == 'A' ? 'C' : 'A';
}

inline std::string withMismatches(std::string bases, std::initializer_list<std::size_t> at) {
    for (const std::size_t i : at) bases[i] = otherBase(bases[i]);
    return bases;
}

inline Read readOf(std::string_view sequence, char quality = 'I') {
    Read read = makeRead(sequence);
    read.qualitySequence.assign(sequence.size(), quality);
    return read;
}

inline IndelDescriptor indelOf(std::uint32_t type, std::uint32_t size, std::uint32_t start) {
    IndelDescriptor indel;
    populateIndelDescriptor(indel, size, type, start);
    return indel;
}

// A unique placement; a whole-read score of 0 claims a perfect match.
inline Position positionAt(std::uint32_t genomePosition, std::uint16_t wholeReadScore,
                           std::uint32_t orientation = kForwardOrientation, IndelDescriptor indel = {}) {
    Position position;
    initPosition(position);
    position.genomePosition = genomePosition;
    position.orientation = orientation;
    position.indelDescriptor = indel;
    position.mappingScores.mismatchScores.wholeReadScore = wholeReadScore;
    position.numberOfCandidatesWithSameOrFewerMismatches = 1;
    position.isEmpty = 0;
    return position;
}

inline Alignment alignmentAt(const Position& primary) {
    Alignment alignment;
    initAlignment(alignment);
    alignment.primaryPosition = primary;
    alignment.secondaryPosition.isEmpty = 1;
    alignment.alignmentType = primaryAlignmentType;
    alignment.isEmpty = 0;
    return alignment;
}

}  // namespace koru::testing
