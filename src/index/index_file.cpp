#include "index/index_file.h"

#include <fcntl.h>
#include <omp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "index/index_file_io.h"
#include "support/errors.h"
#include "support/files.h"
#include "support/text_format.h"

namespace koru {

namespace {

void writeStatistics(IndexFileWriter& out, const CountStatistics& s) {
    out.value(s);
}

void serializeGenomeInformation(IndexFileWriter& out, const GenomeInformation* info) {
    const GenomeInformation empty;
    const GenomeInformation& g = info != nullptr ? *info : empty;
    out.value(g.numberOfChromosomes);
    out.value(g.formatType);
    for (const std::string* text : {&g.name, &g.species, &g.version, &g.file}) out.text(*text);
}

void serializeChromosome(IndexFileWriter& out, const ChromosomeInformation& c) {
    out.text(c.name);
    out.text(c.accession);
    out.value(c.version);
    out.value(c.chromosomeNumber);
    for (std::uint64_t field : {c.basePairs, c.startPositionInChromosome, c.endPositionInChromosome,
                                c.paddedBasePairs, c.startBinaryEncodedArrayPosition,
                                c.endBinaryEncodedArrayPosition, c.startGenomePosition, c.endGenomePosition})
        out.value(field);
}

void serializeOtherLetters(IndexFileWriter& out, const std::vector<ReferenceLetterRun>& runs) {
    out.value(static_cast<std::uint64_t>(runs.size()));
    for (const ReferenceLetterRun& run : runs) {
        out.value(run.start);
        out.value(run.length);
        out.value(run.letter);
    }
}

// A genome without text (never the case for a genome a run reads) writes a zero uncalled plane.
void serializeUncalledPlane(IndexFileWriter& out, const GenomeSequence& genome) {
    if (genome.uncalledPlaneWords)
        return out.array(genome.uncalledPlaneWords.get(), genome.allocatedBinaryEncodedArraySize);
    out.align();
    const std::uint32_t zero = 0;
    for (std::uint64_t i = 0; i < genome.allocatedBinaryEncodedArraySize; ++i) out.value(zero);
}

}  // namespace

std::uint64_t genomeChecksum(const GenomeSequence& genome) {
    const std::size_t words = genome.utilizedBinaryEncodedArraySize;
    const auto* pairs = reinterpret_cast<const unsigned char*>(genome.planeWords.get());
    std::uint64_t checksum = indexFileChecksum(pairs, 8 * words);
    if (genome.uncalledPlaneWords)
        checksum = foldIndexFileChecksum(
            checksum,
            indexFileChecksum(reinterpret_cast<const unsigned char*>(genome.uncalledPlaneWords.get()),
                              4 * words));
    return checksum;
}

void serializeCountArraysToFile(IndexFileWriter& out, const CountArrays& arrays) {
    out.align();
    out.value(arrays.sizeOfCountArrays);
    out.value(arrays.limits.evaluationLimit);
    out.value(arrays.limits.indexingLimit);
    out.value(arrays.samplingStep);
    for (const CountStatistics& s : arrays.statistics) writeStatistics(out, s);
    writeStatistics(out, arrays.totalStatistics);
    writeStatistics(out, arrays.averageStatistics);
    for (const KeyTable& table : arrays.keyTables) {
        out.value(static_cast<std::uint32_t>(table.directoryBits));
        out.value(table.numberOfEntries);
    }
    serializeGenomeInformation(out, arrays.genomeInformation.get());
    for (const KeyTable& table : arrays.keyTables) {
        out.array(table.directory.get(), table.directorySize());
        out.array(table.residuals.get(),
                  table.numberOfEntries * static_cast<std::uint64_t>(table.residualBytes()) +
                      detail::residualSlackBytes);
    }
}

void serializeGenomeSequenceToIndexFile(IndexFileWriter& out, const GenomeSequence& genome) {
    out.align();
    serializeGenomeInformation(out, genome.genomeInformation.get());
    for (std::uint64_t field :
         {genome.sequenceLength, genome.paddedSequenceLength, genome.asciiEncodedArrayLength,
          genome.allocatedBinaryEncodedArraySize, genome.utilizedBinaryEncodedArraySize})
        out.value(field);
    out.value(genome.mappingQualityOfKeyBelongingToUnmappedRegion);
    out.value(genome.mappingQualityOfKeyWithTooManyPositions);
    out.value(genome.sequenceStatistics);
    out.value(static_cast<std::uint64_t>(genome.chromosomes.size()));
    for (const ChromosomeInformation& chromosome : genome.chromosomes) serializeChromosome(out, chromosome);
    out.array(genome.planeWords.get(), 2 * genome.allocatedBinaryEncodedArraySize);
    serializeUncalledPlane(out, genome);
    serializeOtherLetters(out, genome.otherLetters);
}

void serializeBinaryIndexesToFile(std::FILE* file, const std::string& fileName, const BinaryIndexes& indexes,
                                  LockedFile* report) {
    const CountArrays& arrays = *indexes.countArrays;
    const GenomeSequence& genome = *indexes.genomeSequence;
    IndexFileHeader header{};
    const auto exitOnWriteFailure = [&] {
        exitWithErrorFormat("Could not write to the index file \"%s\": %s.\n", fileName.c_str(),
                            std::strerror(errno));
    };
    if (std::fwrite(&header, sizeof header, 1, file) != 1) exitOnWriteFailure();
    IndexFileWriter out(file, fileName);
    reportIndexFileStep(
        report,
        "\n\nSerializing the binary indexes to storage, this is very I/O intensive and will take time.");
    for (std::uint64_t listed : arrays.listedPositions) out.value(listed);
    reportIndexFileStep(report, "\tSerializing the Count Arrays to a file, writing " +
                                    indexFileSizeText(countArraysBytes(arrays)) + " to disk.");
    serializeCountArraysToFile(out, arrays);
    reportIndexFileStep(report, "\tSerializing the Binary Formated Genome Sequence to a file, writing " +
                                    indexFileSizeText(genomeSequenceBytes(genome)) + " to disk.");
    serializeGenomeSequenceToIndexFile(out, genome);
    reportIndexFileStep(report,
                        "\tSerializing Position Indexes to a file, writing 0B to disk (they are held with "
                        "the count arrays).");
    reportIndexFileStep(report, "\tSerializing Index Storage to a file, writing " +
                                    indexFileSizeText(indexStorageBytes(arrays)) + " to disk.");
    for (const KeyTable& table : arrays.keyTables) out.array(table.positions.get(), table.numberOfEntries);
    std::memcpy(header.magic, indexFileMagic, sizeof header.magic);
    header.formatVersion = indexFileFormatVersion;
    header.headerBytes = indexFileHeaderBytes;
    std::uint64_t contentChecksum = 0;
    out.finish(contentChecksum, header.fileBytes);
    header.genomeLength = genome.sequenceLength;
    header.genomeChecksum = genomeChecksum(genome);
    header.numberOfChromosomes = static_cast<std::uint32_t>(genome.chromosomes.size());
    header.samplingStep = arrays.samplingStep;
    header.checksumSegmentBytes = indexFileChecksumSegment;
    header.checksum = indexFileChecksumWithHeader(contentChecksum, header);
    if (std::fseek(file, 0, SEEK_SET) != 0 || std::fwrite(&header, sizeof header, 1, file) != 1 ||
        std::fflush(file) != 0)
        exitOnWriteFailure();
    reportIndexFileStep(report, "Finished serializing the binary indexes to storage, " +
                                    indexFileSizeText(header.fileBytes) + " written to disk.");
}

namespace {

// The path the finished file is renamed to: the given one, or the file a symbolic link there
// names, so that the link stays. Renaming over a device, a directory or a pipe would replace it,
// so anything but a regular file (or nothing yet) is refused.
std::string indexFileTarget(const std::string& fileName) {
    struct stat status {};
    if (lstat(fileName.c_str(), &status) != 0) return fileName;
    std::error_code error;
    const std::string target =
        S_ISLNK(status.st_mode) ? std::filesystem::canonical(fileName, error).string() : fileName;
    if (error || stat(target.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        exitWithErrorFormat(
            "The index file \"%s\" (--writeIndexFile) is not a regular file, and only a regular file is "
            "replaced by an index file.\n",
            fileName.c_str());
    return target;
}

// The mode a file created with fopen would get.
mode_t newFileMode() {
    // umask can only be read by setting it; nothing else creates files while an index file is begun.
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The index is written to a file of its own beside the target and renamed into place when
// complete: no run ever maps half a file under the final name, and runs writing the same index
// file at once never write into each other's file. A failing run removes its file.
struct PartialIndexFile {
    std::string path;
    std::FILE* stream = nullptr;
};

PartialIndexFile createPartialIndexFile(const std::string& target, const std::string& fileName) {
    PartialIndexFile partial{target + ".partial-XXXXXX"};
    const int descriptor = mkstemp(partial.path.data());
    if (descriptor >= 0) {
        removeIfRunFails(partial.path);
        fchmod(descriptor, newFileMode());
        partial.stream = fdopen(descriptor, "wb");
    }
    if (partial.stream == nullptr)
        exitWithErrorFormat("Could not create the index file \"%s\" (as \"%s\" until it is complete): %s.\n",
                            fileName.c_str(), partial.path.c_str(), std::strerror(errno));
    return partial;
}

// The file's pages leave the page cache once they are on disk: cached as the writes made them, in
// small folios, they would be mapped with small pages by the next run; read afresh by a run that
// asks for huge pages, they come in huge folios (see index_file_memory.h).
void closeIndexFile(std::FILE* file, const std::string& fileName) {
    if (std::fflush(file) == 0 && fdatasync(fileno(file)) == 0)
        posix_fadvise(fileno(file), 0, 0, POSIX_FADV_DONTNEED);
    if (std::fclose(file) != 0)
        exitWithErrorFormat("Could not write to the index file \"%s\": %s.\n", fileName.c_str(),
                            std::strerror(errno));
}

}  // namespace

void checkIndexFileCanBeWritten(const std::string& fileName) {
    const PartialIndexFile partial = createPartialIndexFile(indexFileTarget(fileName), fileName);
    std::fclose(partial.stream);
    std::remove(partial.path.c_str());
    keepFileWhenRunFails();
}

void writeIndexFile(const std::string& fileName, const BinaryIndexes& indexes, LockedFile* report) {
    // Looked at again: the target may have changed while the index was built.
    const std::string target = indexFileTarget(fileName);
    const PartialIndexFile partial = createPartialIndexFile(target, fileName);
    serializeBinaryIndexesToFile(partial.stream, partial.path, indexes, report);
    closeIndexFile(partial.stream, partial.path);
    if (std::rename(partial.path.c_str(), target.c_str()) != 0)
        exitWithErrorFormat("Could not create the index file \"%s\": %s.\n", fileName.c_str(),
                            std::strerror(errno));
    keepFileWhenRunFails();
}

std::uint64_t indexFileChecksum(const unsigned char* data, std::size_t bytes) {
    const std::size_t segments = (bytes + indexFileChecksumSegment - 1) / indexFileChecksumSegment;
    std::vector<std::uint64_t> checksums(segments);
#pragma omp parallel for schedule(static) if (segments > 8)
    for (std::size_t s = 0; s < segments; ++s) {
        const std::size_t start = s * indexFileChecksumSegment;
        checksums[s] =
            indexFileSegmentChecksum(data + start, std::min(indexFileChecksumSegment, bytes - start), s);
    }
    std::uint64_t checksum = 0;
    for (std::uint64_t segmentChecksum : checksums)
        checksum = foldIndexFileChecksum(checksum, segmentChecksum);
    return checksum;
}

}  // namespace koru
