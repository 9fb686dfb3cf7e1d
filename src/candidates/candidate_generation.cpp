#include "candidates/candidate_generation.h"

#include <algorithm>
#include <array>
#include <bit>
#include <functional>
#include <memory>
#include <utility>

#include "index/key_stream.h"
#include "sequence/nucleotide_encoding.h"
#include "support/prefetch.h"
#include "support/sorted_merge.h"

namespace koru {

ReadOrientationWords getReadOrientationWords(const Read& read, std::uint32_t orientation) {
    const std::uint32_t words = read.binaryEncodedArraySize;
    ReadOrientationWords result;
    if (orientation == kReverseComplementOrientation) {
        result.base = {read.reverseComplementBaseWords.data(), words};
        result.check = {read.reverseComplementCheckWords.data(), words};
        result.mask = {read.reverseComplementMaskWords.data(), words};
        result.firstOffset = 32 * words - read.length;
    } else {
        result.base = {read.baseWords.data(), words};
        result.check = {read.checkWords.data(), words};
        result.mask = {read.maskWords.data(), words};
        result.firstOffset = 0;
    }
    result.lastOffset = result.firstOffset + read.length - 32;
    return result;
}

std::uint32_t calculateAndSetBasesToShiftBetweenKeyGenerationForRead(const CandidateParameters& params,
                                                                     Read& read) {
    if (read.length <= params.readLengthToStartLimitingNumberOfKeysGenerated) {
        read.basesToShiftBetweenKeyGeneration = params.defaultBasesToShiftBetweenKeyGeneration;
    } else {
        const std::uint32_t keys =
            std::max<std::uint32_t>(params.maximumNumberOfKeysToExhibitLinearScaling, 1);
        read.basesToShiftBetweenKeyGeneration = std::clamp<std::uint32_t>((read.length - 32) / keys, 1, 32);
    }
    return read.basesToShiftBetweenKeyGeneration;
}

void calculateAndSetBasesToShiftBetweenKeyGenerationForReadPair(const CandidateParameters& params,
                                                                ReadPair& pair) {
    const std::uint32_t shift = calculateAndSetBasesToShiftBetweenKeyGenerationForRead(params, pair.readA);
    if (pair.readB.length == pair.readA.length) {
        pair.readB.basesToShiftBetweenKeyGeneration = shift;
    } else {
        calculateAndSetBasesToShiftBetweenKeyGenerationForRead(params, pair.readB);
    }
}

std::uint32_t numberOfIndexLookupsPerformed(std::uint32_t readLength, std::uint32_t basesToShift) {
    // A read of exactly one key has one slot an orientation.
    if (readLength == 32) return 6;
    if (readLength < 33 || basesToShift == 0) return 12;
    return 6 * ((readLength - 33) / basesToShift) + 12;
}

void planKeySchedule(std::uint32_t first, std::uint32_t last, std::uint32_t shift, std::uint32_t step,
                     KeySchedule& schedule) {
    // Reads of a run mostly share their length: a schedule kept in a reused scratch is usually the
    // one asked for again.
    const std::array<std::uint32_t, 4> plan{first, last, shift, step};
    if (schedule.plan == plan) return;
    schedule.plan = plan;
    // How many slots hold each offset from first to last, and where each slot's keys begin and end.
    std::array<std::uint8_t, KeySchedule::maximumOffsets> holders{};
    std::array<std::uint32_t, KeySchedule::maximumOffsets> slotBegin, slotLast;
    std::size_t slots = 0;
    for (std::uint32_t t = first;; t = std::min(last, t + shift)) {
        // The slot's k keys, moved back to end at the last offset where they would pass it.
        const std::uint32_t begin = last - first + 1 >= step ? std::min(t, last + 1 - step) : first;
        const std::uint32_t end = std::min(begin + step - 1, last);
        for (std::uint32_t u = begin; u <= end; ++u) ++holders[u - first];
        slotBegin[slots] = begin;
        slotLast[slots++] = end;
        if (t == last) break;
    }
    std::array<std::uint16_t, KeySchedule::maximumOffsets> indexOf;
    std::size_t offsets = 0;
    for (std::uint32_t u = 0; u <= last - first; ++u) {
        if (holders[u] == 0) continue;
        indexOf[u] = static_cast<std::uint16_t>(offsets);
        schedule.offsets[offsets] = first + u;
        schedule.weights[offsets++] = holders[u];
    }
    for (std::size_t slot = 0; slot < slots; ++slot) {
        schedule.slotFirst[slot] = indexOf[slotBegin[slot] - first];
        schedule.slotEnd[slot] = static_cast<std::uint16_t>(indexOf[slotLast[slot] - first] + 1);
    }
    schedule.numberOfOffsets = offsets;
    schedule.numberOfSlots = slots;
    schedule.everyWeightIsOne = std::all_of(schedule.weights.begin(), schedule.weights.begin() + offsets,
                                            [](auto w) { return w == 1; });
}

namespace {

// Adds `weight` key hits in the orientation: a key that stands for several keys of an unsampled
// index counts as that many.
void addKeyHits(std::uint32_t orientation, CandidateKeyHits& hits, std::uint32_t weight) {
    if (orientation == kForwardOrientation) hits.forwardKeys += weight;
    if (orientation == kReverseComplementOrientation) hits.reverseComplementKeys += weight;
}

// Inserts positions, ascending and absent from the store, with `weight` hits in the orientation per
// occurrence: a key's list can hold position 0 several times (every window that starts before the
// genome is listed there), and each is a hit on the one new entry.
void mergeNewPositions(CandidatePositions& store, std::uint32_t orientation, std::uint32_t weight) {
    if (store.newPositions.empty()) return;
    std::vector<CandidateKeyHits>& merged = store.mergeBuffer;
    merged.clear();
    merged.reserve(store.keyHits.size() + store.newPositions.size());
    auto existing = store.keyHits.begin();
    for (const std::uint32_t position : store.newPositions) {
        while (existing != store.keyHits.end() && existing->genomePosition < position)
            merged.push_back(*existing++);
        if (merged.empty() || merged.back().genomePosition != position) merged.push_back({position, 0, 0});
        addKeyHits(orientation, merged.back(), weight);
    }
    merged.insert(merged.end(), existing, store.keyHits.end());
    store.keyHits.swap(merged);
    store.newPositions.clear();
}

// The first element at or after `from` that is not below `value`, searched from `from` in growing
// steps: a cursor walking an ascending list towards ascending values is usually close to its
// target, which a binary search over the whole rest of the list would pay log(n) misses to find.
template <class Iterator, class Value, class Less>
[[gnu::noinline]] Iterator gallopPast(Iterator from, Iterator end, const Value& value, Less less) {
    std::ptrdiff_t step = 1;
    Iterator low = from;
    while (low != end && less(*low, value)) {
        const std::ptrdiff_t left = end - low;
        Iterator high = low + std::min(step, left);
        if (high == end || !less(*high, value)) return std::lower_bound(low + 1, high, value, less);
        low = high;
        step *= 2;
    }
    return low;
}

// Inline for the usual call, where the cursor is already there; the search itself is not.
template <class Iterator, class Value, class Less>
[[gnu::always_inline]] inline Iterator gallopLowerBound(Iterator from, Iterator end, const Value& value,
                                                        Less less) {
    return from == end || !less(*from, value) ? from : gallopPast(from, end, value, less);
}

// The first key hit at or after `from` whose position is not below the given one.
std::vector<CandidateKeyHits>::iterator seek(std::vector<CandidateKeyHits>& hits,
                                             std::vector<CandidateKeyHits>::iterator from,
                                             std::uint32_t position) {
    return gallopLowerBound(from, hits.end(), position,
                            [](const CandidateKeyHits& h, std::uint32_t p) { return h.genomePosition < p; });
}

// Listed positions shifted back by the key's offset, skipping those that fall before the genome.
// The list is ascending, so those are a prefix, and only lists starting in the genome's first
// bases have one: the first position settles it without searching the list.
std::span<const std::uint32_t> positionsInsideGenome(std::span<const std::uint32_t> positions,
                                                     std::uint32_t positionOffset) {
    const std::uint32_t shift = 0u - positionOffset;
    if (positions.empty() || positions.front() >= shift) return positions;
    const auto first = std::lower_bound(positions.begin(), positions.end(), shift);
    return positions.subspan(static_cast<std::size_t>(first - positions.begin()));
}

}  // namespace

namespace {

// What one lookup gave, for the lookup statistics.
enum class LookupOutcome : std::uint8_t { noCandidates, tooManyCandidates, candidates };

LookupOutcome classifyLookup(std::uint16_t count, std::uint32_t evaluationLimit) {
    if (count == 0) return LookupOutcome::noCandidates;
    return count > evaluationLimit ? LookupOutcome::tooManyCandidates : LookupOutcome::candidates;
}

void countLookupOutcome(IndexLookupStatistics& statistics, LookupOutcome outcome) {
    if (outcome == LookupOutcome::noCandidates) ++statistics.keysWithNoCandidates;
    if (outcome == LookupOutcome::tooManyCandidates) ++statistics.keysWithTooManyCandidates;
}

// Merges a key's listed positions, shifted back by its offset, with `weight` hits each.
void mergeKeyPositions(CandidatePositions& store, std::uint32_t orientation, std::uint32_t positionOffset,
                       std::span<const std::uint32_t> positions, std::uint32_t weight) {
    auto cursor = store.keyHits.begin();
    for (const std::uint32_t listed : positionsInsideGenome(positions, positionOffset)) {
        const std::uint32_t candidate = listed + positionOffset;
        cursor = seek(store.keyHits, cursor, candidate);
        if (cursor != store.keyHits.end() && cursor->genomePosition == candidate) {
            addKeyHits(orientation, *cursor, weight);
        } else {
            store.newPositions.push_back(candidate);
        }
    }
    mergeNewPositions(store, orientation, weight);
}

// The key lookup pass's hits, collected rather than merged key by key: one sort at the end costs
// far less than merging every key's list into the growing list of hits. A hit is wide, position
// << 32 | reverse complement << 31 | weight, or compact, position << 1 | reverse complement, when
// every weight is 1 and positions fit 31 bits (an unsampled index, a genome under 2 Gbases): half
// the bytes for the sort to move.
struct WideHits {
    using Hit = std::uint64_t;
    static constexpr int positionShift = 32;
    static Hit make(std::uint32_t position, bool reverse, std::uint32_t weight) {
        return static_cast<Hit>(position) << 32 | (reverse ? Hit{1} << 31 : 0) | weight;
    }
    static std::uint32_t weight(Hit hit) { return static_cast<std::uint32_t>(hit & 0x7FFFFFFFu); }
    static bool isReverse(Hit hit) { return (hit >> 31) & 1u; }
};

struct CompactHits {
    using Hit = std::uint32_t;
    static constexpr int positionShift = 1;
    static Hit make(std::uint32_t position, bool reverse, std::uint32_t) {
        return position << 1 | (reverse ? 1u : 0u);
    }
    static std::uint32_t weight(Hit) { return 1; }
    static bool isReverse(Hit hit) { return hit & 1u; }
};

template <class Hits>
void collectKeyPositions(std::vector<typename Hits::Hit>& hits, std::uint32_t orientation,
                         std::uint32_t positionOffset, std::span<const std::uint32_t> positions,
                         std::uint32_t weight) {
    const bool reverse = orientation == kReverseComplementOrientation;
    // Written through a pointer into the grown array, a loop the compiler vectorises.
    const std::span<const std::uint32_t> inside = positionsInsideGenome(positions, positionOffset);
    const std::size_t at = hits.size();
    hits.resize(at + inside.size());
    typename Hits::Hit* const out = hits.data() + at;
    for (std::size_t i = 0; i < inside.size(); ++i)
        out[i] = Hits::make(inside[i] + positionOffset, reverse, weight);
}

// Sorts the collected hits by position: least significant digit first, in as few digits of at
// most 11 bits as the largest position needs, each as narrow as they allow, so that a small
// genome's sort clears and sums fewer counters.
template <class Hits>
void sortCollectedHits(std::vector<typename Hits::Hit>& hits, std::vector<typename Hits::Hit>& buffer) {
    using Hit = typename Hits::Hit;
    if (hits.size() < 256) {
        std::sort(hits.begin(), hits.end());
        return;
    }
    Hit all = 0;
    for (const Hit hit : hits) all |= hit;
    const int bits = std::bit_width(static_cast<std::uint64_t>(all >> Hits::positionShift));
    const int digits = (bits + 10) / 11;
    if (digits == 0) return;
    const int width = (bits + digits - 1) / digits;
    const Hit mask = (Hit{1} << width) - 1;
    buffer.resize(hits.size());
    std::array<std::uint32_t, 2048> counts;
    for (int digit = 0; digit < digits; ++digit) {
        const int shift = Hits::positionShift + digit * width;
        std::fill_n(counts.begin(), mask + 1, 0u);
        for (const Hit hit : hits) ++counts[(hit >> shift) & mask];
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i <= mask; ++i) sum += std::exchange(counts[i], sum);
        for (const Hit hit : hits) buffer[counts[(hit >> shift) & mask]++] = hit;
        hits.swap(buffer);
    }
}

// Sorted hits as key hits, one entry a position, into an empty array. The running entry is kept
// in registers and stored whole after every hit, so that the loop has no branch on whether a hit
// starts a new position (in a repeat's hits a coin toss) and reads nothing back from the array.
template <class Hits>
void aggregateSortedHits(const std::vector<typename Hits::Hit>& hits,
                         std::vector<CandidateKeyHits>& keyHits) {
    keyHits.resize(hits.size());
    CandidateKeyHits* const entries = keyHits.data();
    std::size_t last = 0;
    auto previous = static_cast<std::uint32_t>(hits.front() >> Hits::positionShift);
    std::uint32_t forward = 0, reverse = 0;
    for (const typename Hits::Hit hit : hits) {
        // Masks rather than conditions, which the compiler would turn back into branches.
        const auto position = static_cast<std::uint32_t>(hit >> Hits::positionShift);
        const std::uint32_t same = position == previous ? ~0u : 0u;
        last += 1 + same;  // + 1 at a new position, + 0 at the same
        const std::uint32_t weight = Hits::weight(hit);
        const std::uint32_t isReverse = 0u - static_cast<std::uint32_t>(Hits::isReverse(hit));
        forward = (forward & same) + (weight & ~isReverse);
        reverse = (reverse & same) + (weight & isReverse);
        entries[last] = {position, forward, reverse};
        previous = position;
    }
    keyHits.resize(last + 1);
}

// Adds the collected hits to the store's, in one pass over both.
void mergeCollectedHits(CandidatePositions& store) {
    // Compact hits are collected only into an empty store.
    if (!store.compactHits.empty()) {
        sortCollectedHits<CompactHits>(store.compactHits, store.compactSortBuffer);
        aggregateSortedHits<CompactHits>(store.compactHits, store.keyHits);
        store.compactHits.clear();
    }
    std::vector<std::uint64_t>& hits = store.collectedHits;
    if (hits.empty()) return;
    sortCollectedHits<WideHits>(hits, store.sortBuffer);
    if (store.keyHits.empty()) {
        aggregateSortedHits<WideHits>(hits, store.keyHits);
        hits.clear();
        return;
    }
    std::vector<CandidateKeyHits>& merged = store.mergeBuffer;
    merged.clear();
    merged.reserve(store.keyHits.size() + hits.size());
    auto existing = store.keyHits.begin();
    for (const std::uint64_t hit : hits) {
        const auto position = static_cast<std::uint32_t>(hit >> WideHits::positionShift);
        while (existing != store.keyHits.end() && existing->genomePosition < position)
            merged.push_back(*existing++);
        if (merged.empty() || merged.back().genomePosition != position) {
            const bool present = existing != store.keyHits.end() && existing->genomePosition == position;
            merged.push_back(present ? *existing++ : CandidateKeyHits{position, 0, 0});
        }
        addKeyHits(WideHits::isReverse(hit) ? kReverseComplementOrientation : kForwardOrientation,
                   merged.back(), WideHits::weight(hit));
    }
    merged.insert(merged.end(), existing, store.keyHits.end());
    store.keyHits.swap(merged);
    hits.clear();
}

}  // namespace

