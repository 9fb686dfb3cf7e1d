#pragma once
// The pair step of every request: the pair is mapped, its primary and secondary paired alignment
// chosen once and stored with it, and the primary aligned base by base, scored and annotated.

#include "index/binary_indexes.h"
#include "mapping/mapping_parameters.h"
#include "mapping/paired_alignments.h"
#include "mapping/read_pair_mapping.h"
#include "mapping/read_pair_mapping_statistics.h"
#include "sequence/read_pair.h"

namespace koru {

// Sets the bases to shift, maps the pair, chooses, and aligns the primary paired alignment's
// alignments; the secondary is left as mapped. The result is the workspace's, valid until the
// next pair.
PairedAlignments& alignReadPair(const MappingParameters& params, ReadPair& pair, const BinaryIndexes& indexes,
                                ReadPairMappingStatistics& statistics, MappingWorkspace& workspace);

}  // namespace koru
