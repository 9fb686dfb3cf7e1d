#pragma once
// Biotin junction detection. In mate-pair libraries a read may run across the junction where the
// two ends of the circularised fragment were joined: part of it lies near its mate, the rest at
// the fragment's other end. Such a read has a placement where one part matches well while the
// whole read does not; detection looks for a second placement matching the other part and adds
// it to the read's alignments as a junction fragment.

#include <cstdint>

#include "alignment/alignment.h"
#include "candidates/candidate_positions.h"
#include "mapping/mapping_parameters.h"

namespace koru {

// Looks among the read's lowest mismatch candidates for a fragment near the mate; returns 1 when
// it added an alignment. `candidate` is the read's own (alignment 0), `mate` the other read's.
std::uint32_t performPrimaryBiotinJunctionDetectionAndMappingGeneration(const MappingParameters& params,
                                                                        CandidatePositions& store,
                                                                        CandidatePosition& candidate,
                                                                        const CandidatePosition& mate,
                                                                        Alignments& alignments);

// Looks among all the read's candidates within the fragment distance of the mate.
std::uint32_t performSecondaryBiotinJunctionDetectionAndMappingGeneration(const MappingParameters& params,
                                                                          CandidatePositions& store,
                                                                          const CandidatePosition& candidate,
                                                                          const CandidatePosition& mate,
                                                                          Alignments& alignments);

// One candidate matches the read's start better than its end and the other its end better.
bool areComplementaryFragments(const CandidatePosition& x, const CandidatePosition& y);

}  // namespace koru
