#pragma once
// Turns a FASTA reference into the genome record: cuts the text into chromosomes at the header
// lines, copies the bases upper-cased into the ASCII concatenation, packs them into the bit
// planes, pads every chromosome to whole words plus a separator of 32 N, and counts base
// composition and runs of repeated bases.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "genome/genome_sequence.h"
#include "support/memory_mapped_file.h"

namespace koru {

// Fills the genome from the whole file, and records the chromosome count in the genome's
// information when it has one. A file without sequence data, a header that breaks the rules, or a
// genome that needs more genome positions than 32 bits address ends the run.
void processFastaFormatGenomeFile(GenomeSequence& genome, const MemoryMappedFile& file);

// Reads the header line at the start of text into the chromosome's name and accession. Returns the
// offset of the line feed that ends the header; none when text does not start with '>', has no
// line feed, or a delimited header has fewer than four delimiters.
std::optional<std::size_t> populateChromosomeInformationFromFastaHeader(ChromosomeInformation& chromosome,
                                                                        std::string_view text);

// The number of '>' characters.
std::uint64_t getNumberOfSequencesInFastaFormattedFile(std::string_view fileContents);

// Writes count N characters.
void padNs(char* text, std::size_t count);

}  // namespace koru
