// Bases encoded into planes, reverse complements and key matches; reads and read pairs built on them.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "candidates/candidate_test_support.h"
#include "sequence/nucleotide_encoding.h"
#include "sequence/read_pair.h"

namespace koru {
namespace {

using testing::reverseComplementOf;
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

// The planes with uncalled positions cleared: only the mask tells N apart.
std::tuple<Words, Words, Words> called(Planes p) {
    for (size_t w = 0; w < p.mask.size(); ++w) p.base[w] &= p.mask[w], p.check[w] &= p.mask[w];
    return {p.base, p.check, p.mask};
}

// `text` in planes of `words` words, right-aligned: the padding in front is 0 in the mask, as N is.
std::tuple<Words, Words, Words> rightAligned(const std::string& text, size_t words) {
    return called(encode(std::string(32 * words - text.size(), 'N') + text));
}

std::string randomBases(std::mt19937& random, size_t length, std::string_view alphabet = "ACGT") {
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

// An empty range zeroes only the first word; the planes given bound what is written, the mask optional.
TEST(NucleotideEncodingTest, EmptyRangesAndShortPlanesBoundWhatIsWritten) {
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

// Right-aligned reverse complements; how N is complemented is held by the reverse keys in tests/candidates.
TEST(NucleotideEncodingTest, ReverseComplementIsTheTextsRightAligned) {
    std::mt19937 random(20240611);
    for (size_t length = 1; length <= 600; ++length) {
        const std::string text = randomBases(random, length, "ACGTNacgtn");
        const Planes forward = encode(text);
        const size_t n = forward.base.size();
        Planes reverse{Words(n), Words(n), Words(n)};
        reverseComplementSequence(forward.base, forward.check, forward.mask, reverse.base, reverse.check,
                                  reverse.mask, static_cast<uint32_t>(n));
        ASSERT_EQ(called(reverse), rightAligned(reverseComplementOf(text), n)) << length;
    }
}

// IUPAC codes and no-call marks are N, forwards and reversed; lower-case bases stay as they are.
TEST(NucleotideEncodingTest, EveryOtherCharacterIsAnUncalledBase) {
    std::string text = "ARYKMSWBDHVNrykmswbdhvn.X-*Tacgt ";
    std::string out = "stale contents that are longer than the result";
    reverseComplementAsciiEncodedSequence(text, out);
    EXPECT_EQ(out, "NACGTA" + std::string(26, 'N') + "T");
    uncalledBasesToN(text);
    EXPECT_EQ(text, "A" + std::string(26, 'N') + "TacgtN");
    reverseQualitySequence("ABC#", out);
    EXPECT_EQ(out, "#CBA");
}

// A key matches when any one encoding agrees; near the planes' end, bases past them read as 0.
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

// Right-aligned in the pair's planes; a shorter refill clears the longer read's tail, reusing storage.
TEST(ReadPairTest, ReverseComplementIsRightAlignedInThePairsPlanes) {
    std::mt19937 random(1);
    const auto reverse = [](const Read& r) {
        return called(
            {r.reverseComplementBaseWords, r.reverseComplementCheckWords, r.reverseComplementMaskWords});
    };
    const auto pair = createReadPair(150, 0);
    const std::string a = randomBases(random, 97), b = randomBases(random, 97);
    populateEncodedSequenceInReadPair(*pair, 97, a, b);
    EXPECT_EQ(reverse(pair->readA), rightAligned(reverseComplementOf(a), 5));
    EXPECT_EQ(reverse(pair->readB), rightAligned(reverseComplementOf(b), 5));
    const char* storage = pair->readA.sequence.data();
    const std::string shorter = randomBases(random, 40);
    populateEncodedSequenceInReadPair(*pair, 40, shorter, shorter);
    EXPECT_EQ(pair->readA.maskWords, (Words{0xFFFFFFFFu, 0xFF000000u, 0u, 0u, 0u}));
    EXPECT_EQ(pair->readA.baseWords[2], 0u);
    EXPECT_EQ(reverse(pair->readA), rightAligned(reverseComplementOf(shorter), 5));
    EXPECT_EQ(pair->readA.sequence.data(), storage) << "the text storage is reused";
}

TEST(ReadPairTest, ResetZeroesTheChosenPlanesAndAlwaysClearsTheFlags) {
    const auto pair = createReadPair(64, 0);
    populateEncodedSequenceInReadPair(*pair, 64, std::string(64, 'G'), std::string(64, 'A'));
    initQualitySequence(pair->readA, 'I');
    addReverseComplementAsciiEncodedSequence(pair->readB);
    resetReadPair(*pair, true, false);
    EXPECT_EQ(
        std::tuple(pair->readA.baseWords, pair->readB.maskWords, pair->readA.reverseComplementMaskWords),
        std::tuple(Words{0, 0}, Words{0, 0}, Words{~0u, ~0u}));
    EXPECT_FALSE(pair->readA.hasReverseQualitySequence || pair->readB.hasReverseComplementSequence);
    resetReadPair(*pair, false, true);
    EXPECT_EQ(pair->readA.reverseComplementMaskWords, (Words{0, 0}));
}

TEST(ReadPairTest, ReverseComplementTextIsBuiltOnceUntilTheNextReset) {
    const auto pair = createReadPair(4, 0);
    populateEncodedSequenceInReadPair(*pair, 4, "AACG", "TTTT");
    Read& read = pair->readA;
    EXPECT_STREQ(getReadSequenceForOrientation(read, kReverseComplementOrientation), "CGTT");
    // A second request must not rebuild: a marker put into the built text survives it.
    read.reverseComplementSequence[0] = 'x';
    EXPECT_STREQ(getReadSequenceForOrientation(read, kReverseComplementOrientation), "xGTT");
    read.sequence = "CCAA";
    resetReadPair(*pair, true, true);
    EXPECT_STREQ(getReadSequenceForOrientation(read, kReverseComplementOrientation), "TTGG");
    EXPECT_EQ(getReadSequenceForOrientation(read, 3), nullptr);
    // The reversed quality is built with it.
    read.qualitySequence = "ABCD";
    read.hasReverseQualitySequence = false;
    addReverseComplementOrientation(read);
    EXPECT_EQ(read.reverseQualitySequence, "DCBA");
}

// IUPAC codes and no-call marks once ended the run when a read was reverse complemented.
TEST(ReadPairTest, UncalledLettersAreReadAsNInTextAndMask) {
    const auto pair = createReadPair(8, 0);
    populateEncodedSequenceInReadPair(*pair, 8, "AR.GyX-*", "ACGTacgt");
    Read& read = pair->readA;
    EXPECT_EQ(read.sequence, "ANNGNNNN");
    EXPECT_EQ(read.maskWords[0], 0x90000000u) << "only A and G are called";
    EXPECT_STREQ(getReadSequenceForOrientation(read, kReverseComplementOrientation), "NNNNCNNT");
    EXPECT_EQ(pair->readB.sequence, "ACGTacgt");
}

}  // namespace
}  // namespace koru