void addArrayOfPositionsToCandidatePositionsStruct(std::uint32_t orientation, std::uint32_t positionOffset,
                                                   std::uint16_t count, std::uint32_t evaluationLimit,
                                                   std::span<const std::uint32_t> positions,
                                                   CandidatePositions& store) {
    IndexLookupStatistics& statistics =
        orientation == kForwardOrientation ? store.forwardStatistics : store.reverseComplementStatistics;
    const LookupOutcome outcome = classifyLookup(count, evaluationLimit);
    countLookupOutcome(statistics, outcome);
    if (outcome == LookupOutcome::tooManyCandidates)
        store.minCountArrayValueAboveRepeatCutoff =
            std::min(store.minCountArrayValueAboveRepeatCutoff, count);
    if (outcome == LookupOutcome::candidates)
        mergeKeyPositions(store, orientation, positionOffset, positions, 1);
}

namespace {

struct ReadKeys {
    std::uint32_t base = 0;
    std::uint32_t check = 0;
};

// The window's two word pairs, which lie on two cache lines for one window in eight or so: left
// to the test, that second line stalled the loop.
void prefetchGenomeWindow(const GenomeSequence& genome, std::uint64_t position) {
    const std::uint64_t word = position / 32;
    if (word >= genome.allocatedBinaryEncodedArraySize) return;
    const std::uint32_t* const pair = genome.planeWords.get() + 2 * word;
    prefetchLine(pair);
    const std::uint32_t* const next = pair + 2;
    const bool nextLine =
        (reinterpret_cast<std::uintptr_t>(pair) >> 6) != (reinterpret_cast<std::uintptr_t>(next + 1) >> 6);
    if (nextLine && word + 1 < genome.allocatedBinaryEncodedArraySize) prefetchLine(next);
}

// The high-repeat test of the windows that follow a key's listed windows, answered from the
// lookups of the read's key 32 bases on (the key lookup pass made them): the read's next 32 bases
// match the genome at a window under an encoding exactly when the index lists that window under
// the encoding's key. The windows come in ascending order, so the three lists are walked forward
// alongside them, where testing the genome would read a far place for every window.
class NextWindowLists {
  public:
    NextWindowLists() = default;
    // Usable when each encoding's key either has no window or has its windows listed in full.
    NextWindowLists(const CandidateGenerationScratch::FoundTriple& next, const GenomeSequence& genome) {
        usable_ = true;
        for (int e = 0; e < numberOfKeyEncodings; ++e) {
            const KeyPositions& found = next[e];
            if (found.hasTooManyPositions() || found.count == saturatedKeyCount) usable_ = false;
            const std::span<const std::uint32_t> list = found.positions();
            cursor_[e] = list.data();
            end_[e] = list.data() + list.size();
        }
        // The index lists the windows that end in the utilized words but the last two.
        const std::uint64_t words = genome.utilizedBinaryEncodedArraySize;
        lastListedWindow_ = words < 3 ? 0 : 32 * (words - 3);
        if (words < 3) usable_ = false;
    }

