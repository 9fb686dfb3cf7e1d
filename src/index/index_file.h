#pragma once
// Index files: the genome and its compact index in one file, written once and read by later runs
// instead of building the index again.
//
// Layout (little-endian; every array starts on a 64-byte boundary so it can be used in place):
//   header, 64 bytes: "KORU-IDX", format version, header size, file size, content checksum,
//                     genome length, genome checksum, number of chromosomes, sampling step
//   binary indexes header   : per encoding the positions its lists hold (for the reports)
//   count arrays header     : limits, sampling step, count statistics, directory bits and
//                             entries per encoding
//   genome information      : name, species, version, file, format type, chromosome count
//   key tables              : per encoding the directory and the residuals (the counts are the
//                             lengths of the residuals' runs)
//   genome sequence         : the record, the chromosome table with names, the interleaved base
//                             and check planes, the uncalled plane, and the runs of letters other
//                             than A, C, G, T and N
//   positions               : per encoding the key tables' positions (the position lists)
// The content checksum covers everything after the header in 1 MiB segments, so that a run can
// check it with all threads; the genome checksum covers the genome's planes. The sampling step
// sits in the header too, so that a run asking for another step is refused before the file is read.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "genome/genome_sequence.h"
#include "index/binary_indexes.h"
#include "index/count_arrays.h"
#include "index/index_file_memory.h"
#include "support/allocation.h"
#include "support/locked_file.h"

namespace koru {

inline constexpr std::uint32_t indexFileFormatVersion = 2;

// The genome and its index, ready for mapping: built in the run, or read from an index file, which
// `file` then holds and which the records borrow.
struct MappingIndex {
    std::unique_ptr<LoadedIndexFile> file;
    std::unique_ptr<GenomeSequence> genome;
    std::unique_ptr<CountArrays> countArrays;
    std::unique_ptr<BinaryIndexes> indexes;
};

// Writes the whole index file. Progress lines go to `report` when given. Every write is checked;
// a failed one ends the run naming the file.
void serializeBinaryIndexesToFile(std::FILE* file, const std::string& fileName, const BinaryIndexes& indexes,
                                  LockedFile* report);
// Reads and checks the file; a missing, truncated, foreign, other-version or damaged file ends
// the run with a message naming it, as does one of another sampling step than `samplingStep`
// (0 takes the file's step).
MappingIndex deserializeBinaryIndexesFromFile(const std::string& fileName, LockedFile* report,
                                              std::uint32_t samplingStep = 0);

class IndexFileWriter;
class IndexFileReader;
// The count arrays' block of the file: header, genome information, then per encoding the key
// directory and residuals. The arrays read back point into the mapped file.
void serializeCountArraysToFile(IndexFileWriter& out, const CountArrays& arrays);
std::unique_ptr<CountArrays> deserializeCountArraysFromFile(IndexFileReader& in);

// Ends the run before the index is built when the index file could not be written: something
// other than a regular file has its name (a device, a directory, a pipe), or the file that
// writeIndexFile writes first cannot be created (it is created and removed again).
void checkIndexFileCanBeWritten(const std::string& fileName);
// Writes the index to a new file of that name, replacing it only once the file is complete; a
// symbolic link of that name stays, and the file it names is replaced. The file is written as
// NAME.partial-XXXXXX (unique to the run, removed when the run fails) and renamed into place.
void writeIndexFile(const std::string& fileName, const BinaryIndexes& indexes, LockedFile* report);

// What identifies a genome in an index file: the checksum of its planes over the words in use.
std::uint64_t genomeChecksum(const GenomeSequence& genome);

// The checksum of a byte range, as the file records it for its content.
std::uint64_t indexFileChecksum(const unsigned char* data, std::size_t bytes);

}  // namespace koru
