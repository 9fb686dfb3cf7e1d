#pragma once
// The genome as it is embedded in index files: the genome information, the genome record with its
// counters, the chromosome table and both planes, little-endian, in the record layouts of the
// original in-memory structures. Address slots are written as 0 and carry nothing: the ASCII copy,
// the chromosome names and accessions and the genome information's texts other than the file name
// are not stored, and come back absent.

#include <cstdio>
#include <memory>

#include "genome/genome_information.h"
#include "genome/genome_sequence.h"

namespace koru {

// Each writer flushes the stream; a failed write or flush ends the run.
void serializeGenomeInformationToFile(std::FILE* stream, const GenomeInformation* info);
void serializeGenomeSequenceToFile(std::FILE* stream, const GenomeSequence* genome);

// Each reader reads from the stream's current position, which must be in a regular file: every
// length read is checked against what is left of the file before anything is allocated, and a
// short or inconsistent record ends the run.
std::unique_ptr<GenomeInformation> deserializeGenomeInformationFromFile(std::FILE* stream);
std::unique_ptr<GenomeSequence> deserializeGenomeSequenceFromFile(std::FILE* stream);

}  // namespace koru
