#pragma once
// Two-bit-plane nucleotide encoding shared by the genome, the reads and the hash keys.
//
// 32 bases per 32-bit word, base i of a sequence in word i / 32 at bit 31 - (i % 32), so reading a
// word from its most significant bit down gives the bases in order. Per base:
//   base plane  ("A/G"): 1 for A and G
//   check plane ("C/G"): 1 for C and G
//   mask plane (reads):  1 for a called base (A, C, G, T)
// N and every other character encode like T (0, 0) and only the mask tells them apart. The XOR
// plane ("A/C") is never stored; it is base XOR check. Unused low bits of a last word are 0.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace koru {

// Encoding identifiers, in the order every per-encoding array of the system uses.
inline constexpr uint32_t kBaseEncoding = 0;
inline constexpr uint32_t kCheckEncoding = 1;
inline constexpr uint32_t kXorEncoding = 2;
inline constexpr uint32_t kAllEncodings = 3;
inline constexpr uint32_t kNoEncoding = 4;

// Passed as `end` to encode through the end of the text.
inline constexpr uint32_t kToEndOfSequence = 0xFFFFFFFFu;

inline constexpr uint32_t kBasesPerWord = 32;

constexpr uint32_t numberOfWordsForBases(uint64_t numberOfBases) {
    return static_cast<uint32_t>((numberOfBases + kBasesPerWord - 1) / kBasesPerWord);
}

const char* getStringValueOfEncoding(uint32_t encoding);

// The 32 bits of a plane's bit stream that start at bitPosition (bit 0 = top bit of word 0).
// Words beyond the plane read as 0, so windows near the end never leave the array.
inline uint32_t getWordAtBitPosition(std::span<const uint32_t> plane, uint64_t bitPosition) {
    const uint64_t index = bitPosition / kBasesPerWord;
    const uint32_t offset = static_cast<uint32_t>(bitPosition % kBasesPerWord);
    const uint64_t high = index < plane.size() ? plane[index] : 0;
    const uint64_t low = index + 1 < plane.size() ? plane[index + 1] : 0;
    return static_cast<uint32_t>((((high << 32) | low) << offset) >> 32);
}

// The same for one plane of interleaved planes, where word w of plane p (0 base, 1 check) is
// pairs[2w + p]: the layout of the genome, whose two words of any 32 bases share a cache line.
inline uint32_t getPairedWordAtBitPosition(std::span<const uint32_t> pairs, int plane, uint64_t bitPosition) {
    const uint64_t words = pairs.size() / 2;
    const uint64_t index = bitPosition / kBasesPerWord;
    const uint32_t offset = static_cast<uint32_t>(bitPosition % kBasesPerWord);
    const uint64_t high = index < words ? pairs[2 * index + static_cast<uint64_t>(plane)] : 0;
    const uint64_t low = index + 1 < words ? pairs[2 * index + 2 + static_cast<uint64_t>(plane)] : 0;
    return static_cast<uint32_t>((((high << 32) | low) << offset) >> 32);
}

// Both planes' 32 bits at `offset` (below 32) of the interleaved pair words from `pair` on: the
// base and check words of one word, then of the next. No bounds are tested: the caller keeps
// the next pair inside the planes.
struct PlaneWords {
    uint32_t base = 0;
    uint32_t check = 0;
};
inline PlaneWords planeWordsAt(const uint32_t* pair, unsigned offset) {
    return {static_cast<uint32_t>(((uint64_t{pair[0]} << 32 | pair[2]) << offset) >> 32),
            static_cast<uint32_t>(((uint64_t{pair[1]} << 32 | pair[3]) << offset) >> 32)};
}

// Encodes text[start .. min(end, size - 1)] into the planes from word 0 on and returns the
// number of words written. An empty range (start past the text, or end before start) zeroes word
// 0 only. An empty mask span skips the mask (the genome has none); words that would not fit in
// the spans are not written.
uint32_t binaryRepresentationOfSequenceIntegerArrayVersion(std::string_view text, std::span<uint32_t> base,
                                                           std::span<uint32_t> check,
                                                           std::span<uint32_t> mask, uint32_t start,
                                                           uint32_t end);

