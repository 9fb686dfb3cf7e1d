#include "sequence/nucleotide_encoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace koru {
namespace {

using Words = std::vector<uint32_t>;

struct Planes {
    Words base, check, mask;
    uint32_t written = 0;
};

Planes encode(std::string_view text, uint32_t start = 0, uint32_t end = kToEndOfSequence) {
    const uint32_t words = std::max<uint32_t>(1, numberOfWordsForBases(text.size()));
    Planes planes{Words(words), Words(words), Words(words)};
    planes.written = binaryRepresentationOfSequenceIntegerArrayVersion(text, planes.base, planes.check,
                                                                       planes.mask, start, end);
    return planes;
}

std::string randomBases(std::mt19937& random, size_t length, std::string_view alphabet) {
    std::string text(length, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    return text;
}

// N differs from T only in the mask; other characters encode like N.
TEST(NucleotideEncodingTest, BitLayoutOfBasesRangesAndWordBoundaries) {
    const std::string word = "ACGTACGTACGTACGTACGTACGTACGTACGT";
    const uint32_t all = kToEndOfSequence;
    const struct {
        std::string text;
        uint32_t start, end;
        Words base, check, mask;
    } cases[] = {
        {"ACGT", 0, all, {0xA0000000}, {0x60000000}, {0xF0000000}},
        {"AcGt", 0, all, {0xA0000000}, {0x60000000}, {0xF0000000}},
        {"G", 0, all, {0x80000000}, {0x80000000}, {0x80000000}},
        {word, 0, all, {0xAAAAAAAA}, {0x66666666}, {0xFFFFFFFF}},
        {word + "C", 0, all, {0xAAAAAAAA, 0}, {0x66666666, 0x80000000}, {0xFFFFFFFF, 0x80000000}},
        {"NNNN", 0, all, {0}, {0}, {0}},
        {"TTTT", 0, all, {0}, {0}, {0xF0000000}},
        {"R.A", 0, all, {0x20000000}, {0}, {0x20000000}},
        {"TTACGTTT", 2, 5, {0xA0000000}, {0x60000000}, {0xF0000000}},
        {"TTAC", 2, 1000, {0x80000000}, {0x40000000}, {0xC0000000}},  // an end past the text
    };
    for (const auto& c : cases) {
        const Planes planes = encode(c.text, c.start, c.end);
        EXPECT_EQ(std::tuple(planes.base, planes.check, planes.mask, planes.written),
                  std::tuple(c.base, c.check, c.mask, c.base.size()))
            << c.text;
    }
}

// An empty range (at the end of the text, past it, or ending before its start) zeroes only the
// first word; the planes given bound what is written, and without a mask plane (the genome's
// case) only base and check are written.
TEST(NucleotideEncodingTest, EmptyRangesAndShortPlanesAreRespected) {
    for (const auto& [start, end] :
         {std::pair(4u, kToEndOfSequence), std::pair(9u, 20u), std::pair(3u, 1u)}) {
        Words base{~0u, ~0u}, check{~0u, ~0u}, mask{~0u, ~0u};
        EXPECT_EQ(binaryRepresentationOfSequenceIntegerArrayVersion("ACGT", base, check, mask, start, end),
                  0u);
        EXPECT_EQ(std::tuple(base, check, mask), std::tuple(Words{0, ~0u}, Words{0, ~0u}, Words{0, ~0u}));
    }
    Words base(2, 7), check(2, 7), mask(2, 7);
    EXPECT_EQ(binaryRepresentationOfSequenceIntegerArrayVersion(
                  std::string(40, 'G'), std::span(base).first(1), std::span(check).first(1),
                  std::span(mask).first(1), 0, kToEndOfSequence),
              1u);
    EXPECT_EQ(std::tuple(base, mask), std::tuple(Words{0xFFFFFFFF, 7}, Words{0xFFFFFFFF, 7}));
    EXPECT_EQ(binaryRepresentationOfSequenceIntegerArrayVersion("CA", base, check, {}, 0, kToEndOfSequence),
              1u);
    EXPECT_EQ(std::pair(base[0], check[0]), std::pair(0x40000000u, 0x80000000u));
}

// The reverse complement of the planes round-trips and is right-aligned: its padding in front is
// 0 in the mask, as N is.
TEST(NucleotideEncodingTest, ReverseComplementRoundTripsAndMatchesAsciiForManyLengths) {
    std::mt19937 random(20240611);
    const auto reverseComplement = [](const Planes& in) {
        const size_t n = in.base.size();
        Planes out{Words(n), Words(n), Words(n)};
        reverseComplementSequence(in.base, in.check, in.mask, out.base, out.check, out.mask,
                                  static_cast<uint32_t>(n));
        return out;
    };
    const auto bitOf = [](const Words& plane, uint64_t bit) {
        return (plane[bit / 32] >> (31 - bit % 32)) & 1;
    };
    for (size_t length = 1; length <= 600; ++length) {
        const std::string text = randomBases(random, length, "ACGTNacgtn");
        const Planes forward = encode(text), reverse = reverseComplement(forward);
        const Planes twice = reverseComplement(reverse);
        ASSERT_EQ(std::tuple(twice.base, twice.check, twice.mask),
                  std::tuple(forward.base, forward.check, forward.mask))
            << length;
        std::string expected;
        reverseComplementAsciiEncodedSequence(text, expected);
        const uint64_t offset = 32ull * forward.base.size() - length;
        for (uint64_t bit = 0; bit < offset + length; ++bit) {
            const char base = bit < offset ? 'N' : expected[bit - offset];
            const char decoded = bitOf(reverse.mask, bit) == 0
                                     ? 'N'
                                     : "TCAG"[bitOf(reverse.base, bit) << 1 | bitOf(reverse.check, bit)];
            ASSERT_EQ(decoded, base) << "length " << length << " bit " << bit;
        }
    }
}

// IUPAC codes of both cases and the no-call marks of sequencers are N, forwards and reversed.
TEST(NucleotideEncodingTest, EveryOtherCharacterIsAnUncalledBase) {
    std::string text = "ARYKMSWBDHVNrykmswbdhvn.X-*T ";
    std::string out = "stale contents that are longer than the result";
    reverseComplementAsciiEncodedSequence(text, out);
    EXPECT_EQ(out, "NA" + std::string(26, 'N') + "T");
    uncalledBasesToN(text);
    EXPECT_EQ(text, "A" + std::string(26, 'N') + "TN");
    std::string bases = "acgtACGT";
    uncalledBasesToN(bases);
    EXPECT_EQ(bases, "acgtACGT");
    reverseComplementAsciiEncodedSequence("acgtn", out);
    EXPECT_EQ(out, "NACGT");
    reverseQualitySequence("ABC#", out);
    EXPECT_EQ(out, "#CBA");
}

// A key matches a genome position when any one encoding agrees; near the end of the planes, the
// bases past them read as 0 and nothing outside is read.
TEST(NucleotideEncodingTest, KeyMatchesWhenAnyOneEncodingAgreesAndStaysInsideThePlanes) {
    std::mt19937 random(11);
    const std::string genome = randomBases(random, 128, "ACGT");
    const Planes planes = encode(genome), window = encode(genome.substr(45, 32));
    Words pairs;
    for (std::size_t w = 0; w < planes.base.size(); ++w)
        pairs.insert(pairs.end(), {planes.base[w], planes.check[w]});
    const uint32_t b = window.base[0], c = window.check[0];
    EXPECT_TRUE(doesEncodeKeyMatchReferenceGenomePosition(b, c, 45, pairs));
    EXPECT_TRUE(doesEncodeKeyMatchReferenceGenomePosition(b, ~c, 45, pairs));   // base plane alone
    EXPECT_TRUE(doesEncodeKeyMatchReferenceGenomePosition(~b, c, 45, pairs));   // check plane alone
    EXPECT_TRUE(doesEncodeKeyMatchReferenceGenomePosition(~b, ~c, 45, pairs));  // only the XOR agrees
    EXPECT_FALSE(doesEncodeKeyMatchReferenceGenomePosition(b ^ 1u, c ^ 2u, 45, pairs));
    // Base words 0 and 0xFF, check words 0 and 0xF, interleaved: 24 bases of word 1 and 8 missing.
    const Words end{0u, 0u, 0x000000FFu, 0x0000000Fu};
    EXPECT_TRUE(doesEncodeKeyMatchReferenceGenomePosition(0x0000FF00u, 0u, 40, end));
    EXPECT_TRUE(doesEncodeKeyMatchReferenceGenomePosition(0u, 0u, 64, end));
    EXPECT_TRUE(doesEncodeKeyMatchReferenceGenomePosition(0u, 0u, 0xFFFFFFFFu, end));
    EXPECT_FALSE(doesEncodeKeyMatchReferenceGenomePosition(1u, 2u, 1000, end));
}

}  // namespace
}  // namespace koru
