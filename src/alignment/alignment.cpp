#include "alignment/alignment.h"

#include <algorithm>

#include "support/text_format.h"

namespace koru {

namespace {

// Every numeric field 0, as a freshly cleared record holds it.
Position clearedPosition() {
    Position position;
    position.numberOfCandidatesWithSameOrFewerMismatches = 0;
    position.mappingScores.numberOfAssociatedKeys = 0;
    position.mappingScores.mismatchScores = MismatchScores{0, 0, 0, 0, 0, 0, 0};
    position.isEmpty = 0;
    return position;
}

std::uint16_t wholeReadScoreOf(const CandidatePosition& candidate) {
    return candidate.chosenMappingScores.mismatchScores.wholeReadScore;
}

// How many positions are believed to fit the read at least as well as the candidate. Beyond the
// second-best score only the subset can tell, and only when it holds more than the two best
// groups; otherwise the candidate is counted as one more than those groups.
std::uint32_t countCandidatesWithSameOrFewerMismatches(const CandidatePosition& candidate,
                                                       const CandidatePositions& store) {
    const std::uint16_t score = wholeReadScoreOf(candidate);
    const std::uint32_t best = store.numberWithBestWholeReadScore;
    const std::uint32_t bestAndSecond = best + store.numberWithSecondBestWholeReadScore;
    if (score == store.bestWholeReadMismatchScore) return best;
    if (score == store.secondBestWholeReadMismatchScore) return bestAndSecond;
    const auto& entries = store.lowestMismatchCandidates.entries;
    if (entries.size() <= bestAndSecond) return bestAndSecond + 1;
    std::uint32_t count = 0;
    for (const CandidatePosition* entry : entries) {
        if (wholeReadScoreOf(*entry) > score) break;
        ++count;
    }
    return count;
}

// The runner-up only matters for the quality of the best candidate: any other candidate already
// has something better than itself.
void populateSecondaryPosition(Alignment& alignment, const CandidatePosition* candidate,
                               const CandidatePositions& store) {
    Position& secondary = alignment.secondaryPosition;
    const auto& entries = store.lowestMismatchCandidates.entries;
    if (candidate != store.lowestMismatchCandidate || entries.size() <= 1) {
        initPosition(secondary);
        return;
    }
    populatePositionFromCandidatePosition(&secondary, entries[1]);
    std::uint32_t count = store.numberWithBestWholeReadScore;
    if (wholeReadScoreOf(*entries[1]) != store.bestWholeReadMismatchScore)
        count += store.numberWithSecondBestWholeReadScore;
    secondary.numberOfCandidatesWithSameOrFewerMismatches = count;
}

}  // namespace

void initPosition(Position& position) {
    position = Position{};
    initMappingScores(position.mappingScores);
}

// Moves the texts out and back, emptied: their memory serves the next pair.
void initAlignment(Alignment& alignment) {
    std::string cigar = std::move(alignment.cigarString);
    std::string match = std::move(alignment.matchString);
    std::string mismatch = std::move(alignment.mismatchString);
    std::string name = std::move(alignment.chromosomeName);
    alignment = Alignment{};
    for (std::string* text : {&cigar, &match, &mismatch, &name}) text->clear();
    alignment.cigarString = std::move(cigar);
    alignment.matchString = std::move(match);
    alignment.mismatchString = std::move(mismatch);
    alignment.chromosomeName = std::move(name);
    alignment.primaryPosition = clearedPosition();
    initMismatchScores(alignment.primaryPosition.mappingScores.mismatchScores);
    alignment.secondaryPosition = clearedPosition();
    alignment.isEmpty = 1;
    alignment.isReportable = 1;
}

Alignments createAlignments(std::uint32_t numberOfAlignments, std::uint32_t readLength) {
    Alignments alignments;
    resetAlignments(alignments, numberOfAlignments, readLength);
    return alignments;
}

void resetAlignments(Alignments& alignments, std::uint32_t numberOfAlignments, std::uint32_t readLength) {
    alignments.alignments.resize(numberOfAlignments);
    for (Alignment& alignment : alignments.alignments) initAlignment(alignment);
    alignments.readLength = readLength;
    alignments.numberOfPopulatedAlignments = 0;
    alignments.hasBiotinJunction = 0;
}

const char* getStringValueOfAlignmentType(std::uint32_t type) {
    switch (type) {
        case emptyAlignmentType:
            return "Empty";
        case primaryAlignmentType:
            return "Primary";
        case alternateAlignmentType:
            return "Alternate";
        case biotinJunctionAlignmentType:
            return "Biotin Junction (Biotin Break)";
        case indelAlignmentType:
            return "InDel";
        case fusionJunctionAlignmentType:
            return "Fusion Junction(rearrangment)";
        default:
            return "Unknown Alignment Type";
    }
}

const char* getShortStringValueOfAlignmentType(std::uint32_t type) {
    switch (type) {
        case emptyAlignmentType:
            return "Emp";
        case primaryAlignmentType:
            return "Pri";
        case alternateAlignmentType:
            return "Alt";
        case biotinJunctionAlignmentType:
            return "Bio";
        case indelAlignmentType:
            return "InD";
        case fusionJunctionAlignmentType:
            return "Fus";
        default:
            return "Unk";
    }
}

void populatePositionFromCandidatePosition(Position* position, const CandidatePosition* candidate) {
    if (position == nullptr) return;
    if (candidate == nullptr) {
        position->isEmpty = 1;
        return;
    }
    position->genomePosition = candidate->genomePosition;
    position->indelDescriptor = candidate->indelDescriptor;
    position->mappingScores = candidate->chosenMappingScores;
    position->orientation = candidate->orientation;
    position->isEmpty = 0;
}

void populateAlignmentFromCandidatePosition(Alignment& alignment, CandidatePosition* candidate,
                                            const CandidatePositions& store, std::uint32_t alignmentType) {
    if (candidate == nullptr) {
        alignment.isEmpty = 1;
        alignment.isReportable = 0;
        alignment.chromosomeNumber = 0;
        alignment.chromosomePosition = 0;
        initPosition(alignment.primaryPosition);
        alignment.alignmentType = emptyAlignmentType;
        return;
    }
    alignment.isEmpty = 0;
    alignment.isReportable = 1;
    alignment.alignmentType = alignmentType;
    populatePositionFromCandidatePosition(&alignment.primaryPosition, candidate);
    candidate->usedInAlignment = 1;
    alignment.primaryPosition.numberOfCandidatesWithSameOrFewerMismatches =
        countCandidatesWithSameOrFewerMismatches(*candidate, store);
    populateSecondaryPosition(alignment, candidate, store);
}

void addChromosomeInformationToAlignment(Alignment& alignment, const GenomeSequence& genome, bool copyName) {
    if (alignment.isEmpty || !alignment.isReportable) return;
    const std::uint32_t genomePosition = alignment.primaryPosition.genomePosition;
    const ChromosomeInformation* chromosome =
        getChromosomeInformationForGenomePosition(genomePosition, genome);
    if (chromosome == nullptr) return;
    alignment.chromosomeNumber = chromosome->chromosomeNumber;
    alignment.chromosomePosition =
        static_cast<std::uint32_t>(genomePosition - chromosome->startGenomePosition);
    if (copyName) alignment.chromosomeName = chromosome->name;
}

std::string positionToString(const Position& position, const char* prefix) {
    std::string text = stringPrintf("%sPosition:\n", prefix);
    appendPrintf(text, "%s\tIs Empty = %u \n", prefix, position.isEmpty);
    appendPrintf(text, "%s\tGenome Position = %u \n", prefix, position.genomePosition);
    appendPrintf(text, "%s\tOrientation = %c \n", prefix, getStringValueOfOrientation(position.orientation));
    appendPrintf(text, "%s\tNumber of Candidates with Same or Fewer Mismatches = %u \n", prefix,
                 position.numberOfCandidatesWithSameOrFewerMismatches);
    const std::string inner = std::string(prefix) + "\t";
    mappingScoreToString(&position.mappingScores, text, inner);
    indelDescriptorToString(&position.indelDescriptor, text, inner);
    return text;
}

std::string alignmentToString(const Alignment& a, const char* prefix) {
    std::string text = stringPrintf("%sAlignment:\n", prefix);
    appendPrintf(text, "%s\tAlignment Type = %s \n", prefix, getStringValueOfAlignmentType(a.alignmentType));
    appendPrintf(text, "%s\tIs Empty = %u \n", prefix, a.isEmpty);
    appendPrintf(text, "%s\tIs Reportable = %u \n", prefix, a.isReportable);
    appendPrintf(text, "%s\tChromosome Name = \"%s\" \n", prefix, a.chromosomeName.c_str());
    appendPrintf(text, "%s\tChromosome Number = %u \n", prefix, a.chromosomeNumber);
    appendPrintf(text, "%s\tChromosome Position = %u \n", prefix, a.chromosomePosition);
    appendPrintf(text, "%s\tNumber of Bases Trimmed From Start = %u \n", prefix,
                 a.numberOfBasesTrimmedFromStart);
    appendPrintf(text, "%s\tNumber of Bases Trimmed From End = %u \n", prefix, a.numberOfBasesTrimmedFromEnd);
    appendPrintf(text, "%s\tNumber of Match Segments = %u \n", prefix, a.numberOfMatchSegments);
    appendPrintf(text, "%s\tEdit Distance = %u \n", prefix, a.editDistance);
    appendPrintf(text, "%s\tLength of Longest Match Segment = %u \n", prefix, a.lengthOfLongestMatchSegment);
    appendPrintf(text, "%s\tMapping Quality = %u \n", prefix, a.mappingQuality);
    appendPrintf(text, "%s\tCIGAR String = \"%s\" \n", prefix, a.cigarString.c_str());
    appendPrintf(text, "%s\tMatch String = \"%s\" \n", prefix, a.matchString.c_str());
    appendPrintf(text, "%s\tMismatch String = \"%s\" \n", prefix, a.mismatchString.c_str());
    const std::string inner = std::string(prefix) + "\t";
    const std::string positionPrefix = inner + "\t";
    text += inner + "Primary Position:\n";
    text += positionToString(a.primaryPosition, positionPrefix.c_str());
    text += inner + "Secondary Position:\n";
    text += positionToString(a.secondaryPosition, positionPrefix.c_str());
    return text;
}

std::string alignmentsToString(const Alignments& alignments, const char* prefix) {
    std::string text = stringPrintf("%sAlignments:\n", prefix);
    appendPrintf(text, "%s\tRead Length = %u \n", prefix, alignments.readLength);
    appendPrintf(text, "%s\tNumber of Allocated Alignments = %u \n", prefix,
                 alignments.numberOfAllocatedAlignments());
    appendPrintf(text, "%s\tNumber of Populated Alignments = %u \n", prefix,
                 alignments.numberOfPopulatedAlignments);
    appendPrintf(text, "%s\tHas Biotin Junction = %u \n", prefix, alignments.hasBiotinJunction);
    const std::string inner = std::string(prefix) + "\t";
    const std::uint32_t shown =
        std::min(alignments.numberOfPopulatedAlignments, alignments.numberOfAllocatedAlignments());
    for (std::uint32_t i = 0; i < shown; ++i)
        text += alignmentToString(alignments.alignments[i], inner.c_str());
    return text;
}

void printAlignment(std::FILE* file, const Alignment& alignment, const char* prefix) {
    const std::string text = alignmentToString(alignment, prefix);
    std::fputs(text.c_str(), file);
}

}  // namespace koru
