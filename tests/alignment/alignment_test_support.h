#pragma once
// Reads placed on purpose on small in-memory genomes for the alignment and mapping quality tests.

#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "alignment/alignment.h"
#include "candidates/candidate_test_support.h"

namespace koru::testing {

// Two chromosomes of random bases. The second starts after the first's 400 bases rounded up to a
// word (416) and a 32-base separator.
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
