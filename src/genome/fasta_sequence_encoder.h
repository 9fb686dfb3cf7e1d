#pragma once
// The FASTA reader's inner loop: copies a chromosome's sequence text, white space removed and
// upper-cased, into the ASCII concatenation, packs it into the two bit planes 32 bases per word,
// pads it to whole words plus a separator, and counts bases and runs of repeated bases.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "genome/genome_sequence.h"

namespace koru {

// Space, tab, line feed, carriage return, vertical tab and form feed.
std::size_t countFastaWhitespace(std::string_view text);

class FastaSequenceEncoder {
  public:
    // The arrays must hold every chromosome that will be encoded, padding and separators included.
    FastaSequenceEncoder(char* ascii, std::uint32_t* basePlane, std::uint32_t* checkPlane)
        : ascii_(ascii), basePlane_(basePlane), checkPlane_(checkPlane) {}

    // Encodes the next chromosome at the current genome position and returns its number of bases.
    std::uint64_t encodeChromosome(std::string_view sequence);

    std::uint64_t genomePosition() const { return position_; }
    std::uint64_t wordIndex() const { return word_; }
    // The base counters and run statistics of everything encoded so far.
    SequenceStatistics statistics() const;

  private:
    void encodeWords(const char* bases, std::uint64_t count);
    void encodeWordWithVectors(const char* bases);
    void encodeScalar(const char* bases, std::uint32_t count, std::uint32_t& baseWord,
                      std::uint32_t& checkWord);
    void countRuns(const char* bases, std::uint32_t count);
    void finishChromosome(const char* tail, std::uint32_t tailBases, std::uint64_t bases);

    char* ascii_;
    std::uint32_t* basePlane_;
    std::uint32_t* checkPlane_;
    std::uint64_t position_ = 0;
    std::uint64_t word_ = 0;
    // Run state: a chromosome starts as if after an N.
    std::uint64_t run_ = 0;
    char previous_ = 'N';
    std::array<std::uint64_t, 6> counts_{};  // A, C, G, T, N, anything else
    SequenceStatistics runs_;
};

}  // namespace koru