    // Whether the lists can answer for that window (else the genome is read there).
    bool answers(std::uint64_t window) const { return usable_ && window <= lastListedWindow_; }

    // Windows asked about must not decrease from call to call.
    bool matches(std::uint32_t window) {
        bool listed = false;
        for (int e = 0; e < numberOfKeyEncodings; ++e) {
            cursor_[e] = gallopLowerBound(cursor_[e], end_[e], window, std::less<>());
            listed |= cursor_[e] != end_[e] && *cursor_[e] == window;
        }
        return listed;
    }

  private:
    bool usable_ = false;
    std::uint64_t lastListedWindow_ = 0;
    std::array<const std::uint32_t*, numberOfKeyEncodings> cursor_{}, end_{};
};

// The high-repeat step with `weight` hits for each position kept.
void testHighRepeatPositions(std::uint32_t orientation, std::uint32_t positionOffset, std::uint16_t count,
                             std::uint32_t evaluationLimit, std::uint32_t indexingLimit,
                             std::span<const std::uint32_t> positions, CandidatePositions& store,
                             RejectedPositions& rejected, ReadKeys next, const GenomeSequence& genome,
                             std::uint32_t weight, NextWindowLists nextLists = {}) {
    IndexLookupStatistics& statistics = store.highRepeatStatistics;
    if (count == 0) {
        ++statistics.keysWithNoCandidates;
        return;
    }
    if (count <= evaluationLimit) return;  // the key lookup method takes such keys
    if (count > indexingLimit) {
        ++statistics.keysWithTooManyCandidates;
        return;
    }
    const std::span<const std::uint32_t> planePairs = genome.planePairs();
    // New candidates and rejections are collected and merged once, after the key. Only a repeated
    // position 0 can meet them again within the key: it repeats the outcome of its first test.
    std::vector<std::uint32_t>& newRejected = store.newRejected;
    newRejected.clear();
    auto cursor = store.keyHits.begin();
    auto settledCursor = rejected.settled.begin(), ofOffsetCursor = rejected.ofOffset.begin();
    const std::span<const std::uint32_t> inside = positionsInsideGenome(positions, positionOffset);
    // Each test the lists cannot answer reads the genome at a far place: ask for the words a few
    // positions ahead.
    constexpr std::size_t ahead = 16;
    const auto prefetch = [&](std::size_t i) {
        if (!nextLists.answers(std::uint64_t{inside[i]} + 32)) prefetchGenomeWindow(genome, inside[i] + 32);
    };
    for (std::size_t i = 0; i < std::min(ahead, inside.size()); ++i) prefetch(i);
    for (std::size_t i = 0; i < inside.size(); ++i) {
        if (i + ahead < inside.size()) prefetch(i + ahead);
        const std::uint32_t listed = inside[i];
        const std::uint32_t candidate = listed + positionOffset;
        cursor = seek(store.keyHits, cursor, candidate);
        if (cursor != store.keyHits.end() && cursor->genomePosition == candidate) {
            addKeyHits(orientation, *cursor, weight);
            continue;
        }
        settledCursor = gallopLowerBound(settledCursor, rejected.settled.end(), candidate, std::less<>());
        if (settledCursor != rejected.settled.end() && *settledCursor == candidate) continue;
        ofOffsetCursor = gallopLowerBound(ofOffsetCursor, rejected.ofOffset.end(), candidate, std::less<>());
        if (ofOffsetCursor != rejected.ofOffset.end() && *ofOffsetCursor == candidate) continue;
        if (!newRejected.empty() && newRejected.back() == candidate) continue;
        const std::uint32_t window = listed + 32;
        if ((!store.newPositions.empty() && store.newPositions.back() == candidate) ||
            (nextLists.answers(window)
                 ? nextLists.matches(window)
                 : doesEncodeKeyMatchReferenceGenomePosition(next.base, next.check, window, planePairs))) {
            store.newPositions.push_back(candidate);
        } else {
            newRejected.push_back(candidate);
        }
    }
    mergeNewPositions(store, orientation, weight);
    mergeSortedFromTheBack(rejected.ofOffset, newRejected);
}

// The offset's turned-down positions join the earlier ones.
void settleRejections(RejectedPositions& rejected) {
    mergeSortedFromTheBack(rejected.settled, rejected.ofOffset);
    rejected.ofOffset.clear();
}

}  // namespace

