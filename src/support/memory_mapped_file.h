#pragma once
// A whole file read into memory, followed by one zero byte so that text parsers can stop at
// the terminator. Later changes of the file are not seen.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "support/allocation.h"

namespace koru {

// Releases file contents: mapped pages are unmapped, decompressed ones freed.
struct FileContentsDeleter {
    std::size_t mappedBytes = 0;  // 0 when the contents were allocated
    void operator()(char* contents) const noexcept;
};
using FileContents = std::unique_ptr<char[], FileContentsDeleter>;

struct MemoryMappedFile {
    std::string fileName;
    std::int64_t size = 0;  // decompressed size for a gzip file
    FileContents contents;  // size bytes, then one zero byte

    std::string_view text() const { return {contents.get(), static_cast<std::size_t>(size)}; }
};

// A plain file is mapped, not copied: its pages come straight from the page cache. A
// gzip-compressed file (recognised by its magic bytes, whatever its name) is decompressed
// whole, every member of it; size and contents are then those of the decompressed data. A
// corrupt or truncated gzip file ends the run.
std::unique_ptr<MemoryMappedFile> createMemoryMappedFile(const std::string& fileName);

// Text already in memory (a request read whole, say) as a file of that name would give it.
std::unique_ptr<MemoryMappedFile> createInMemoryFile(const std::string& fileName, std::string_view text);

// The number of line feeds: a last line without one is not counted.
std::uint64_t getNumberOfLines(const MemoryMappedFile& file);

void printMemoryMappedFile(std::FILE* stream, const MemoryMappedFile& file);

}  // namespace koru
