#pragma once
// The result of mapping one read pair: at most two paired alignments, the concordant one (the best
// pair of candidates inside the concordant window) and the discordant one (each read's
// individually best candidate), with the aggregate figures by which they are compared, and the
// choice of the primary and secondary paired alignment.

#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "alignment/alignment.h"
#include "candidates/candidate_positions.h"
#include "mapping/mapping_parameters.h"
#include "sequence/read_pair.h"

namespace koru {

// A distance or chromosome difference when a read has no alignment.
inline constexpr std::int32_t noReadDistance = std::numeric_limits<std::int32_t>::min();

struct PairedAlignment {
    Alignments readAAlignments;
    Alignments readBAlignments;
    std::uint32_t aggregateHitCount = 0;
    std::uint32_t alignmentScore = 0;  // the figure by which paired alignments are compared
    std::int32_t distance = noReadDistance;
    std::int32_t chromosomeDifference = noReadDistance;  // read A's chromosome - read B's
    MismatchScores aggregateMismatchScores;
    std::uint8_t noCandidateFlag = 1;
    std::uint8_t highQualityFlag = 0;
    std::uint8_t biotinJunctionFlag = 0;
    std::uint32_t type = concordantPairedAlignmentType;
};

struct PairedAlignments {
    const ReadPair* readPair = nullptr;             // not owned
    std::vector<PairedAlignment> pairedAlignments;  // at least the allocated slots
    std::uint32_t allocatedSlots = 0;
    std::uint32_t numberOfPopulatedPairedAlignments = 0;
    // The primary and secondary paired alignment, chosen once by the pair step: slots, -1 for none.
    std::int32_t primarySlot = -1;
    std::int32_t secondarySlot = -1;

    std::uint32_t numberOfAllocatedPairedAlignments() const { return allocatedSlots; }
    const PairedAlignment* primary() const { return slot(primarySlot); }
    const PairedAlignment* secondary() const { return slot(secondarySlot); }
    PairedAlignment* primary() { return const_cast<PairedAlignment*>(slot(primarySlot)); }

  private:
    const PairedAlignment* slot(std::int32_t index) const {
        return index < 0 ? nullptr : &pairedAlignments[static_cast<std::size_t>(index)];
    }
};

std::unique_ptr<PairedAlignments> createPairedAlignments(const ReadPair& readPair, std::uint32_t slots);
// The same in place, for the next pair: records of earlier pairs keep their memory.
void resetPairedAlignments(PairedAlignments& alignments, const ReadPair& readPair, std::uint32_t slots);
void initPairedAlignment(PairedAlignment& paired, const ReadPair& readPair, std::uint32_t alignmentsPerRead,
                         std::uint32_t type);
void populatePairedAlignmentFromPairedAlignmentCandidate(const MappingParameters& params,
                                                         const ReadPair& readPair, PairedAlignment& paired,
                                                         const PairedAlignmentCandidate& candidate,
                                                         CandidatePositionsPair& candidates);
void calculatePairedAlignmentAggregateScoresAndDistances(const MappingParameters& params,
                                                         PairedAlignment& paired);
// Leaves the outputs untouched where no choice is made; they point into `alignments`.
void selectPrimaryAndSecondaryAlignment(const MappingParameters& params, const PairedAlignments& alignments,
                                        const PairedAlignment*& primary, const PairedAlignment*& secondary);
// Makes that choice and stores it with the alignments, for the writers to read.
void choosePrimaryAndSecondaryAlignment(const MappingParameters& params, PairedAlignments& alignments);

const char* lookupDescriptivePairedAlignmentTypeLabel(std::uint32_t type);
std::string pairedAlignmentToString(const PairedAlignment* paired, const char* name, const char* prefix);
std::string pairedAlignmentsToString(const PairedAlignments& alignments, const char* prefix);
void printPairedAlignments(std::FILE* file, const PairedAlignments& alignments);

}  // namespace koru
