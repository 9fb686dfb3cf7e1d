#pragma once
// QMR output: koru's own fixed-width text format, one or more space-separated records per read
// pair after "#" lines that describe the run. Unlike SAM it lists alternate mappings, junction
// fragments and (in version 2) the secondary paired alignment.

#include <cstdint>
#include <string>

#include "alignment/alignment.h"
#include "config/execution_parameters.h"
#include "genome/genome_sequence.h"
#include "io/buffered_file_writer.h"
#include "mapping/paired_alignments.h"
#include "sequence/read_pair.h"

namespace koru {

// The working record of one line of a pair's output.
struct QMROutputRecord {
    const Alignment* alignmentA = nullptr;  // not owned; both null: the line without alignments
    const Alignment* alignmentB = nullptr;  // not owned
    const ReadPair* readPair = nullptr;     // not owned: read lengths, file and line numbers
    std::int32_t version = 3;
    std::int32_t scoreSum = 0;
    std::string mType = "1";  // the Mtype column, up to three characters
    std::string text;         // the formatted line
};

QMROutputRecord createQMROutputRecord(std::int32_t version, const ReadPair& readPair);

// Characters of one line, newline included. Versions other than 1, 2 and 3 end the run.
std::uint32_t getRecordSize(std::int32_t version);

// Writes the "#" lines on the QMR file under its lock and flushes them.
void writeQMROutputRecordFormatedFileHeader(const ExecutionParameters& params, const GenomeSequence& genome);

// Format the record's line into record.text. With one alignment missing, that read's columns
// print as for a cleared alignment.
void createVersion3QMROutputRecordFormatedString(QMROutputRecord& record);
void createVersion2QMROutputRecordFormatedString(QMROutputRecord& record);

// Formats the record in its version and appends the line.
void writeQMROutputRecordToBufferedFile(QMROutputRecord& record, BufferedFileWriter& writer);

// All lines of one pair in the configured version.
void writePairedAlignmentsToQMROutputRecordFormatedFile(const ExecutionParameters& params,
                                                        const PairedAlignments& pairedAlignments,
                                                        BufferedFileWriter& writer,
                                                        const GenomeSequence& genome);
void writePairedAlignmentsToVersion2QMROutputRecordFormatedFile(const ExecutionParameters& params,
                                                                const PairedAlignments& pairedAlignments,
                                                                BufferedFileWriter& writer,
                                                                const GenomeSequence& genome);

}  // namespace koru
