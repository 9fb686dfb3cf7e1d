#include "candidates/mismatch_scoring.h"

#include <algorithm>
#include <array>
#include <bit>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE4_1__)
#include <smmintrin.h>
#endif

#include "candidates/candidate_generation.h"
#include "sequence/nucleotide_encoding.h"
#include "support/errors.h"

namespace koru {

namespace {

// The 32 bits of both planes starting at a bit position that may lie before the planes (negative)
// or past them; such bits read as 0. The planes are interleaved, base word w at 2w.
struct PlaneBits {
    std::uint32_t base = 0;
    std::uint32_t check = 0;
};

PlaneBits planeBitsAt(std::span<const std::uint32_t> pairs, std::int64_t bitPosition) {
    const std::int64_t index = bitPosition >= 0 ? bitPosition / 32 : -((-bitPosition + 31) / 32);
    const auto offset = static_cast<std::uint32_t>(bitPosition - index * 32);
    const auto words = static_cast<std::int64_t>(pairs.size() / 2);
    const auto wordAt = [&](std::int64_t i, int plane) -> std::uint64_t {
        return i >= 0 && i < words ? pairs[static_cast<std::size_t>(2 * i + plane)] : 0;
    };
    const auto bits = [&](int plane) {
        return static_cast<std::uint32_t>(
            (((wordAt(index, plane) << 32) | wordAt(index + 1, plane)) << offset) >> 32);
    };
    return {bits(0), bits(1)};
}

std::uint16_t popcount16(std::uint32_t word) {
    return static_cast<std::uint16_t>(std::popcount(word));
}

// Window step: the bases between keys when that is odd (or at most 1), else half of it.
std::uint32_t windowStep(std::uint32_t basesToShift) {
    if (basesToShift <= 1) return 1;
    return basesToShift % 2 == 1 ? basesToShift : basesToShift / 2;
}

// Most reads fit 16 words; longer allocations fall back to the heap. The stream is followed by
// zero words, which the window minimum may read past a short read's last word.
constexpr std::size_t paddingWords = 8;
constexpr std::size_t inlineWords = 16 + paddingWords;

// The fewest mismatches in the 32-bit windows of the mismatch stream starting at `first`, `first`
// + `step` and on while below `last`. The windows starting in one word all lie in it and the next:
// the pair of words is read once and shifted from window to window.
std::uint16_t fewestWindowMismatches(const std::uint32_t* mismatches, std::uint32_t first, std::uint32_t last,
                                     std::uint32_t step) {
    std::uint16_t fewest = 32;
    for (std::uint32_t t = first; t < last;) {
        const std::uint32_t word = t / 32;
        std::uint64_t pair = (std::uint64_t{mismatches[word]} << 32 | mismatches[word + 1]) << (t % 32);
        const std::uint32_t end = std::min(last, 32 * word + 32);
        for (; t < end; t += step, pair <<= step)
            fewest = std::min(fewest, popcount16(static_cast<std::uint32_t>(pair >> 32)));
    }
    return fewest;
}

#if defined(__SSE4_1__)
// Windows every 4 bits (the default 8 bases between keys) of a stream of up to 160 bits from `first`
// are all 32 windows of 8 nibbles at most: nibble counts are summed over 2, 4, then 8 neighbours
// 16 bytes at a time, where the loop above carries a shift and a minimum from window to window.
constexpr std::uint32_t nibbleWindows = 32;

// The mismatch counts of 16 nibbles from bit `bit` of the stream, the first nibble in byte 0.
__m128i nibbleCounts(const std::uint32_t* mismatches, std::uint32_t bit) {
    const std::uint32_t word = bit / 32, shift = bit % 32;
    const std::uint64_t high = std::uint64_t{mismatches[word]} << 32 | mismatches[word + 1];
    std::uint64_t bits = high << shift;
    if (shift != 0) bits |= mismatches[word + 2] >> (32 - shift);
    bits -= (bits >> 1) & 0x5555555555555555u;
    bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
    // The stream's first bits are the word's top ones: reversed bytes put its first nibbles first.
    const __m128i bytes = _mm_cvtsi64_si128(static_cast<long long>(__builtin_bswap64(bits)));
    const __m128i low = _mm_set1_epi8(0x0F);
    return _mm_unpacklo_epi8(_mm_and_si128(_mm_srli_epi16(bytes, 4), low), _mm_and_si128(bytes, low));
}

// The three pieces of 64 bits read up to 7 words from the first window's, into the padding.
std::uint16_t fewestNibbleWindowMismatches(const std::uint32_t* mismatches, std::uint32_t first,
                                           std::uint32_t windows) {
    const std::uint32_t* const stream = mismatches + first / 32;
    first %= 32;
    const __m128i counts[3] = {nibbleCounts(stream, first), nibbleCounts(stream, first + 64),
                               nibbleCounts(stream, first + 128)};
    // Sums of 2, 4 and 8 neighbours; the third vector is only read for the first two's last sums.
    const __m128i zero = _mm_setzero_si128();
    __m128i sums[3];
    sums[2] = _mm_add_epi8(counts[2], _mm_alignr_epi8(zero, counts[2], 1));
    sums[1] = _mm_add_epi8(counts[1], _mm_alignr_epi8(counts[2], counts[1], 1));
    sums[0] = _mm_add_epi8(counts[0], _mm_alignr_epi8(counts[1], counts[0], 1));
    sums[0] = _mm_add_epi8(sums[0], _mm_alignr_epi8(sums[1], sums[0], 2));
    sums[1] = _mm_add_epi8(sums[1], _mm_alignr_epi8(sums[2], sums[1], 2));
    sums[2] = _mm_add_epi8(sums[2], _mm_alignr_epi8(zero, sums[2], 2));
    sums[0] = _mm_add_epi8(sums[0], _mm_alignr_epi8(sums[1], sums[0], 4));
    sums[1] = _mm_add_epi8(sums[1], _mm_alignr_epi8(sums[2], sums[1], 4));
    // Windows past the last read as 32 mismatches, which no window exceeds.
    const __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i count = _mm_set1_epi8(static_cast<char>(windows));
    const __m128i full = _mm_set1_epi8(32);
    const __m128i second = _mm_add_epi8(index, _mm_set1_epi8(16));
    __m128i fewest = _mm_min_epu8(_mm_blendv_epi8(full, sums[0], _mm_cmplt_epi8(index, count)),
                                  _mm_blendv_epi8(full, sums[1], _mm_cmplt_epi8(second, count)));
    fewest = _mm_min_epu8(fewest, _mm_srli_si128(fewest, 8));
    fewest = _mm_min_epu8(fewest, _mm_srli_si128(fewest, 4));
    fewest = _mm_min_epu8(fewest, _mm_srli_si128(fewest, 2));
    fewest = _mm_min_epu8(fewest, _mm_srli_si128(fewest, 1));
    return static_cast<std::uint16_t>(_mm_cvtsi128_si32(fewest) & 0xFF);
}
#endif

}  // namespace

void calculateMismatchScoresUsingBinaryEncodings(const Read& read, std::uint32_t orientation,
                                                 CandidatePosition& candidate, const GenomeSequence& genome) {
    if (orientation != kForwardOrientation && orientation != kReverseComplementOrientation)
        exitWithError(
            "ERROR: A read was scored in an orientation that is neither forward nor reverse complement.\n");
    const ReadOrientationWords words = getReadOrientationWords(read, orientation);
    const std::size_t n = read.binaryEncodedArraySize;
    std::array<std::uint32_t, inlineWords> inlineMismatches;
    std::vector<std::uint32_t> heapMismatches;
    std::uint32_t* mismatches = inlineMismatches.data();
    if (n + paddingWords > inlineWords) {
        heapMismatches.resize(n + paddingWords);
        mismatches = heapMismatches.data();
    }
    const std::span<const std::uint32_t> planePairs = genome.planePairs();
    // Bit f of the read's stream lines up with genome position g.
    const std::int64_t start = static_cast<std::int64_t>(candidate.genomePosition) - words.firstOffset;
    std::uint32_t wholeRead = 0;
    const auto compare = [&](std::size_t i, PlaneBits genomeBits) {
        const std::uint32_t differs = (genomeBits.base ^ words.base[i]) | (genomeBits.check ^ words.check[i]);
        mismatches[i] = differs & words.mask[i];
        wholeRead += static_cast<std::uint32_t>(std::popcount(mismatches[i]));
    };
    if (start >= 0 && static_cast<std::uint64_t>(start) / 32 + n + 1 < planePairs.size() / 2) {
        // Inside the planes, nearly always: each genome word is read once, with no bounds to test.
        const std::uint32_t* pair = planePairs.data() + 2 * (static_cast<std::uint64_t>(start) / 32);
        const auto offset = static_cast<unsigned>(start % 32);
        for (std::size_t i = 0; i < n; ++i, pair += 2) {
            const PlaneWords genomeWords = planeWordsAt(pair, offset);
            compare(i, {genomeWords.base, genomeWords.check});
        }
    } else {
        for (std::size_t i = 0; i < n; ++i)
            compare(i, planeBitsAt(planePairs, start + 32 * static_cast<std::int64_t>(i)));
    }
    std::fill_n(mismatches + n, paddingWords, 0u);
    // Every window lies inside the read's words, so the stream needs no bounds.
    const auto window = [mismatches](std::uint32_t t) {
        const std::uint64_t pair = std::uint64_t{mismatches[t / 32]} << 32 | mismatches[t / 32 + 1];
        return static_cast<std::uint16_t>(
            std::popcount(static_cast<std::uint32_t>((pair << (t % 32)) >> 32)));
    };
    // The windows every step from the first, then the last. The windows starting in one word all
    // lie in it and the next: the pair of words is read once and shifted from window to window.
    const std::uint32_t step = windowStep(read.basesToShiftBetweenKeyGeneration);
    std::uint16_t minWord = window(words.lastOffset);
#if defined(__SSE4_1__)
    const std::uint32_t nibbleSteps = (words.lastOffset - words.firstOffset + 3) / 4;
    if (step == 4 && nibbleSteps <= nibbleWindows)
        minWord = std::min(minWord, fewestNibbleWindowMismatches(mismatches, words.firstOffset, nibbleSteps));
    else
#endif
        minWord =
            std::min(minWord, fewestWindowMismatches(mismatches, words.firstOffset, words.lastOffset, step));
    const std::span<const std::uint32_t> stream(mismatches, n + 1);
    const std::uint16_t firstWindow = popcount16(getWordAtBitPosition(stream, words.firstOffset));
    const std::uint16_t lastWindow = popcount16(getWordAtBitPosition(stream, words.lastOffset));
    MappingScores& scores = orientation == kForwardOrientation ? candidate.forwardMappingScores
                                                               : candidate.reverseComplementMappingScores;
    populateMisMatchScores(orientation, scores.mismatchScores, static_cast<std::uint16_t>(wholeRead), minWord,
                           firstWindow, lastWindow);
    // Under 64 bases the first and last words overlap and no word lies between them.
    if (read.length < twoKeyReadLength) scores.mismatchScores.middleWordsScore = 0;
}

namespace {

// Mismatches of the compared texts, position by position; reference bases past its end differ.
struct TextComparison {
    std::string_view read;
    std::string_view reference;

