#pragma once
// Genomes, reads and naive mismatch counts for the candidate generation, scoring and indel tests.
// The counts are taken base by base on the texts, independently of the bit planes.

#include <algorithm>
#include <random>
#include <string>
#include <vector>

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
    return std::string_view(encoding == 0   ? "AG"
                            : encoding == 1 ? "CG"
                                            : "AC")
               .find(base) != std::string_view::npos;
}

// The other base of the pair that keeps its bit under the encoding: A<->G and C<->T for AG,
// C<->G and A<->T for CG, A<->C and G<->T for XOR.
inline char substituteKeeping(char base, int encoding) {
    const std::string_view pairs = encoding == 0 ? "AGCT" : encoding == 1 ? "CGAT" : "ACGT";
    return pairs[pairs.find(base) ^ 1];
}

// A base that differs from the given one under two views, keeping view index % 3: bases broken at
// two consecutive indices differ under every view, so no key containing them matches by chance.
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

// A read in planes sized for `allocatedLength` bases when that is longer, as a reused read pair
// holds a shorter read: its reverse complement then starts words into its planes.
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

// Mismatch scores of a text (the read in the scored orientation) against the reference under it.
// Binary rules: a called base mismatches when its planes differ (N and '\0' in the reference read
// as T), windows every `step` bases and the last. Character rules: any other character, every window.
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

}  // namespace koru::testing
