#pragma once
// An index file in memory, to be checked against its checksum. Lookups spread over gigabytes need huge
// TLB entries: with 4 KiB pages nearly every access misses the TLB, and on a virtual machine each
// miss walks two page tables (a run from a 4 KiB mapping of a 400 Mbase index mapped at less than
// half the speed). When the kernel holds the file's pages in huge folios, which it reads a file
// into for a mapping advised MADV_HUGEPAGE, the mapping itself is used: nothing is copied, and
// every run on the machine shares the pages. Otherwise (pages cached in small folios, or an older
// kernel) the file is copied into huge pages of the process's own, and its small cached pages are
// dropped so that the next run reads it afresh into huge ones.

#include <cstdint>
#include <memory>
#include <string>

#include "support/allocation.h"
#include "support/files.h"

namespace koru {

class LoadedIndexFile {
  public:
    // Maps the whole file read-only.
    LoadedIndexFile(const FileDescriptor& file, const std::string& fileName, std::uint64_t bytes);
    ~LoadedIndexFile();
    LoadedIndexFile(const LoadedIndexFile&) = delete;
    LoadedIndexFile& operator=(const LoadedIndexFile&) = delete;

    const unsigned char* data() const {
        return copy_ ? copy_->data() : static_cast<const unsigned char*>(mapping_);
    }
    std::size_t size() const { return bytes_; }
    // Whether the file's own (huge) pages are used, rather than a copy.
    bool isMapped() const { return !copy_; }

    // The checksum of the content after the header, in segments of `segmentBytes`, as `segmentChecksum`
    // and `fold` define it; computed with all threads, after `settle`.
    template <class SegmentChecksum, class Fold>
    std::uint64_t checksum(std::size_t headerBytes, std::size_t segmentBytes, SegmentChecksum segmentChecksum,
                           Fold fold) const;

    // Keeps the mapping when most of it is mapped with huge pages, else copies the file into huge
    // pages of its own and drops the file's cached pages. Called before anything points into
    // `data()`, which a copy moves.
    void settle(const FileDescriptor& file);

  private:
    void* mapping_ = nullptr;
    std::size_t bytes_ = 0;
    std::unique_ptr<HugePageMemory> copy_;
};

// The bytes of a mapping that the kernel maps with huge pages, from /proc/self/smaps.
std::uint64_t hugePageMappedBytes(const void* mapping, std::size_t bytes);

template <class SegmentChecksum, class Fold>
std::uint64_t LoadedIndexFile::checksum(std::size_t headerBytes, std::size_t segmentBytes,
                                        SegmentChecksum segmentChecksum, Fold fold) const {
    const std::uint64_t content = bytes_ - headerBytes;
    const std::uint64_t segments = (content + segmentBytes - 1) / segmentBytes;
    auto checksums = std::make_unique<std::uint64_t[]>(segments);
#pragma omp parallel for schedule(static)
    for (std::uint64_t s = 0; s < segments; ++s) {
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(segmentBytes, content - s * segmentBytes));
        checksums[s] = segmentChecksum(data() + headerBytes + s * segmentBytes, length, s);
    }
    std::uint64_t result = 0;
    for (std::uint64_t s = 0; s < segments; ++s) result = fold(result, checksums[s]);
    return result;
}

}  // namespace koru
