#pragma once
// The candidate positions of one read while its pair is mapped. Candidate generation collects
// key hits: an ascending, duplicate-free array of genome positions with the number of keys of
// each orientation that hit them. Scoring turns the hits with enough keys into candidates (the
// full records with mismatch scores, orientation and indel) and ranks them: the few lowest
// mismatch candidates, the highest hit count candidate, the best and second-best whole-read
// scores. Both arrays are contiguous and sorted; a store is cleared and reused for every pair,
// so mapping a pair allocates nothing once the arrays have grown.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "candidates/candidate_parameters.h"
#include "candidates/score_records.h"

namespace koru {

struct CandidatePosition {
    IndelDescriptor indelDescriptor;
    std::uint32_t genomePosition = 0;  // of the read's leftmost base on the genome
    MappingScores forwardMappingScores;
    MappingScores reverseComplementMappingScores;
    // The better orientation's scores, with keys = forward keys + reverse complement keys.
    MappingScores chosenMappingScores;
    std::uint32_t orientation = 0;  // 1 forward, 2 reverse complement
    std::uint8_t usedInAlignment = 0;
};

// What candidate generation knows of a candidate.
struct CandidateKeyHits {
    std::uint32_t genomePosition = 0;
    std::uint32_t forwardKeys = 0;
    std::uint32_t reverseComplementKeys = 0;
};

struct IndexLookupStatistics {
    std::uint32_t keysWithNoCandidates = 0;
    std::uint32_t keysWithTooManyCandidates = 0;
    std::uint32_t indexLookupsThatGeneratedNoCandidates = 0;  // the sum of the two
};

// The lowest mismatch candidates, best first (see isBetterCandidate).
struct CandidatePositionSubset {
    std::vector<CandidatePosition*> entries;
    std::uint32_t capacity = 0;

    std::uint32_t count() const { return static_cast<std::uint32_t>(entries.size()); }
    bool isFull() const { return entries.size() >= capacity; }
};

// Two candidates of the same orientation close enough to bracket an insertion or deletion.
struct IndelCandidate {
    CandidatePosition* firstCandidatePosition = nullptr;   // the lower genome position
    CandidatePosition* secondCandidatePosition = nullptr;  // the higher one
    const MappingScores* mergedMappingScores = nullptr;    // set once an indel is recorded
};

struct IndelCandidates {
    std::vector<IndelCandidate> records;
    std::uint32_t lastGenomePosition = 0;  // of the second candidate of the last record added
    std::uint32_t maximumDistanceBetweenIndelFragments = 0;
    // Scratch of the indel processing, kept to reuse its memory from read to read.
    std::string reference;
    std::string buffer;
    std::vector<std::uint32_t> suffix;

    std::uint32_t numberOfIndelCandidates() const { return static_cast<std::uint32_t>(records.size()); }
};

struct CandidatePositions {
    std::vector<CandidateKeyHits> keyHits;      // filled by candidate generation, ascending
    std::vector<CandidatePosition> candidates;  // filled by scoring, ascending
    CandidatePosition* highestHitCountCandidate = nullptr;
    CandidatePosition* lowestMismatchCandidate = nullptr;
    CandidatePositionSubset lowestMismatchCandidates;
    std::optional<IndelCandidates> indelCandidates;  // present when indels are detected
    IndexLookupStatistics forwardStatistics;
    IndexLookupStatistics reverseComplementStatistics;
    IndexLookupStatistics combinedStatistics;
    IndexLookupStatistics highRepeatStatistics;
    std::uint32_t numberWithBestWholeReadScore = 0;
    std::uint32_t numberWithSecondBestWholeReadScore = 0;
    std::uint32_t numberOfCandidatesIndelProcessingWasPerformedOn = 0;
    std::uint16_t bestWholeReadMismatchScore = kNotScored;
    std::uint16_t secondBestWholeReadMismatchScore = kNotScored;
    std::uint16_t minCountArrayValueAboveRepeatCutoff = kNotScored;
    // Scratch of the key merge, kept to reuse its memory: the key lookup pass collects its hits
    // (position << 32 | reverse complement << 31 | weight) and sorts them once.
    std::vector<CandidateKeyHits> mergeBuffer;
    std::vector<std::uint32_t> newPositions;
    std::vector<std::uint32_t> newRejected;  // the high-repeat test's turned-down positions of a key
    std::vector<std::uint64_t> collectedHits;
    std::vector<std::uint64_t> sortBuffer;
    std::vector<std::uint32_t> compactHits;  // the same, position << 1 | reverse complement, weight 1
    std::vector<std::uint32_t> compactSortBuffer;

