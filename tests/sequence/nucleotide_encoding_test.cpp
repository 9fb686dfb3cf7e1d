#include "sequence/nucleotide_encoding.h"

#include <gtest/gtest.h>

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

std::string randomBases(std::mt19937& random, size_t length, std::string_view alphabet) {
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::string text(length, ' ');
    for (char& c : text) c = alphabet[pick(random)];
    return text;
}

TEST(NucleotideEncodingTest, BitLayoutOfBasesRangesAndWordBoundaries) {
    const std::string word = "ACGTACGTACGTACGTACGTACGTACGTACGT";
    using Words = std::vector<uint32_t>;
    const uint32_t all = kToEndOfSequence;
    const struct {
        std::string text;
        uint32_t start, end;
        Words base, check, mask;
    } cases[] = {
        {"ACGT", 0, all, {0xA0000000}, {0x60000000}, {0xF0000000}},
        {"acgt", 0, all, {0xA0000000}, {0x60000000}, {0xF0000000}},
        {"AcGt", 0, all, {0xA0000000}, {0x60000000}, {0xF0000000}},
        {"G", 0, all, {0x80000000}, {0x80000000}, {0x80000000}},
        {word, 0, all, {0xAAAAAAAA}, {0x66666666}, {0xFFFFFFFF}},
        {word + "C", 0, all, {0xAAAAAAAA, 0}, {0x66666666, 0x80000000}, {0xFFFFFFFF, 0x80000000}},
        // N differs from T only in the mask; other characters encode like N.
        {"NNNN", 0, all, {0}, {0}, {0}},
        {"TTTT", 0, all, {0}, {0}, {0xF0000000}},
        {"R.A", 0, all, {0x20000000}, {0}, {0x20000000}},
        {"TTACGTTT", 2, 5, {0xA0000000}, {0x60000000}, {0xF0000000}},
        {"TTAC", 2, 1000, {0x80000000}, {0x40000000}, {0xC0000000}},  // an end past the text
    };
    for (const auto& c : cases) {
        const Planes planes = encode(c.text, c.start, c.end);
        EXPECT_EQ(planes.base, c.base) << c.text;
        EXPECT_EQ(planes.check, c.check) << c.text;
        EXPECT_EQ(planes.mask, c.mask) << c.text;
        EXPECT_EQ(planes.written, c.base.size()) << c.text;
    }
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
        const auto bitOf = [](const std::vector<uint32_t>& plane, uint64_t bit) {
            return (plane[bit / 32] >> (31 - bit % 32)) & 1;
        };
        // The padding in front is 0 in the mask, and N is 0 there too.
        for (uint64_t bit = 0; bit < offset + length; ++bit) {
            const char base = bit < offset ? 'N' : expected[bit - offset];
            ASSERT_EQ(bitOf(reverse.mask, bit), base == 'N' ? 0u : 1u)
                << "length " << length << " bit " << bit;
            if (base != 'N') {
                ASSERT_EQ("TCAG"[bitOf(reverse.base, bit) << 1 | bitOf(reverse.check, bit)], base)
                    << "length " << length << " bit " << bit;
            }
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

}  // namespace
}  // namespace koru
