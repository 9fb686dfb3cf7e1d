#pragma once
// What a library report plots, gathered per thread from each pair's primary paired alignment once
// it is aligned: how the pairs mapped, their insert sizes by orientation, where junctions split
// reads, the mapping qualities the records carry, and mismatches by read position. Every update is
// an array increment, so gathering costs the mapping next to nothing; the threads' records are
// summed once at the end of a request.

#include <array>
#include <cstdint>
#include <vector>

#include "alignment/junction_split.h"
#include "mapping/paired_alignments.h"
#include "sequence/read_pair.h"

namespace koru {

// Orientation classes of a pair whose reads lie on one chromosome, by the strand of the leftmost
// read: FR faces inward (paired-end fragments), RF outward (circularised mate pairs).
enum OrientationClass : int { forwardReverseClass = 0, reverseForwardClass = 1, sameStrandClass = 2 };
inline constexpr int orientationClasses = 3;

// Insert sizes are kept base by base up to this; larger ones share the last bin.
inline constexpr std::uint32_t insertSizeBins = 1u << 16;
inline constexpr std::uint32_t mappingQualityBins = 256;
// One bin per read position, and for junctions per split point (0 to the read's length).
inline constexpr std::uint32_t readPositionBins = 513;

struct LibraryStatistics {
    std::uint64_t pairsBothReadsMapped = 0;
    std::uint64_t pairsOneReadMapped = 0;
    std::uint64_t pairsUnmapped = 0;
    std::uint64_t pairsConcordant = 0;  // both reads mapped by the concordant paired alignment
    std::uint64_t pairsDiscordant = 0;  // both reads mapped, by the discordant one
    std::uint64_t pairsOnDifferentChromosomes = 0;
    std::uint64_t junctionReadsSplit = 0;
    std::array<std::vector<std::uint64_t>, orientationClasses> insertSizes;
    // Mapped reads by the quality their record shows: of concordant pairs, and of the others.
    std::array<std::vector<std::uint64_t>, 2> mappingQualities;
    // Per read (A, B) and position in the read as sequenced: where aligned stretches start and
    // where they end (one past), two increments a read instead of one a base; and mismatched bases.
    std::array<std::vector<std::uint64_t>, 2> alignedFrom;
    std::array<std::vector<std::uint64_t>, 2> alignedTo;
    std::array<std::vector<std::uint64_t>, 2> mismatchedBases;
    std::vector<std::uint64_t> junctionSplitPoints;
    JunctionSplit splitScratch;  // the texts of the last split, reused from read to read

    LibraryStatistics();
};

// Counts one pair once its primary paired alignment (if any) is aligned and given its qualities.
void collectLibraryStatistics(LibraryStatistics& library, const PairedAlignments& alignments,
                              const ReadPair& pair);
void addLibraryStatistics(LibraryStatistics& total, const LibraryStatistics& part);

// Bases aligned at each read position of read 0 (A) or 1 (B).
std::vector<std::uint64_t> alignedBasesByPosition(const LibraryStatistics& library, int read);

// The orientation class of two reads on one chromosome: offsets of their first bases, strands.
int orientationClassOf(std::uint32_t offsetA, bool reverseA, std::uint32_t offsetB, bool reverseB);

}  // namespace koru
