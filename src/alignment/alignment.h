#pragma once
// What koru reports for one read at one place of the genome: the chosen position with its scores,
// the second-best position (for the mapping quality), the CIGAR, match and mismatch (MD) strings,
// the trimmed ends, the edit distance, the mapping quality and the chromosome. Mapping fills the
// positions; the simple alignment compares the read base by base with the reference, trims poorly
// matching ends as soft clips and decides whether the alignment is worth reporting.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "alignment/alignment_parameters.h"
#include "candidates/candidate_positions.h"
#include "candidates/score_records.h"
#include "genome/genome_sequence.h"
#include "sequence/read_pair.h"

namespace koru {

// One placement of a read.
struct Position {
    std::uint32_t genomePosition = 0;  // of the read's first base
    // Estimated genome positions scoring at most this one's mismatches; all bits set when unknown.
    std::uint32_t numberOfCandidatesWithSameOrFewerMismatches = 0xFFFFFFFFu;
    IndelDescriptor indelDescriptor;
    MappingScores mappingScores;
    std::uint32_t orientation = 0;  // 1 forward, 2 reverse complement, 0 unset
    std::uint8_t isEmpty = 1;
};

// Alignment types.
inline constexpr std::uint32_t emptyAlignmentType = 0;
inline constexpr std::uint32_t primaryAlignmentType = 1;
inline constexpr std::uint32_t alternateAlignmentType = 2;
inline constexpr std::uint32_t biotinJunctionAlignmentType = 3;
inline constexpr std::uint32_t indelAlignmentType = 4;
inline constexpr std::uint32_t fusionJunctionAlignmentType = 5;

struct Alignment {
    std::uint32_t chromosomeNumber = 0;
    std::uint32_t chromosomePosition = 0;  // 0-based offset of the read's first base in it
    std::uint32_t numberOfBasesTrimmedFromStart = 0;
    std::uint32_t numberOfBasesTrimmedFromEnd = 0;
    std::uint32_t numberOfMatchSegments = 0;
    std::uint32_t editDistance = 0;  // mismatched bases plus indel size
    std::uint32_t lengthOfLongestMatchSegment = 0;
    std::uint32_t mappingQuality = 0;
    Position primaryPosition;
    Position secondaryPosition;
    std::uint32_t alignmentType = emptyAlignmentType;
    std::uint8_t isEmpty = 1;
    std::uint8_t isReportable = 1;
    // Another place of this read pairs with the mate inside the concordant window as well as this
    // one does: the mate then cannot tell them apart, and lends the read none of its quality.
    std::uint8_t tiedWithinPair = 0;
    // Texts: empty when absent.
    std::string cigarString;
    std::string matchString;     // "M" per matching base, else the reference base
    std::string mismatchString;  // the SAM MD field
    std::string chromosomeName;
};

// The alignments of one read: alignment 0 is its chosen position; a junction fragment and
// alternates may follow.
struct Alignments {
    std::vector<Alignment> alignments;  // the allocated records
    std::uint32_t readLength = 0;
    std::uint32_t numberOfPopulatedAlignments = 0;
    std::uint8_t hasBiotinJunction = 0;  // a junction fragment is the read's alignment 1

    std::uint32_t numberOfAllocatedAlignments() const {
        return static_cast<std::uint32_t>(alignments.size());
    }
};

void initPosition(Position& position);
// Clears every field; the primary position's mismatch scores become not scored, and the
// alignment is empty and (as yet) reportable.
// The texts are emptied but keep their memory, for the next pair.
void initAlignment(Alignment& alignment);
Alignments createAlignments(std::uint32_t numberOfAlignments, std::uint32_t readLength);
// The same in place: records of an earlier pair are cleared and reused with their memory.
void resetAlignments(Alignments& alignments, std::uint32_t numberOfAlignments, std::uint32_t readLength);

const char* getStringValueOfAlignmentType(std::uint32_t type);
const char* getShortStringValueOfAlignmentType(std::uint32_t type);

void populatePositionFromCandidatePosition(Position* position, const CandidatePosition* candidate);
// Fills the alignment from a candidate of the store, marks the candidate used, and sets the
// estimated number of positions with the same or fewer mismatches and the secondary position.
void populateAlignmentFromCandidatePosition(Alignment& alignment, CandidatePosition* candidate,
                                            const CandidatePositions& store, std::uint32_t alignmentType);

// A thread's texts for aligning, kept from pair to pair so that aligning allocates nothing once
// they have grown to the reads' size.
struct AlignmentScratch {
    std::string reference;  // the genome under a position
    std::string indel;      // the read or reference with an indel applied
    std::string match;      // a match string built for the mapping quality
    std::string kept;       // bases or qualities an indel leaves
};

// The match string of a position: the read in its orientation against the reference, with
// the position's indel applied.
void createSimpleMatchString(const Position& position, Read& read, const GenomeSequence& genome,
                             AlignmentScratch& scratch, std::string& match);
std::string createSimpleMatchString(const Position& position, Read& read, const GenomeSequence& genome);
void performSimpleAlignment(Alignment& alignment, Read& read, const GenomeSequence& genome,
                            AlignmentScratch& scratch);
void performSmithWattermanAlignment(Alignment& alignment, Read& read, const GenomeSequence& genome,
                                    AlignmentScratch& scratch);
// CIGAR, mismatch string, trims, edit distance and segments of a non-empty alignment, then the
// reportability check.
void performAlignment(const AlignmentParameters& params, Read& read, Alignment& alignment,
                      const GenomeSequence& genome, AlignmentScratch& scratch);
void performAlignment(const AlignmentParameters& params, Read& read, Alignment& alignment,
                      const GenomeSequence& genome);
// The reference bases a CIGAR covers: its M, D, N, = and X lengths.
std::uint64_t cigarReferenceSpan(std::string_view cigar);
void addChromosomeInformationToAlignment(Alignment& alignment, const GenomeSequence& genome, bool copyName);

std::string positionToString(const Position& position, const char* prefix);
std::string alignmentToString(const Alignment& alignment, const char* prefix);
std::string alignmentsToString(const Alignments& alignments, const char* prefix);
void printAlignment(std::FILE* file, const Alignment& alignment, const char* prefix);

}  // namespace koru
