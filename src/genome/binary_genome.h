#pragma once
// Pre-encoded binary genome files (format types 0 and 1): for every chromosome its number, its
// word count k and k pairs of base and check plane words (format 1 adds k pairs that are skipped),
// all unsigned 32-bit little-endian, with no header; the chromosome count comes from the genome
// information. The words go straight into the planes and the ASCII copy is decoded from them.

#include "genome/genome_sequence.h"
#include "support/memory_mapped_file.h"

namespace koru {

// Fills the genome from the whole file. Every chromosome starts on an even word, so a chromosome
// of an odd word count is followed by a zero word. A file shorter than its chromosomes say, a
// chromosome of no words, or a genome past 32-bit positions ends the run. The chromosome count is
// the genome information's.
void processBinaryFormatGenomeFile(GenomeSequence& genome, const MemoryMappedFile& file);

}  // namespace koru
