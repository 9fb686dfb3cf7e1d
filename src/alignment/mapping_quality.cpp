#include "alignment/mapping_quality.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace koru {

namespace {

constexpr char kMatch = 'M';
// 10 / ln(10): turns the natural spread of a count into Phred units.
constexpr double kPhredPerDecade = 4.343;

// Halves go away from zero, as std::round does; x is never negative here.
std::uint32_t roundedQuality(double x) {
    return static_cast<std::uint32_t>(std::round(x));
}

std::string_view qualitiesForOrientation(Read& read, std::uint32_t orientation) {
    if (orientation != kReverseComplementOrientation) return read.qualitySequence;
    addReverseQualitySequence(read);
    return read.reverseQualitySequence;
}

// The inserted bases that lie within the read, as the comparison removes them.
std::uint32_t insertedBasesInRead(const IndelDescriptor& insertion, std::uint32_t readLength) {
    return std::min(insertion.size, readLength - std::min(insertion.startBaseInRead, readLength));
}

// The qualities of the bases the comparison kept: an insertion's bases have no reference base to
// mismatch, so their qualities leave with them.
const std::string& qualitiesWithoutInsertion(std::string_view qualities, const IndelDescriptor& insertion,
                                             std::uint32_t readLength, std::string& kept) {
    const std::size_t start = std::min(insertion.startBaseInRead, readLength);
    const std::size_t resume = start + insertedBasesInRead(insertion, readLength);
    kept.assign(qualities.substr(0, std::min(start, qualities.size())));
    if (resume < qualities.size()) kept += qualities.substr(resume);
    return kept;
}

// A quality byte below the offset is not a valid Phred value; it adds nothing rather than wrapping.
std::uint32_t phredOf(char quality, std::uint32_t offset) {
    const auto byte = static_cast<unsigned char>(quality);
    return byte > offset ? byte - offset : 0;
}

// Integer average of the read's quality bytes, in Phred units; 0 when it lies below the offset.
std::uint32_t averageBaseQuality(const Read& read, std::uint32_t offset) {
    if (read.length == 0) return 0;
    const std::size_t bases = std::min<std::size_t>(read.length, read.qualitySequence.size());
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < bases; ++i) sum += static_cast<unsigned char>(read.qualitySequence[i]);
    const std::uint64_t average = sum / read.length;
    return average > offset ? static_cast<std::uint32_t>(average - offset) : 0;
}

// -10 log10 of the chance that the read belongs at another of n equally fitting positions.
std::uint32_t qualityOfRepeat(std::uint32_t n) {
    return roundedQuality(-10.0 * std::log10(1.0 - 1.0 / n));
}

}  // namespace

std::uint32_t sumBaseQualityForMismatches(std::string_view matchString, std::string_view qualities,
                                          std::uint32_t length, std::uint32_t offset) {
    const std::size_t bases = std::min({std::size_t{length}, matchString.size(), qualities.size()});
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < bases; ++i)
        if (matchString[i] != kMatch) sum += phredOf(qualities[i], offset);
    return sum;
}

std::uint32_t sumBaseQualityForPositionsMismatches(std::string_view matchString, const Position& position,
                                                   Read& read, const GenomeSequence& genome,
                                                   const AlignmentParameters& params,
                                                   AlignmentScratch& scratch) {
    if (position.mappingScores.mismatchScores.wholeReadScore == 0) return 0;
    if (matchString.empty()) {
        createSimpleMatchString(position, read, genome, scratch, scratch.match);
        matchString = scratch.match;
    }
    const std::string_view qualities = qualitiesForOrientation(read, position.orientation);
    const IndelDescriptor& indel = position.indelDescriptor;
    if (indel.present && indel.type == kInsertion) {
        const std::string& kept = qualitiesWithoutInsertion(qualities, indel, read.length, scratch.kept);
        const std::uint32_t length = read.length - insertedBasesInRead(indel, read.length);
        return sumBaseQualityForMismatches(matchString, kept, length, params.phredQualityOffset);
    }
    return sumBaseQualityForMismatches(matchString, qualities, read.length, params.phredQualityOffset);
}

std::int32_t calculateMappingQualityRelativeToSecondBestCandidate(const AlignmentParameters& params,
                                                                  Read& read, const Alignment& alignment,
                                                                  const GenomeSequence& genome,
                                                                  AlignmentScratch& scratch) {
    const Position& primary = alignment.primaryPosition;
    const Position& secondary = alignment.secondaryPosition;
    if (secondary.isEmpty) return -1;
    const std::uint32_t primarySum =
        sumBaseQualityForPositionsMismatches(alignment.matchString, primary, read, genome, params, scratch);
    const std::uint32_t secondarySum =
        sumBaseQualityForPositionsMismatches({}, secondary, read, genome, params, scratch);
    // A second-best position that is not counted as rarer than the primary gives no bound, and
    // one that fits no worse than the primary gives no evidence: both differences stop at 0.
    const double countDifference =
        static_cast<double>(secondary.numberOfCandidatesWithSameOrFewerMismatches) -
        static_cast<double>(primary.numberOfCandidatesWithSameOrFewerMismatches);
    if (countDifference <= 0) return unboundedMappingQuality;
    const double qualityDifference = secondarySum > primarySum ? secondarySum - primarySum : 0;
    const double x = qualityDifference - kPhredPerDecade * std::log10(countDifference);
    if (!(x > 0)) return 0;
    return static_cast<std::int32_t>(std::min(std::round(x), double{unboundedMappingQuality - 1}));
}

std::uint32_t reportedMappingQuality(const Alignment& own, const Alignment* mate, bool concordant) {
    std::uint64_t quality = own.mappingQuality;
    if (mate != nullptr && concordant && own.tiedWithinPair == 0) quality += mate->mappingQuality;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(quality, maximumReportedMappingQuality));
}

void addQualityScoreToAlignment(const AlignmentParameters& params, Read& read, Alignment& alignment,
                                const GenomeSequence& genome, AlignmentScratch& scratch) {
    if (alignment.isEmpty || !alignment.isReportable) {
        alignment.mappingQuality = 0;
        return;
    }
    const std::uint32_t cap = genome.mappingQualityOfKeyBelongingToUnmappedRegion;
    const Position& primary = alignment.primaryPosition;
    const std::uint32_t n = primary.numberOfCandidatesWithSameOrFewerMismatches;
    std::uint32_t quality = 0;
    if (n >= 2) {
        quality = qualityOfRepeat(n);
    } else if (primary.mappingScores.mismatchScores.wholeReadScore != 0) {
        const std::int32_t relative = alignment.secondaryPosition.isEmpty
                                          ? unboundedMappingQuality
                                          : calculateMappingQualityRelativeToSecondBestCandidate(
                                                params, read, alignment, genome, scratch);
        quality =
            relative == unboundedMappingQuality ? cap : static_cast<std::uint32_t>(std::max(relative, 0));
    } else {
        quality = averageBaseQuality(read, params.phredQualityOffset);
    }
    alignment.mappingQuality = std::min(quality, cap);
}

void addQualityScoreToAlignment(const AlignmentParameters& params, Read& read, Alignment& alignment,
                                const GenomeSequence& genome) {
    AlignmentScratch scratch;
    addQualityScoreToAlignment(params, read, alignment, genome, scratch);
}

}  // namespace koru
