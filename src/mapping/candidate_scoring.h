#pragma once
// Scoring and ranking of one read's candidates: candidates with too few keys are dropped, the
// rest are scored in each orientation with key support, given their better orientation, paired
// into indel candidates when close, and ranked: best and second-best whole-read scores with their
// counts, the highest hit count candidate and the lowest mismatch candidates. When the best
// candidate still has many mismatches and indel candidates exist, indel detection runs.

#include "candidates/candidate_positions.h"
#include "genome/genome_sequence.h"
#include "mapping/mapping_parameters.h"
#include "sequence/read_pair.h"

namespace koru {

void scoreCandidatePositions(const MappingParameters& params, CandidatePositions& store,
                             const GenomeSequence& genome, Read& read);

}  // namespace koru
