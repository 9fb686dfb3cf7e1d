#pragma once
// The FASTQ alignment request: every read pair of two FASTQ files is mapped, its primary paired
// alignment aligned base by base, and the result written as SAM and/or QMR, on all threads.

#include <memory>

#include "config/execution_parameters.h"
#include "index/binary_indexes.h"
#include "mapping/paired_alignments.h"
#include "mapping/read_pair_mapping.h"
#include "mapping/read_pair_mapping_statistics.h"
#include "sequence/read_pair.h"

namespace koru {

void processFastqAlignmentRequest(const ExecutionParameters& params, const BinaryIndexes& indexes);

// Sets the bases to shift, maps the pair, and aligns, scores and annotates the alignments of its
// primary paired alignment. The secondary is left as mapped.
std::unique_ptr<PairedAlignments> alignReadPair(const ExecutionParameters& params, ReadPair& pair,
                                                const BinaryIndexes& indexes,
                                                ReadPairMappingStatistics& statistics,
                                                MappingWorkspace& workspace);

}  // namespace koru
