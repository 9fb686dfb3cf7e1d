#include "sequence/nucleotide_encoding.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace koru {

namespace {

// Per character: bit 2 base plane, bit 1 check plane, bit 0 mask. A table keeps the encoding loop
// free of per-character branches.
constexpr uint8_t kBaseBit = 4;
constexpr uint8_t kCheckBit = 2;
constexpr uint8_t kMaskBit = 1;

constexpr std::array<uint8_t, 256> makeEncodingTable() {
    std::array<uint8_t, 256> table{};
    for (const char letter : {'A', 'a'}) table[static_cast<uint8_t>(letter)] = kBaseBit | kMaskBit;
    for (const char letter : {'C', 'c'}) table[static_cast<uint8_t>(letter)] = kCheckBit | kMaskBit;
    for (const char letter : {'G', 'g'})
        table[static_cast<uint8_t>(letter)] = kBaseBit | kCheckBit | kMaskBit;
    for (const char letter : {'T', 't'}) table[static_cast<uint8_t>(letter)] = kMaskBit;
    return table;
}

constexpr std::array<uint8_t, 256> kEncodingTable = makeEncodingTable();

// Complement in upper case; every character but A, C, G and T (either case) is an uncalled base, N.
constexpr std::array<char, 256> makeComplementTable() {
    std::array<char, 256> table{};
    table.fill('N');
    constexpr std::string_view from = "ACGTNacgtn";
    constexpr std::string_view to = "TGCANTGCAN";
    for (size_t i = 0; i < from.size(); ++i) table[static_cast<uint8_t>(from[i])] = to[i];
    return table;
}

constexpr std::array<char, 256> kComplementTable = makeComplementTable();

// Indexed by (base bit << 1) | check bit.
constexpr char kDecodedLetters[4] = {'T', 'C', 'A', 'G'};

template <typename Word>
void decodeWordPair(Word baseWord, Word checkWord, std::span<char> out) {
    constexpr int kBits = sizeof(Word) * 8;
    for (int bit = kBits - 1, i = 0; bit >= 0; --bit, ++i) {
        const unsigned code = static_cast<unsigned>(((baseWord >> bit) & 1) << 1 | ((checkWord >> bit) & 1));
        out[i] = kDecodedLetters[code];
    }
    out[kBits] = '\0';
}

template <typename Word>
void formatBits(Word value, std::span<char> out) {
    constexpr int kBits = sizeof(Word) * 8;
    for (int bit = kBits - 1, i = 0; bit >= 0; --bit, ++i) out[i] = ((value >> bit) & 1) ? '1' : '0';
    out[kBits] = '\0';
}

void zeroFirstWord(std::span<uint32_t> plane) {
    if (!plane.empty()) plane[0] = 0;
}

// "0         10        20  ..." truncated to the width; each number starts at its own column.
void appendTensRuler(std::string& out, uint32_t width) {
    const size_t start = out.size();
    out.append(width, ' ');
    for (uint32_t column = 0; column < width; column += 10) {
        char digits[16];
        const auto result = std::to_chars(digits, digits + sizeof digits, column);
        const size_t count = std::min<size_t>(static_cast<size_t>(result.ptr - digits), width - column);
        out.replace(start + column, count, digits, count);
    }
}

void appendUnitsRuler(std::string& out, uint32_t width) {
    for (uint32_t column = 0; column < width; ++column) out.push_back(static_cast<char>('0' + column % 10));
}

void appendPlaneBits(std::string& out, std::span<const uint32_t> plane, uint32_t numberOfWords) {
    std::array<char, 33> bits;
    for (uint32_t word = 0; word < numberOfWords; ++word) {
        formatBits(plane[word], std::span<char>(bits));
        out.append(bits.data(), kBasesPerWord);
    }
}

}  // namespace

