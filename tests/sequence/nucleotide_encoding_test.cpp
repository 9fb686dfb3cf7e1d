#include "sequence/nucleotide_encoding.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace koru {
namespace {

struct Planes {
    std::vector<uint32_t> base, check, mask;
    uint32_t written = 0;
};

Planes encode(std::string_view text, uint32_t start = 0, uint32_t end = kToEndOfSequence) {
    const uint32_t words = std::max<uint32_t>(1, numberOfWordsForBases(text.size()));
    Planes planes{std::vector<uint32_t>(words), std::vector<uint32_t>(words), std::vector<uint32_t>(words)};
    planes.written = binaryRepresentationOfSequenceIntegerArrayVersion(text, planes.base, planes.check,
                                                                       planes.mask, start, end);
    return planes;
}

Planes reverseComplement(const Planes& in) {
    const size_t n = in.base.size();
    Planes out{std::vector<uint32_t>(n), std::vector<uint32_t>(n), std::vector<uint32_t>(n)};
    reverseComplementSequence(in.base, in.check, in.mask, out.base, out.check, out.mask,
                              static_cast<uint32_t>(n));
    return out;
}

std::string decode(uint32_t base, uint32_t check) {
    std::array<char, 33> text;
    asciiFormatedStringRepresentationOfSequence(base, check, text);
    return text.data();
}

std::string randomBases(std::mt19937& random, size_t length, std::string_view alphabet) {
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::string text(length, ' ');
    for (char& c : text) c = alphabet[pick(random)];
    return text;
}

TEST(NucleotideEncodingTest, AcgtHasTheDocumentedBitLayoutInEveryCase) {
    for (const char* text : {"ACGT", "acgt", "AcGt"}) {
        const Planes planes = encode(text);
        EXPECT_EQ(planes.base[0], 0xA0000000u) << text;
        EXPECT_EQ(planes.check[0], 0x60000000u) << text;
        EXPECT_EQ(planes.mask[0], 0xF0000000u) << text;
        EXPECT_EQ(planes.written, 1u);
    }
}

TEST(NucleotideEncodingTest, WordBoundaries) {
    const Planes one = encode("G");
    EXPECT_EQ(one.base[0], 0x80000000u);
    EXPECT_EQ(one.check[0], 0x80000000u);
    EXPECT_EQ(one.mask[0], 0x80000000u);

    std::string text;
    for (int i = 0; i < 8; ++i) text += "ACGT";
    const Planes full = encode(text);
    ASSERT_EQ(full.written, 1u);
    EXPECT_EQ(full.base[0], 0xAAAAAAAAu);
    EXPECT_EQ(full.check[0], 0x66666666u);
    EXPECT_EQ(full.mask[0], 0xFFFFFFFFu);

    const Planes spill = encode(text + "C");
    ASSERT_EQ(spill.written, 2u);
    EXPECT_EQ(spill.base[0], 0xAAAAAAAAu);
    EXPECT_EQ(spill.base[1], 0u);
    EXPECT_EQ(spill.check[1], 0x80000000u);
    EXPECT_EQ(spill.mask[1], 0x80000000u);
}

TEST(NucleotideEncodingTest, UncalledBasesDifferFromTOnlyInTheMask) {
    const Planes n = encode("NNNN");
    const Planes t = encode("TTTT");
    EXPECT_EQ(n.base[0], t.base[0]);
    EXPECT_EQ(n.check[0], t.check[0]);
    EXPECT_EQ(n.mask[0], 0u);
    EXPECT_EQ(t.mask[0], 0xF0000000u);
    const Planes other = encode("R.A");
    EXPECT_EQ(other.base[0], 0x20000000u);
    EXPECT_EQ(other.mask[0], 0x20000000u);
}

TEST(NucleotideEncodingTest, EncodesOnlyTheRequestedRange) {
    const Planes middle = encode("TTACGTTT", 2, 5);
    EXPECT_EQ(middle.base[0], 0xA0000000u);
    EXPECT_EQ(middle.check[0], 0x60000000u);
    EXPECT_EQ(middle.mask[0], 0xF0000000u);

    // An end past the text stops at its last character.
    const Planes tail = encode("TTAC", 2, 1000);
    EXPECT_EQ(tail.base[0], 0x80000000u);
    EXPECT_EQ(tail.check[0], 0x40000000u);
}

TEST(NucleotideEncodingTest, EmptyRangesZeroOnlyTheFirstWord) {
    // Start at the end of the text, start past it, and an end before the start.
    const std::pair<uint32_t, uint32_t> ranges[] = {{4, kToEndOfSequence}, {9, 20}, {3, 1}};
    for (const auto& [start, end] : ranges) {
        std::vector<uint32_t> base{~0u, ~0u}, check{~0u, ~0u}, mask{~0u, ~0u};
        EXPECT_EQ(binaryRepresentationOfSequenceIntegerArrayVersion("ACGT", base, check, mask, start, end),
                  0u);
        EXPECT_EQ(base, (std::vector<uint32_t>{0, ~0u}));
        EXPECT_EQ(check, (std::vector<uint32_t>{0, ~0u}));
        EXPECT_EQ(mask, (std::vector<uint32_t>{0, ~0u}));
    }
}

TEST(NucleotideEncodingTest, NeverWritesPastTheGivenPlanes) {
    std::vector<uint32_t> base(2, 7), check(2, 7), mask(2, 7);
    const std::string text(40, 'G');
    const uint32_t written = binaryRepresentationOfSequenceIntegerArrayVersion(
        text, std::span(base).first(1), std::span(check).first(1), std::span(mask).first(1), 0,
        kToEndOfSequence);
    EXPECT_EQ(written, 1u);
    EXPECT_EQ(base[0], 0xFFFFFFFFu);
    EXPECT_EQ(base[1], 7u);
    EXPECT_EQ(mask[1], 7u);

    // Without a mask plane (the genome's case) only base and check are written.
    EXPECT_EQ(binaryRepresentationOfSequenceIntegerArrayVersion("CA", base, check, {}, 0, kToEndOfSequence),
              1u);
    EXPECT_EQ(base[0], 0x40000000u);
    EXPECT_EQ(check[0], 0x80000000u);
}

TEST(NucleotideEncodingTest, RendersWordsAsLettersAndBits) {
    EXPECT_EQ(decode(0xA0000000u, 0x60000000u), std::string("ACGT") + std::string(28, 'T'));
    std::array<char, 65> wide;
    asciiFormatedStringRepresentationOfSequenceLongIntegers(0xA000000000000001ull, 0x6000000000000001ull,
                                                            wide);
    EXPECT_EQ(std::string(wide.data()), std::string("ACGT") + std::string(59, 'T') + "G");

    std::array<char, 33> narrow;
    binaryFormattedStringRepresentationOfUnsignedInteger(0x80000003u, narrow);
    EXPECT_EQ(std::string(narrow.data()), std::string("1") + std::string(29, '0') + "11");
    binaryFormattedStringRepresentationOfUnsignedLongInteger(0x8000000000000001ull, wide);
    EXPECT_EQ(std::string(wide.data()), std::string("1") + std::string(62, '0') + "1");

    EXPECT_EQ(reverseBitsOfWord(1u), 0x80000000u);
    EXPECT_EQ(reverseBitsOfWord(0x12345678u), 0x1E6A2C48u);
}

TEST(NucleotideEncodingTest, ReverseComplementOfAFullWord) {
    const Planes reverse = reverseComplement(encode(std::string(31, 'A') + "C"));
    // GTTT...T
    EXPECT_EQ(reverse.base[0], 0x80000000u);
    EXPECT_EQ(reverse.check[0], 0x80000000u);
    EXPECT_EQ(reverse.mask[0], 0xFFFFFFFFu);
}

TEST(NucleotideEncodingTest, ReverseComplementOf33BasesIsRightAligned) {
    // G A*31 C -> G T*31 C, starting at bit 31 of word 0 behind 31 padding bits.
    const Planes reverse = reverseComplement(encode(std::string("G") + std::string(31, 'A') + "C"));
    EXPECT_EQ(reverse.base[0], 0xFFFFFFFFu);  // padding reads as base 1, then G
    EXPECT_EQ(reverse.check[0], 0x00000001u);
    EXPECT_EQ(reverse.mask[0], 0x00000001u);
    EXPECT_EQ(reverse.base[1], 0x00000000u);
    EXPECT_EQ(reverse.check[1], 0x00000001u);
    EXPECT_EQ(reverse.mask[1], 0xFFFFFFFFu);
}

TEST(NucleotideEncodingTest, ReverseComplementRoundTripsAndMatchesAsciiForManyLengths) {
    std::mt19937 random(20240611);
    for (size_t length = 1; length <= 600; ++length) {
        const std::string text = randomBases(random, length, "ACGTNacgtn");
        const Planes forward = encode(text);
        const Planes reverse = reverseComplement(forward);
        const Planes twice = reverseComplement(reverse);
        ASSERT_EQ(twice.base, forward.base) << length;
        ASSERT_EQ(twice.check, forward.check) << length;
        ASSERT_EQ(twice.mask, forward.mask) << length;

        std::string expected;
        reverseComplementAsciiEncodedSequence(text, expected);
        const uint64_t offset = 32ull * forward.base.size() - length;
        for (size_t i = 0; i < length; ++i) {
            const uint64_t bit = offset + i;
            const uint32_t shift = 31 - static_cast<uint32_t>(bit % 32);
            const uint32_t b = (reverse.base[bit / 32] >> shift) & 1;
            const uint32_t c = (reverse.check[bit / 32] >> shift) & 1;
            const uint32_t m = (reverse.mask[bit / 32] >> shift) & 1;
            const char decoded = "TCAG"[b << 1 | c];
            if (expected[i] == 'N') {
                ASSERT_EQ(m, 0u) << "length " << length << " base " << i;
            } else {
                ASSERT_EQ(m, 1u) << "length " << length << " base " << i;
                ASSERT_EQ(decoded, expected[i]) << "length " << length << " base " << i;
            }
        }
        // The padding in front is 0 in the mask.
        for (uint64_t bit = 0; bit < offset; ++bit) {
            ASSERT_EQ((reverse.mask[bit / 32] >> (31 - bit % 32)) & 1, 0u) << length;
        }
    }
}

TEST(NucleotideEncodingTest, AsciiReverseComplementAndReversedQuality) {
    std::string out = "stale contents that are longer";
    reverseComplementAsciiEncodedSequence("acgtn", out);
    EXPECT_EQ(out, "NACGT");
    reverseComplementAsciiEncodedSequence("AACG", out);
    EXPECT_EQ(out, "CGTT");

    reverseQualitySequence("ABC#", out);
    EXPECT_EQ(out, "#CBA");
    reverseQualitySequence("", out);
    EXPECT_EQ(out, "");
}

TEST(NucleotideEncodingDeathTest, AsciiReverseComplementRejectsUnknownBasesAndEmptyText) {
    std::string out;
    EXPECT_EXIT(reverseComplementAsciiEncodedSequence("ACXG", out), testing::ExitedWithCode(1),
                "^Unrecognized base \"X\" in reverseComplementAsciiEncodedSequence\n$");
    EXPECT_EXIT(reverseComplementAsciiEncodedSequence("", out), testing::ExitedWithCode(1),
                "^Unrecognized base \"\" in reverseComplementAsciiEncodedSequence\n$");
}

TEST(NucleotideEncodingTest, MemoryAlignSequenceShiftsAcrossWords) {
    const std::vector<uint32_t> base{0x12345678u, 0x9ABCDEF0u};
    const std::vector<uint32_t> check{0xFFFFFFFFu, 0x00000000u};
    std::vector<uint32_t> outBase(2), outCheck(2);

    memoryAlignSequence(base, check, 0, 2, outBase, outCheck);
    EXPECT_EQ(outBase, base);
    EXPECT_EQ(outCheck, check);

    memoryAlignSequence(base, check, 8, 1, outBase, outCheck);
    EXPECT_EQ(outBase[0], 0x3456789Au);
    EXPECT_EQ(outCheck[0], 0xFFFFFF00u);

    // The second word would need a third input word; missing words read as 0.
    memoryAlignSequence(base, check, 8, 2, outBase, outCheck);
    EXPECT_EQ(outBase[1], 0xBCDEF000u);

    // A shift of a word or more starts in a later word.
    memoryAlignSequence(base, check, 40, 1, outBase, outCheck);
    EXPECT_EQ(outBase[0], 0xBCDEF000u);
}

TEST(NucleotideEncodingTest, MemoryAlignSequenceExtractsEveryWindowOfAText) {
    std::mt19937 random(7);
    const std::string text = randomBases(random, 200, "ACGT");
    const Planes planes = encode(text);
    for (uint32_t p = 0; p < text.size(); ++p) {
        uint32_t base = 0, check = 0;
        memoryAlignSequence(std::span(planes.base).subspan(p / 32), std::span(planes.check).subspan(p / 32),
                            p % 32, 1, std::span(&base, 1), std::span(&check, 1));
        const Planes window = encode(text.substr(p, 32));
        ASSERT_EQ(base, window.base[0]) << p;
        ASSERT_EQ(check, window.check[0]) << p;
    }
}

TEST(NucleotideEncodingTest, KeyMatchesWhenAnyOneEncodingAgrees) {
    std::mt19937 random(11);
    const std::string genome = randomBases(random, 128, "ACGT");
    const Planes planes = encode(genome);
    const uint32_t position = 45;
    const Planes window = encode(genome.substr(position, 32));
    const uint32_t b = window.base[0], c = window.check[0];

    std::vector<uint32_t> pairs;
    for (std::size_t w = 0; w < planes.base.size(); ++w)
        pairs.insert(pairs.end(), {planes.base[w], planes.check[w]});
    const auto matches = [&](uint32_t keyBase, uint32_t keyCheck) {
        return doesEncodeKeyMatchReferenceGenomePosition(keyBase, keyCheck, position, pairs);
    };
    EXPECT_TRUE(matches(b, c));
    EXPECT_TRUE(matches(b, ~c));   // base plane alone
    EXPECT_TRUE(matches(~b, c));   // check plane alone
    EXPECT_TRUE(matches(~b, ~c));  // only the XOR agrees
    EXPECT_FALSE(matches(b ^ 1u, c ^ 2u));
}

TEST(NucleotideEncodingTest, KeyMatchNearTheEndOfThePlanesStaysInside) {
    // Base words 0 and 0xFF, check words 0 and 0xF, interleaved.
    const std::vector<uint32_t> pairs{0u, 0u, 0x000000FFu, 0x0000000Fu};
    // 24 bases of word 1 and 8 missing ones that read as 0.
    EXPECT_TRUE(doesEncodeKeyMatchReferenceGenomePosition(0x0000FF00u, 0u, 40, pairs));
    EXPECT_TRUE(doesEncodeKeyMatchReferenceGenomePosition(0u, 0u, 64, pairs));
    EXPECT_TRUE(doesEncodeKeyMatchReferenceGenomePosition(0u, 0u, 0xFFFFFFFFu, pairs));
    EXPECT_FALSE(doesEncodeKeyMatchReferenceGenomePosition(1u, 2u, 1000, pairs));
}

TEST(NucleotideEncodingTest, EncodingNames) {
    EXPECT_STREQ(getStringValueOfEncoding(0), "A/G - BASE");
    EXPECT_STREQ(getStringValueOfEncoding(1), "C/G - CHECK");
    EXPECT_STREQ(getStringValueOfEncoding(2), "A/C - XOR(BASE, CHECK)");
    EXPECT_STREQ(getStringValueOfEncoding(3), "A/G - BASE, C/G - CHECK, and A/C - XOR(BASE, CHECK)");
    EXPECT_STREQ(getStringValueOfEncoding(4), "no encoding");
    EXPECT_STREQ(getStringValueOfEncoding(5), "unknown encoding type");
}

TEST(NucleotideEncodingTest, TraceDumpOfOneWord) {
    const Planes planes = encode("ACGN");
    std::string out;
    sequenceWithNToString(out, "\t", planes.base, planes.check, planes.mask, 1, "ACGN", true);
    EXPECT_EQ(out,
              "\t                   0         10        20        30\n"
              "\t                   01234567890123456789012345678901\n"
              "\tbase/agValue     = 10100000000000000000000000000000\n"
              "\tcheck/cgValue    = 01100000000000000000000000000000\n"
              "\tN                = 11100000000000000000000000000000\n"
              "\tSequence         = ACGN\n"
              "\n");

    // Without a mask there is no N line; without a text the planes are decoded.
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    printSequence(file, "", planes.base, planes.check, 1, std::nullopt, true);
    std::rewind(file);
    out.clear();
    for (int c; (c = std::fgetc(file)) != EOF;) out.push_back(static_cast<char>(c));
    std::fclose(file);
    EXPECT_NE(out.find("check/cgValue    = 01100000000000000000000000000000\nSequence         = ACGT" +
                       std::string(28, 'T') + "\n\n"),
              std::string::npos);
    EXPECT_EQ(out.find("N                = "), std::string::npos);
}

TEST(NucleotideEncodingTest, TraceRulersCoverLongSequences) {
    const std::vector<uint32_t> planes(16, 0u);  // 512 bases, the longest read
    std::string out;
    sequenceWithNToString(out, "", planes, planes, {}, 16, std::nullopt, false);
    const size_t firstEnd = out.find('\n');
    const std::string tens = out.substr(19, firstEnd - 19);
    const std::string units = out.substr(firstEnd + 1 + 19, 512);
    ASSERT_EQ(tens.size(), 512u);
    EXPECT_EQ(tens.substr(0, 12), "0         10");
    EXPECT_EQ(tens.substr(100, 13), "100       110");
    EXPECT_EQ(tens.substr(250, 13), "250       260");
    EXPECT_EQ(tens.substr(500, 12), "500       51");  // cut at the width
    EXPECT_EQ(units.substr(0, 12), "012345678901");
    EXPECT_EQ(units.substr(505, 7), "5678901");
    EXPECT_EQ(out.find("Sequence"), std::string::npos);
}

}  // namespace
}  // namespace koru