void addPositionsToCandidatePositionsStructIfNextBinaryEncodedKeysMatchesReferenceGenome(
    std::uint32_t orientation, std::uint32_t positionOffset, std::uint16_t count,
    std::uint32_t evaluationLimit, std::uint32_t indexingLimit, std::span<const std::uint32_t> positions,
    CandidatePositions& store, std::vector<std::uint32_t>& rejected, std::uint32_t nextBaseKey,
    std::uint32_t nextCheckKey, const GenomeSequence& genome) {
    RejectedPositions all{std::move(rejected), {}};
    testHighRepeatPositions(orientation, positionOffset, count, evaluationLimit, indexingLimit, positions,
                            store, all, {nextBaseKey, nextCheckKey}, genome, 1);
    settleRejections(all);
    rejected = std::move(all.settled);
}

namespace {

ReadKeys keysAt(const ReadOrientationWords& words, std::uint64_t bitOffset) {
    return {getWordAtBitPosition(words.base, bitOffset), getWordAtBitPosition(words.check, bitOffset)};
}

class ReadCandidateGenerator {
  public:
    ReadCandidateGenerator(const CandidateParameters& params, const BinaryIndexes& indexes, const Read& read,
                           CandidatePositions& store, CandidateGenerationScratch& scratch)
        : params_(params),
          indexes_(indexes),
          read_(read),
          store_(store),
          scratch_(scratch),
          limits_(sampledCountLimits({params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex,
                                      params.maximumNumberOfPositionsAKeyCanHaveInAnIndex},
                                     indexes.samplingStep())) {}

