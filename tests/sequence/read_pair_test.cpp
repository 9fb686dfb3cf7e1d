#include "sequence/read_pair.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "sequence/nucleotide_encoding.h"

namespace koru {
namespace {

std::string randomBases(size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pick(0, 3);
    std::string text(length, 'A');
    for (char& c : text) c = "ACGT"[pick(random)];
    return text;
}

std::string reverseComplementOf(const std::string& text) {
    std::string out;
    reverseComplementAsciiEncodedSequence(text, out);
    return out;
}

// The bases of a plane pair from a bit position on, decoded.
std::string decodeFrom(const std::vector<uint32_t>& base, const std::vector<uint32_t>& check, uint64_t bit,
                       size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        const uint64_t at = bit + i;
        const uint32_t shift = 31 - static_cast<uint32_t>(at % 32);
        text.push_back("TCAG"[((base[at / 32] >> shift) & 1) << 1 | ((check[at / 32] >> shift) & 1)]);
    }
    return text;
}

TEST(ReadPairTest, EmptyPairHasNoPlanesAndEncodesHarmlessly) {
    const auto pair = createReadPair(0, 0);
    EXPECT_EQ(pair->readA.binaryEncodedArraySize, 0u);
    EXPECT_TRUE(pair->readA.baseWords.empty());
    encodeRead(pair->readA);
}

TEST(ReadPairTest, ReverseComplementOf100BasesStartsAtBit28) {
    const auto pair = createReadPair(100, 0);
    const std::string a = randomBases(100, 1), b = randomBases(100, 2);
    populateEncodedSequenceInReadPair(*pair, 100, a, b);
    const Read& read = pair->readA;
    EXPECT_EQ(read.sequence, a);
    EXPECT_EQ(read.reverseComplementMaskWords[0], 0x0000000Fu);
    EXPECT_EQ(read.reverseComplementMaskWords[3], 0xFFFFFFFFu);
    EXPECT_EQ(decodeFrom(read.reverseComplementBaseWords, read.reverseComplementCheckWords, 28, 100),
              reverseComplementOf(a));
    EXPECT_EQ(decodeFrom(read.baseWords, read.checkWords, 0, 100), a);
    EXPECT_EQ(
        decodeFrom(pair->readB.reverseComplementBaseWords, pair->readB.reverseComplementCheckWords, 28, 100),
        reverseComplementOf(b));
}

TEST(ReadPairTest, ShortReadInALongerPairUsesAllWordsForTheReverseComplement) {
    const auto pair = createReadPair(150, 0);
    const std::string a = randomBases(97, 3);
    populateEncodedSequenceInReadPair(*pair, 97, a, a);
    const Read& read = pair->readA;
    EXPECT_EQ(read.length, 150u);  // kept from creation
    EXPECT_EQ(read.sequence.size(), 97u);
    EXPECT_EQ(read.reverseComplementMaskWords,
              (std::vector<uint32_t>{0u, 0x00000001u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}));
    EXPECT_EQ(decodeFrom(read.reverseComplementBaseWords, read.reverseComplementCheckWords, 63, 97),
              reverseComplementOf(a));
}

TEST(ReadPairTest, RefillWithAShorterReadClearsTheOldTail) {
    const auto pair = createReadPair(150, 0);
    populateEncodedSequenceInReadPair(*pair, 150, randomBases(150, 4), randomBases(150, 5));
    const char* storage = pair->readA.sequence.data();
    const std::string shorter = randomBases(40, 6);
    populateEncodedSequenceInReadPair(*pair, 40, shorter, shorter);
    const Read& read = pair->readA;
    EXPECT_EQ(read.maskWords, (std::vector<uint32_t>{0xFFFFFFFFu, 0xFF000000u, 0u, 0u, 0u}));
    EXPECT_EQ(read.baseWords[2], 0u);
    EXPECT_EQ(decodeFrom(read.reverseComplementBaseWords, read.reverseComplementCheckWords, 120, 40),
              reverseComplementOf(shorter));
    // The text storage is reused, not reallocated.
    EXPECT_EQ(read.sequence.data(), storage);
}

TEST(ReadPairTest, ResetZeroesTheChosenPlanesAndAlwaysClearsTheFlags) {
    const auto pair = createReadPair(64, 0);
    populateEncodedSequenceInReadPair(*pair, 64, std::string(64, 'G'), std::string(64, 'A'));
    initQualitySequence(pair->readA, 'I');
    addReverseComplementAsciiEncodedSequence(pair->readB);

    resetReadPair(*pair, true, false);
    EXPECT_EQ(pair->readA.baseWords, (std::vector<uint32_t>{0, 0}));
    EXPECT_EQ(pair->readB.maskWords, (std::vector<uint32_t>{0, 0}));
    EXPECT_EQ(pair->readA.reverseComplementMaskWords, (std::vector<uint32_t>{~0u, ~0u}));
    EXPECT_FALSE(pair->readA.hasReverseQualitySequence);
    EXPECT_FALSE(pair->readB.hasReverseComplementSequence);

    resetReadPair(*pair, false, true);
    EXPECT_EQ(pair->readA.reverseComplementMaskWords, (std::vector<uint32_t>{0, 0}));
}

TEST(ReadPairTest, ReverseComplementTextIsBuiltOnceUntilTheNextReset) {
    const auto pair = createReadPair(4, 0);
    populateEncodedSequenceInReadPair(*pair, 4, "AACG", "TTTT");
    Read& read = pair->readA;
    EXPECT_STREQ(getReadSequenceForOrientation(read, kReverseComplementOrientation), "CGTT");
    EXPECT_TRUE(read.hasReverseComplementSequence);

    // A second request must not rebuild: a marker put into the built text survives it.
    read.reverseComplementSequence[0] = 'x';
    EXPECT_STREQ(getReadSequenceForOrientation(read, kReverseComplementOrientation), "xGTT");

    populateEncodedSequenceInReadPair(*pair, 4, "GGGA", "TTTT");
    EXPECT_STREQ(getReadSequenceForOrientation(read, kReverseComplementOrientation), "TCCC");

    read.sequence = "CCAA";
    resetReadPair(*pair, true, true);
    EXPECT_STREQ(getReadSequenceForOrientation(read, kReverseComplementOrientation), "TTGG");
}

TEST(ReadPairTest, UncalledLettersAreReadAsNInTextAndMask) {
    const auto pair = createReadPair(8, 0);
    populateEncodedSequenceInReadPair(*pair, 8, "AR.GyX-*", "ACGTacgt");
    Read& read = pair->readA;
    EXPECT_EQ(read.sequence, "ANNGNNNN");
    EXPECT_EQ(read.maskWords[0], 0x90000000u) << "only A and G are called";
    EXPECT_STREQ(getReadSequenceForOrientation(read, kReverseComplementOrientation), "NNNNCNNT");
    EXPECT_EQ(pair->readB.sequence, "ACGTacgt");
}

TEST(ReadPairTest, SequenceForOrientation) {
    const auto pair = createReadPair(3, 0);
    populateEncodedSequenceInReadPair(*pair, 3, "ACC", "GGT");
    EXPECT_STREQ(getReadSequenceForOrientation(pair->readB, kForwardOrientation), "GGT");
    EXPECT_EQ(getReadSequenceForOrientation(pair->readB, 0), nullptr);
    EXPECT_EQ(getReadSequenceForOrientation(pair->readB, 3), nullptr);
    EXPECT_FALSE(pair->readB.hasReverseComplementSequence);
}

TEST(ReadPairTest, UniformQualityAndLazyReversedQuality) {
    const auto pair = createReadPair(5, 0);
    Read& read = pair->readA;
    initQualitySequence(read, 'I');
    EXPECT_EQ(read.qualitySequence, "IIIII");
    EXPECT_EQ(read.reverseQualitySequence, "IIIII");
    EXPECT_EQ(read.uniformQualityCharacter, static_cast<uint32_t>('I'));
    EXPECT_TRUE(read.hasReverseQualitySequence);

    read.sequence = "ACGTN";
    read.qualitySequence = "ABCDE";
    read.hasReverseQualitySequence = false;
    addReverseComplementOrientation(read);
    EXPECT_EQ(read.reverseQualitySequence, "EDCBA");
    EXPECT_EQ(read.reverseComplementSequence, "NACGT");
}

TEST(ReadPairTest, NamesFromSequenceFileInformation) {
    const auto pair = createReadPair(10, 0);
    pair->sequenceFileNumber = 7;
    pair->sequenceFileLineNumber = 3;
    createNamesUsingSequenceFileInformation(*pair);
    EXPECT_EQ(pair->readA.name, "7:3");
    EXPECT_EQ(pair->readB.name, "7:3");
    EXPECT_EQ(pair->readA.nameLength, 3u);

    createNameUsingSequenceFileInformation(pair->readA, 4294967295u, 4294967295u);
    EXPECT_EQ(pair->readA.name, "4294967295:4294967295");
}

}  // namespace
}  // namespace koru
