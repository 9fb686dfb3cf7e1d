#pragma once
// Supplemental mappings of a paired alignment: per read, a biotin junction fragment when the read
// looks like it spans a junction, and alternate mappings (other candidates scoring as well as its
// best alignment).

#include <cstdint>

#include "alignment/alignment.h"
#include "candidates/candidate_positions.h"
#include "genome/genome_sequence.h"
#include "mapping/mapping_parameters.h"
#include "mapping/paired_alignments.h"
#include "mapping/read_pair_mapping_statistics.h"

namespace koru {

// The reads and the genome, for a junction fragment that the candidates do not hold: when
// absent, only the candidates are searched.
struct JunctionRescueReads {
    const ReadPair& pair;
    const GenomeSequence& genome;
};

// Runs junction detection and alternate generation for read A then read B of the paired
// alignment built from the two candidates, and recomputes its aggregate figures.
void generateSupplimentalMappingsForCandidate(const MappingParameters& params,
                                              ReadPairMappingStatistics& statistics, PairedAlignment& paired,
                                              CandidatePosition* candidateA, CandidatePosition* candidateB,
                                              CandidatePositionsPair& candidates,
                                              const JunctionRescueReads* rescue = nullptr);

// Adds the read's subset entries that rank ahead of the first one in use and score at least as
// well as its best alignment; returns how many were added.
std::uint32_t generateAlternateMappings(const MappingParameters& params, Alignments& alignments,
                                        CandidatePositions& store);

}  // namespace koru