    // One pass of the method; with `reuseLookups` the keys' lookups are those of the key lookup
    // pass just made for this read, which looked up every key the high-repeat pass needs.
    void generate(CandidateGenerationMethod method, bool reuseLookups) {
        keyLookup_ = method != CandidateGenerationMethod::highRepeat;
        highRepeat_ = method != CandidateGenerationMethod::keyLookup;
        scratch_.rejected.clear();
        if (!reuseLookups) lookUpKeys();
        // Only the key lookup pass alone collects hits, and compact ones only into an empty store.
        compactHits_ = store_.keyHits.empty() && scratch_.schedules[0].everyWeightIsOne &&
                       scratch_.schedules[1].everyWeightIsOne &&
                       indexes_.genomeSequence->paddedSequenceLength <= (std::uint64_t{1} << 31);
        for (const std::uint32_t orientation : {kForwardOrientation, kReverseComplementOrientation})
            generateOrientation(orientation, reuseLookups);
        mergeCollectedHits(store_);
        if (keyLookup_) {
            computeIndexLookupStatistics(store_.forwardStatistics);
            computeIndexLookupStatistics(store_.reverseComplementStatistics);
            sumIndexLookupStatistics(store_.combinedStatistics, store_.forwardStatistics,
                                     store_.reverseComplementStatistics);
        }
        if (highRepeat_) computeIndexLookupStatistics(store_.highRepeatStatistics);
    }

