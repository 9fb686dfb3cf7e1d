#pragma once
// SAM output: a version 1.0 header, then two lines per read pair (read A, then read B) built from
// the first alignment of each read of the pair's primary paired alignment. Alternates are listed
// in an XA tag; secondary paired alignments are only reported in the QMR output.
//
// A mapped read with a junction fragment is split at the junction (alignment/junction_split.h):
// its line soft-clips the part the fragment covers (position, CIGAR, NM and MD of its own part
// only; the mate's line and both template lengths follow the new position), and the fragment gets
// a supplementary line (0x800) after the pair's two lines (read A's before read B's) that clips
// the rest. That line is paired like the read's line but never properly (no 0x2), its RNEXT and
// PNEXT are those of the mate's line and its TLEN is 0; it carries the fragment's MAPQ and the
// whole read as SEQ and QUAL in the fragment's orientation. Both lines name each other in an SA
// tag ("rname,pos,strand,CIGAR,mapQ,NM;"). The fragment's part is judged on its own bases, so a
// fragment that was not reportable as a whole read (and so has MAPQ 0) is written too when its part
// is sound. A read whose alignment or fragment has an indel, or that cannot be split, is written as
// without a fragment.

#include <cstdint>
#include <string>
#include <string_view>

#include "alignment/alignment.h"
#include "alignment/mapping_quality.h"
#include "config/execution_parameters.h"
#include "genome/genome_sequence.h"
#include "io/buffered_file_writer.h"
#include "mapping/paired_alignments.h"
#include "sequence/read_pair.h"

namespace koru {

inline constexpr std::uint32_t maximumSamMappingQuality = maximumReportedMappingQuality;

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
// The same appended to a text. With the reads' alignments (whose first ones are alignmentA and
// alignmentB), a mapped read's reportable alternates are listed in an XA tag ("chr,+pos,CIGAR,NM;"
// each) and its junction fragment is split off as a supplementary line; the genome locates a
// fragment that was not reportable as a whole read.
void appendSAMOutputRecord(std::string& out, const Read& readA, const Read& readB,
                           const Alignment* alignmentA, const Alignment* alignmentB, std::uint32_t type,
                           const SamRecordFormat& format = {}, const Alignments* alignmentsA = nullptr,
                           const Alignments* alignmentsB = nullptr, const GenomeSequence* genome = nullptr);

// Appends the record of the pair's primary paired alignment (or of two unmapped reads when it
// has none) to the writer.
void writePairedAlignmentsToSamFile(const ExecutionParameters& params,
                                    const PairedAlignments& pairedAlignments, BufferedFileWriter& writer,
                                    const GenomeSequence& genome);

}  // namespace koru
