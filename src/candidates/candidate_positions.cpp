#include "candidates/candidate_positions.h"

#include <algorithm>

#include "support/text_format.h"

namespace koru {

std::unique_ptr<CandidatePositions> createCandidatePositions(std::uint32_t subsetCapacity,
                                                             std::uint32_t maximumIndelDistance) {
    auto store = std::make_unique<CandidatePositions>();
    store->lowestMismatchCandidates.capacity = subsetCapacity;
    store->lowestMismatchCandidates.entries.reserve(subsetCapacity);
    if (maximumIndelDistance != 0) {
        store->indelCandidates.emplace();
        store->indelCandidates->maximumDistanceBetweenIndelFragments = maximumIndelDistance;
    }
    return store;
}

std::unique_ptr<CandidatePositionsPair> createCandidatePositionsPair(std::uint32_t subsetCapacity,
                                                                     std::uint32_t maximumIndelDistance) {
    auto pair = std::make_unique<CandidatePositionsPair>();
    for (CandidatePositions* store : {&pair->readA, &pair->readB}) {
        store->lowestMismatchCandidates.capacity = subsetCapacity;
        if (maximumIndelDistance != 0) {
            store->indelCandidates.emplace();
            store->indelCandidates->maximumDistanceBetweenIndelFragments = maximumIndelDistance;
        }
    }
    return pair;
}

void clearCandidatePositions(CandidatePositions& store) {
    store.keyHits.clear();
    store.candidates.clear();
    store.highestHitCountCandidate = nullptr;
    store.lowestMismatchCandidate = nullptr;
    store.lowestMismatchCandidates.entries.clear();
    if (store.indelCandidates) {
        store.indelCandidates->records.clear();
        store.indelCandidates->lastGenomePosition = 0;
    }
    store.forwardStatistics = {};
    store.reverseComplementStatistics = {};
    store.combinedStatistics = {};
    store.highRepeatStatistics = {};
    store.numberWithBestWholeReadScore = 0;
    store.numberWithSecondBestWholeReadScore = 0;
    store.numberOfCandidatesIndelProcessingWasPerformedOn = 0;
    store.bestWholeReadMismatchScore = kNotScored;
    store.secondBestWholeReadMismatchScore = kNotScored;
    store.minCountArrayValueAboveRepeatCutoff = kNotScored;
}

bool isBetterCandidate(const CandidatePosition& x, const CandidatePosition& y) {
    const MismatchScores& a = x.chosenMappingScores.mismatchScores;
    const MismatchScores& b = y.chosenMappingScores.mismatchScores;
    if (a.primaryScore != b.primaryScore) return a.primaryScore < b.primaryScore;
    if (a.secondaryScore != b.secondaryScore) return a.secondaryScore < b.secondaryScore;
    return x.chosenMappingScores.numberOfAssociatedKeys > y.chosenMappingScores.numberOfAssociatedKeys;
}

namespace {

// Moves entry `index` towards the front while it is better than the entry before it.
void moveTowardsFront(CandidatePositionSubset& subset, std::size_t index) {
    auto& entries = subset.entries;
    for (; index > 0 && isBetterCandidate(*entries[index], *entries[index - 1]); --index)
        std::swap(entries[index], entries[index - 1]);
}

}  // namespace

bool hasHigherHitCount(const CandidatePosition& candidate, const CandidatePosition& current) {
    const std::uint32_t keys = candidate.chosenMappingScores.numberOfAssociatedKeys;
    const std::uint32_t currentKeys = current.chosenMappingScores.numberOfAssociatedKeys;
    if (keys != currentKeys) return keys > currentKeys;
    const MismatchScores& a = candidate.chosenMappingScores.mismatchScores;
    const MismatchScores& b = current.chosenMappingScores.mismatchScores;
    if (a.primaryScore != b.primaryScore) return a.primaryScore < b.primaryScore;
    return a.secondaryScore < b.secondaryScore;
}

void insertLowerMismatchScoreCandidatePosition(CandidatePositionSubset& subset,
                                               CandidatePosition* candidate) {
    if (subset.capacity == 0) return;
    if (subset.isFull()) {
        subset.entries.back() = candidate;
    } else {
        subset.entries.push_back(candidate);
    }
    moveTowardsFront(subset, subset.entries.size() - 1);
}

bool checkIfCandidatePresentInLowestMismatchCandidatesAndUpdateOrder(CandidatePositionSubset& subset,
                                                                     CandidatePosition* candidate) {
    for (std::size_t i = subset.entries.size(); i-- > 0;) {
        if (subset.entries[i] != candidate) continue;
        moveTowardsFront(subset, i);
        return true;
    }
    return false;
}

void rankWholeReadScore(CandidatePositions& store, std::uint16_t w) {
    if (w < store.bestWholeReadMismatchScore) {
        store.secondBestWholeReadMismatchScore = store.bestWholeReadMismatchScore;
        store.numberWithSecondBestWholeReadScore = store.numberWithBestWholeReadScore;
        store.bestWholeReadMismatchScore = w;
        store.numberWithBestWholeReadScore = 1;
    } else if (w == store.bestWholeReadMismatchScore) {
        ++store.numberWithBestWholeReadScore;
    } else if (w < store.secondBestWholeReadMismatchScore) {
        store.secondBestWholeReadMismatchScore = w;
        store.numberWithSecondBestWholeReadScore = 1;
    } else if (w == store.secondBestWholeReadMismatchScore) {
        ++store.numberWithSecondBestWholeReadScore;
    }
}

void updateCandidatePositionRanks(CandidatePositions& store, CandidatePosition* candidate) {
    if (store.highestHitCountCandidate == nullptr ||
        hasHigherHitCount(*candidate, *store.highestHitCountCandidate))
        store.highestHitCountCandidate = candidate;
    rankWholeReadScore(store, candidate->chosenMappingScores.mismatchScores.wholeReadScore);
    CandidatePositionSubset& subset = store.lowestMismatchCandidates;
    if (subset.isFull() && !isBetterCandidate(*candidate, *subset.entries.back())) return;
    if (!checkIfCandidatePresentInLowestMismatchCandidatesAndUpdateOrder(subset, candidate))
        insertLowerMismatchScoreCandidatePosition(subset, candidate);
}

void addIndelCandidate(IndelCandidates& indelCandidates, CandidatePosition* first,
                       CandidatePosition* second) {
    if (first == nullptr || second == nullptr) return;
    indelCandidates.records.push_back({first, second, nullptr});
    indelCandidates.lastGenomePosition = second->genomePosition;
}

void deleteIndelCandidate(IndelCandidates& indelCandidates, std::size_t record) {
    if (record >= indelCandidates.records.size()) return;
    indelCandidates.records.erase(indelCandidates.records.begin() + static_cast<std::ptrdiff_t>(record));
}

void computeIndexLookupStatistics(IndexLookupStatistics& s) {
    s.indexLookupsThatGeneratedNoCandidates = s.keysWithNoCandidates + s.keysWithTooManyCandidates;
}

void sumIndexLookupStatistics(IndexLookupStatistics& result, const IndexLookupStatistics& a,
                              const IndexLookupStatistics& b) {
    result.keysWithNoCandidates = a.keysWithNoCandidates + b.keysWithNoCandidates;
    result.keysWithTooManyCandidates = a.keysWithTooManyCandidates + b.keysWithTooManyCandidates;
    result.indexLookupsThatGeneratedNoCandidates =
        a.indexLookupsThatGeneratedNoCandidates + b.indexLookupsThatGeneratedNoCandidates;
}

void filterCandidatePositions(const CandidateParameters& params, CandidatePositions& store) {
    const auto& filters = params.candidatePositionFilters;
    if (filters.empty() || store.keyHits.empty()) return;
    std::erase_if(store.keyHits, [&filters](const CandidateKeyHits& hits) {
        return std::any_of(filters.begin(), filters.end(), [&hits](const CandidatePositionFilter& filter) {
            return filter.startPositionInGenome <= hits.genomePosition &&
                   hits.genomePosition <= filter.endPositionInGenome;
        });
    });
}

void initAlignmentCandidate(PairedAlignmentCandidate& pair, std::uint32_t type, CandidatePosition* candidateA,
                            CandidatePosition* candidateB) {
    pair = PairedAlignmentCandidate{};
    pair.candidateA = candidateA;
    pair.candidateB = candidateB;
    pair.type = type;
    if (candidateA == nullptr || candidateB == nullptr) return;
    const MappingScores& a = candidateA->chosenMappingScores;
    const MappingScores& b = candidateB->chosenMappingScores;
    pair.aggregateHitCount = a.numberOfAssociatedKeys + b.numberOfAssociatedKeys;
    pair.aggregatePrimaryScore =
        static_cast<std::uint16_t>(a.mismatchScores.primaryScore + b.mismatchScores.primaryScore);
    pair.aggregateSecondaryScore =
        static_cast<std::uint16_t>(a.mismatchScores.secondaryScore + b.mismatchScores.secondaryScore);
    pair.aggregateWholeReadScore =
        static_cast<std::uint16_t>(a.mismatchScores.wholeReadScore + b.mismatchScores.wholeReadScore);
}

std::string indexLookupStatisticsToString(const IndexLookupStatistics& s, const char* label,
                                          const char* prefix) {
    std::string text = stringPrintf("%s%s Index Lookup Statistics:\n", prefix, label);
    appendPrintf(text, "%s\tNumber of Index Lookups that generated no candidates = %u\n", prefix,
                 s.indexLookupsThatGeneratedNoCandidates);
    appendPrintf(text, "%s\t\tNumber of keys with no candidates = %u\n", prefix, s.keysWithNoCandidates);
    appendPrintf(text, "%s\t\tNumber of keys with too many candidates = %u\n", prefix,
                 s.keysWithTooManyCandidates);
    return text;
}

std::string candidatePositionToString(const CandidatePosition& c, const char* prefix) {
    std::string text = stringPrintf("%sCandidate Position:\n%s\tGenome position = %u\n%s\tOrientation = %c\n",
                                    prefix, prefix, c.genomePosition, prefix, c.orientation == 2 ? '-' : '+');
    const std::string inner = std::string(prefix) + "\t";
    const std::string scores = inner + "\t";
    text += inner + "Forward:\n";
    mappingScoreToString(&c.forwardMappingScores, text, scores);
    text += inner + "Reverse Complement:\n";
    mappingScoreToString(&c.reverseComplementMappingScores, text, scores);
    text += inner + "Chosen:\n";
    mappingScoreToString(&c.chosenMappingScores, text, scores);
    indelDescriptorToString(&c.indelDescriptor, text, inner);
    return text;
}

std::string candidatePositionsToString(const CandidatePositions& store, const char* prefix) {
    std::string text =
        indexLookupStatisticsToString(store.combinedStatistics, "Combined Orientation", prefix);
    text += indexLookupStatisticsToString(store.forwardStatistics, "Forward Orientation", prefix);
    text += indexLookupStatisticsToString(store.reverseComplementStatistics, "Reverse Complement Orientation",
                                          prefix);
    text += indexLookupStatisticsToString(store.highRepeatStatistics, "High Repeat", prefix);
    appendPrintf(text, "%sNumber of candidate positions = %u\n", prefix, store.numberOfCandidatePositions());
    appendPrintf(text,
                 "%sBest whole read mismatch score = %u (%u candidates), second best = %u (%u candidates)\n",
                 prefix, store.bestWholeReadMismatchScore, store.numberWithBestWholeReadScore,
                 store.secondBestWholeReadMismatchScore, store.numberWithSecondBestWholeReadScore);
    if (store.highestHitCountCandidate != nullptr)
        appendPrintf(text, "%s\tPosition \"%u\" has highest number of associated keys, number of keys = %u\n",
                     prefix, store.highestHitCountCandidate->genomePosition,
                     store.highestHitCountCandidate->chosenMappingScores.numberOfAssociatedKeys);
    if (store.lowestMismatchCandidate != nullptr)
        appendPrintf(text, "%s\tPosition \"%u\" has the lowest mismatch score of %u\n", prefix,
                     store.lowestMismatchCandidate->genomePosition,
                     store.lowestMismatchCandidate->chosenMappingScores.mismatchScores.primaryScore);
    for (const CandidateKeyHits& hits : store.keyHits)
        appendPrintf(text, "%s\t|| %11u | %6u | %6u ||\n", prefix, hits.genomePosition, hits.forwardKeys,
                     hits.reverseComplementKeys);
    const std::string inner = std::string(prefix) + "\t";
    for (const CandidatePosition& candidate : store.candidates)
        text += candidatePositionToString(candidate, inner.c_str());
    if (store.indelCandidates)
        appendPrintf(text, "%s\tMaximum distance between InDel fragments = %u\n", prefix,
                     store.indelCandidates->maximumDistanceBetweenIndelFragments);
    return text;
}

void printCandidatePositions(std::FILE* file, const char* label, const CandidatePositions& store) {
    std::fprintf(file, "%s: Position Scorer Report:\n%s", label,
                 candidatePositionsToString(store, "\t").c_str());
}

}  // namespace koru
