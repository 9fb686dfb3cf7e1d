#pragma once
// Sequence record files: plain text, one read pair per line, both reads written as runs of letters
// in columns that the first line fixes for the whole file. They carry no names and no qualities.
// Requests to the interactive server are such files closed by an end marker line.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "support/memory_mapped_file.h"

namespace koru {

inline constexpr std::string_view requestEndMarker = "END";

struct SequenceFile {
    std::unique_ptr<MemoryMappedFile> file;
    std::uint32_t sequenceFileNumber = 0;
    std::uint32_t recordLength = 0;  // bytes, newline included
    std::uint32_t numberOfRecords = 0;
    std::uint32_t readAStartPosition = 0;
    std::uint32_t readAEndPosition = 0;
    std::uint32_t readBStartPosition = 0;
    std::uint32_t readBEndPosition = 0;
};

// Both reads of a record have read A's length.
std::uint32_t sequenceFileReadLength(const SequenceFile& sequenceFile);
std::string_view sequenceFileReadA(const SequenceFile& sequenceFile, std::uint32_t record);
// Read A's length from read B's first column: a longer read B is cut, a shorter one takes the
// characters that follow it.
std::string_view sequenceFileReadB(const SequenceFile& sequenceFile, std::uint32_t record);

// The outcome of opening contents already in memory. Exactly one of: a usable file, an incomplete
// request (its end marker is not there yet), or a problem that puts the file outside the format.
struct SequenceFileOpening {
    std::unique_ptr<SequenceFile> sequenceFile;
    bool incomplete = false;
    std::string problem;  // a sentence without the file name
};

// Without an end marker every line counts, a last one without its newline too, and every
// record's reads must lie inside the file. With an end marker the file is complete when its last
// line begins with the marker; that line is not a record, and every record must have the first
// line's length and hold both reads inside the line, because a request is mapped by a server that
// must not trust it.
SequenceFileOpening openSequenceFile(std::unique_ptr<MemoryMappedFile> contents,
                                     std::uint32_t sequenceFileNumber,
                                     std::optional<std::string_view> endMarker);

// Loads and opens the file; null for an incomplete request. A missing file or one outside the
// format ends the run with a message naming the file.
std::unique_ptr<SequenceFile> createSequenceFile(const std::string& fileName,
                                                 std::uint32_t sequenceFileNumber,
                                                 std::optional<std::string_view> endMarker);

void printSequenceFile(std::FILE* stream, const SequenceFile* sequenceFile);

// ">seq_<file>_ln_<record>_rd_<A or B>\n"
std::string createFastaDescription(std::uint32_t sequenceFileNumber, std::uint32_t record, const char* read);
// Both reads of every record, records numbered from 1, sequences in lines of 70 bases.
void writeSequenceFileToFastaFile(const SequenceFile& sequenceFile, std::FILE* stream);
void covertSequenceFileToFastaFile(const std::string& fileName, std::uint32_t sequenceFileNumber,
                                   const std::string& outputFileName, bool append);

}  // namespace koru
