#include "candidates/score_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sequence/read_pair.h"

namespace koru {
namespace {

MismatchScores scoresOf(uint16_t whole, uint16_t min, uint16_t first, uint16_t last, uint16_t middle,
                        uint16_t primary, uint16_t secondary) {
    return MismatchScores{whole, min, first, last, middle, primary, secondary};
}

bool operator==(const MismatchScores& a, const MismatchScores& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

Read readOfLength(uint32_t length) {
    Read read;
    allocateMemberArraysForRead(read, length, 0);
    return read;
}

// Single reads' scores are held against naive counts in mismatch_scoring_test.cpp.
TEST(ScoreRecordsTest, AggregateSumsWrapAt16Bits) {
    MismatchScores unscored, result;
    initMismatchScores(unscored);
    calculateAggregateMismatchScores(result, unscored, unscored);
    EXPECT_TRUE(result == scoresOf(65534, 65534, 65534, 65534, 65534, 65534, 65534));
    calculateAggregateMismatchScores(result, scoresOf(1, 2, 3, 4, 5, 6, 7),
                                     scoresOf(10, 20, 30, 40, 50, 60, 70));
    EXPECT_TRUE(result == scoresOf(11, 22, 33, 44, 55, 66, 77));
}

TEST(ScoreRecordsTest, ReadMaskMarksWordsBelowFiveMismatches) {
    MismatchScores scores;
    scores.firstWordScore = 4;
    scores.middleWordsScore = 5;
    scores.lastWordScore = 0;
    EXPECT_EQ(getReadMask(scores), 5u);
    scores.middleWordsScore = 4;
    EXPECT_EQ(getReadMask(scores), 7u);
    initMismatchScores(scores);
    EXPECT_EQ(getReadMask(scores), 0u);
}

TEST(ApplyIndelTest, EmptyDescriptorChangesNothing) {
    const Read read = readOfLength(8);
    const char* readText = "ACGTACGT";
    const char* reference = "ACGTACGTTT";
    const char* const originalRead = readText;
    const char* const originalReference = reference;
    std::string buffer;
    EXPECT_EQ(applyIndelToReadAndReferenceSequencePointers(nullptr, read, readText, reference, buffer), 8u);
    const IndelDescriptor empty;
    EXPECT_EQ(applyIndelToReadAndReferenceSequencePointers(&empty, read, readText, reference, buffer), 8u);
    EXPECT_EQ(readText, originalRead);
    EXPECT_EQ(reference, originalReference);
    EXPECT_EQ(buffer.capacity(), std::string().capacity());  // nothing was allocated
}

TEST(ApplyIndelTest, DeletionSkipsReferenceBasesAndInsertionRemovesReadBases) {
    const struct {
        uint32_t length;
        const char *read, *reference;
        uint32_t type, size, start, compared;
        std::string readAfter, referenceAfter;
    } cases[] = {
        {8, "AAAACCCC", "AAAAGGCCCCTT", kDeletion, 2, 4, 8, "AAAACCCC", "AAAACCCC"},
        {10, "AAAATTCCCC", "AAAACCCCGG", kInsertion, 2, 4, 8, "AAAACCCC", "AAAACCCCGG"},
        // Any type but deletion is handled as an insertion.
        {10, "AAAATTCCCC", "AAAACCCCGG", kNeitherInsertionNorDeletion, 2, 4, 8, "AAAACCCC", "AAAACCCCGG"},
        // An insertion running past the read removes only what the read has; a split beyond it, nothing.
        {6, "ACGTAC", "ACGTACGG", kInsertion, 10, 4, 4, "ACGT", "ACGTACGG"},
        {6, "ACGTAC", "ACGTACGG", kInsertion, 3, 50, 6, "ACGTAC", "ACGTACGG"},
        // A deletion reaching past a short reference copies what there is.
        {6, "ACGTAC", "ACGTACG", kDeletion, 2, 3, 6, "ACGTAC", "ACGCG"},
        // A read text shorter than the read length is never read past its end.
        {6, "AC", "ACGTACG", kInsertion, 1, 1, 5, "A", "ACGTACG"},
    };
    for (const auto& c : cases) {
        const Read read = readOfLength(c.length);
        const char* readText = c.read;
        const char* reference = c.reference;
        IndelDescriptor descriptor;
        populateIndelDescriptor(descriptor, c.size, c.type, c.start);
        std::string buffer;
        EXPECT_EQ(
            applyIndelToReadAndReferenceSequencePointers(&descriptor, read, readText, reference, buffer),
            c.compared)
            << c.read;
        EXPECT_EQ(std::string(readText), c.readAfter);
        EXPECT_EQ(std::string(reference), c.referenceAfter);
    }
}

}  // namespace
}  // namespace koru
