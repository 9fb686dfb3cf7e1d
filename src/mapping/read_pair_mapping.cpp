#include "mapping/read_pair_mapping.h"

#include <algorithm>
#include <array>

#include "candidates/candidate_generation.h"
#include "mapping/candidate_pairing.h"
#include "mapping/candidate_scoring.h"
#include "mapping/indel_detection.h"
#include "mapping/mate_rescue.h"
#include "mapping/supplemental_mappings.h"
#include "support/text_format.h"

namespace koru {

MappingWorkspace::MappingWorkspace(const MappingParameters& params)
    : candidates(createCandidatePositionsPair(5, params.maximumSizeOfIndelToDetect)),
      generation(std::make_unique<CandidateGenerationScratch>()) {}

std::string unsupportedReadLengthMessage(const Read& read, std::uint32_t samplingStep) {
    return stringPrintf(
        "The \"%s\" read had %d bases, which is not supported, the algorithm currently supports "
        "reads with %d to %d bases.\n",
        read.name.c_str(), static_cast<int>(read.length),
        static_cast<int>(minimumReadLengthForSamplingStep(samplingStep)),
        static_cast<int>(maximumSupportedReadLength));
}

namespace {

// Whether at most that share of the read's bases are uncalled: N (or any letter other than A, C,
// G and T) matches every base, so a read of mostly N would match anywhere.
bool isMostlyCalled(const Read& read, double maximumShareOfUncalledBases) {
    // A table rather than a switch, so that the loop has no branch per base.
    static constexpr std::array<bool, 256> called = [] {
        std::array<bool, 256> table{};
        for (const unsigned char base : std::string_view("ACGTacgt")) table[base] = true;
        return table;
    }();
    std::uint32_t uncalled = 0;
    for (const char base : std::string_view(read.sequence).substr(0, read.length))
        uncalled += called[static_cast<unsigned char>(base)] ? 0 : 1;
    return uncalled <= maximumShareOfUncalledBases * read.length;
}

void generateCandidates(const MappingParameters& params, const BinaryIndexes& indexes, ReadPair& pair,
                        bool mapA, bool mapB, CandidatePositionsPair& candidates,
                        CandidateGenerationScratch& scratch) {
    if (mapA) generateCandidatePositionsForRead(params, indexes, pair.readA, candidates.readA, scratch);
    if (mapB) generateCandidatePositionsForRead(params, indexes, pair.readB, candidates.readB, scratch);
    filterCandidatePositions(params, candidates.readA);
    filterCandidatePositions(params, candidates.readB);
}

// The keys that make a read's hit a candidate: one for a read under two keys.
std::uint32_t candidateKeys(const MappingParameters& params, const Read& read) {
    return read.length < twoKeyReadLength ? 1 : params.minimumNumberOfKeysAssociatedWithCandidatePosition;
}

bool hasEnoughKeys(const CandidateKeyHits& hits, std::uint32_t keys) {
    return hits.forwardKeys + hits.reverseComplementKeys >= keys;
}

bool hasCandidate(const CandidatePositions& store, std::uint32_t keys) {
    return std::any_of(store.keyHits.begin(), store.keyHits.end(),
                       [keys](const CandidateKeyHits& hits) { return hasEnoughKeys(hits, keys); });
}

// The most keys any one of the read's hits has.
std::uint32_t mostKeys(const CandidatePositions& store) {
    std::uint32_t most = 0;
    for (const CandidateKeyHits& hits : store.keyHits)
        most = std::max(most, hits.forwardKeys + hits.reverseComplementKeys);
    return most;
}

// Whether a read may need its mate to place it: a short read beside a long mate with a candidate,
// or beside a short one whose best hit has more keys than any of its own (its own few may be
// chance hits elsewhere); a longer read without a candidate beside a mate with one. At most one
// read of a pair qualifies.
bool waitsForMate(const MappingParameters& params, const Read& read, const Read& mate,
                  const CandidatePositions& store, const CandidatePositions& mateStore) {
    // The read's own hits first: a longer read nearly always has a candidate, which settles it.
    if (read.length >= twoKeyReadLength)
        return !hasCandidate(store, candidateKeys(params, read)) &&
               hasCandidate(mateStore, candidateKeys(params, mate));
    if (mate.length >= twoKeyReadLength) return hasCandidate(mateStore, candidateKeys(params, mate));
    return mostKeys(store) < mostKeys(mateStore);
}

// Whether two candidates rank alike for pairing: the same primary and secondary scores.
bool ranksAlike(const CandidatePosition& a, const CandidatePosition& b) {
    const MismatchScores &x = a.chosenMappingScores.mismatchScores, &y = b.chosenMappingScores.mismatchScores;
    return x.primaryScore == y.primaryScore && x.secondaryScore == y.secondaryScore;
}

// Looks for a read near its scored mate's best candidates (the lowest mismatch candidate and those
// that rank alike, as a mate in a repeat fits each copy equally), near each that none of the read's
// candidates lies within the window of. Reads long enough for the indel search may be parted by an
// indel.
void rescueNearMate(const MappingParameters& params, const Read& read, CandidatePositions& store,
                    const CandidatePositions& mateStore, const GenomeSequence& genome,
                    MateRescueScratch& scratch) {
    const auto& best = mateStore.lowestMismatchCandidates.entries;
    if (best.empty()) return;
    const std::uint32_t window = params.concordantReadPairBasePairWindowSize;
    const std::uint32_t keys = candidateKeys(params, read);
    const MateRescueSearch search{keys, maximumIndelSearchedFor(params, read.length)};
    bool rescued = false;
    for (const CandidatePosition* mateCandidate : best) {
        if (!ranksAlike(*mateCandidate, *best.front())) break;
        const std::uint32_t mate = mateCandidate->genomePosition;
        const auto near = [mate, window, keys](const CandidateKeyHits& hits) {
            return hasEnoughKeys(hits, keys) &&
                   (hits.genomePosition > mate ? hits.genomePosition - mate : mate - hits.genomePosition) <=
                       window;
        };
        if (std::any_of(store.keyHits.begin(), store.keyHits.end(), near)) continue;
        rescued |= rescueReadNearMate(read, mate, window, genome, search, store, scratch);
    }
    // Filtered ranges hold no candidate, rescued or not.
    if (rescued) filterCandidatePositions(params, store);
}

void countPairing(ReadPairMappingStatistics& statistics, const Pairing& pairing,
                  const CandidatePositionsPair& candidates) {
    if (pairing.pairsEvaluated == 0) {
        ++statistics.pairsWithNoCandidatesInWindow;
        for (const CandidatePositions* store : {&candidates.readA, &candidates.readB}) {
            if (store->highestHitCountCandidate != nullptr)
                statistics.hitCountSumOutsideWindow +=
                    store->highestHitCountCandidate->chosenMappingScores.numberOfAssociatedKeys;
            if (store->lowestMismatchCandidate != nullptr)
                statistics.popCountSumOutsideWindow +=
                    store->lowestMismatchCandidate->chosenMappingScores.mismatchScores.primaryScore;
        }
        return;
    }
    ++statistics.pairsWithCandidatesInWindow;
    statistics.candidatePairsInWindow += pairing.pairsEvaluated;
    const bool exactlyOne = pairing.pairsEvaluated == 1;
    if (exactlyOne) ++statistics.pairsWithExactlyOneCandidatePairInWindow;
    (exactlyOne ? statistics.popCountSumExactlyOne : statistics.popCountSumMoreThanOne) +=
        pairing.best.aggregatePrimaryScore;
    (exactlyOne ? statistics.hitCountSumExactlyOne : statistics.hitCountSumMoreThanOne) +=
        pairing.best.aggregateHitCount;
}

void collectQuality(ReadPairMappingStatistics& statistics, int group, const CandidatePosition* a,
                    const CandidatePosition* b) {
    if (a == nullptr || b == nullptr) return;
    collectCandidateQualityStatistics(statistics.qualityCriteria,
                                      statistics.qualityGroups[static_cast<std::size_t>(group)],
                                      a->chosenMappingScores, b->chosenMappingScores);
}

std::uint32_t distance(std::uint32_t a, std::uint32_t b) {
    return a > b ? a - b : b - a;
}

// The pair of the reads' highest hit count candidates, when it lies outside the window and holds
// more keys than the concordant pair: the hit count view of a better pair elsewhere.
void collectHitCountQuality(const MappingParameters& params, ReadPairMappingStatistics& statistics,
                            const CandidatePositionsPair& candidates, const Pairing& pairing) {
    const CandidatePosition* a = candidates.readA.highestHitCountCandidate;
    const CandidatePosition* b = candidates.readB.highestHitCountCandidate;
    if (a == nullptr || b == nullptr ||
        distance(a->genomePosition, b->genomePosition) <= params.concordantReadPairBasePairWindowSize)
        return;
    if (a->chosenMappingScores.numberOfAssociatedKeys + b->chosenMappingScores.numberOfAssociatedKeys >
        pairing.best.aggregateHitCount)
        collectQuality(statistics, hitCountOutsideWindowGroup, a, b);
}

class ReadPairMapper {
  public:
    ReadPairMapper(const MappingParameters& params, ReadPair& pair, ReadPairMappingStatistics& statistics,
                   CandidatePositionsPair& candidates, const GenomeSequence& genome)
        : params_(params),
          pair_(pair),
          statistics_(statistics),
          candidates_(candidates),
          rescue_{pair, genome} {}

