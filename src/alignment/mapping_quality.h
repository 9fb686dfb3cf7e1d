#pragma once
// Phred-scaled mapping quality of a reported alignment: from how many positions fit the read
// as well, from the base qualities of the mismatched bases at the chosen and the second-best
// position, or, for a perfect unique match, from the read's average base quality; capped by the
// genome's ceiling.

#include <cstdint>
#include <limits>
#include <string_view>

#include "alignment/alignment.h"
#include "alignment/alignment_parameters.h"
#include "genome/genome_sequence.h"
#include "sequence/read_pair.h"

namespace koru {

// SAM keeps MAPQ in 0-255 with 255 meaning "not available", so reported qualities stop at 254.
inline constexpr std::uint32_t maximumReportedMappingQuality = 254;

// The quality a mapped read's record shows: a concordant pair is placed as a unit, so both its
// reads carry the pair's combined quality, except a read that another place pairs with the mate
// as well (`tiedWithinPair`), which carries its own. `mate` is null when the mate is not mapped.
std::uint32_t reportedMappingQuality(const Alignment& own, const Alignment* mate, bool concordant);

void addQualityScoreToAlignment(const AlignmentParameters& params, Read& read, Alignment& alignment,
                                const GenomeSequence& genome, AlignmentScratch& scratch);
void addQualityScoreToAlignment(const AlignmentParameters& params, Read& read, Alignment& alignment,
                                const GenomeSequence& genome);

// What calculateMappingQualityRelativeToSecondBestCandidate returns when nothing bounds the
// quality (the second-best position is not counted as more frequent than the primary): the
// genome's cap applies.
inline constexpr std::int32_t unboundedMappingQuality = std::numeric_limits<std::int32_t>::max();

// -1 when the second-best position is empty; unboundedMappingQuality when the count difference
// gives no limit.
std::int32_t calculateMappingQualityRelativeToSecondBestCandidate(const AlignmentParameters& params,
                                                                  Read& read, const Alignment& alignment,
                                                                  const GenomeSequence& genome,
                                                                  AlignmentScratch& scratch);

// The sum of (quality - offset) over the position's mismatched bases; matchString may be empty, in
// which case it is built.
std::uint32_t sumBaseQualityForPositionsMismatches(std::string_view matchString, const Position& position,
                                                   Read& read, const GenomeSequence& genome,
                                                   const AlignmentParameters& params,
                                                   AlignmentScratch& scratch);
std::uint32_t sumBaseQualityForMismatches(std::string_view matchString, std::string_view qualities,
                                          std::uint32_t length, std::uint32_t offset);

}  // namespace koru