  private:
    static std::size_t side(std::uint32_t orientation) { return orientation == kForwardOrientation ? 0 : 1; }

    // The keys of the first slots, which the high-repeat method looks at.
    std::size_t highRepeatKeys(const KeySchedule& schedule) const {
        const std::size_t slots =
            read_.length < twoKeyReadLength
                ? 0
                : std::min<std::size_t>(params_.numberOfKeysToGenerateForHighRepeatCandidateGeneration,
                                        schedule.numberOfSlots);
        return slots == 0 ? 0 : schedule.slotEnd[slots - 1];
    }
    std::size_t keysOfPass(const KeySchedule& schedule) const {
        return keyLookup_ ? schedule.numberOfOffsets : highRepeatKeys(schedule);
    }

    // Both orientations' keys, then all their lookups in one pass, so that their cache misses
    // overlap; the merges follow, in key order.
    void lookUpKeys() {
        const std::uint32_t shift = std::max<std::uint32_t>(read_.basesToShiftBetweenKeyGeneration, 1);
        std::size_t total = 0;
        for (const std::uint32_t orientation : {kForwardOrientation, kReverseComplementOrientation}) {
            const ReadOrientationWords words = getReadOrientationWords(read_, orientation);
            KeySchedule& schedule = scratch_.schedules[side(orientation)];
            planKeySchedule(words.firstOffset, words.lastOffset, shift, indexes_.samplingStep(), schedule);
            scratch_.first[side(orientation)] = total;
            for (std::size_t k = 0; k < keysOfPass(schedule); ++k, ++total) {
                const ReadKeys key = keysAt(words, schedule.offsets[k]);
                scratch_.keys[total] = {key.base, key.check, key.base ^ key.check};
            }
        }
        indexes_.lookupKeyTriples(std::span(scratch_.keys.data(), total),
                                  std::span(scratch_.found.data(), total));
    }

