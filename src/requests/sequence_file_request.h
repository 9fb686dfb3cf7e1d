#pragma once
// The sequence file mapping request: every read pair of a list of sequence record files is mapped,
// whole files handed out to threads one at a time. The per-file mapping is also what the
// interactive server runs for each request.

#include <cstdint>
#include <string_view>

#include "config/execution_parameters.h"
#include "index/binary_indexes.h"
#include "io/output_files.h"
#include "io/sequence_file.h"

namespace koru {

class RequestSummary;

// The first files of the threads start this many seconds times the thread number apart, so that
// the threads do not all load their files and flush their output at the same moment.
inline constexpr unsigned sequenceFileStaggerSeconds = 30;

// A writer sized for a whole file reserves its memory at once; beyond this a large file's writer
// flushes more than once instead of asking for gigabytes.
inline constexpr std::uint64_t sequenceFileWriterCapacityLimit = std::uint64_t{64} << 20;
inline constexpr std::uint64_t samBytesPerSequenceFileRecord = 800;
// A pair writes up to three QMR lines before the writer would have to flush.
inline constexpr std::uint64_t qmrLinesPerSequenceFileRecord = 3;

// Where one file's records go; a null file is a format not written. With ordered files the
// records go there instead, as the item numbered by the file's place in the list.
struct SequenceFileOutputFiles {
    LockedFile* samFile = nullptr;
    LockedFile* qmrFile = nullptr;
    const OrderedOutputFiles* ordered = nullptr;
    std::uint64_t item = 0;
    // When set, reads are named "<prefix>:<record>" instead of "<file number>:<record>".
    std::string_view readNamePrefix;
    // When set, the file's statistics are added to the request's summary.
    RequestSummary* summary = nullptr;
};

// The run's SAM and QMR files of the formats requested.
SequenceFileOutputFiles runOutputFiles(const ExecutionParameters& params);

// staggerSeconds is the delay between the threads' first files; runs use
// sequenceFileStaggerSeconds.
void processSequenceFileMappingRequest(const ExecutionParameters& params, const BinaryIndexes& indexes,
                                       unsigned staggerSeconds = sequenceFileStaggerSeconds);

// Maps every record of one file on the calling thread, writes its output and prints its
// statistics.
void alignSequencesFromSeqeunceFile(const SequenceFile& sequenceFile, const BinaryIndexes& indexes,
                                    const ExecutionParameters& params);
void alignSequencesFromSeqeunceFile(const SequenceFile& sequenceFile, const BinaryIndexes& indexes,
                                    const ExecutionParameters& params,
                                    const SequenceFileOutputFiles& outputs);

// The decimal number right after the last '_' of the path; 0 without one. Too large a number
// stops at the largest unsigned 32-bit value.
std::uint32_t getSequenceFileNumberFromPath(std::string_view path);

// A start number (when not 0) bounds the mapped file numbers from above and an end number (when
// not 0) from below, both exclusively.
bool isSequenceFileNumberSkipped(std::uint32_t fileNumber, std::uint32_t startNumber,
                                 std::uint32_t endNumber);

// A writer capacity for a whole file, within sequenceFileWriterCapacityLimit; 0 (the writer's
// default) for a file without records.
std::uint32_t sequenceFileWriterCapacity(std::uint64_t records, std::uint64_t bytesPerRecord);

}  // namespace koru
