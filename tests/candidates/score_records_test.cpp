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

void expectAllFields(const MismatchScores& s, uint16_t value) {
    for (const uint16_t field : {s.wholeReadScore, s.minWordScore, s.firstWordScore, s.lastWordScore,
                                 s.middleWordsScore, s.primaryScore, s.secondaryScore}) {
        EXPECT_EQ(field, value);
    }
}

Read readOfLength(uint32_t length) {
    Read read;
    allocateMemberArraysForRead(read, length, 0);
    return read;
}

TEST(ScoreRecordsTest, InitialisedScoresAreNotScored) {
    MismatchScores scores = scoresOf(1, 2, 3, 4, 5, 6, 7);
    initMismatchScores(scores);
    expectAllFields(scores, 65535);

    MappingScores mapping;
    mapping.numberOfAssociatedKeys = 9;
    mapping.mismatchScores.primaryScore = 0;
    initMappingScores(mapping);
    EXPECT_EQ(mapping.numberOfAssociatedKeys, 0u);
    expectAllFields(mapping.mismatchScores, 65535);
}

TEST(ScoreRecordsTest, PopulateSwapsTheEndWindowsForTheReverseComplement) {
    MismatchScores forward;
    populateMisMatchScores(kForwardOrientation, forward, 10, 1, 3, 2);
    EXPECT_EQ(forward.wholeReadScore, 10);
    EXPECT_EQ(forward.minWordScore, 1);
    EXPECT_EQ(forward.primaryScore, 1);
    EXPECT_EQ(forward.secondaryScore, 10);
    EXPECT_EQ(forward.firstWordScore, 3);
    EXPECT_EQ(forward.lastWordScore, 2);
    EXPECT_EQ(forward.middleWordsScore, 5);

    MismatchScores reverse;
    populateMisMatchScores(kReverseComplementOrientation, reverse, 10, 1, 3, 2);
    EXPECT_EQ(reverse.firstWordScore, 2);
    EXPECT_EQ(reverse.lastWordScore, 3);
    EXPECT_EQ(reverse.middleWordsScore, 5);

    // Overlapping windows can count a mismatch twice; the middle then wraps modulo 2^16.
    MismatchScores overlapping;
    populateMisMatchScores(kForwardOrientation, overlapping, 1, 1, 1, 1);
    EXPECT_EQ(overlapping.middleWordsScore, 65535);
}

TEST(ScoreRecordsTest, MinimumTakesTheLowerValueOfEachField) {
    MismatchScores accumulator;
    initMismatchScores(accumulator);
    const MismatchScores scored = scoresOf(9, 1, 2, 3, 4, 1, 9);
    minimumOfMismatchScores(accumulator, scored);
    EXPECT_EQ(std::memcmp(&accumulator, &scored, sizeof scored), 0);

    minimumOfMismatchScores(accumulator, scoresOf(5, 7, 0, 8, 8, 7, 5));
    const MismatchScores expected = scoresOf(5, 1, 0, 3, 4, 1, 5);
    EXPECT_EQ(std::memcmp(&accumulator, &expected, sizeof expected), 0);
}

