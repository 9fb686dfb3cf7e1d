#pragma once
// The FASTQ read pair reader shared by the threads of a request. A reader thread decompresses both
// files and cuts them into chunks, each holding the same number of whole records from each file,
// so that the i-th record of file 1 is always paired with the i-th record of file 2, whatever the
// records' lengths and names; it keeps a few chunks ready ahead. The mapping threads only take a
// ready chunk under a short lock, then parse and encode its records without any. Plain and
// gzip-compressed files are read alike.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sequence/read_pair.h"
#include "support/compressed_input.h"

namespace koru {

// The two read name layouts of Illumina instruments: names then end before "/" (1.0) or before
// the space that starts the comment (1.8).
inline constexpr double noNameLayout = 0.0;
inline constexpr double nameLayout10 = 1.0;
inline constexpr double nameLayout18 = 1.8;

// One input file. Its bytes not yet handed out wait in `pending`.
class FastqFile {
  public:
    explicit FastqFile(const std::string& fileName);
    ~FastqFile();
    FastqFile(const FastqFile&) = delete;
    FastqFile& operator=(const FastqFile&) = delete;

    const std::string& fileName() const { return fileName_; }
    bool namesRecognised() const { return nameLayoutVersion_ != noNameLayout; }
    double nameLayoutVersion() const { return nameLayoutVersion_; }

    // Reads about `bytes` more bytes into the pending text; false at the end of the file.
    bool readMore(std::size_t bytes);
    bool endReached() const { return endReached_; }
    // Bytes read from the file so far (compressed ones for gzip); safe from any thread.
    std::uint64_t fileBytesRead() const { return input_->fileBytesRead(); }
    // The pending text and the number of whole records at its start (the last record of the
    // file needs no final line feed). Records are four lines.
    std::string_view pending() const { return std::string_view(pending_).substr(pendingStart_); }
    // The number of whole records at the start of the pending text, at most maxRecords, and the
    // bytes they take.
    std::size_t wholeRecords(std::size_t maxRecords, std::size_t& bytes) const;
    // Hands out the first `bytes` pending bytes, holding `records` records.
    void take(std::size_t bytes, std::size_t records, std::string& chunk);
    std::uint64_t recordsTaken() const { return recordsTaken_; }
    // True when nothing but white space is left.
    bool exhausted() const;

  private:
    void recogniseNameLayout();

    std::string fileName_;
    // Owned by a member rather than the destructor, which a constructor that fails never reaches.
    std::unique_ptr<CompressedInput> input_;
    std::string pending_;
    std::size_t pendingStart_ = 0;
    bool endReached_ = false;
    std::uint64_t recordsTaken_ = 0;
    double nameLayoutVersion_ = noNameLayout;
};

// Both input files, the reader thread and the chunks it has ready.
class ReadPairFastqFiles {
  public:
    ReadPairFastqFiles(const std::string& read1FileName, const std::string& read2FileName);
    ~ReadPairFastqFiles();
    ReadPairFastqFiles(const ReadPairFastqFiles&) = delete;
    ReadPairFastqFiles& operator=(const ReadPairFastqFiles&) = delete;

    FastqFile& read1() { return read1_; }
    FastqFile& read2() { return read2_; }
    bool bothNamesRecognised() const { return read1_.namesRecognised() && read2_.namesRecognised(); }

    // Hands out the next records of both files, as many from each, in file order; false when
    // both files are used up. The chunks' texts are swapped in, so the caller's old ones are
    // reused. The first call starts the reader thread, with chunks of about `chunkBytes`. Ends the
    // run when one file has more records than the other.
    bool takeChunkPair(std::size_t chunkBytes, std::string& chunk1, std::string& chunk2,
                       std::uint64_t& firstRecord, std::size_t& records);

  private:
    struct ChunkPair {
        std::string chunk1;
        std::string chunk2;
        std::uint64_t firstRecord = 0;
        std::size_t records = 0;
    };
    // Chunks the reader keeps ready ahead of the mapping threads.
    static constexpr std::size_t readyChunkPairs = 4;

    void readAhead(std::size_t chunkBytes);
    // Cuts the next chunk pair from the files; false when both are used up.
    bool cutChunkPair(std::size_t chunkBytes, ChunkPair& pair);

    FastqFile read1_;
    FastqFile read2_;
    std::mutex queueLock_;
    std::condition_variable queueChanged_;
    std::deque<ChunkPair> ready_;
    std::vector<ChunkPair> spare_;  // handed back by the mapping threads, with their memory
    bool finished_ = false;
    // What ended the reader thread, for the mapping threads to raise (see readAhead).
    std::exception_ptr readerError_;
    bool stopping_ = false;
    std::thread reader_;
};

// A thread's chunks of both files and its place in them.
class ReadPairFastqFileReadBuffers {
  public:
    // About 750 pairs of 150 bases, a tenth of a second of a thread's work on a human-sized genome:
    // 1 MiB chunks could leave one thread alone with its last chunk for 0.4 s while the other idled
    // at the end of a run. Taking a chunk from the reader costs next to nothing at either size.
    static constexpr std::size_t defaultChunkBytes = 262'144;

    // Qualities are read at that Phred offset: a quality character below it ends the run.
    ReadPairFastqFileReadBuffers(ReadPairFastqFiles& files, std::size_t chunkBytes = defaultChunkBytes,
                                 std::uint32_t qualityOffset = 33);

    // Fills the read pair with the next pair and encodes it; false when the input is used up.
    bool getNextReadPair(ReadPair& pair);
    // The current chunk's first pair (0-based, in file order) and the pair after its last.
    std::uint64_t chunkFirstRecord() const { return firstRecord_; }
    std::uint64_t chunkEndRecord() const { return firstRecord_ + recordsInChunk_; }
    // 1-based number of the last pair delivered, in file order.
    std::uint64_t lastRecordNumber() const { return firstRecord_ + recordsParsed_; }

  private:
    bool advance();
    void parseRead(FastqFile& file, std::string_view chunk, std::size_t& cursor, Read& read);

    ReadPairFastqFiles& files_;
    std::size_t chunkBytes_;
    std::uint32_t qualityOffset_;
    std::string chunk1_;
    std::string chunk2_;
    std::size_t cursor1_ = 0;
    std::size_t cursor2_ = 0;
    std::uint64_t firstRecord_ = 0;
    std::size_t recordsInChunk_ = 0;
    std::size_t recordsParsed_ = 0;
};

}  // namespace koru
