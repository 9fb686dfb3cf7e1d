#include "support/memory_mapped_file.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "support/compressed_input.h"
#include "support/diagnostics.h"
#include "support/errors.h"
#include "support/files.h"

namespace koru {

namespace {

// References are commonly kept gzip-compressed; the content, not the name, says which.
bool isGzipCompressed(const char* data, std::size_t size) {
    return size >= 2 && static_cast<unsigned char>(data[0]) == 0x1f &&
           static_cast<unsigned char>(data[1]) == 0x8b;
}

// Ends the inflate stream however decompression ends.
struct InflateStream {
    z_stream stream{};
    bool initialised = false;
    ~InflateStream() {
        if (initialised) inflateEnd(&stream);
    }
};

// Grows with realloc: large blocks are mapped pages, so growing remaps rather than copies, and
// capacity that is never written costs no memory.
void growBuffer(CArray<char>& buffer, std::size_t& capacity, std::size_t minimum) {
    const std::size_t grown = std::max(minimum, capacity + capacity / 2);
    void* moved = std::realloc(buffer.get(), grown);
    if (moved == nullptr) exitOnAllocationFailure();
    buffer.release();
    buffer.reset(static_cast<char*>(moved));
    capacity = grown;
}

// A hint for the decompressed size: the last member's trailer holds its size modulo 2^32, which is
// exact for the usual single member file under 4 GiB. Deflate expands at most about 1032 times, so
// a corrupt trailer cannot ask for more than that.
std::size_t decompressedSizeHint(const unsigned char* input, std::size_t size) {
    if (size < 4) return 0;
    const unsigned char* trailer = input + size - 4;
    const std::size_t stated =
        static_cast<std::size_t>(trailer[0]) | static_cast<std::size_t>(trailer[1]) << 8 |
        static_cast<std::size_t>(trailer[2]) << 16 | static_cast<std::size_t>(trailer[3]) << 24;
    return std::min(stated, size * 1032);
}

// Decompresses every member of a gzip file; returns the contents with room for a terminator.
CArray<char> decompressGzip(const std::string& fileName, const char* data, std::size_t inputSize,
                            std::size_t& outputSize) {
    const auto* input = reinterpret_cast<const unsigned char*>(data);
    std::size_t capacity =
        std::max({decompressedSizeHint(input, inputSize), 2 * inputSize, std::size_t{65536}}) + 1;
    CArray<char> output(static_cast<char*>(mallocExitIfNull(capacity)));
    InflateStream inflater;
    if (inflateInit2(&inflater.stream, 15 + 16) != Z_OK) exitOnAllocationFailure();
    inflater.initialised = true;
    z_stream& stream = inflater.stream;
    std::size_t consumed = 0, produced = 0;
    for (;;) {
        // Keep one byte free for the terminator.
        if (capacity - produced <= 1) growBuffer(output, capacity, produced + 2);
        const auto inputChunk = static_cast<uInt>(std::min<std::size_t>(inputSize - consumed, UINT_MAX));
        const auto outputChunk = static_cast<uInt>(std::min<std::size_t>(capacity - produced - 1, UINT_MAX));
        stream.next_in = const_cast<unsigned char*>(input + consumed);
        stream.avail_in = inputChunk;
        stream.next_out = reinterpret_cast<unsigned char*>(output.get() + produced);
        stream.avail_out = outputChunk;
        const int status = inflate(&stream, Z_NO_FLUSH);
        consumed += inputChunk - stream.avail_in;
        produced += outputChunk - stream.avail_out;
        if (status == Z_STREAM_END) {
            if (consumed == inputSize) break;
            // Concatenated files (and block-compressed ones) hold several members.
            if (!isGzipCompressed(data + consumed, inputSize - consumed))
                exitOnCorruptGzip(fileName, "it has data after the end of the compressed stream");
            inflateReset(&stream);
        } else if (status == Z_BUF_ERROR ||
                   (status == Z_OK && consumed == inputSize && stream.avail_out > 0)) {
            if (consumed == inputSize)
                exitOnCorruptGzip(fileName, "it ends in the middle of the compressed stream");
        } else if (status == Z_MEM_ERROR) {
            exitOnAllocationFailure();
        } else if (status != Z_OK) {
            exitOnCorruptGzip(fileName,
                              stream.msg != nullptr ? stream.msg : "the compressed data is invalid");
        }
    }
    outputSize = produced;
    return output;
}

}  // namespace

void FileContentsDeleter::operator()(char* contents) const noexcept {
    if (mappedBytes != 0) {
        unregisterMappedFile(contents);
        munmap(contents, mappedBytes);
    } else {
        std::free(contents);
    }
}

namespace {

// Maps the file privately and writably (the terminator may land on its last page) over a
// zeroed anonymous region one byte longer, so the byte after the file always reads as 0,
// even when the file fills its last page. None when the file cannot be mapped.
FileContents mapFile(int descriptor, std::size_t size, const std::string& fileName) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t bytes = (size + 1 + page - 1) / page * page;
    void* region = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED) return nullptr;
    FileContents contents(static_cast<char*>(region), FileContentsDeleter{bytes});
    if (mmap(region, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, descriptor, 0) ==
        MAP_FAILED)
        return nullptr;
    registerMappedFile(region, size, "file", fileName);
    return contents;
}

