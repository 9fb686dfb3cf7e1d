#pragma once
// SAM output: a version 1.0 header, then two lines per read pair (read A, then read B) built from
// the first alignment of each read of the pair's primary paired alignment. Secondary, alternate
// and junction alignments are only reported in the QMR output.

#include <cstdint>
#include <string>
#include <string_view>

#include "alignment/alignment.h"
#include "config/execution_parameters.h"
#include "genome/genome_sequence.h"
#include "io/buffered_file_writer.h"
#include "mapping/paired_alignments.h"
#include "sequence/read_pair.h"

namespace koru {

// SAM keeps MAPQ in 0-255 with 255 meaning "not available", so qualities stop at 254.
inline constexpr std::uint32_t maximumSamMappingQuality = 254;

// SAM names may not hold white space; names are cut at their first white space character.
std::string_view samName(std::string_view name);

// Writes the header on the SAM file under its lock and flushes it.
void writeSamFileHeader(const ExecutionParameters& params, const GenomeSequence& genome);

// The two lines of a pair. A null alignment, an empty one or one that is not reportable is
// written as unmapped; `type` is the paired alignment's type (0 concordant, 1 discordant).
// What every record of a run carries alike: the qualities' offset (written as Phred + 33) and the
// read group's ID for an RG tag (none when empty).
struct SamRecordFormat {
    std::uint32_t qualityOffset = 33;
    std::string_view readGroup;
};

std::string createSAMOutputRecord(const Read& readA, const Read& readB, const Alignment* alignmentA,
                                  const Alignment* alignmentB, std::uint32_t type,
                                  const SamRecordFormat& format = {});
// The same appended to a text; with the reads' alignments, a mapped read's reportable alternates
// are listed in an XA tag ("chr,+pos,CIGAR,NM;" each).
void appendSAMOutputRecord(std::string& out, const Read& readA, const Read& readB,
                           const Alignment* alignmentA, const Alignment* alignmentB, std::uint32_t type,
                           const SamRecordFormat& format = {}, const Alignments* alternatesA = nullptr,
                           const Alignments* alternatesB = nullptr);

// Appends the record of the pair's primary paired alignment (or of two unmapped reads when it
// has none) to the writer.
void writePairedAlignmentsToSamFile(const ExecutionParameters& params,
                                    const PairedAlignments& pairedAlignments, BufferedFileWriter& writer,
                                    const GenomeSequence& genome);

}  // namespace koru
