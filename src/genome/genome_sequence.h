#pragma once
// The reference genome as the rest of koru sees it: one concatenated upper-case ASCII array,
// the same bases in the base and check bit planes, and the chromosome table that maps genome
// positions to chromosome positions. Built once, read-only afterwards, shared by all threads.
//
// Layout of the concatenation: chromosomes in file order; each one's bases, then N up to the
// next multiple of 32 bases, then a separator of 32 N (a FASTA genome; binary genomes pad to
// 64 bases instead). Every chromosome therefore starts on a word boundary, and
// word index x 32 = genome position throughout. Genome positions are 0-based and 32-bit.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/execution_parameters.h"
#include "config/genome_information.h"
#include "support/allocation.h"

namespace koru {

struct ChromosomeInformation {
    std::string name;
    std::string accession;  // empty when absent
    std::int32_t version = 0;
    std::uint32_t chromosomeNumber = 0;  // 1-based in file order for FASTA; stored number for binary genomes
    std::uint64_t basePairs = 0;
    std::uint64_t startPositionInChromosome = 1;
    std::uint64_t endPositionInChromosome = 0;
    std::uint64_t paddedBasePairs = 0;  // padding and separator included
    std::uint64_t startBinaryEncodedArrayPosition = 0;
    std::uint64_t endBinaryEncodedArrayPosition = 0;  // the separator word included
    std::uint64_t startGenomePosition = 0;
    std::uint64_t endGenomePosition = 0;  // last position occupied, separator included
};

struct SequenceStatistics {
    std::uint64_t totalNumberOfBases = 0;  // A + C + G + T + N
    std::uint64_t adenines = 0;
    std::uint64_t guanines = 0;
    std::uint64_t thymines = 0;
    std::uint64_t cytosines = 0;
    std::uint64_t uncalledBases = 0;
    std::uint64_t positionsWhereSingleNucleotideRepeatedFor32Bases = 0;
    std::uint64_t positionsThatWereExtensionsOfPreviousRepeat = 0;
    std::uint64_t positionsWhere32ConsecutiveUncalledBasesDetected = 0;
    std::uint64_t uncalledPositionsThatWereExtensionsOfPreviousRepeat = 0;
    std::uint64_t positionsWith32OrMoreConsecutiveUncalledBases = 0;
    std::uint64_t positionsWith64OrMoreConsecutiveUncalledBases = 0;
    std::uint64_t positionsWith96OrMoreConsecutiveUncalledBases = 0;
    std::uint64_t positionsWith128OrMoreConsecutiveUncalledBases = 0;
};

// The ceiling value that leaves mapping qualities uncapped.
inline constexpr std::uint32_t uncappedMappingQuality = 0x80000000u;

struct GenomeSequence {
    std::unique_ptr<GenomeInformation> genomeInformation;
    std::vector<ChromosomeInformation> chromosomes;
    CArray<std::uint32_t> basePlaneWords;   // allocatedBinaryEncodedArraySize words
    CArray<std::uint32_t> checkPlaneWords;  // allocatedBinaryEncodedArraySize words
    CArray<char> asciiEncodedSequence;      // asciiEncodedArrayLength bytes
    std::uint64_t sequenceLength = 0;
    std::uint64_t paddedSequenceLength = 0;
    std::uint64_t asciiEncodedArrayLength = 0;
    std::uint64_t allocatedBinaryEncodedArraySize = 0;
    std::uint64_t utilizedBinaryEncodedArraySize = 0;  // the count arrays and indexes run over these words
    std::uint32_t mappingQualityOfKeyBelongingToUnmappedRegion = 0;
    std::int32_t mappingQualityOfKeyWithTooManyPositions = 0;  // written by the count arrays
    SequenceStatistics sequenceStatistics;
};

}  // namespace koru
