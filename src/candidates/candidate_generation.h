#pragma once
// Candidate generation for one read: 32-base keys cut from the read every few bases in both
// orientations, looked up under the three encodings, and each indexed genome position shifted
// back by the key's offset in the read becomes a candidate position, counted per orientation.
// Keys with too many positions are skipped; when too many lookups find nothing, the high-repeat
// method keeps those over-full positions where the read's next 32 bases match the genome too.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "candidates/candidate_parameters.h"
#include "candidates/candidate_positions.h"
#include "index/binary_indexes.h"
#include "sequence/read_pair.h"

namespace koru {

// A read needs one key, 32 bases. Reads shorter than two keys (under 64 bases) have overlapping
// first and last words and no middle ones, are not searched for indels or junctions, and leave
// the high-repeat method out: it tests the 32 bases after a key, which they do not have.
inline constexpr std::uint32_t minimumSupportedReadLength = 32;
inline constexpr std::uint32_t twoKeyReadLength = 64;
inline constexpr std::uint32_t maximumSupportedReadLength = 512;

// Against an index that lists every k-th window a read must hold k windows, 31 + k bases, for one
// of them to be listed wherever the read lies.
inline std::uint32_t minimumReadLengthForSamplingStep(std::uint32_t samplingStep) {
    return minimumSupportedReadLength - 1 + std::max<std::uint32_t>(samplingStep, 1);
}

inline bool isSupportedReadLength(std::uint32_t length, std::uint32_t samplingStep = 1) {
    return length >= minimumReadLengthForSamplingStep(samplingStep) && length <= maximumSupportedReadLength;
}

enum class CandidateGenerationMethod : std::uint32_t {
    keyLookup = 0,
    highRepeat = 1,
    keyLookupAndHighRepeat = 2
};

// Where a read's keys lie in one orientation's words: the read occupies bits firstOffset to
// firstOffset + n - 1 of the bit stream (the reverse complement is right-aligned in its words).
struct ReadOrientationWords {
    std::span<const std::uint32_t> base;
    std::span<const std::uint32_t> check;
    std::span<const std::uint32_t> mask;
    std::uint32_t firstOffset = 0;
    std::uint32_t lastOffset = 0;  // of the last key: the read's last 32 bases
};

ReadOrientationWords getReadOrientationWords(const Read& read, std::uint32_t orientation);

// Default bases between keys up to the limiting read length; longer reads keep about
// maximumNumberOfKeysToExhibitLinearScaling keys, at most 32 bases apart.
std::uint32_t calculateAndSetBasesToShiftBetweenKeyGenerationForRead(const CandidateParameters& params,
                                                                     Read& read);
void calculateAndSetBasesToShiftBetweenKeyGenerationForReadPair(const CandidateParameters& params,
                                                                ReadPair& pair);
// 3 encodings x 2 orientations x (((n - 33) div s) + 2) keys.
std::uint32_t numberOfIndexLookupsPerformed(std::uint32_t readLength, std::uint32_t basesToShift);

// The keys a read looks up in one orientation. Against an index of every window a read takes one
// key every s bases, the last at its last offset: the slots. Against an index that lists every k-th
// window, each slot takes the k keys from its offset on (moved back where they would pass the last
// offset): whatever the read's position, exactly one of them is listed, so a read meets as many
// listed windows, and its candidates get as many key hits, as with every window listed. An offset
// that several slots share is looked up once and counts once for each of them (its weight).
struct KeySchedule {
    // A read of at most 512 bases has at most 481 offsets an orientation, one base apart.
    static constexpr std::size_t maximumOffsets = maximumSupportedReadLength - 31;
    std::array<std::uint32_t, maximumOffsets> offsets;    // ascending bit offsets
    std::array<std::uint8_t, maximumOffsets> weights;     // the slots holding each offset
    std::array<std::uint16_t, maximumOffsets> slotFirst;  // each slot's first offset (an index)
    std::array<std::uint16_t, maximumOffsets> slotEnd;    // one past each slot's last offset
    std::size_t numberOfOffsets = 0;
    std::size_t numberOfSlots = 0;
    bool everyWeightIsOne = true;                   // no offset shared by slots
    std::array<std::uint32_t, 4> plan{1, 0, 0, 0};  // first, last, shift and step it was planned for
};

// The schedule of the keys from bit offset `first` to `last`, slots `shift` apart, for an index of
// that sampling step.
void planKeySchedule(std::uint32_t first, std::uint32_t last, std::uint32_t shift, std::uint32_t step,
                     KeySchedule& schedule);

// Positions the high-repeat test turned down, ascending: those of earlier key offsets, and those of
// the offset under test, merged into the first once all its encodings are tested. The encodings of
// one offset test the same windows, so each needs only the few its siblings turned down: merging
// every key's into all of the read's costs a pass over them all for each key.
struct RejectedPositions {
    std::vector<std::uint32_t> settled;
    std::vector<std::uint32_t> ofOffset;