    bool differs(std::size_t i) const { return i >= reference.size() || read[i] != reference[i]; }
    std::uint32_t count(std::size_t from, std::size_t to) const {
        std::uint32_t mismatches = 0;
        for (std::size_t i = from; i < to; ++i) mismatches += differs(i);
        return mismatches;
    }
};

// The fewest mismatches in any 32-position window of the first `length` positions.
std::uint32_t slidingWindowMinimum(const TextComparison& texts, std::size_t length) {
    std::uint32_t window = texts.count(0, 32);
    std::uint32_t minimum = window;
    for (std::size_t start = 1; start + 32 <= length; ++start) {
        window = window + texts.differs(start + 31) - texts.differs(start - 1);
        minimum = std::min(minimum, window);
    }
    return minimum;
}

}  // namespace

void calculateMismatchScoresUsingAsciiEncodings(Read& read, std::uint32_t orientation,
                                                CandidatePosition& candidate, const GenomeSequence& genome) {
    std::string reference, buffer;
    calculateMismatchScoresUsingAsciiEncodings(read, orientation, candidate, genome, reference, buffer);
}

void calculateMismatchScoresUsingAsciiEncodings(Read& read, std::uint32_t orientation,
                                                CandidatePosition& candidate, const GenomeSequence& genome,
                                                std::string& reference, std::string& buffer) {
    const char* readText = getReadSequenceForOrientation(read, orientation);
    if (readText == nullptr)
        exitWithError(
            "ERROR: A read was scored in an orientation that is neither forward nor reverse complement.\n");
    // The reference the read and an indel can reach; the text ends where the genome's does.
    const IndelDescriptor& indel = candidate.indelDescriptor;
    referenceText(genome, candidate.genomePosition, read.length + (indel.present ? indel.size : 0),
                  reference);
    const char* compared = reference.c_str();
    const std::uint32_t length = applyIndelToReadAndReferenceSequencePointers(
        &candidate.indelDescriptor, read, readText, compared, buffer);
    const std::size_t referenceLength = std::string_view(compared).size();
    const TextComparison texts{{readText, length},
                               {compared, std::min<std::size_t>(referenceLength, length)}};
    const std::size_t firstEnd = std::min<std::size_t>(32, length);
    const std::size_t lastStart = length >= 64 ? length - 32 : firstEnd;
    const std::uint32_t first = texts.count(0, firstEnd);
    const std::uint32_t middle = length > 64 ? texts.count(32, length - 32) : 0;
    const std::uint32_t last = texts.count(lastStart, length);
    const std::uint32_t minimum = length >= 32 ? slidingWindowMinimum(texts, length) : first;
    populateMisMatchScores(orientation, candidate.chosenMappingScores.mismatchScores,
                           static_cast<std::uint16_t>(first + middle + last),
                           static_cast<std::uint16_t>(minimum), static_cast<std::uint16_t>(first),
                           static_cast<std::uint16_t>(last));
}

void chooseCandidateOrientation(CandidatePosition& candidate) {
    const MappingScores& forward = candidate.forwardMappingScores;
    const MappingScores& reverse = candidate.reverseComplementMappingScores;
    const bool isForward = forward.mismatchScores.wholeReadScore < reverse.mismatchScores.wholeReadScore;
    candidate.chosenMappingScores.mismatchScores =
        isForward ? forward.mismatchScores : reverse.mismatchScores;
    candidate.orientation = isForward ? kForwardOrientation : kReverseComplementOrientation;
    candidate.chosenMappingScores.numberOfAssociatedKeys =
        forward.numberOfAssociatedKeys + reverse.numberOfAssociatedKeys;
}

std::uint32_t calculateMappingScoresForCandidatePosition(const Read& read, CandidatePosition& candidate,
                                                         const GenomeSequence& genome) {
    if (candidate.forwardMappingScores.numberOfAssociatedKeys != 0) {
        calculateMismatchScoresUsingBinaryEncodings(read, kForwardOrientation, candidate, genome);
    } else {
        initMismatchScores(candidate.forwardMappingScores.mismatchScores);
    }
    if (candidate.reverseComplementMappingScores.numberOfAssociatedKeys != 0) {
        calculateMismatchScoresUsingBinaryEncodings(read, kReverseComplementOrientation, candidate, genome);
    } else {
        initMismatchScores(candidate.reverseComplementMappingScores.mismatchScores);
    }
    chooseCandidateOrientation(candidate);
    return candidate.chosenMappingScores.numberOfAssociatedKeys;
}

}  // namespace koru
