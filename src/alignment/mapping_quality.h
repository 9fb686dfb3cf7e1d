#pragma once
// Phred-scaled mapping quality of a reported alignment: from how many positions fit the read
// as well, from the base qualities of the mismatched bases at the chosen and the second-best
// position, or, for a perfect unique match, from the read's average base quality; capped by the
// genome's ceiling.

#include <cstdint>
#include <string_view>

#include "alignment/alignment.h"
#include "config/execution_parameters.h"
#include "genome/genome_sequence.h"
#include "sequence/read_pair.h"

namespace koru {

void addQualityScoreToAlignment(const ExecutionParameters& params, Read& read, Alignment& alignment,
                                const GenomeSequence& genome);

// -1 when the second-best position is empty.
std::int32_t calculateMappingQualityRelativeToSecondBestCandidate(const ExecutionParameters& params, Read& read,
                                                                  const Alignment& alignment,
                                                                  const GenomeSequence& genome);

// The sum of (quality - offset) over the position's mismatched bases; matchString may be empty, in
// which case it is built.
std::uint32_t sumBaseQualityForPositionsMismatches(std::string_view matchString, const Position& position,
                                                   Read& read, const GenomeSequence& genome,
                                                   const ExecutionParameters& params);
std::uint32_t sumBaseQualityForMismatches(std::string_view matchString, std::string_view qualities,
                                          std::uint32_t length, std::uint32_t offset);

}  // namespace koru