    // Key hits until scoring has turned them into candidates, candidates after.
    std::uint32_t numberOfCandidatePositions() const {
        return static_cast<std::uint32_t>(keyHits.size() + candidates.size());
    }
};

struct CandidatePositionsPair {
    CandidatePositions readA;
    CandidatePositions readB;
};

// A store with a subset of that capacity and, when maximumIndelDistance is not 0, indel
// candidates collected within that distance.
std::unique_ptr<CandidatePositions> createCandidatePositions(std::uint32_t subsetCapacity,
                                                             std::uint32_t maximumIndelDistance);
std::unique_ptr<CandidatePositionsPair> createCandidatePositionsPair(std::uint32_t subsetCapacity,
                                                                     std::uint32_t maximumIndelDistance);
// Empties a store for the next read, keeping its memory and its subset capacity.
void clearCandidatePositions(CandidatePositions& store);

// Rank order: a lower chosen primary score, then a lower secondary score, then more keys.
bool isBetterCandidate(const CandidatePosition& x, const CandidatePosition& y);
// Highest hit count order: more keys, then a lower chosen primary score, then a lower secondary.
bool hasHigherHitCount(const CandidatePosition& candidate, const CandidatePosition& current);

// Appends (or, when full, overwrites the last entry) and moves the candidate forward past
// worse entries; it never passes an equal one.
void insertLowerMismatchScoreCandidatePosition(CandidatePositionSubset& subset, CandidatePosition* candidate);
// Finds the candidate itself in the subset and moves it forward if its scores improved.
bool checkIfCandidatePresentInLowestMismatchCandidatesAndUpdateOrder(CandidatePositionSubset& subset,
                                                                     CandidatePosition* candidate);
// Takes a rescored candidate into the store's rankings.
void updateCandidatePositionRanks(CandidatePositions& store, CandidatePosition* candidate);
// Counts a whole-read score into the best and second-best scores and their counts.
void rankWholeReadScore(CandidatePositions& store, std::uint16_t wholeReadScore);

void addIndelCandidate(IndelCandidates& indelCandidates, CandidatePosition* first, CandidatePosition* second);
void deleteIndelCandidate(IndelCandidates& indelCandidates, std::size_t record);

void computeIndexLookupStatistics(IndexLookupStatistics& statistics);
void sumIndexLookupStatistics(IndexLookupStatistics& result, const IndexLookupStatistics& a,
                              const IndexLookupStatistics& b);

// Drops the key hits whose genome position lies in a filter's genome range, bounds included.
void filterCandidatePositions(const CandidateParameters& params, CandidatePositions& store);

// Paired alignment types.
inline constexpr std::uint32_t concordantPairedAlignmentType = 0;
inline constexpr std::uint32_t discordantPairedAlignmentType = 1;

struct PairedAlignmentCandidate {
    CandidatePosition* candidateA = nullptr;
    CandidatePosition* candidateB = nullptr;
    std::uint32_t aggregateHitCount = 0;
    std::uint32_t type = 0;
    std::uint16_t aggregatePrimaryScore = kNotScored;
    std::uint16_t aggregateSecondaryScore = kNotScored;
    std::uint16_t aggregateWholeReadScore = kNotScored;
};

// Sums of the two candidates' keys and chosen scores; without both, no keys and not scored.
void initAlignmentCandidate(PairedAlignmentCandidate& pair, std::uint32_t type, CandidatePosition* candidateA,
                            CandidatePosition* candidateB);

std::string indexLookupStatisticsToString(const IndexLookupStatistics& statistics, const char* label,
                                          const char* prefix);
std::string candidatePositionToString(const CandidatePosition& candidate, const char* prefix);
std::string candidatePositionsToString(const CandidatePositions& store, const char* prefix);
void printCandidatePositions(std::FILE* file, const char* label, const CandidatePositions& store);

}  // namespace koru
