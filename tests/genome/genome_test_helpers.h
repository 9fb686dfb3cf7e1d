#pragma once
// Genomes built in memory: the readers take a whole file's contents, so most tests need no file.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/execution_parameters.h"
#include "genome/binary_genome.h"
#include "genome/fasta_reference.h"
#include "genome/genome_sequence.h"
#include "support/allocation.h"
#include "support/memory_mapped_file.h"

namespace koru::testing {

inline MemoryMappedFile memoryFile(const std::string& name, std::string_view contents) {
    MemoryMappedFile file;
    file.fileName = name;
    file.size = static_cast<std::int64_t>(contents.size());
    file.contents = FileContents(allocateZeroedArray<char>(contents.size() + 1).release());
    std::memcpy(file.contents.get(), contents.data(), contents.size());
    return file;
}

inline std::unique_ptr<GenomeInformation> genomeInformation(const std::string& file, std::uint32_t formatType,
                                                            std::uint32_t numberOfChromosomes = 0) {
    return std::make_unique<GenomeInformation>(
        GenomeInformation{numberOfChromosomes, "", "", "", file, formatType});
}

// The genome the reader of `formatType` makes of `contents`, read as the file `name`.
inline std::unique_ptr<GenomeSequence> genomeOf(std::string_view contents, const std::string& name,
                                                std::uint32_t formatType,
                                                std::uint32_t numberOfChromosomes = 0) {
    auto genome = std::make_unique<GenomeSequence>();
    genome->genomeInformation = genomeInformation(name, formatType, numberOfChromosomes);
    const MemoryMappedFile file = memoryFile(name, contents);
    if (formatType == fastaGenomeFormatType)
        processFastaFormatGenomeFile(*genome, file);
    else
        processBinaryFormatGenomeFile(*genome, file);
    return genome;
}

inline std::unique_ptr<GenomeSequence> fastaGenome(std::string_view text,
                                                   const std::string& name = "genome.fa") {
    return genomeOf(text, name, fastaGenomeFormatType);
}

// Unsigned 32-bit values as a binary genome file holds them, little-endian.
inline std::string littleEndianValues(const std::vector<std::uint32_t>& values) {
    std::string bytes;
    for (const std::uint32_t value : values)
        for (int byte = 0; byte < 4; ++byte) bytes.push_back(static_cast<char>(value >> (8 * byte)));
    return bytes;
}

// Base pairs, padded base pairs, first and last word, first and last genome position.
using Layout = std::vector<std::uint64_t>;
inline Layout layoutOf(const ChromosomeInformation& c) {
    return {c.basePairs,
            c.paddedBasePairs,
            c.startBinaryEncodedArrayPosition,
            c.endBinaryEncodedArrayPosition,
            c.startGenomePosition,
            c.endGenomePosition};
}

inline std::string asciiOf(const GenomeSequence& genome, std::uint64_t start, std::uint64_t length) {
    std::string text;
    referenceText(genome, start, length, text);
    return text;
}

}  // namespace koru::testing