TEST(ScoreRecordsTest, AggregateSumsWrapAt16Bits) {
    MismatchScores unscored, result;
    initMismatchScores(unscored);
    calculateAggregateMismatchScores(result, unscored, unscored);
    expectAllFields(result, 65534);

    calculateAggregateMismatchScores(result, scoresOf(1, 2, 3, 4, 5, 6, 7),
                                     scoresOf(10, 20, 30, 40, 50, 60, 70));
    const MismatchScores expected = scoresOf(11, 22, 33, 44, 55, 66, 77);
    EXPECT_EQ(std::memcmp(&result, &expected, sizeof expected), 0);
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

TEST(ScoreRecordsTest, ScoreTraces) {
    const MismatchScores scores = scoresOf(10, 1, 3, 2, 5, 1, 10);
    std::string text = "x";
    mismatchScoreToString(&scores, text, "\t");
    EXPECT_EQ(text,
              "x\tMismatch Scores:\n"
              "\t\tPrimary Score = 1 \n"
              "\t\tSecondary Score = 10 \n"
              "\t\tMin Word Score = 1 \n"
              "\t\tWhole Read score = 10 \n"
              "\t\tFirst Word Score = 3 \n"
              "\t\tMiddle Words Score = 5 \n"
              "\t\tLast Word Score = 2 \n");

    text.clear();
    mismatchScoreToString(nullptr, text, "");
    EXPECT_EQ(text, "Mismatch Scores:\n\tMismatch scores where NULL:\n");

    MappingScores mapping{4, scores};
    text.clear();
    mappingScoreToString(&mapping, text, "");
    EXPECT_EQ(text.substr(0, text.find("\t\tPrimary")),
              "Mapping Scores:\n"
              "\tNumber of associated keys = 4 \n"
              "\tMismatch Scores:\n");
    EXPECT_NE(text.find("\t\tLast Word Score = 2 \n"), std::string::npos);

    text.clear();
    mappingScoreToString(nullptr, text, "");
    EXPECT_EQ(text, "Mapping Scores:\n\tMapping scores where NULL:\n");
}

TEST(ScoreRecordsTest, IndelDescriptorsAndTheirTraces) {
    IndelDescriptor descriptor;
    std::string text;
    indelDescriptorToString(nullptr, text, "");
    EXPECT_EQ(text, "Indel Descriptor:\n\tIs NULL\n");
    text.clear();
    indelDescriptorToString(&descriptor, text, "");
    EXPECT_EQ(text, "Indel Descriptor:\n\tIs Empty\n");

    populateIndelDescriptor(descriptor, 3, kDeletion, 40);
    EXPECT_EQ(descriptor.present, 1);
    text.clear();
    indelDescriptorToString(&descriptor, text, "\t");
    EXPECT_EQ(text,
              "\tIndel Descriptor:\n"
              "\t\ttype = deletion\n"
              "\t\tsize = 3\n"
              "\t\tInDel starting base in read = 40\n");

    EXPECT_STREQ(getLabelForIndelType(0), "neitherInsertionNorDeletion");
    EXPECT_STREQ(getLabelForIndelType(1), "insertion");
    EXPECT_STREQ(getLabelForIndelType(2), "deletion");
    EXPECT_STREQ(getLabelForIndelType(7), "unknown");
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

TEST(ApplyIndelTest, DeletionSkipsReferenceBases) {
    const Read read = readOfLength(8);
    const char* readText = "AAAACCCC";
    const char* const originalRead = readText;
    const char* reference = "AAAAGGCCCCTT";
    IndelDescriptor descriptor;
    populateIndelDescriptor(descriptor, 2, kDeletion, 4);
    std::string buffer;
    EXPECT_EQ(applyIndelToReadAndReferenceSequencePointers(&descriptor, read, readText, reference, buffer),
              8u);
    EXPECT_EQ(readText, originalRead);
    EXPECT_EQ(reference, buffer.c_str());
    EXPECT_EQ(std::string(reference), "AAAACCCC");
}

TEST(ApplyIndelTest, InsertionRemovesReadBases) {
    const Read read = readOfLength(10);
    const char* readText = "AAAATTCCCC";
    const char* reference = "AAAACCCCGG";
    const char* const originalReference = reference;
    // Any type but deletion is handled as an insertion.
    for (const uint32_t type : {kInsertion, kNeitherInsertionNorDeletion}) {
        const char* text = readText;
        IndelDescriptor descriptor;
        populateIndelDescriptor(descriptor, 2, type, 4);
        std::string buffer;
        EXPECT_EQ(applyIndelToReadAndReferenceSequencePointers(&descriptor, read, text, reference, buffer),
                  8u);
        EXPECT_EQ(reference, originalReference);
        EXPECT_EQ(text, buffer.c_str());
        EXPECT_EQ(std::string(text), "AAAACCCC");
        EXPECT_EQ(text[8], '\0');
    }
}

TEST(ApplyIndelTest, DescriptorsBeyondTheReadAreClipped) {
    const Read read = readOfLength(6);
    std::string buffer;

    // An insertion running past the read removes only what the read has.
    const char* readText = "ACGTAC";
    const char* reference = "ACGTACGG";
    IndelDescriptor insertion;
    populateIndelDescriptor(insertion, 10, kInsertion, 4);
    EXPECT_EQ(applyIndelToReadAndReferenceSequencePointers(&insertion, read, readText, reference, buffer),
              4u);
    EXPECT_EQ(std::string(readText), "ACGT");

    // A split beyond the read removes nothing.
    readText = "ACGTAC";
    populateIndelDescriptor(insertion, 3, kInsertion, 50);
    EXPECT_EQ(applyIndelToReadAndReferenceSequencePointers(&insertion, read, readText, reference, buffer),
              6u);
    EXPECT_EQ(std::string(readText), "ACGTAC");

    // A deletion reaching past a short reference copies what there is; the rest stays 0.
    readText = "ACGTAC";
    reference = "ACGTACG";
    IndelDescriptor deletion;
    populateIndelDescriptor(deletion, 2, kDeletion, 3);
    EXPECT_EQ(applyIndelToReadAndReferenceSequencePointers(&deletion, read, readText, reference, buffer), 6u);
    EXPECT_EQ(std::string(reference), "ACGCG");
    EXPECT_EQ(buffer.size(), 6u);
    EXPECT_EQ(buffer[5], '\0');

    // A read text shorter than the read length is never read past its end.
    readText = "AC";
    populateIndelDescriptor(insertion, 1, kInsertion, 1);
    EXPECT_EQ(applyIndelToReadAndReferenceSequencePointers(&insertion, read, readText, reference, buffer),
              5u);
    EXPECT_EQ(std::string(readText), "A");
}

}  // namespace
}  // namespace koru
