#include "sequence/read_pair.h"

#include <gtest/gtest.h>

#include <string>

#include "candidates/candidate_test_support.h"

namespace koru {
namespace {

using testing::reverseComplementOf;

std::string randomBases(std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    return testing::randomBases(length, random);
}

// The bases of a read's reverse-complement planes from a bit position on, decoded.
std::string reverseFrom(const Read& read, uint64_t bit, size_t count) {
    std::string text;
    for (uint64_t at = bit; at < bit + count; ++at) {
        const uint32_t shift = 31 - static_cast<uint32_t>(at % 32), word = static_cast<uint32_t>(at / 32);
        text.push_back("TCAG"[((read.reverseComplementBaseWords[word] >> shift) & 1) << 1 |
                              ((read.reverseComplementCheckWords[word] >> shift) & 1)]);
    }
    return text;
}

// The reverse complement is right-aligned in the planes the pair was created with: 100 bases in 4
// words start at bit 28, 97 in 5 words at bit 63; a shorter refill clears the longer read's tail.
TEST(ReadPairTest, ReverseComplementIsRightAlignedInThePairsPlanes) {
    const auto pair = createReadPair(100, 0);
    const std::string a = randomBases(100, 1), b = randomBases(100, 2);
    populateEncodedSequenceInReadPair(*pair, 100, a, b);
    EXPECT_EQ(pair->readA.reverseComplementMaskWords[0], 0x0000000Fu);
    EXPECT_EQ(reverseFrom(pair->readA, 28, 100), reverseComplementOf(a));
    EXPECT_EQ(reverseFrom(pair->readB, 28, 100), reverseComplementOf(b));

    const auto longer = createReadPair(150, 0);
    populateEncodedSequenceInReadPair(*longer, 97, a.substr(0, 97), a);
    EXPECT_EQ(longer->readA.reverseComplementMaskWords,
              (std::vector<uint32_t>{0u, 0x00000001u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}));
    EXPECT_EQ(reverseFrom(longer->readA, 63, 97), reverseComplementOf(a.substr(0, 97)));

    populateEncodedSequenceInReadPair(*longer, 150, randomBases(150, 4), randomBases(150, 5));
    const char* storage = longer->readA.sequence.data();
    const std::string shorter = randomBases(40, 6);
    populateEncodedSequenceInReadPair(*longer, 40, shorter, shorter);
    EXPECT_EQ(longer->readA.maskWords, (std::vector<uint32_t>{0xFFFFFFFFu, 0xFF000000u, 0u, 0u, 0u}));
    EXPECT_EQ(longer->readA.baseWords[2], 0u);
    EXPECT_EQ(reverseFrom(longer->readA, 120, 40), reverseComplementOf(shorter));
    EXPECT_EQ(longer->readA.sequence.data(), storage) << "the text storage is reused";
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
    EXPECT_FALSE(pair->readA.hasReverseQualitySequence || pair->readB.hasReverseComplementSequence);
    resetReadPair(*pair, false, true);
    EXPECT_EQ(pair->readA.reverseComplementMaskWords, (std::vector<uint32_t>{0, 0}));
}

TEST(ReadPairTest, ReverseComplementTextIsBuiltOnceUntilTheNextReset) {
    const auto pair = createReadPair(4, 0);
    populateEncodedSequenceInReadPair(*pair, 4, "AACG", "TTTT");
    Read& read = pair->readA;
    EXPECT_STREQ(getReadSequenceForOrientation(read, kReverseComplementOrientation), "CGTT");
    // A second request must not rebuild: a marker put into the built text survives it.
    read.reverseComplementSequence[0] = 'x';
    EXPECT_STREQ(getReadSequenceForOrientation(read, kReverseComplementOrientation), "xGTT");
    populateEncodedSequenceInReadPair(*pair, 4, "GGGA", "TTTT");
    EXPECT_STREQ(getReadSequenceForOrientation(read, kReverseComplementOrientation), "TCCC");
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
