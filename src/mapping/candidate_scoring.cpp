#include "mapping/candidate_scoring.h"

#include <algorithm>
#include <cstdlib>

#include "candidates/candidate_generation.h"
#include "candidates/mismatch_scoring.h"
#include "mapping/indel_detection.h"
#include "support/prefetch.h"

namespace koru {

namespace {

// Turns the key hits with enough keys into candidates; the others are dropped here, before
// anything points at a candidate.
// A read under two keys has one to five key slots, and a substitution leaves one encoding of a
// slot's key: one key is enough to make such a read's candidate, which the pairing and the
// mismatch scores then judge.
constexpr std::uint32_t minimumKeysOfAShortReadCandidate = 1;

void takeCandidatesWithEnoughKeys(const MappingParameters& params, CandidatePositions& store,
                                  std::uint32_t readLength) {
    const std::uint32_t minimumKeys = readLength < twoKeyReadLength
                                          ? minimumKeysOfAShortReadCandidate
                                          : params.minimumNumberOfKeysAssociatedWithCandidatePosition;
    // The hits with enough keys moved to the front first, each hit stored and the end moved on only
    // for those: in a repeat's hits whether a hit has enough keys is a coin toss, which a branch
    // would mispredict half the time.
    std::vector<CandidateKeyHits>& keyHits = store.keyHits;
    std::size_t kept = 0;
    for (const CandidateKeyHits& hits : keyHits) {
        keyHits[kept] = hits;
        kept += minimumKeys <= hits.forwardKeys + hits.reverseComplementKeys ? 1 : 0;
    }
    keyHits.resize(kept);
    store.candidates.clear();
    store.candidates.reserve(kept);
    // Copied rather than value-initialised: the copy is a few vector moves, where initialising the
    // record in place zero-fills it with a string store that costs more than its 88 bytes.
    static constexpr CandidatePosition blank{};
    for (const CandidateKeyHits& hits : keyHits) {
        CandidatePosition& candidate = store.candidates.emplace_back(blank);
        candidate.genomePosition = hits.genomePosition;
        candidate.forwardMappingScores.numberOfAssociatedKeys = hits.forwardKeys;
        candidate.reverseComplementMappingScores.numberOfAssociatedKeys = hits.reverseComplementKeys;
    }
    store.keyHits.clear();
}

std::uint32_t distance(std::uint32_t a, std::uint32_t b) {
    return a > b ? a - b : b - a;
}

// Two close candidates of one orientation become an indel candidate; a third close one
// withdraws the pair again.
void collectIndelCandidate(IndelCandidates& indels, std::uint32_t maximumDistance,
                           CandidatePosition& previous, CandidatePosition& candidate) {
    if (distance(candidate.genomePosition, previous.genomePosition) > maximumDistance ||
        candidate.orientation != previous.orientation)
        return;
    if (distance(candidate.genomePosition, indels.lastGenomePosition) <= 2 * maximumDistance) {
        if (!indels.records.empty()) indels.records.pop_back();
        indels.lastGenomePosition = candidate.genomePosition;
    } else {
        addIndelCandidate(indels, &previous, &candidate);
    }
}

// The subset takes a candidate that ranks above the last entry of a full subset, read from the
// admission thresholds cached in `last`.
struct SubsetAdmission {
    std::uint16_t primary = kNotScored;
    std::uint16_t secondary = kNotScored;
    std::uint32_t keys = 0;

    bool admits(const MappingScores& scores) const {
        const MismatchScores& s = scores.mismatchScores;
        if (s.primaryScore != primary) return s.primaryScore < primary;
        if (s.secondaryScore != secondary) return s.secondaryScore < secondary;
        return scores.numberOfAssociatedKeys > keys;
    }
};

void admitToSubset(CandidatePositionSubset& subset, SubsetAdmission& admission,
                   CandidatePosition& candidate) {
    if (!admission.admits(candidate.chosenMappingScores)) return;
    insertLowerMismatchScoreCandidatePosition(subset, &candidate);
    if (!subset.isFull() || subset.entries.empty()) return;
    const MappingScores& last = subset.entries.back()->chosenMappingScores;
    admission = {last.mismatchScores.primaryScore, last.mismatchScores.secondaryScore,
                 last.numberOfAssociatedKeys};
}

// The plane words under a read at that position: its first and last cache lines.
void prefetchCandidateGenome(const GenomeSequence& genome, std::uint32_t position, std::uint32_t readLength) {
    const std::uint64_t first = position / 32, last = (std::uint64_t{position} + readLength) / 32 + 1;
    if (last >= genome.allocatedBinaryEncodedArraySize) return;
    prefetchLine(genome.planeWords.get() + 2 * first);
    prefetchLine(genome.planeWords.get() + 2 * last);
}

}  // namespace

void scoreCandidatePositions(const MappingParameters& params, CandidatePositions& store,
                             const GenomeSequence& genome, Read& read) {
    const std::uint32_t maximumIndel =
        store.indelCandidates ? maximumIndelSearchedFor(params, read.length) : 0;
    takeCandidatesWithEnoughKeys(params, store, read.length);
    store.bestWholeReadMismatchScore = store.secondBestWholeReadMismatchScore = kNotScored;
    store.numberWithBestWholeReadScore = store.numberWithSecondBestWholeReadScore = 0;
    store.highestHitCountCandidate = nullptr;
    store.lowestMismatchCandidates.entries.clear();
    SubsetAdmission admission;
    // Scoring reads the genome at each candidate: ask for the words some candidates ahead.
    constexpr std::size_t ahead = 8;
    for (std::size_t i = 0; i < std::min(ahead, store.candidates.size()); ++i)
        prefetchCandidateGenome(genome, store.candidates[i].genomePosition, read.length);
    for (std::size_t i = 0; i < store.candidates.size(); ++i) {
        CandidatePosition& candidate = store.candidates[i];
        if (i + ahead < store.candidates.size())
            prefetchCandidateGenome(genome, store.candidates[i + ahead].genomePosition, read.length);
        calculateMappingScoresForCandidatePosition(read, candidate, genome);
        if (maximumIndel > 0 && i > 0)
            collectIndelCandidate(*store.indelCandidates, maximumIndel, store.candidates[i - 1], candidate);
        rankWholeReadScore(store, candidate.chosenMappingScores.mismatchScores.wholeReadScore);
        admitToSubset(store.lowestMismatchCandidates, admission, candidate);
        if (store.highestHitCountCandidate == nullptr ||
            hasHigherHitCount(candidate, *store.highestHitCountCandidate))
            store.highestHitCountCandidate = &candidate;
    }
    const auto& subset = store.lowestMismatchCandidates.entries;
    store.lowestMismatchCandidate = subset.empty() ? nullptr : subset.front();
    store.numberOfCandidatesIndelProcessingWasPerformedOn = 0;
    if (maximumIndel == 0 || store.indelCandidates->records.empty() ||
        store.lowestMismatchCandidate == nullptr)
        return;
    const auto threshold =
        static_cast<std::uint16_t>(static_cast<double>(read.length) *
                                   params.mininumPercentageOfMismatchedBasesInReadToTriggerIndelProcessing);
    if (store.lowestMismatchCandidate->chosenMappingScores.mismatchScores.wholeReadScore < threshold) return;
    processIndelCandidates(params, store, read, genome);
    // A rescored candidate may now lead the subset, and the lowest mismatch candidate is its first.
    store.lowestMismatchCandidate = subset.front();
}

}  // namespace koru
