#pragma once
// The FASTQ alignment request: every read pair of two FASTQ files is mapped, its primary paired
// alignment aligned base by base, and the result written as SAM and/or QMR, on all threads.

#include "config/execution_parameters.h"
#include "index/binary_indexes.h"

namespace koru {

void processFastqAlignmentRequest(const ExecutionParameters& params, const BinaryIndexes& indexes);

}  // namespace koru
