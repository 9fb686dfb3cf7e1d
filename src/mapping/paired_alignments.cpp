#include "mapping/paired_alignments.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "support/text_format.h"

namespace koru {

std::unique_ptr<PairedAlignments> createPairedAlignments(const ReadPair& readPair, std::uint32_t slots) {
    auto alignments = std::make_unique<PairedAlignments>();
    resetPairedAlignments(*alignments, readPair, slots);
    return alignments;
}

void resetPairedAlignments(PairedAlignments& alignments, const ReadPair& readPair, std::uint32_t slots) {
    alignments.readPair = &readPair;
    // Never shrunk: the records of unused slots keep their memory for later pairs.
    if (alignments.pairedAlignments.size() < slots) alignments.pairedAlignments.resize(slots);
    alignments.allocatedSlots = slots;
    alignments.numberOfPopulatedPairedAlignments = 0;
    alignments.primarySlot = alignments.secondarySlot = -1;
}

namespace {

void initPairedAlignmentWithSlots(PairedAlignment& paired, const ReadPair& readPair, std::uint32_t slotsA,
                                  std::uint32_t slotsB, std::uint32_t type) {
    Alignments a = std::move(paired.readAAlignments), b = std::move(paired.readBAlignments);
    paired = PairedAlignment{};
    paired.type = type;
    resetAlignments(a, slotsA, readPair.readA.length);
    resetAlignments(b, slotsB, readPair.readB.length);
    paired.readAAlignments = std::move(a);
    paired.readBAlignments = std::move(b);
}

// A read's records: its primary and a junction fragment, and a record for each alternate it can
// have. Alternates are taken from its ranked candidates, so it never has more than those besides
// its primary: records for all of -a would be cleared for every pair (-a 100000 made 200 pairs take
// 7 s) and never used. The records earlier pairs left are kept, their memory with them.
std::uint32_t alignmentSlots(const MappingParameters& params, const Alignments& alignments,
                             const CandidatePositions& store) {
    const std::uint32_t alternates =
        params.generateSupplementalMappings && params.generateAlternateMappings
            ? std::min(params.numberOfAlternateMappingsToReport, store.lowestMismatchCandidates.count())
            : 0;
    return std::max(2 + alternates, alignments.numberOfAllocatedAlignments());
}

}  // namespace

void initPairedAlignment(PairedAlignment& paired, const ReadPair& readPair, std::uint32_t alignmentsPerRead,
                         std::uint32_t type) {
    initPairedAlignmentWithSlots(paired, readPair, alignmentsPerRead, alignmentsPerRead, type);
}

void populatePairedAlignmentFromPairedAlignmentCandidate(const MappingParameters& params,
                                                         const ReadPair& readPair, PairedAlignment& paired,
                                                         const PairedAlignmentCandidate& candidate,
                                                         CandidatePositionsPair& candidates) {
    initPairedAlignmentWithSlots(
        paired, readPair, alignmentSlots(params, paired.readAAlignments, candidates.readA),
        alignmentSlots(params, paired.readBAlignments, candidates.readB), candidate.type);
    const auto populate = [&paired](Alignments& alignments, CandidatePosition* chosen,
                                    const CandidatePositions& store) {
        alignments.numberOfPopulatedAlignments = 1;
        if (chosen == nullptr) {
            initAlignment(alignments.alignments[0]);
            return;
        }
        populateAlignmentFromCandidatePosition(alignments.alignments[0], chosen, store, primaryAlignmentType);
        paired.noCandidateFlag = 0;
    };
    populate(paired.readAAlignments, candidate.candidateA, candidates.readA);
    populate(paired.readBAlignments, candidate.candidateB, candidates.readB);
    calculatePairedAlignmentAggregateScoresAndDistances(params, paired);
}

namespace {

bool meetsQualityCriteria(const MappingParameters& params, const PairedAlignment& paired, const Alignment& a,
                          const Alignment& b) {
    const CandidateQualityCriteria& criteria = params.candidateQualityCritieria;
    const MappingScores& sa = a.primaryPosition.mappingScores;
    const MappingScores& sb = b.primaryPosition.mappingScores;
    const auto wholeReadLimit = static_cast<std::uint32_t>(
        std::ceil(static_cast<double>(paired.readAAlignments.readLength + paired.readBAlignments.readLength) *
                  criteria.maximumPopCountValuePerBPOfRead));
    return paired.aggregateHitCount >= criteria.minimumCombinedNumberOfKeysAssociatedWithBothReads &&
           paired.aggregateMismatchScores.minWordScore <=
               criteria.maximumCombinedMinWordMismatchScoreOfBothReads &&
           paired.aggregateMismatchScores.wholeReadScore <= wholeReadLimit &&
           sa.numberOfAssociatedKeys >= criteria.minimumNumberOfKeysAssociatedWithIndividualReadPosition &&
           sb.numberOfAssociatedKeys >= criteria.minimumNumberOfKeysAssociatedWithIndividualReadPosition &&
           sa.mismatchScores.minWordScore <= criteria.maximumMinWordMismatchScoreForIndividualRead &&
           sb.mismatchScores.minWordScore <= criteria.maximumMinWordMismatchScoreForIndividualRead;
}

// A read's share of the alignment score: its length less its mismatches, or, with a junction
// fragment, less the mismatches of the two fragments where each covers the read. Never below 0:
// an unsigned wrap would make a mismatch-laden read the best.
std::uint32_t readAlignmentScore(const Alignments& alignments) {
    const Alignment& first = alignments.alignments[0];
    const std::int64_t length = alignments.readLength;
    const MismatchScores& s0 = first.primaryPosition.mappingScores.mismatchScores;
    std::int64_t score = length - s0.wholeReadScore;
    if (alignments.hasBiotinJunction && alignments.numberOfPopulatedAlignments > 1) {
        const MismatchScores& s1 = alignments.alignments[1].primaryPosition.mappingScores.mismatchScores;
        const std::int64_t f0 = s0.firstWordScore, l0 = s0.lastWordScore, f1 = s1.firstWordScore,
                           l1 = s1.lastWordScore;
        std::int64_t uncovered = f0 + l0 + f1 + l1;
        if (f0 > l0 && f1 < l1) uncovered = f1 + l0;
        if (f0 < l0 && f1 > l1) uncovered = f0 + l1;
        score = length - s0.middleWordsScore - s1.middleWordsScore - uncovered;
    }
    return static_cast<std::uint32_t>(std::max<std::int64_t>(score, 0));
}

}  // namespace

void calculatePairedAlignmentAggregateScoresAndDistances(const MappingParameters& params,
                                                         PairedAlignment& paired) {
    const Alignment& a = paired.readAAlignments.alignments[0];
    const Alignment& b = paired.readBAlignments.alignments[0];
    if (a.isEmpty || b.isEmpty) {
        paired.aggregateHitCount = 0;
        initMismatchScores(paired.aggregateMismatchScores);
        paired.distance = noReadDistance;
        paired.chromosomeDifference = noReadDistance;
    } else {
        paired.aggregateHitCount = a.primaryPosition.mappingScores.numberOfAssociatedKeys +
                                   b.primaryPosition.mappingScores.numberOfAssociatedKeys;
        calculateAggregateMismatchScores(paired.aggregateMismatchScores,
                                         a.primaryPosition.mappingScores.mismatchScores,
                                         b.primaryPosition.mappingScores.mismatchScores);
        paired.chromosomeDifference = static_cast<std::int32_t>(a.chromosomeNumber - b.chromosomeNumber);
        const auto difference =
            static_cast<std::int32_t>(a.primaryPosition.genomePosition - b.primaryPosition.genomePosition);
        paired.distance =
            static_cast<std::int32_t>(std::min<std::int64_t>(std::llabs(difference), INT32_MAX));
        if (meetsQualityCriteria(params, paired, a, b)) paired.highQualityFlag = 1;
    }
    paired.alignmentScore = 0;
    for (const Alignments* alignments : {&paired.readAAlignments, &paired.readBAlignments})
        if (!alignments->alignments[0].isEmpty) paired.alignmentScore += readAlignmentScore(*alignments);
}

void selectPrimaryAndSecondaryAlignment(const MappingParameters& params, const PairedAlignments& alignments,
                                        const PairedAlignment*& primary, const PairedAlignment*& secondary) {
    const PairedAlignment* concordant = nullptr;
    const PairedAlignment* discordant = nullptr;
    for (std::uint32_t i = 0; i < alignments.numberOfPopulatedPairedAlignments; ++i) {
        const PairedAlignment& paired = alignments.pairedAlignments[i];
        if (paired.type == concordantPairedAlignmentType) concordant = &paired;
        if (paired.type == discordantPairedAlignmentType) discordant = &paired;
    }
    if (concordant == nullptr || discordant == nullptr) {
        if (concordant != nullptr || discordant != nullptr)
            primary = concordant != nullptr ? concordant : discordant;
        return;
    }
    const auto quality = static_cast<std::uint32_t>(std::ceil(
        static_cast<double>(concordant->readAAlignments.readLength + concordant->readBAlignments.readLength) *
        params.maximumScorePercentageForQualityPairedAlignment));
    bool discordantFirst = false;
    if (params.useDisconcordantPairScorePenaltyToSelectPrimaryAlignment) {
        discordantFirst =
            static_cast<std::uint64_t>(concordant->alignmentScore) + params.discordantPairScorePenantly <
            discordant->alignmentScore;
    } else {
        discordantFirst =
            concordant->alignmentScore < quality && concordant->alignmentScore < discordant->alignmentScore;
    }
    primary = discordantFirst ? discordant : concordant;
    secondary = discordantFirst ? concordant : discordant;
    if (secondary->alignmentScore < quality) secondary = nullptr;
}

void choosePrimaryAndSecondaryAlignment(const MappingParameters& params, PairedAlignments& alignments) {
    const PairedAlignment* primary = nullptr;
    const PairedAlignment* secondary = nullptr;
    selectPrimaryAndSecondaryAlignment(params, alignments, primary, secondary);
    const auto slotOf = [&alignments](const PairedAlignment* paired) {
        return paired == nullptr ? -1
                                 : static_cast<std::int32_t>(paired - alignments.pairedAlignments.data());
    };
    alignments.primarySlot = slotOf(primary);
    alignments.secondarySlot = slotOf(secondary);
}

const char* lookupDescriptivePairedAlignmentTypeLabel(std::uint32_t type) {
    switch (type) {
        case concordantPairedAlignmentType:
            return "Concordant";
        case discordantPairedAlignmentType:
            return "Disconcordant";
        default:
            return "Unknown";
    }
}

std::string pairedAlignmentToString(const PairedAlignment* paired, const char* name, const char* prefix) {
    if (paired == nullptr) return stringPrintf("%sNULL Paired Alignment\n", prefix);
    std::string text = stringPrintf("%s\"%s\" Paired Alignment:\n", prefix, name);
    if (paired->noCandidateFlag)
        appendPrintf(text, "%s\tNo candidate paired alignment was generated\n", prefix);
    appendPrintf(text, "%s\tScoring:\n%s\t\tAlignment Score = %u\n", prefix, prefix, paired->alignmentScore);
    const std::string inner = std::string(prefix) + "\t\t";
    text += inner + "Aggregate Pop Count Scores:\n";
    mismatchScoreToString(&paired->aggregateMismatchScores, text, inner);
    appendPrintf(text, "%s\t\tAggregate Hit Count = %u\n", prefix, paired->aggregateHitCount);
    appendPrintf(text, "%s\t\tAlignement has high quality (1 = True, 0 = False) = %u\n", prefix,
                 paired->highQualityFlag);
    appendPrintf(text, "%s\tDistance:\n", prefix);
    appendPrintf(text, "%s\t\tDifference between chromosomes (read A chromosome - read B chromosome) = %d\n",
                 prefix, paired->chromosomeDifference);
    appendPrintf(
        text,
        "%s\t\tDistance between reads on entire genome (contiguous sequence across all chromosomes) = %d\n",
        prefix, paired->distance);
    appendPrintf(text, "%s\tRead A:\n", prefix);
    text += alignmentsToString(paired->readAAlignments, (std::string(prefix) + "\t\t").c_str());
    appendPrintf(text, "%s\tRead B:\n", prefix);
    text += alignmentsToString(paired->readBAlignments, (std::string(prefix) + "\t\t").c_str());
    return text;
}

std::string pairedAlignmentsToString(const PairedAlignments& alignments, const char* prefix) {
    const std::string frame(80, '='), separator(80, '-');
    std::string text = std::string(prefix) + frame + "\n";
    if (alignments.numberOfPopulatedPairedAlignments == 0 || alignments.readPair == nullptr) {
        appendPrintf(text, "%sNo Alignment Candidates were generated\n", prefix);
    } else {
        appendPrintf(text, "%sCandidate Alignments for \"%s\"\n", prefix,
                     alignments.readPair->readA.name.c_str());
        appendPrintf(text, "%sCandidate Alignments for \"%s\"\n", prefix,
                     alignments.readPair->readB.name.c_str());
        for (std::uint32_t i = 0; i < alignments.numberOfPopulatedPairedAlignments; ++i) {
            const PairedAlignment& paired = alignments.pairedAlignments[i];
            if (i > 0) text += std::string(prefix) + separator + "\n";
            text += pairedAlignmentToString(&paired, lookupDescriptivePairedAlignmentTypeLabel(paired.type),
                                            prefix);
        }
    }
    return text + prefix + frame + "\n";
}

void printPairedAlignments(std::FILE* file, const PairedAlignments& alignments) {
    std::fprintf(file, "Position Base Scorer\n%s", pairedAlignmentsToString(alignments, "").c_str());
}

}  // namespace koru
