#pragma once
// The output formats of a mapping request taken together: one header call before the threads
// start, one pair of optional writers per thread, one write call per read pair.

#include <cstdint>
#include <memory>

#include "config/execution_parameters.h"
#include "genome/genome_sequence.h"
#include "io/buffered_file_writer.h"
#include "mapping/paired_alignments.h"

namespace koru {

// A SAM record is two lines of read-sized text; this holds thousands of pairs of short reads.
inline constexpr std::uint32_t samOutputBufferCapacity = 1'600'000;
inline constexpr std::uint32_t qmrOutputRecordsPerBuffer = 6000;

// One thread's writers; a writer is absent when its format was not requested. Destruction
// writes out what is left, QMR first, then SAM.
struct OutputFileBufferedFileWriters {
    std::unique_ptr<BufferedFileWriter> samWriter;
    std::unique_ptr<BufferedFileWriter> qmrWriter;

    OutputFileBufferedFileWriters() = default;
    OutputFileBufferedFileWriters(OutputFileBufferedFileWriters&&) = default;
    OutputFileBufferedFileWriters& operator=(OutputFileBufferedFileWriters&&) = delete;
    ~OutputFileBufferedFileWriters();

    // In input order: the records from here on belong to the item starting at `start`.
    void beginItem(std::uint64_t start);
    void finishItem(std::uint64_t end);
};

// A request's output files in input order: absent where that format was not requested.
struct OrderedOutputFiles {
    std::unique_ptr<OrderedOutputFile> sam;
    std::unique_ptr<OrderedOutputFile> qmr;
};

OrderedOutputFiles createOrderedOutputFiles(LockedFile* samFile, LockedFile* qmrFile);
// The run's SAM and QMR files as requested.
OrderedOutputFiles createOrderedOutputFiles(const ExecutionParameters& params);

// The QMR header when QMR output was requested, then the SAM header when SAM output was.
void writeHeaderToOutputFile(const ExecutionParameters& params, const GenomeSequence& genome);

OutputFileBufferedFileWriters createOutputFileBufferedFileWriters(const ExecutionParameters& params);
// One thread's writers on files written in input order, each buffer holding about an item.
OutputFileBufferedFileWriters createOutputFileBufferedFileWriters(const OrderedOutputFiles& files,
                                                                  std::uint32_t samCapacity,
                                                                  std::uint32_t qmrCapacity);
// Writers on the given files with the given capacities (0: the writer's default), for outputs
// sized by their input or written to a file other than the run's. A null file gets no writer.
OutputFileBufferedFileWriters createOutputFileBufferedFileWriters(LockedFile* samFile,
                                                                  std::uint32_t samCapacity,
                                                                  LockedFile* qmrFile,
                                                                  std::uint32_t qmrCapacity);

// The pair's SAM record, then its QMR lines, through the writers present.
void writePairedAlignmentsToOutputFile(const ExecutionParameters& params,
                                       const PairedAlignments& pairedAlignments,
                                       OutputFileBufferedFileWriters& writers, const GenomeSequence& genome);

}  // namespace koru
