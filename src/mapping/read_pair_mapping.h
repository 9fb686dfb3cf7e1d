#pragma once
// The mapping of one read pair: candidates of both reads, scoring, pairing inside the concordant
// window, and at most two paired alignments (concordant and discordant), with junction fragments
// and alternates when supplemental mappings are requested. It produces positions and scores; the
// caller aligns the chosen pair base by base, adds mapping qualities and picks the primary.

#include <memory>

#include "candidates/candidate_generation.h"
#include "candidates/candidate_positions.h"
#include "index/binary_indexes.h"
#include "mapping/candidate_pairing.h"
#include "mapping/mapping_parameters.h"
#include "mapping/mate_rescue.h"
#include "mapping/paired_alignments.h"
#include "mapping/read_pair_mapping_statistics.h"
#include "sequence/read_pair.h"

namespace koru {

// Per-thread scratch of the mapping, reused from pair to pair so that mapping allocates little.
struct MappingWorkspace {
    explicit MappingWorkspace(const MappingParameters& params);
    std::unique_ptr<CandidatePositionsPair> candidates;
    std::unique_ptr<CandidateGenerationScratch> generation;
    PairedAlignments alignments;  // the last pair's, refilled for each pair
    AlignmentScratch alignment;
    MateRescueScratch rescue;
    PairingScratch pairing;
};

// The pair's reads must be encoded in both orientations with their bases to shift set. A read
// shorter than 64 or longer than 512 bases gets no candidates, like a read that finds none, and
// the pair is counted in the statistics: its mate is mapped alone, or, when both reads are of
// such lengths, the pair gets no paired alignment.
// The result is the workspace's alignments, valid until the next pair.
PairedAlignments& mapReadPair(const MappingParameters& params, ReadPair& readPair,
                              const BinaryIndexes& indexes, ReadPairMappingStatistics& statistics,
                              MappingWorkspace& workspace);
std::unique_ptr<PairedAlignments> mapReadPair(const MappingParameters& params, ReadPair& readPair,
                                              const BinaryIndexes& indexes,
                                              ReadPairMappingStatistics& statistics);

// The message of a read whose length is not supported by an index of that sampling step.
std::string unsupportedReadLengthMessage(const Read& read, std::uint32_t samplingStep);

}  // namespace koru
