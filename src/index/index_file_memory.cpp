#include "index/index_file_memory.h"

#include <fcntl.h>
#include <sys/mman.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "support/diagnostics.h"
#include "support/errors.h"

namespace koru {

namespace {

// Below this share of huge-page mapping, a copy maps faster than the mapping.
constexpr double minimumHugePageShare = 0.9;
constexpr std::size_t hugePageBytes = std::size_t{2} << 20;

// The start and end of a mapping from a header line of /proc/self/smaps ("start-end perms ...");
// false for the lines of fields ("Rss:     4 kB").
bool parseMappingRange(const char* line, std::uintptr_t& start, std::uintptr_t& end) {
    int consumed = 0;
    return std::sscanf(line, "%" SCNxPTR "-%" SCNxPTR "%n", &start, &end, &consumed) == 2 &&
           line[consumed] == ' ';
}

// Reads a byte of every huge page of the mapping. A page the kernel holds in a huge folio is then
// mapped whole, so that the share mapped with huge pages can be known before the file is read.
// With all threads, each from its own part of the file: a file not yet in memory is read from
// disk here, in as many streams as the checksum would read it.
void touchEveryHugePage(const void* mapping, std::size_t bytes) {
    const auto* bytesOf = static_cast<const volatile unsigned char*>(mapping);
    const auto pages = static_cast<std::int64_t>((bytes + hugePageBytes - 1) / hugePageBytes);
#pragma omp parallel for schedule(static)
    for (std::int64_t page = 0; page < pages; ++page)
        static_cast<void>(bytesOf[static_cast<std::size_t>(page) * hugePageBytes]);
}

}  // namespace

std::uint64_t hugePageMappedBytes(const void* mapping, std::size_t bytes) {
    std::FILE* smaps = std::fopen("/proc/self/smaps", "re");
    if (smaps == nullptr) return 0;
    const auto first = reinterpret_cast<std::uintptr_t>(mapping), last = first + bytes;
    bool inside = false;
    std::uint64_t kilobytes = 0, total = 0;
    char line[512];
    while (std::fgets(line, sizeof line, smaps) != nullptr) {
        std::uintptr_t start = 0, end = 0;
        if (parseMappingRange(line, start, end)) {
            // The mapping's last page runs past the file's last byte.
            inside = start < last && end > first;
        } else if (inside && std::sscanf(line, "FilePmdMapped: %" SCNu64 " kB", &kilobytes) == 1) {
            total += kilobytes * 1024;
        }
    }
    std::fclose(smaps);
    return total;
}

LoadedIndexFile::LoadedIndexFile(const FileDescriptor& file, const std::string& fileName, std::uint64_t bytes)
    : bytes_(bytes) {
    mapping_ = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE, file.get(), 0);
    if (mapping_ == MAP_FAILED)
        exitWithErrorFormat("Could not map the index file \"%s\" into memory: %s.\n", fileName.c_str(),
                            std::strerror(errno));
    // Only advice: the kernel reads the file into huge folios if it can, and maps them whole.
    madvise(mapping_, bytes, MADV_HUGEPAGE);
    registerMappedFile(mapping_, bytes, "index file", fileName);
}

LoadedIndexFile::~LoadedIndexFile() {
    if (mapping_ == nullptr) return;
    unregisterMappedFile(mapping_);
    munmap(mapping_, bytes_);
}

void LoadedIndexFile::settle(const FileDescriptor& file) {
    // A file within one huge page gains nothing from a copy, and reading the mapping table costs
    // more than loading it.
    if (bytes_ <= hugePageBytes) return;
    touchEveryHugePage(mapping_, bytes_);
    if (static_cast<double>(hugePageMappedBytes(mapping_, bytes_)) >=
        minimumHugePageShare * static_cast<double>(bytes_))
        return;
    copy_ = std::make_unique<HugePageMemory>(bytes_);
    const auto* source = static_cast<const unsigned char*>(mapping_);
    constexpr std::size_t piece = std::size_t{1} << 20;
    const std::size_t pieces = (bytes_ + piece - 1) / piece;
#pragma omp parallel for schedule(static)
    for (std::size_t p = 0; p < pieces; ++p)
        std::memcpy(copy_->data() + p * piece, source + p * piece, std::min(piece, bytes_ - p * piece));
    unregisterMappedFile(mapping_);
    munmap(mapping_, bytes_);
    mapping_ = nullptr;
    posix_fadvise(file.get(), 0, 0, POSIX_FADV_DONTNEED);
}

}  // namespace koru
