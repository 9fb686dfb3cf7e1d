#pragma once
// The FASTA reader's inner loop: takes a chromosome's sequence text slice by slice, white space
// removed and upper-cased, packs it into the base and check planes and the uncalled plane 32
// bases per word, keeps runs of letters other than A, C, G, T and N aside, pads the chromosome to
// whole words plus a separator, and counts bases and runs of repeated bases.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "genome/genome_sequence.h"

namespace koru {

// What the reader needs to know of a chromosome's sequence text before encoding it: its white
// space (space, tab, line feed, carriage return, vertical tab and form feed), and the first byte
// that is neither white space nor of a sequence (a letter of either case, '-', '*' or '.'): a
// digit, say, which would otherwise be taken for a base.
struct FastaTextScan {
    std::size_t whitespace = 0;
    std::size_t firstOtherByte = std::string_view::npos;
};
FastaTextScan scanFastaSequence(std::string_view text);

class FastaSequenceEncoder {
  public:
    // The planes must hold every chromosome that will be encoded, padding and separators included;
    // the base and check planes come interleaved, as the genome keeps them.
    FastaSequenceEncoder(std::uint32_t* planePairs, std::uint32_t* uncalledPlane);

    // Encodes the next chromosome at the current genome position and returns its number of bases.
    std::uint64_t encodeChromosome(std::string_view sequence);

    std::uint64_t genomePosition() const { return word_ * 32; }
    std::uint64_t wordIndex() const { return word_; }
    // The base counters and run statistics of everything encoded so far.
    SequenceStatistics statistics() const;
    // The runs of letters other than A, C, G, T and N met so far, in genome order.
    std::vector<ReferenceLetterRun> takeOtherLetters() { return std::move(otherLetters_); }

  private:
    void encodeWords(const char* bases, std::uint64_t count);
    void encodeWordWithVectors(const char* bases);
    void encodeScalar(const char* bases, std::uint32_t count, std::uint32_t& baseWord,
                      std::uint32_t& checkWord, std::uint32_t& uncalledWord);
    void countRuns(const char* bases, std::uint32_t count);
    void recordOtherLetters(const char* bases, std::uint32_t count, std::uint32_t others);
    void finishChromosome(const char* tail, std::uint32_t tailBases);

    std::vector<char> slice_;  // the compacted text of the slice being encoded
    void writeWords(std::uint32_t base, std::uint32_t check, std::uint32_t uncalled) {
        planePairs_[2 * word_] = base;
        planePairs_[2 * word_ + 1] = check;
        uncalledPlane_[word_++] = uncalled;
    }

    std::uint32_t* planePairs_;
    std::uint32_t* uncalledPlane_;
    std::vector<ReferenceLetterRun> otherLetters_;
    std::uint64_t word_ = 0;
    // Run state: a chromosome starts as if after an N.
    std::uint64_t run_ = 0;
    char previous_ = 'N';
    std::array<std::uint64_t, 6> counts_{};  // A, C, G, T, N, anything else
    SequenceStatistics runs_;
};

}  // namespace koru