// Decodes a word pair, top bit first, to A, C, G or T followed by a NUL.
void asciiFormatedStringRepresentationOfSequence(uint32_t baseWord, uint32_t checkWord,
                                                 std::span<char, 33> out);
void asciiFormatedStringRepresentationOfSequenceLongIntegers(uint64_t baseWord, uint64_t checkWord,
                                                             std::span<char, 65> out);

uint32_t reverseBitsOfWord(uint32_t word);

// Reverse complement of an n-word sequence. The result is right-aligned: for a length L that is
// not a multiple of 32 the sequence starts at bit 32n - L, behind reversed padding (base 1,
// check 0, mask 0). n is limited to the shortest of the six spans; input and output must not
// overlap.
void reverseComplementSequence(std::span<const uint32_t> base, std::span<const uint32_t> check,
                               std::span<const uint32_t> mask, std::span<uint32_t> reverseComplementBase,
                               std::span<uint32_t> reverseComplementCheck,
                               std::span<uint32_t> reverseComplementMask, uint32_t numberOfWords);

// `out` becomes the reverse complement in upper case; N, and any character other than A, C, G and
// T, becomes N. `out` is reused within its capacity.
void reverseComplementAsciiEncodedSequence(std::string_view text, std::string& out);
// Writes N for every character other than A, C, G and T (either case): IUPAC codes, n and no-call
// marks such as '.', '-', 'X' or '*' are uncalled bases, as the planes already encode them.
void uncalledBasesToN(std::string& text);
void reverseQualitySequence(std::string_view text, std::string& out);

// The numberOfWords words of each plane of the sequence that starts `shift` bases into word 0.
// Shifts of 32 or more skip whole words; words past the input read as 0.
void memoryAlignSequence(std::span<const uint32_t> base, std::span<const uint32_t> check, uint32_t shift,
                         uint32_t numberOfWords, std::span<uint32_t> outBase, std::span<uint32_t> outCheck);

// True when one of the three encodings of the key equals the 32 genome bases at genomePosition,
// the genome's planes given interleaved (see getPairedWordAtBitPosition). Inline: the high-repeat
// test calls it for every window its lists cannot answer.
inline bool doesEncodeKeyMatchReferenceGenomePosition(uint32_t keyBase, uint32_t keyCheck,
                                                      uint32_t genomePosition,
                                                      std::span<const uint32_t> planePairs) {
    const uint32_t genomeBase = getPairedWordAtBitPosition(planePairs, 0, genomePosition);
    const uint32_t genomeCheck = getPairedWordAtBitPosition(planePairs, 1, genomePosition);
    return keyBase == genomeBase || keyCheck == genomeCheck ||
           (keyBase ^ keyCheck) == (genomeBase ^ genomeCheck);
}

// The bits of a value as '1' and '0', most significant first, followed by a NUL.
void binaryFormattedStringRepresentationOfUnsignedInteger(uint32_t value, std::span<char, 33> out);
void binaryFormattedStringRepresentationOfUnsignedLongInteger(uint64_t value, std::span<char, 65> out);

// Trace dumps: rulers, the bits of every plane word and, with showSequence, the given text or,
// without one, the decoded planes. An empty mask span leaves out the N line.
void sequenceWithNToString(std::string& out, std::string_view prefix, std::span<const uint32_t> base,
                           std::span<const uint32_t> check, std::span<const uint32_t> mask,
                           uint32_t numberOfWords, std::optional<std::string_view> asciiText,
                           bool showSequence);
void printSequence(std::FILE* file, std::string_view prefix, std::span<const uint32_t> base,
                   std::span<const uint32_t> check, uint32_t numberOfWords,
                   std::optional<std::string_view> asciiText, bool showSequence);
void printSequenceWithN(std::FILE* file, std::string_view prefix, std::span<const uint32_t> base,
                        std::span<const uint32_t> check, std::span<const uint32_t> mask,
                        uint32_t numberOfWords, std::optional<std::string_view> asciiText, bool showSequence);

}  // namespace koru