    void generateOrientation(std::uint32_t orientation, bool reuseLookups) {
        const ReadOrientationWords words = getReadOrientationWords(read_, orientation);
        const KeySchedule& schedule = scratch_.schedules[side(orientation)];
        const std::size_t repeatKeys = highRepeatKeys(schedule);
        const std::size_t keys = keysOfPass(schedule);
        const std::span<const CandidateGenerationScratch::FoundTriple> found(
            scratch_.found.data() + scratch_.first[side(orientation)],
            reuseLookups || keyLookup_ ? schedule.numberOfOffsets : keys);
        for (std::size_t k = 0; k < keys; ++k) {
            const std::uint32_t positionOffset = words.firstOffset - schedule.offsets[k];
            const std::uint32_t weight = schedule.weights[k];
            if (keyLookup_)
                addKeyLookups(orientation, positionOffset, weight, found[k], scratch_.outcomes[k]);
            if (highRepeat_ && k < repeatKeys)
                testHighRepeatKeys(orientation, positionOffset, weight, found[k],
                                   keysAt(words, schedule.offsets[k] + 32),
                                   nextWindowLists(schedule, found, schedule.offsets[k] + 32, reuseLookups));
        }
        if (keyLookup_) countSlotOutcomes(orientation);
    }

    void addKeyLookups(std::uint32_t orientation, std::uint32_t positionOffset, std::uint32_t weight,
                       const CandidateGenerationScratch::FoundTriple& found,
                       std::array<std::uint8_t, numberOfKeyEncodings>& outcomes) {
        const std::uint32_t evaluationLimit = limits_.evaluationLimit;
        for (int e = 0; e < numberOfKeyEncodings; ++e) {
            const KeyPositions& positions = found[e];
            const LookupOutcome outcome = classifyLookup(positions.count, evaluationLimit);
            outcomes[e] = static_cast<std::uint8_t>(outcome);
            if (outcome == LookupOutcome::tooManyCandidates)
                store_.minCountArrayValueAboveRepeatCutoff =
                    std::min(store_.minCountArrayValueAboveRepeatCutoff, positions.count);
            if (outcome != LookupOutcome::candidates) continue;
            // With the high-repeat method in the same pass, later keys must see earlier hits.
            if (highRepeat_) {
                mergeKeyPositions(store_, orientation, positionOffset, positions.positions(), weight);
            } else if (compactHits_) {
                collectKeyPositions<CompactHits>(store_.compactHits, orientation, positionOffset,
                                                 positions.positions(), weight);
            } else {
                collectKeyPositions<WideHits>(store_.collectedHits, orientation, positionOffset,
                                              positions.positions(), weight);
            }
        }
    }

