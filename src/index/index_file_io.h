#pragma once
// Writing and reading the blocks of an index file. The writer checks every write and checksums
// the content as it goes; the reader hands out values and arrays from the mapped file, checking
// every length against the file first, so that a damaged file is refused and never read past.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "genome/genome_sequence.h"
#include "index/binary_indexes.h"
#include "index/count_arrays.h"
#include "support/errors.h"
#include "support/locked_file.h"

namespace koru {

inline constexpr std::size_t indexFileHeaderBytes = 64;
inline constexpr std::size_t indexFileChecksumSegment = std::size_t{1} << 20;
inline constexpr std::size_t indexFileAlignment = 64;

inline constexpr char indexFileMagic[8] = {'K', 'O', 'R', 'U', '-', 'I', 'D', 'X'};

struct IndexFileHeader {
    char magic[8];
    std::uint32_t formatVersion;
    std::uint32_t headerBytes;
    std::uint64_t fileBytes;
    std::uint64_t checksum;  // of the content, then of this header with this field 0
    std::uint64_t genomeLength;
    std::uint64_t genomeChecksum;
    std::uint32_t numberOfChromosomes;
    std::uint32_t samplingStep;
    std::uint64_t checksumSegmentBytes;
};
static_assert(sizeof(IndexFileHeader) == indexFileHeaderBytes);

// The file's checksum: the content's, folded with that of the header (its checksum field 0), so
// that a change anywhere in the file is found.
std::uint64_t indexFileChecksumWithHeader(std::uint64_t contentChecksum, IndexFileHeader header);

// Sizes in progress lines: "512B", "~13.2MB".
std::string indexFileSizeText(std::uint64_t bytes);
// Writes one progress line and flushes it, so that progress shows while a large file is handled.
void reportIndexFileStep(LockedFile* report, const std::string& line);

// The bytes each block of the file holds: the key tables' directories and residuals, the genome,
// and the key tables' positions.
std::uint64_t countArraysBytes(const CountArrays& arrays);
std::uint64_t genomeSequenceBytes(const GenomeSequence& genome);
std::uint64_t indexStorageBytes(const CountArrays& arrays);

// Checksum of one segment of the content.
std::uint64_t indexFileSegmentChecksum(const unsigned char* data, std::size_t bytes, std::uint64_t segment);

// The same, over a segment given in pieces: every piece but the last a multiple of 32 bytes.
class IndexFileSegmentChecksum {
  public:
    explicit IndexFileSegmentChecksum(std::uint64_t segment);
    void add(const unsigned char* data, std::size_t bytes);
    std::uint64_t value() const;

  private:
    std::uint64_t sums_[4];
    std::uint64_t weightedSums_[4];
    std::uint64_t bytes_ = 0;
};
// Folds the segments' checksums, in order, into the content checksum.
std::uint64_t foldIndexFileChecksum(std::uint64_t checksum, std::uint64_t segmentChecksum);

class IndexFileWriter {
  public:
    // The name is the one that write errors give.
    IndexFileWriter(std::FILE* file, std::string fileName);

    template <class T>
    void value(const T& value) {
        bytes(&value, sizeof value);
    }
    template <class T>
    void array(const T* values, std::size_t count) {
        align();
        bytes(values, count * sizeof(T));
    }
    void text(const std::string& value);
    void bytes(const void* data, std::size_t count);
    // Pads with zeros to the next 64-byte boundary, where arrays start.
    void align();
    // Writes the last segment and returns the content checksum and the file size.
    void finish(std::uint64_t& checksum, std::uint64_t& fileBytes);
    std::uint64_t contentBytes() const { return written_ + segment_.size(); }

  private:
    void writeSegment();

    std::FILE* file_;
    std::string fileName_;
    std::vector<unsigned char> segment_;
    std::uint64_t written_ = 0;  // content bytes already written out
    std::uint64_t checksum_ = 0;
    std::uint64_t segments_ = 0;
};

class IndexFileReader {
  public:
    IndexFileReader(const unsigned char* data, std::size_t bytes, std::size_t offset, std::string name)
        : data_(data), bytes_(bytes), offset_(offset), name_(std::move(name)) {}

    template <class T>
    T value() {
        T result;
        std::memcpy(&result, take(sizeof(T)), sizeof(T));
        return result;
    }
    // The array in place in the mapped file.
    template <class T>
    const T* array(std::uint64_t count) {
        align();
        if (count > (bytes_ - offset_) / sizeof(T)) refuse("it ends inside its data");
        return reinterpret_cast<const T*>(take(static_cast<std::size_t>(count * sizeof(T))));
    }
    std::string text();
    void align();
    std::size_t offset() const { return offset_; }
    std::size_t size() const { return bytes_; }
    // Called before any refusal: a file read before its checksum was checked is refused for a
    // checksum that does not match, if it does not, rather than for what it broke.
    void checkBeforeRefusing(std::function<void()> check) { beforeRefusal_ = std::move(check); }
    [[noreturn]] void refuse(const char* reason) const;

  private:
    const unsigned char* take(std::size_t count);

    const unsigned char* data_;
    std::size_t bytes_;
    std::size_t offset_;
    std::string name_;
    std::function<void()> beforeRefusal_;
};

}  // namespace koru
