#include "io/fastq_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "sequence/string_utilities.h"
#include "support/errors.h"
#include "support/files.h"

namespace koru {

namespace {

const char* const layout10Pattern = "^@.+:.+:.+:.+:.+#.+/[[:digit:]].*\n";
const char* const layout18Pattern = "^@.+:.+:.+:.+:.+:.+:.+[[:space:]]+[[:digit:]]:.+:.+:.+\n";

bool isBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

[[noreturn]] void exitOnMalformedRecord(const std::string& fileName, std::uint64_t record,
                                        const char* problem) {
    exitWithErrorFormat("The FASTQ file \"%s\" is not in FASTQ form at record %lu: %s.\n", fileName.c_str(),
                        static_cast<unsigned long>(record), problem);
}

// The next line from the cursor, without its line feed and carriage return.
std::string_view nextLine(std::string_view text, std::size_t& cursor) {
    const std::size_t end = std::min(text.find('\n', cursor), text.size());
    std::string_view line = text.substr(cursor, end - cursor);
    cursor = end < text.size() ? end + 1 : end;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

}  // namespace

FastqFile::FastqFile(const std::string& fileName) : fileName_(fileName) {
    errorIfFileDoesNotExistOrNotAccessible(fileName, R_OK, "The FASTQ file");
    input_ = std::make_unique<CompressedInput>(fileName);
    // The first name line tells the layout; 4 KiB holds any real one.
    readMore(1 << 12);
    recogniseNameLayout();
}

FastqFile::~FastqFile() = default;

void FastqFile::recogniseNameLayout() {
    const std::string_view text = pending();
    if (text.size() < 2) return;
    const std::size_t end = text.find('\n');
    const std::string firstLine(text.substr(0, end == std::string_view::npos ? text.size() : end + 1));
    // Compiled once for the run: every FASTQ file asks.
    static const RegexPattern layout10(layout10Pattern);
    static const RegexPattern layout18(layout18Pattern);
    if (layout10.matches(firstLine)) {
        nameLayoutVersion_ = nameLayout10;
    } else if (layout18.matches(firstLine)) {
        nameLayoutVersion_ = nameLayout18;
    }
}

bool FastqFile::readMore(std::size_t bytes) {
    if (endReached_) return false;
    if (pendingStart_ > 0) {
        pending_.erase(0, pendingStart_);
        pendingStart_ = 0;
    }
    const std::size_t before = pending_.size();
    pending_.resize(before + bytes);
    const std::size_t read = input_->read(pending_.data() + before, bytes);
    pending_.resize(before + read);
    if (read == 0) endReached_ = true;
    return read > 0;
}

std::size_t FastqFile::wholeRecords(std::size_t maxRecords, std::size_t& bytes) const {
    const std::string_view text = pending();
    std::size_t records = 0, cursor = 0;
    bytes = 0;
    while (records < maxRecords) {
        std::size_t end = cursor;
        int lines = 0;
        for (; lines < 4; ++lines) {
            const std::size_t feed = text.find('\n', end);
            if (feed == std::string_view::npos) break;
            end = feed + 1;
        }
        // At the end of the file the last record needs no final line feed.
        if (lines == 3 && endReached_ && end < text.size() && !isBlank(text.substr(end))) {
            lines = 4;
            end = text.size();
        }
        if (lines < 4) break;
        ++records;
        cursor = bytes = end;
    }
    return records;
}

void FastqFile::take(std::size_t bytes, std::size_t records, std::string& chunk) {
    chunk.assign(pending_, pendingStart_, bytes);
    pendingStart_ += bytes;
    recordsTaken_ += records;
}

bool FastqFile::exhausted() const {
    return endReached_ && isBlank(pending());
}

ReadPairFastqFiles::ReadPairFastqFiles(const std::string& read1FileName, const std::string& read2FileName)
    : read1_(read1FileName), read2_(read2FileName) {}

ReadPairFastqFiles::~ReadPairFastqFiles() {
    {
        const std::lock_guard<std::mutex> lock(queueLock_);
        stopping_ = true;
    }
    queueChanged_.notify_all();
    if (reader_.joinable()) reader_.join();
}

bool ReadPairFastqFiles::takeChunkPair(std::size_t chunkBytes, std::string& chunk1, std::string& chunk2,
                                       std::uint64_t& firstRecord, std::size_t& records) {
    std::unique_lock<std::mutex> lock(queueLock_);
    if (!reader_.joinable()) reader_ = std::thread(&ReadPairFastqFiles::readAhead, this, chunkBytes);
    queueChanged_.wait(lock, [this] { return !ready_.empty() || finished_; });
    if (ready_.empty()) {
        if (readerError_) std::rethrow_exception(readerError_);
        return false;
    }
    ChunkPair pair = std::move(ready_.front());
    ready_.pop_front();
    chunk1.swap(pair.chunk1);
    chunk2.swap(pair.chunk2);
    firstRecord = pair.firstRecord;
    records = pair.records;
    spare_.push_back(std::move(pair));
    lock.unlock();
    queueChanged_.notify_all();
    return true;
}

// The reader thread: decompression and the record scan happen here, outside the lock.
void ReadPairFastqFiles::readAhead(std::size_t chunkBytes) {
    while (true) {
        ChunkPair pair;
        {
            std::unique_lock<std::mutex> lock(queueLock_);
            queueChanged_.wait(lock, [this] { return stopping_ || ready_.size() < readyChunkPairs; });
            if (stopping_) return;
            if (!spare_.empty()) {
                pair = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        bool cut = false;
        // An error ends the process here, unless an error hook throws it (fuzzing): an exception
        // cannot leave a thread, so it goes to the mapping threads, once the chunks before it.
        std::exception_ptr error;
        try {
            cut = cutChunkPair(chunkBytes, pair);
        } catch (...) {
            error = std::current_exception();
        }
        {
            const std::lock_guard<std::mutex> lock(queueLock_);
            if (cut) {
                ready_.push_back(std::move(pair));
            } else {
                finished_ = true;
                readerError_ = error;
            }
        }
        queueChanged_.notify_all();
        if (!cut) return;
    }
}

bool ReadPairFastqFiles::cutChunkPair(std::size_t chunkBytes, ChunkPair& pair) {
    for (FastqFile* file : {&read1_, &read2_})
        while (file->pending().size() < chunkBytes && file->readMore(chunkBytes)) {
        }
    while (true) {
        std::size_t bytes1 = 0, bytes2 = 0;
        const std::size_t records1 = read1_.wholeRecords(SIZE_MAX, bytes1);
        const std::size_t records2 = read2_.wholeRecords(SIZE_MAX, bytes2);
        // A record longer than a chunk, or the file's last record, still to be read: read on, then
        // count again.
        if (records1 == 0 && !read1_.endReached()) {
            read1_.readMore(chunkBytes);
            continue;
        }
        if (records2 == 0 && !read2_.endReached()) {
            read2_.readMore(chunkBytes);
            continue;
        }
        const std::size_t records = std::min(records1, records2);
        if (records == 0) break;
        read1_.wholeRecords(records, bytes1);
        read2_.wholeRecords(records, bytes2);
        pair.records = records;
        pair.firstRecord = read1_.recordsTaken();
        read1_.take(bytes1, records, pair.chunk1);
        read2_.take(bytes2, records, pair.chunk2);
        return true;
    }
    // Both files are at their end, or one of them is: leftovers that are not a whole record are a
    // cut record; whole records in one file only mean the files do not pair.
    for (FastqFile* file : {&read1_, &read2_}) {
        std::size_t bytes = 0;
        if (file->wholeRecords(1, bytes) == 0 && !file->exhausted())
            exitOnMalformedRecord(file->fileName(), file->recordsTaken() + 1, "the record is incomplete");
    }
    if (read1_.exhausted() != read2_.exhausted()) {
        FastqFile& shorter = read1_.exhausted() ? read1_ : read2_;
        FastqFile& longer = read1_.exhausted() ? read2_ : read1_;
        exitWithErrorFormat(
            "The FASTQ files \"%s\" and \"%s\" do not hold the same number of records: \"%s\" ends after %lu "
            "records "
            "while \"%s\" holds more.\n",
            read1_.fileName().c_str(), read2_.fileName().c_str(), shorter.fileName().c_str(),
            static_cast<unsigned long>(shorter.recordsTaken()), longer.fileName().c_str());
    }
    return false;
}

ReadPairFastqFileReadBuffers::ReadPairFastqFileReadBuffers(ReadPairFastqFiles& files, std::size_t chunkBytes,
                                                           std::uint32_t qualityOffset)
    : files_(files), chunkBytes_(chunkBytes), qualityOffset_(qualityOffset) {}

bool ReadPairFastqFileReadBuffers::advance() {
    cursor1_ = cursor2_ = 0;
    recordsParsed_ = 0;
    recordsInChunk_ = 0;
    return files_.takeChunkPair(chunkBytes_, chunk1_, chunk2_, firstRecord_, recordsInChunk_);
}

void ReadPairFastqFileReadBuffers::parseRead(FastqFile& file, std::string_view chunk, std::size_t& cursor,
                                             Read& read) {
    const std::uint64_t record = firstRecord_ + recordsParsed_ + 1;
    const std::string_view header = nextLine(chunk, cursor);
    const std::string_view sequence = nextLine(chunk, cursor);
    const std::string_view plus = nextLine(chunk, cursor);
    const std::string_view quality = nextLine(chunk, cursor);
    if (header.empty() || header[0] != '@')
        exitOnMalformedRecord(file.fileName(), record, "its first line does not start with \"@\"");
    if (plus.empty() || plus[0] != '+')
        exitOnMalformedRecord(file.fileName(), record, "its third line does not start with \"+\"");
    if (quality.size() != sequence.size())
        exitOnMalformedRecord(file.fileName(), record, "its quality line is not as long as its sequence");
    // SAM holds Phred + 33: a character below the offset has no Phred value to convert.
    const auto belowOffset = [this](char c) { return static_cast<unsigned char>(c) < qualityOffset_; };
    if (std::any_of(quality.begin(), quality.end(), belowOffset))
        exitWithErrorFormat(
            "The FASTQ file \"%s\" is not in FASTQ form at record %lu: a quality character lies below the "
            "Phred offset %u (--phredQualityOffset).\n",
            file.fileName().c_str(), static_cast<unsigned long>(record), qualityOffset_);
    std::string_view name = header.substr(1);
    if (file.nameLayoutVersion() != noNameLayout) {
        const std::size_t end = name.find(file.nameLayoutVersion() == nameLayout18 ? ' ' : '/');
        if (end != std::string_view::npos) name = name.substr(0, end);
    }
    if (sequence.size() + 50 > read.allocatedReadSequenceStorage ||
        name.size() > read.allocatedSequenceNameStorage)
        resizeRead(read, static_cast<std::uint32_t>(sequence.size()),
                   static_cast<std::uint32_t>(name.size()));
    read.name.assign(name);
    read.sequence.assign(sequence);
    read.qualitySequence.assign(quality);
    read.length = static_cast<std::uint32_t>(sequence.size());
    read.nameLength = static_cast<std::uint32_t>(name.size());
    encodeRead(read);
}

bool ReadPairFastqFileReadBuffers::getNextReadPair(ReadPair& pair) {
    if (recordsParsed_ >= recordsInChunk_ && !advance()) return false;
    resetReadPair(pair, true, false);
    parseRead(files_.read1(), chunk1_, cursor1_, pair.readA);
    parseRead(files_.read2(), chunk2_, cursor2_, pair.readB);
    ++recordsParsed_;
    if (files_.bothNamesRecognised() && pair.readA.name != pair.readB.name)
        exitWithErrorFormat(
            "The reads of record %lu have different names: \"%s\" in the FASTQ file \"%s\" and \"%s\" in "
            "\"%s\".\n",
            static_cast<unsigned long>(lastRecordNumber()), pair.readA.name.c_str(),
            files_.read1().fileName().c_str(), pair.readB.name.c_str(), files_.read2().fileName().c_str());
    return true;
}

}  // namespace koru
