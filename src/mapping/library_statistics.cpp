#include "mapping/library_statistics.h"

#include <algorithm>

#include "alignment/mapping_quality.h"

namespace koru {

namespace {

// Null for a read the records report as unmapped.
const Alignment* mappedOrNull(const Alignments& read) {
    if (read.alignments.empty()) return nullptr;
    const Alignment& first = read.alignments.front();
    return first.isEmpty == 0 && first.isReportable != 0 ? &first : nullptr;
}

bool isReverse(const Alignment& alignment) {
    return alignment.primaryPosition.orientation == kReverseComplementOrientation;
}

bool hasIndel(const Alignment& alignment) {
    return alignment.primaryPosition.indelDescriptor.present;
}

// The fragment that splits a junction read, as the SAM records split it; null when it does not.
const Alignment* junctionFragment(const Alignments& read) {
    if (read.hasBiotinJunction == 0 || read.numberOfPopulatedAlignments < 2 || read.alignments.size() < 2)
        return nullptr;
    const Alignment& fragment = read.alignments[1];
    if (fragment.alignmentType != biotinJunctionAlignmentType || fragment.isEmpty != 0 || hasIndel(fragment))
        return nullptr;
    return &fragment;
}

void countJunction(LibraryStatistics& library, const Alignment& own, const Alignments& read,
                   std::uint32_t length) {
    const Alignment* fragment = junctionFragment(read);
    if (fragment == nullptr || hasIndel(own)) return;
    if (!splitJunctionRead({own.matchString, isReverse(own)}, {fragment->matchString, isReverse(*fragment)},
                           length, library.splitScratch))
        return;
    ++library.junctionReadsSplit;
    ++library.junctionSplitPoints[std::min(library.splitScratch.split, readPositionBins - 1)];
}

// The match string covers the read base for base in the alignment's orientation; clipped ends are
// left out, and so are junction reads, whose other part would count as mismatches. The scan stops
// at the last mismatch the edit distance announces, so a read without any costs no scan.
void countMismatches(LibraryStatistics& library, const Alignment& own, const Alignments& read,
                     std::uint32_t length, int readIndex) {
    if (read.hasBiotinJunction != 0 || hasIndel(own) || own.matchString.size() != length ||
        length >= readPositionBins)
        return;
    const auto r = static_cast<std::size_t>(readIndex);
    const bool reverse = isReverse(own);
    const std::uint32_t end = length - std::min(length, own.numberOfBasesTrimmedFromEnd);
    const std::uint32_t start = std::min(own.numberOfBasesTrimmedFromStart, end);
    ++library.alignedFrom[r][reverse ? length - end : start];
    ++library.alignedTo[r][reverse ? length - start : end];
    std::uint64_t* mismatched = library.mismatchedBases[r].data();
    std::uint32_t left = own.editDistance;
    for (std::uint32_t i = start; i < end && left > 0; ++i) {
        if (own.matchString[i] == 'M') continue;
        ++mismatched[reverse ? length - 1 - i : i];
        --left;
    }
}

void countRead(LibraryStatistics& library, const Alignment& own, const Alignment* mate,
               const Alignments& read, std::uint32_t length, bool concordant, int readIndex) {
    ++library.mappingQualities[concordant ? 0 : 1][reportedMappingQuality(own, mate, concordant)];
    countMismatches(library, own, read, length, readIndex);
    countJunction(library, own, read, length);
}

// From the leftmost base either read covers to the rightmost, clipped bases included.
void countInsert(LibraryStatistics& library, const Alignment& a, std::uint32_t lengthA, const Alignment& b,
                 std::uint32_t lengthB) {
    if (a.chromosomeNumber != b.chromosomeNumber) {
        ++library.pairsOnDifferentChromosomes;
        return;
    }
    const std::uint64_t start = std::min(a.chromosomePosition, b.chromosomePosition);
    const std::uint64_t end = std::max(std::uint64_t{a.chromosomePosition} + lengthA,
                                       std::uint64_t{b.chromosomePosition} + lengthB);
    const int orientation =
        orientationClassOf(a.chromosomePosition, isReverse(a), b.chromosomePosition, isReverse(b));
    ++library.insertSizes[static_cast<std::size_t>(orientation)]
                         [std::min<std::uint64_t>(end - start, insertSizeBins - 1)];
}

}  // namespace

LibraryStatistics::LibraryStatistics() {
    for (auto& bins : insertSizes) bins.assign(insertSizeBins, 0);
    for (auto& bins : mappingQualities) bins.assign(mappingQualityBins, 0);
    for (auto& bins : alignedFrom) bins.assign(readPositionBins, 0);
    for (auto& bins : alignedTo) bins.assign(readPositionBins, 0);
    for (auto& bins : mismatchedBases) bins.assign(readPositionBins, 0);
    junctionSplitPoints.assign(readPositionBins, 0);
}

std::vector<std::uint64_t> alignedBasesByPosition(const LibraryStatistics& library, int read) {
    const auto r = static_cast<std::size_t>(read);
    std::vector<std::uint64_t> aligned(readPositionBins, 0);
    std::uint64_t running = 0;
    for (std::size_t i = 0; i < aligned.size(); ++i) {
        running += library.alignedFrom[r][i];
        running -= library.alignedTo[r][i];
        aligned[i] = running;
    }
    return aligned;
}

int orientationClassOf(std::uint32_t offsetA, bool reverseA, std::uint32_t offsetB, bool reverseB) {
    if (reverseA == reverseB) return sameStrandClass;
    const bool leftmostReverse = offsetA != offsetB ? (offsetA < offsetB ? reverseA : reverseB) : reverseA;
    return leftmostReverse ? reverseForwardClass : forwardReverseClass;
}

void collectLibraryStatistics(LibraryStatistics& library, const PairedAlignments& alignments,
                              const ReadPair& pair) {
    const PairedAlignment* primary = alignments.primary();
    const Alignment* a = primary != nullptr ? mappedOrNull(primary->readAAlignments) : nullptr;
    const Alignment* b = primary != nullptr ? mappedOrNull(primary->readBAlignments) : nullptr;
    if (a == nullptr && b == nullptr) {
        ++library.pairsUnmapped;
        return;
    }
    const bool concordant = a != nullptr && b != nullptr && primary->type == concordantPairedAlignmentType;
    if (a != nullptr) countRead(library, *a, b, primary->readAAlignments, pair.readA.length, concordant, 0);
    if (b != nullptr) countRead(library, *b, a, primary->readBAlignments, pair.readB.length, concordant, 1);
    if (a == nullptr || b == nullptr) {
        ++library.pairsOneReadMapped;
        return;
    }
    ++library.pairsBothReadsMapped;
    ++(concordant ? library.pairsConcordant : library.pairsDiscordant);
    countInsert(library, *a, pair.readA.length, *b, pair.readB.length);
}

namespace {

void addBins(std::vector<std::uint64_t>& total, const std::vector<std::uint64_t>& part) {
    for (std::size_t i = 0; i < total.size() && i < part.size(); ++i) total[i] += part[i];
}

}  // namespace

void addLibraryStatistics(LibraryStatistics& total, const LibraryStatistics& part) {
    total.pairsBothReadsMapped += part.pairsBothReadsMapped;
    total.pairsOneReadMapped += part.pairsOneReadMapped;
    total.pairsUnmapped += part.pairsUnmapped;
    total.pairsConcordant += part.pairsConcordant;
    total.pairsDiscordant += part.pairsDiscordant;
    total.pairsOnDifferentChromosomes += part.pairsOnDifferentChromosomes;
    total.junctionReadsSplit += part.junctionReadsSplit;
    for (int i = 0; i < orientationClasses; ++i) addBins(total.insertSizes[i], part.insertSizes[i]);
    for (int i = 0; i < 2; ++i) {
        addBins(total.mappingQualities[i], part.mappingQualities[i]);
        addBins(total.alignedFrom[i], part.alignedFrom[i]);
        addBins(total.alignedTo[i], part.alignedTo[i]);
        addBins(total.mismatchedBases[i], part.mismatchedBases[i]);
    }
    addBins(total.junctionSplitPoints, part.junctionSplitPoints);
}

}  // namespace koru