const char* getStringValueOfEncoding(uint32_t encoding) {
    switch (encoding) {
        case kBaseEncoding:
            return "A/G - BASE";
        case kCheckEncoding:
            return "C/G - CHECK";
        case kXorEncoding:
            return "A/C - XOR(BASE, CHECK)";
        case kAllEncodings:
            return "A/G - BASE, C/G - CHECK, and A/C - XOR(BASE, CHECK)";
        case kNoEncoding:
            return "no encoding";
        default:
            return "unknown encoding type";
    }
}

uint32_t binaryRepresentationOfSequenceIntegerArrayVersion(std::string_view text, std::span<uint32_t> base,
                                                           std::span<uint32_t> check,
                                                           std::span<uint32_t> mask, uint32_t start,
                                                           uint32_t end) {
    const uint64_t length = text.size();
    if (length <= start || end < start) {
        zeroFirstWord(base);
        zeroFirstWord(check);
        zeroFirstWord(mask);
        return 0;
    }
    const uint64_t last = std::min<uint64_t>(end, length - 1);
    const uint64_t wordsNeeded = numberOfWordsForBases(last - start + 1);
    size_t words = std::min({static_cast<size_t>(wordsNeeded), base.size(), check.size()});
    if (!mask.empty()) words = std::min(words, mask.size());

    const auto* characters = reinterpret_cast<const uint8_t*>(text.data());
    for (size_t k = 0; k < words; ++k) {
        const uint64_t first = start + kBasesPerWord * k;
        const uint64_t stop = std::min<uint64_t>(first + kBasesPerWord - 1, last);
        uint32_t baseWord = 0, checkWord = 0, maskWord = 0;
        for (uint64_t i = first; i <= stop; ++i) {
            const uint32_t code = kEncodingTable[characters[i]];
            baseWord = (baseWord << 1) | (code >> 2);
            checkWord = (checkWord << 1) | ((code >> 1) & 1);
            maskWord = (maskWord << 1) | (code & 1);
        }
        // A short last word is filled from the top.
        const uint32_t padding = static_cast<uint32_t>(kBasesPerWord - (stop - first + 1));
        base[k] = baseWord << padding;
        check[k] = checkWord << padding;
        if (!mask.empty()) mask[k] = maskWord << padding;
    }
    return static_cast<uint32_t>(words);
}

void asciiFormatedStringRepresentationOfSequence(uint32_t baseWord, uint32_t checkWord,
                                                 std::span<char, 33> out) {
    decodeWordPair(baseWord, checkWord, std::span<char>(out));
}

void asciiFormatedStringRepresentationOfSequenceLongIntegers(uint64_t baseWord, uint64_t checkWord,
                                                             std::span<char, 65> out) {
    decodeWordPair(baseWord, checkWord, std::span<char>(out));
}

uint32_t reverseBitsOfWord(uint32_t word) {
    word = ((word >> 1) & 0x55555555u) | ((word & 0x55555555u) << 1);
    word = ((word >> 2) & 0x33333333u) | ((word & 0x33333333u) << 2);
    word = ((word >> 4) & 0x0F0F0F0Fu) | ((word & 0x0F0F0F0Fu) << 4);
    return __builtin_bswap32(word);
}

void reverseComplementSequence(std::span<const uint32_t> base, std::span<const uint32_t> check,
                               std::span<const uint32_t> mask, std::span<uint32_t> reverseComplementBase,
                               std::span<uint32_t> reverseComplementCheck,
                               std::span<uint32_t> reverseComplementMask, uint32_t numberOfWords) {
    const size_t words =
        std::min({static_cast<size_t>(numberOfWords), base.size(), check.size(), mask.size(),
                  reverseComplementBase.size(), reverseComplementCheck.size(), reverseComplementMask.size()});
    // Complementing swaps A<->T and C<->G: only the base plane flips.
    for (size_t j = 0; j < words; ++j) {
        const size_t target = words - 1 - j;
        reverseComplementBase[target] = ~reverseBitsOfWord(base[j]);
        reverseComplementCheck[target] = reverseBitsOfWord(check[j]);
        reverseComplementMask[target] = reverseBitsOfWord(mask[j]);
    }
}