FileContents readFile(std::FILE* handle, const std::string& fileName, std::size_t size) {
    FileContents contents(static_cast<char*>(mallocExitIfNull(size + 1)));
    const std::size_t read = std::fread(contents.get(), 1, size, handle);
    const int readError = std::ferror(handle) ? errno : 0;
    // A short read would silently cut the input; the run must not go on with half a file.
    if (read != size)
        exitWithErrorFormat("Could not read the file \"%s\": %s.\n", fileName.c_str(),
                            readError != 0 ? std::strerror(readError) : "it ended early");
    return contents;
}

bool isRegularFile(int descriptor) {
    struct stat status {};
    return fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

std::unique_ptr<MemoryMappedFile> createMemoryMappedFile(const std::string& fileName) {
    errorIfFileDoesNotExistOrNotAccessible(fileName, R_OK, "The file");
    std::FILE* handle = std::fopen(fileName.c_str(), "rb");
    errorIfFileIsNull(handle, fileName);
    auto file = std::make_unique<MemoryMappedFile>();
    file->fileName = fileName;
    file->size = getFileSize(handle);
    const auto size = static_cast<std::size_t>(file->size);
    if (size > 0 && isRegularFile(fileno(handle))) file->contents = mapFile(fileno(handle), size, fileName);
    if (!file->contents) file->contents = readFile(handle, fileName, size);
    std::fclose(handle);
    if (isGzipCompressed(file->contents.get(), size)) {
        std::size_t decompressedSize = 0;
        CArray<char> decompressed = decompressGzip(fileName, file->contents.get(), size, decompressedSize);
        file->contents = FileContents(decompressed.release());  // the compressed bytes are released here
        file->size = static_cast<std::int64_t>(decompressedSize);
    }
    file->contents[static_cast<std::size_t>(file->size)] = '\0';
    return file;
}

std::unique_ptr<MemoryMappedFile> createInMemoryFile(const std::string& fileName, std::string_view text) {
    auto file = std::make_unique<MemoryMappedFile>();
    file->fileName = fileName;
    file->size = static_cast<std::int64_t>(text.size());
    file->contents = FileContents(static_cast<char*>(mallocExitIfNull(text.size() + 1)));
    std::memcpy(file->contents.get(), text.data(), text.size());
    file->contents[text.size()] = '\0';
    return file;
}

std::uint64_t getNumberOfLines(const MemoryMappedFile& file) {
    const std::string_view text = file.text();
    return static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
}

void printMemoryMappedFile(std::FILE* stream, const MemoryMappedFile& file) {
    const int shown = static_cast<int>(std::min<std::int64_t>(file.size, 1024));
    std::fprintf(
        stream,
        "File:\n\tFully qualified path = %s\n\tlength of file = %ld\n\tFile contents truncated to %d "
        "characters= %.*s\n",
        file.fileName.c_str(), static_cast<long>(file.size), 1024, shown, file.contents.get());
}

}  // namespace koru