    void clear() {
        settled.clear();
        ofOffset.clear();
    }
};

// A thread's scratch of candidate generation, kept from read to read: a read's keys and what
// their lookups found in each orientation, which the high-repeat pass reuses rather than looking
// the same keys up again.
// Both orientations' keys are looked up in one pass, so that more misses overlap: orientation o's
// keys and lookups start at first[o] of the shared arrays.
struct CandidateGenerationScratch {
    using KeyTriple = std::array<std::uint32_t, numberOfKeyEncodings>;
    using FoundTriple = std::array<KeyPositions, numberOfKeyEncodings>;
    std::array<KeySchedule, 2> schedules;  // per orientation
    std::array<std::size_t, 2> first{};
    std::array<KeyTriple, 2 * KeySchedule::maximumOffsets> keys;
    std::array<FoundTriple, 2 * KeySchedule::maximumOffsets> found;
    std::array<std::array<std::uint8_t, numberOfKeyEncodings>, KeySchedule::maximumOffsets> outcomes;
    RejectedPositions rejected;
};

// Adds the read's candidates to the store and updates its lookup statistics. A read of an
// unsupported length gets none: the caller reports its pair unmapped.
void generateCandidatePositionsForRead(const CandidateParameters& params, const BinaryIndexes& indexes,
                                       const Read& read, CandidatePositions& store,
                                       CandidateGenerationMethod method);

// The key lookup pass, then the high-repeat pass when the lookups call for it: the read's whole
// candidate generation, with the scratch reused.
void generateCandidatePositionsForRead(const CandidateParameters& params, const BinaryIndexes& indexes,
                                       const Read& read, CandidatePositions& store,
                                       CandidateGenerationScratch& scratch);

// The key lookup step for one key under one encoding. positionOffset is f - t modulo 2^32: each
// candidate is a listed position plus it. A position that would put the read's first base
// before the genome is dropped.
void addArrayOfPositionsToCandidatePositionsStruct(std::uint32_t orientation, std::uint32_t positionOffset,
                                                   std::uint16_t count, std::uint32_t evaluationLimit,
                                                   std::span<const std::uint32_t> positions,
                                                   CandidatePositions& store);

// The high-repeat step: for keys with more than the evaluation limit but a listed position
// list, keeps the positions whose next 32 genome bases match the read's next keys, and
// remembers the others in `rejected` (ascending).
void addPositionsToCandidatePositionsStructIfNextBinaryEncodedKeysMatchesReferenceGenome(
    std::uint32_t orientation, std::uint32_t positionOffset, std::uint16_t count,
    std::uint32_t evaluationLimit, std::uint32_t indexingLimit, std::span<const std::uint32_t> positions,
    CandidatePositions& store, std::vector<std::uint32_t>& rejected, std::uint32_t nextBaseKey,
    std::uint32_t nextCheckKey, const GenomeSequence& genome);

// Whether the high-repeat method should run after the key lookup pass.
bool useHighCandidateGenerationMethod(const CandidateParameters& params, const Read& read,
                                      const CandidatePositions& store);

inline void incrementIndexHitCountScores(std::uint32_t orientation, CandidateKeyHits& hits) {
    if (orientation == kForwardOrientation) ++hits.forwardKeys;
    if (orientation == kReverseComplementOrientation) ++hits.reverseComplementKeys;
}

}  // namespace koru