void reverseComplementAsciiEncodedSequence(std::string_view text, std::string& out) {
    out.resize(text.size());
    std::transform(text.rbegin(), text.rend(), out.begin(),
                   [](char c) { return kComplementTable[static_cast<uint8_t>(c)]; });
}

void uncalledBasesToN(std::string& text) {
    for (char& c : text)
        if (kComplementTable[static_cast<uint8_t>(c)] == 'N') c = 'N';
}

void reverseQualitySequence(std::string_view text, std::string& out) {
    // Sized, then filled: assigning from reverse iterators builds a temporary string.
    out.resize(text.size());
    std::reverse_copy(text.begin(), text.end(), out.begin());
}

void memoryAlignSequence(std::span<const uint32_t> base, std::span<const uint32_t> check, uint32_t shift,
                         uint32_t numberOfWords, std::span<uint32_t> outBase, std::span<uint32_t> outCheck) {
    const size_t words = std::min({static_cast<size_t>(numberOfWords), outBase.size(), outCheck.size()});
    for (size_t k = 0; k < words; ++k) {
        const uint64_t bit = shift + uint64_t{kBasesPerWord} * k;
        outBase[k] = getWordAtBitPosition(base, bit);
        outCheck[k] = getWordAtBitPosition(check, bit);
    }
}

void binaryFormattedStringRepresentationOfUnsignedInteger(uint32_t value, std::span<char, 33> out) {
    formatBits(value, std::span<char>(out));
}

void binaryFormattedStringRepresentationOfUnsignedLongInteger(uint64_t value, std::span<char, 65> out) {
    formatBits(value, std::span<char>(out));
}

void sequenceWithNToString(std::string& out, std::string_view prefix, std::span<const uint32_t> base,
                           std::span<const uint32_t> check, std::span<const uint32_t> mask,
                           uint32_t numberOfWords, std::optional<std::string_view> asciiText,
                           bool showSequence) {
    const bool hasMask = !mask.empty();
    size_t words = std::min({static_cast<size_t>(numberOfWords), base.size(), check.size()});
    if (hasMask) words = std::min(words, mask.size());
    const auto wordCount = static_cast<uint32_t>(words);
    const uint32_t width = kBasesPerWord * wordCount;
    const std::string_view margin = "                   ";  // as wide as the labels below

    out.append(prefix).append(margin);
    appendTensRuler(out, width);
    out.append("\n").append(prefix).append(margin);
    appendUnitsRuler(out, width);
    out.append("\n");

    out.append(prefix).append("base/agValue     = ");
    appendPlaneBits(out, base, wordCount);
    out.append("\n").append(prefix).append("check/cgValue    = ");
    appendPlaneBits(out, check, wordCount);
    out.append("\n");
    if (hasMask) {
        out.append(prefix).append("N                = ");
        appendPlaneBits(out, mask, wordCount);
        out.append("\n");
    }
    if (showSequence) {
        out.append(prefix).append("Sequence         = ");
        if (asciiText) {
            out.append(*asciiText);
        } else {
            std::array<char, 33> letters;
            for (uint32_t word = 0; word < wordCount; ++word) {
                asciiFormatedStringRepresentationOfSequence(base[word], check[word], letters);
                out.append(letters.data(), kBasesPerWord);
            }
        }
        out.append("\n");
    }
    out.append("\n");
}

void printSequence(std::FILE* file, std::string_view prefix, std::span<const uint32_t> base,
                   std::span<const uint32_t> check, uint32_t numberOfWords,
                   std::optional<std::string_view> asciiText, bool showSequence) {
    printSequenceWithN(file, prefix, base, check, {}, numberOfWords, asciiText, showSequence);
}

void printSequenceWithN(std::FILE* file, std::string_view prefix, std::span<const uint32_t> base,
                        std::span<const uint32_t> check, std::span<const uint32_t> mask,
                        uint32_t numberOfWords, std::optional<std::string_view> asciiText,
                        bool showSequence) {
    std::string text;
    sequenceWithNToString(text, prefix, base, check, mask, numberOfWords, asciiText, showSequence);
    std::fwrite(text.data(), 1, text.size(), file);
}

}  // namespace koru
