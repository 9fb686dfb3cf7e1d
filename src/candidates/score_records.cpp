#include "candidates/score_records.h"

#include <algorithm>
#include <cstring>

#include "sequence/read_pair.h"
#include "support/text_format.h"

namespace koru {

namespace {

constexpr uint16_t kGoodWordLimit = 5;

uint16_t wrapToScore(uint32_t value) {
    return static_cast<uint16_t>(value);
}

// Appends text[from .. to) to the buffer at `at`, stopping at the text's NUL so that a short text
// is never read beyond its end; the buffer is zero-filled, so the missing bases stay 0.
void copyBases(std::string& buffer, size_t at, const char* text, size_t from, size_t to) {
    if (to <= from) return;
    const size_t available = strnlen(text, to);
    if (available <= from) return;
    std::memcpy(buffer.data() + at, text + from, std::min(available, to) - from);
}

}  // namespace

void initMismatchScores(MismatchScores& scores) {
    scores = MismatchScores{};
}

void populateMisMatchScores(uint32_t orientation, MismatchScores& scores, uint16_t wholeRead,
                            uint16_t minWord, uint16_t firstWindow, uint16_t lastWindow) {
    const bool reverse = orientation == kReverseComplementOrientation;
    scores.wholeReadScore = wholeRead;
    scores.minWordScore = minWord;
    scores.primaryScore = minWord;
    scores.secondaryScore = wholeRead;
    scores.middleWordsScore = wrapToScore(uint32_t{wholeRead} - firstWindow - lastWindow);
    scores.firstWordScore = reverse ? lastWindow : firstWindow;
    scores.lastWordScore = reverse ? firstWindow : lastWindow;
}

void minimumOfMismatchScores(MismatchScores& accumulator, const MismatchScores& scores) {
    accumulator.wholeReadScore = std::min(accumulator.wholeReadScore, scores.wholeReadScore);
    accumulator.minWordScore = std::min(accumulator.minWordScore, scores.minWordScore);
    accumulator.firstWordScore = std::min(accumulator.firstWordScore, scores.firstWordScore);
    accumulator.lastWordScore = std::min(accumulator.lastWordScore, scores.lastWordScore);
    accumulator.middleWordsScore = std::min(accumulator.middleWordsScore, scores.middleWordsScore);
    accumulator.primaryScore = std::min(accumulator.primaryScore, scores.primaryScore);
    accumulator.secondaryScore = std::min(accumulator.secondaryScore, scores.secondaryScore);
}

void calculateAggregateMismatchScores(MismatchScores& result, const MismatchScores& a,
                                      const MismatchScores& b) {
    result.wholeReadScore = wrapToScore(uint32_t{a.wholeReadScore} + b.wholeReadScore);
    result.minWordScore = wrapToScore(uint32_t{a.minWordScore} + b.minWordScore);
    result.firstWordScore = wrapToScore(uint32_t{a.firstWordScore} + b.firstWordScore);
    result.lastWordScore = wrapToScore(uint32_t{a.lastWordScore} + b.lastWordScore);
    result.middleWordsScore = wrapToScore(uint32_t{a.middleWordsScore} + b.middleWordsScore);
    result.primaryScore = wrapToScore(uint32_t{a.primaryScore} + b.primaryScore);
    result.secondaryScore = wrapToScore(uint32_t{a.secondaryScore} + b.secondaryScore);
}

uint32_t getReadMask(const MismatchScores& scores) {
    return (scores.firstWordScore < kGoodWordLimit ? 4u : 0u) +
           (scores.middleWordsScore < kGoodWordLimit ? 2u : 0u) +
           (scores.lastWordScore < kGoodWordLimit ? 1u : 0u);
}

void mismatchScoreToString(const MismatchScores* scores, std::string& text, std::string_view prefix) {
    const std::string p(prefix);
    const char* at = p.c_str();
    appendPrintf(text, "%sMismatch Scores:\n", at);
    if (scores == nullptr) {
        appendPrintf(text, "%s\tMismatch scores where NULL:\n", at);
        return;
    }
    appendPrintf(text, "%s\tPrimary Score = %u \n", at, scores->primaryScore);
    appendPrintf(text, "%s\tSecondary Score = %u \n", at, scores->secondaryScore);
    appendPrintf(text, "%s\tMin Word Score = %u \n", at, scores->minWordScore);
    appendPrintf(text, "%s\tWhole Read score = %u \n", at, scores->wholeReadScore);
    appendPrintf(text, "%s\tFirst Word Score = %u \n", at, scores->firstWordScore);
    appendPrintf(text, "%s\tMiddle Words Score = %u \n", at, scores->middleWordsScore);
    appendPrintf(text, "%s\tLast Word Score = %u \n", at, scores->lastWordScore);
}

void initMappingScores(MappingScores& scores) {
    scores = MappingScores{};
}

void mappingScoreToString(const MappingScores* scores, std::string& text, std::string_view prefix) {
    const std::string p(prefix);
    appendPrintf(text, "%sMapping Scores:\n", p.c_str());
    if (scores == nullptr) {
        appendPrintf(text, "%s\tMapping scores where NULL:\n", p.c_str());
        return;
    }
    appendPrintf(text, "%s\tNumber of associated keys = %u \n", p.c_str(), scores->numberOfAssociatedKeys);
    mismatchScoreToString(&scores->mismatchScores, text, p + "\t");
}

void populateIndelDescriptor(IndelDescriptor& descriptor, uint32_t size, uint32_t type,
                             uint32_t startBaseInRead) {
    descriptor.size = size;
    descriptor.type = type;
    descriptor.startBaseInRead = startBaseInRead;
    descriptor.present = 1;
}

const char* getLabelForIndelType(uint32_t type) {
    switch (type) {
        case kNeitherInsertionNorDeletion:
            return "neitherInsertionNorDeletion";
        case kInsertion:
            return "insertion";
        case kDeletion:
            return "deletion";
        default:
            return "unknown";
    }
}

void indelDescriptorToString(const IndelDescriptor* descriptor, std::string& text, std::string_view prefix) {
    const std::string p(prefix);
    const char* at = p.c_str();
    appendPrintf(text, "%sIndel Descriptor:\n", at);
    if (descriptor == nullptr) {
        appendPrintf(text, "%s\tIs NULL\n", at);
    } else if (descriptor->present == 0) {
        appendPrintf(text, "%s\tIs Empty\n", at);
    } else {
        appendPrintf(text, "%s\ttype = %s\n", at, getLabelForIndelType(descriptor->type));
        appendPrintf(text, "%s\tsize = %u\n", at, descriptor->size);
        appendPrintf(text, "%s\tInDel starting base in read = %u\n", at, descriptor->startBaseInRead);
    }
}

uint32_t applyIndelToReadAndReferenceSequencePointers(const IndelDescriptor* descriptor, const Read& read,
                                                      const char*& readText, const char*& referenceText,
                                                      std::string& buffer) {
    const uint32_t length = read.length;
    if (descriptor == nullptr || descriptor->present == 0) return length;

    // Zero-filled, and std::string keeps a NUL after the last byte, so the byte after the
    // returned length is always 0. The buffer's capacity is reused between calls.
    buffer.assign(length, '\0');
    // A split beyond the read is clipped to its end, so no copy can leave the read or the buffer.
    const size_t start = std::min(descriptor->startBaseInRead, length);
    if (descriptor->type == kDeletion) {
        const size_t resume = start + descriptor->size;
        copyBases(buffer, 0, referenceText, 0, start);
        copyBases(buffer, start, referenceText, resume, resume + (length - start));
        referenceText = buffer.c_str();
        return length;
    }
    const size_t size = std::min<size_t>(descriptor->size, length - start);
    const size_t kept = length - size;
    copyBases(buffer, 0, readText, 0, start);
    copyBases(buffer, start, readText, start + size, length);
    buffer.resize(kept);
    readText = buffer.c_str();
    return static_cast<uint32_t>(kept);
}

}  // namespace koru