    // A slot's lookup under an encoding found candidates when any of its keys did, and found too
    // many when none did and some key had too many: the statistics keep the meaning they have for
    // one key a slot.
    void countSlotOutcomes(std::uint32_t orientation) {
        IndexLookupStatistics& statistics = orientation == kForwardOrientation
                                                ? store_.forwardStatistics
                                                : store_.reverseComplementStatistics;
        const KeySchedule& schedule = scratch_.schedules[side(orientation)];
        for (std::size_t slot = 0; slot < schedule.numberOfSlots; ++slot) {
            for (int e = 0; e < numberOfKeyEncodings; ++e) {
                std::uint8_t outcome = 0;
                for (std::size_t k = schedule.slotFirst[slot]; k < schedule.slotEnd[slot]; ++k)
                    outcome = std::max(outcome, scratch_.outcomes[k][e]);
                countLookupOutcome(statistics, static_cast<LookupOutcome>(outcome));
            }
        }
    }

    // The lookups of the key at that offset, when this pass has them: the key lookup pass looked
    // up every key of the schedule.
    NextWindowLists nextWindowLists(const KeySchedule& schedule,
                                    std::span<const CandidateGenerationScratch::FoundTriple> found,
                                    std::uint32_t offset, bool reuseLookups) const {
        if (!keyLookup_ && !reuseLookups) return {};
        const auto* end = schedule.offsets.data() + schedule.numberOfOffsets;
        const auto* at = std::lower_bound(schedule.offsets.data(), end, offset);
        if (at == end || *at != offset) return {};
        return {found[static_cast<std::size_t>(at - schedule.offsets.data())], *indexes_.genomeSequence};
    }

    void testHighRepeatKeys(std::uint32_t orientation, std::uint32_t positionOffset, std::uint32_t weight,
                            const CandidateGenerationScratch::FoundTriple& found, ReadKeys next,
                            NextWindowLists nextLists) {
        for (const KeyPositions& positions : found)
            testHighRepeatPositions(orientation, positionOffset, positions.count, limits_.evaluationLimit,
                                    limits_.indexingLimit, positions.positions(), store_, scratch_.rejected,
                                    next, *indexes_.genomeSequence, weight, nextLists);
        settleRejections(scratch_.rejected);
    }

    const CandidateParameters& params_;
    const BinaryIndexes& indexes_;
    const Read& read_;
    CandidatePositions& store_;
    CandidateGenerationScratch& scratch_;
    const CountLimits limits_;  // as this index applies them to a key's listed windows
    bool keyLookup_ = true;
    bool highRepeat_ = false;
    bool compactHits_ = false;  // the key lookup pass collects compact hits
};

}  // namespace

void generateCandidatePositionsForRead(const CandidateParameters& params, const BinaryIndexes& indexes,
                                       const Read& read, CandidatePositions& store,
                                       CandidateGenerationMethod method) {
    if (!isSupportedReadLength(read.length, indexes.samplingStep())) return;
    auto scratch = std::make_unique<CandidateGenerationScratch>();
    ReadCandidateGenerator(params, indexes, read, store, *scratch).generate(method, false);
}

void generateCandidatePositionsForRead(const CandidateParameters& params, const BinaryIndexes& indexes,
                                       const Read& read, CandidatePositions& store,
                                       CandidateGenerationScratch& scratch) {
    if (!isSupportedReadLength(read.length, indexes.samplingStep())) return;
    ReadCandidateGenerator generator(params, indexes, read, store, scratch);
    generator.generate(CandidateGenerationMethod::keyLookup, false);
    if (useHighCandidateGenerationMethod(params, read, store))
        generator.generate(CandidateGenerationMethod::highRepeat, true);
}

bool useHighCandidateGenerationMethod(const CandidateParameters& params, const Read& read,
                                      const CandidatePositions& store) {
    const double lookups = numberOfIndexLookupsPerformed(read.length, read.basesToShiftBetweenKeyGeneration);
    const auto threshold = static_cast<std::uint32_t>(
        lookups *
        params.maximumPercentageOfKeysThatGeneratedNoCandidatesToTriggerHighRepeatCandidateGeneration);
    return store.combinedStatistics.indexLookupsThatGeneratedNoCandidates >= threshold ||
           store.forwardStatistics.indexLookupsThatGeneratedNoCandidates >= threshold / 2 ||
           store.reverseComplementStatistics.indexLookupsThatGeneratedNoCandidates >= threshold / 2;
}

}  // namespace koru