    void buildPairedAlignments(const Pairing& pairing, PairedAlignments& result) {
        if (candidates_.readA.candidates.empty() && candidates_.readB.candidates.empty()) {
            resetPairedAlignments(result, pair_, 0);
            return;
        }
        resetPairedAlignments(result, pair_, 2);
        std::uint32_t& populated = result.numberOfPopulatedPairedAlignments;
        CandidatePosition* lowestA = candidates_.readA.lowestMismatchCandidate;
        CandidatePosition* lowestB = candidates_.readB.lowestMismatchCandidate;
        if (pairing.hasConcordantPair()) {
            PairedAlignment& concordant = result.pairedAlignments[populated++];
            populate(concordant, pairing.best);
            concordant.readAAlignments.alignments[0].tiedWithinPair = pairing.tiedA;
            concordant.readBAlignments.alignments[0].tiedWithinPair = pairing.tiedB;
            collectQuality(statistics_, candidatesInsideWindowGroup, pairing.best.candidateA,
                           pairing.best.candidateB);
            collectHitCountQuality(params_, statistics_, candidates_, pairing);
            if (pairing.best.candidateA == lowestA && pairing.best.candidateB == lowestB) return;
        } else if (!candidates_.readA.candidates.empty() && !candidates_.readB.candidates.empty()) {
            collectQuality(statistics_, noCandidatesInsideWindowGroup, lowestA, lowestB);
        }
        if (lowestA == nullptr && lowestB == nullptr) return;
        PairedAlignmentCandidate discordant;
        initAlignmentCandidate(discordant, discordantPairedAlignmentType, lowestA, lowestB);
        PairedAlignment& paired = result.pairedAlignments[populated++];
        populate(paired, discordant);
        if (pairing.hasConcordantPair() &&
            static_cast<std::uint32_t>(paired.distance) > params_.concordantReadPairBasePairWindowSize &&
            pairing.best.aggregatePrimaryScore > paired.aggregateMismatchScores.primaryScore)
            collectQuality(statistics_, popCountOutsideWindowGroup, lowestA, lowestB);
    }

