#include "candidates/score_records.h"

#include <gtest/gtest.h>

#include <string>

#include "candidates/candidate_test_support.h"

namespace koru {
namespace {

using testing::fieldsOf;

Read readOfLength(uint32_t length) {
    Read read;
    allocateMemberArraysForRead(read, length, 0);
    return read;
}

// Single reads' scores are held against naive counts in mismatch_scoring_test.cpp.
TEST(ScoreRecordsTest, AggregateSumsWrapAt16Bits) {
    MismatchScores unscored, result;
    calculateAggregateMismatchScores(result, unscored, unscored);
    EXPECT_EQ(fieldsOf(result), std::vector<int>(7, 65534));
    calculateAggregateMismatchScores(result, {1, 2, 3, 4, 5, 6, 7}, {10, 20, 30, 40, 50, 60, 70});
    EXPECT_EQ(fieldsOf(result), (std::vector<int>{11, 22, 33, 44, 55, 66, 77}));
}

TEST(ScoreRecordsTest, ReadMaskMarksWordsBelowFiveMismatches) {
    MismatchScores scores;
    EXPECT_EQ(getReadMask(scores), 0u);
    scores.firstWordScore = 4;
    scores.middleWordsScore = 5;
    scores.lastWordScore = 0;
    EXPECT_EQ(getReadMask(scores), 5u);
    scores.middleWordsScore = 4;
    EXPECT_EQ(getReadMask(scores), 7u);
}

TEST(ApplyIndelTest, DeletionSkipsReferenceBasesAndInsertionRemovesReadBases) {
    // Without an indel the texts stay as they are and nothing is allocated.
    const IndelDescriptor empty;
    for (const IndelDescriptor* none : {&empty, static_cast<const IndelDescriptor*>(nullptr)}) {
        const char *readText = "ACGTACGT", *reference = "ACGTACGTTT", *const original = readText;
        std::string buffer;
        EXPECT_EQ(
            applyIndelToReadAndReferenceSequencePointers(none, readOfLength(8), readText, reference, buffer),
            8u);
        EXPECT_EQ(std::tuple(readText, std::string(reference), buffer.capacity()),
                  std::tuple(original, std::string("ACGTACGTTT"), std::string().capacity()));
    }
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
        const char* readText = c.read;
        const char* reference = c.reference;
        IndelDescriptor descriptor;
        populateIndelDescriptor(descriptor, c.size, c.type, c.start);
        std::string buffer;
        EXPECT_EQ(applyIndelToReadAndReferenceSequencePointers(&descriptor, readOfLength(c.length), readText,
                                                               reference, buffer),
                  c.compared)
            << c.read;
        EXPECT_EQ(std::tuple(std::string(readText), std::string(reference)),
                  std::tuple(c.readAfter, c.referenceAfter));
    }
}

}  // namespace
}  // namespace koru
