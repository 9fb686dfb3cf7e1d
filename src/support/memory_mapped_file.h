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

struct MemoryMappedFile {
    std::string fileName;
    std::int64_t size = 0;  // decompressed size for a gzip file
    CArray<char> contents;  // size bytes, then one zero byte

    std::string_view text() const { return {contents.get(), static_cast<std::size_t>(size)}; }
};

// A gzip-compressed file (recognised by its magic bytes, whatever its name) is decompressed
// whole, every member of it; size and contents are then those of the decompressed data. A
// corrupt or truncated gzip file ends the run.
std::unique_ptr<MemoryMappedFile> createMemoryMappedFile(const std::string& fileName);

// The number of line feeds: a last line without one is not counted.
std::uint64_t getNumberOfLines(const MemoryMappedFile& file);

void printMemoryMappedFile(std::FILE* stream, const MemoryMappedFile& file);

}  // namespace koru