  private:
    void populate(PairedAlignment& paired, const PairedAlignmentCandidate& candidate) {
        populatePairedAlignmentFromPairedAlignmentCandidate(params_, pair_, paired, candidate, candidates_);
        generateSupplimentalMappingsForCandidate(params_, statistics_, paired, candidate.candidateA,
                                                 candidate.candidateB, candidates_, &rescue_);
    }

    const MappingParameters& params_;
    ReadPair& pair_;
    ReadPairMappingStatistics& statistics_;
    CandidatePositionsPair& candidates_;
    const JunctionRescueReads rescue_;
};

// A read pair counts once for junctions or alternates, whichever of its paired alignments found them.
void countPairOutcomes(ReadPairMappingStatistics& statistics, std::uint32_t junctionReadsBefore,
                       std::uint32_t alternateReadsBefore) {
    if (statistics.readsWithBiotinJunctions > junctionReadsBefore) ++statistics.readPairsWithBiotinJunctions;
    if (statistics.readsWithAlternativeAlignments > alternateReadsBefore)
        ++statistics.readPairsWithAlternativeAlignments;
}

}  // namespace

PairedAlignments& mapReadPair(const MappingParameters& params, ReadPair& readPair,
                              const BinaryIndexes& indexes, ReadPairMappingStatistics& statistics,
                              MappingWorkspace& workspace) {
    PairedAlignments& result = workspace.alignments;
    // A read of an unsupported length or mostly N gets no candidates; its mate is still mapped, alone.
    const bool supportedA = isSupportedReadLength(readPair.readA.length, indexes.samplingStep());
    const bool supportedB = isSupportedReadLength(readPair.readB.length, indexes.samplingStep());
    if (!supportedA || !supportedB) ++statistics.readPairsWithUnsupportedReadLength;
    const bool calledA = supportedA && isMostlyCalled(readPair.readA, params.maximumShareOfUncalledBases);
    const bool calledB = supportedB && isMostlyCalled(readPair.readB, params.maximumShareOfUncalledBases);
    statistics.readsWithTooManyUncalledBases += (supportedA && !calledA) + (supportedB && !calledB);
    if (!calledA && !calledB) {
        resetPairedAlignments(result, readPair, 0);
        return result;
    }
    CandidatePositionsPair& candidates = *workspace.candidates;
    clearCandidatePositions(candidates.readA);
    clearCandidatePositions(candidates.readB);
    generateCandidates(params, indexes, readPair, calledA, calledB, candidates, *workspace.generation);
    const GenomeSequence& genome = *indexes.genomeSequence;
    // Reads are scored on their own, so a read that may need rescue waits for its mate's scores.
    const bool rescueA =
        calledA && calledB &&
        waitsForMate(params, readPair.readA, readPair.readB, candidates.readA, candidates.readB);
    const bool rescueB =
        calledA && calledB &&
        waitsForMate(params, readPair.readB, readPair.readA, candidates.readB, candidates.readA);
    if (rescueA) {
        scoreCandidatePositions(params, candidates.readB, genome, readPair.readB);
        rescueNearMate(params, readPair.readA, candidates.readA, candidates.readB, genome, workspace.rescue);
        scoreCandidatePositions(params, candidates.readA, genome, readPair.readA);
    } else {
        scoreCandidatePositions(params, candidates.readA, genome, readPair.readA);
        if (rescueB)
            rescueNearMate(params, readPair.readB, candidates.readB, candidates.readA, genome,
                           workspace.rescue);
        scoreCandidatePositions(params, candidates.readB, genome, readPair.readB);
    }
    collectCandidatePositionStatisticsForReadPair(statistics, candidates);
    Pairing pairing;
    if (!candidates.readA.candidates.empty() && !candidates.readB.candidates.empty()) {
        pairing = pairInsideWindow(candidates.readA.candidates, candidates.readB.candidates,
                                   params.concordantReadPairBasePairWindowSize, workspace.pairing);
        countPairing(statistics, pairing, candidates);
    }
    const std::uint32_t junctionReads = statistics.readsWithBiotinJunctions;
    const std::uint32_t alternateReads = statistics.readsWithAlternativeAlignments;
    ReadPairMapper(params, readPair, statistics, candidates, genome).buildPairedAlignments(pairing, result);
    countPairOutcomes(statistics, junctionReads, alternateReads);
    return result;
}

std::unique_ptr<PairedAlignments> mapReadPair(const MappingParameters& params, ReadPair& readPair,
                                              const BinaryIndexes& indexes,
                                              ReadPairMappingStatistics& statistics) {
    MappingWorkspace workspace(params);
    return std::make_unique<PairedAlignments>(
        std::move(mapReadPair(params, readPair, indexes, statistics, workspace)));
}

}  // namespace koru
