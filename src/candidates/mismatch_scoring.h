#pragma once
// Mismatch scoring of a read against the genome at a candidate position: over the whole read,
// its first and last 32 bases, the bases between, and sliding 32-base windows. The binary variant
// scores 32 bases per word with XOR and population counts over the bit planes; the character
// variant compares texts, for candidates with an insertion or deletion applied.

#include <cstdint>
#include <string>

#include "candidates/candidate_positions.h"
#include "genome/genome_sequence.h"
#include "sequence/read_pair.h"

namespace koru {

// Fills the candidate's forward (orientation 1) or reverse-complement (2) mismatch scores. Genome
// bases beyond either end of the planes compare like the padding N there (encoded as T), so a
// candidate hanging over the genome's edge is scored, not read outside the planes.
void calculateMismatchScoresUsingBinaryEncodings(const Read& read, std::uint32_t orientation,
                                                 CandidatePosition& candidate, const GenomeSequence& genome);

// Fills the candidate's chosen mismatch scores by comparing texts in the given orientation, with
// its indel applied. Reference bases beyond the genome's text count as mismatches. Below 64
// compared bases the first window takes the first 32 (or all) and the last window the rest, so
// no base counts twice; below 32 the single window is the whole read.
// With `reference` and `buffer` as scratch texts.
void calculateMismatchScoresUsingAsciiEncodings(Read& read, std::uint32_t orientation,
                                                CandidatePosition& candidate, const GenomeSequence& genome,
                                                std::string& reference, std::string& buffer);
void calculateMismatchScoresUsingAsciiEncodings(Read& read, std::uint32_t orientation,
                                                CandidatePosition& candidate, const GenomeSequence& genome);

// Scores both orientations that have key support and chooses the better one (the reverse
// complement on equal whole-read scores); returns the chosen number of associated keys.
std::uint32_t calculateMappingScoresForCandidatePosition(const Read& read, CandidatePosition& candidate,
                                                         const GenomeSequence& genome);

// Sets the chosen scores and orientation from the two orientations' scores.
void chooseCandidateOrientation(CandidatePosition& candidate);

}  // namespace koru
