#pragma once
// The small value records that travel with every candidate and alignment position: mismatch
// scores, mapping scores and the indel applied to the read there.

#include <cstdint>
#include <string>
#include <string_view>

namespace koru {

struct Read;

// In an unsigned 16-bit score: not scored. Lower is better, so it loses every comparison.
inline constexpr uint16_t kNotScored = 65535;

// First and last always mean the read as sequenced, whatever the candidate's orientation.
struct MismatchScores {
    uint16_t wholeReadScore = kNotScored;
    uint16_t minWordScore = kNotScored;
    uint16_t firstWordScore = kNotScored;
    uint16_t lastWordScore = kNotScored;
    uint16_t middleWordsScore = kNotScored;  // whole read - first - last, modulo 2^16
    uint16_t primaryScore = kNotScored;      // = min word
    uint16_t secondaryScore = kNotScored;    // = whole read
};

struct MappingScores {
    uint32_t numberOfAssociatedKeys = 0;
    MismatchScores mismatchScores;
};

inline constexpr uint32_t kNeitherInsertionNorDeletion = 0;
inline constexpr uint32_t kInsertion = 1;  // the read holds `size` bases the reference lacks
inline constexpr uint32_t kDeletion = 2;   // the reference holds `size` bases the read lacks

// Zero-filled means empty.
struct IndelDescriptor {
    uint32_t startBaseInRead = 0;  // first base after the split, in the read's aligned orientation
    uint32_t size = 0;
    uint8_t present = 0;
    uint32_t type = kNeitherInsertionNorDeletion;
};

void initMismatchScores(MismatchScores& scores);
// First and last windows are given in the orientation scored; for the reverse complement they
// swap, because its first window covers the read's last bases.
void populateMisMatchScores(uint32_t orientation, MismatchScores& scores, uint16_t wholeRead,
                            uint16_t minWord, uint16_t firstWindow, uint16_t lastWindow);
// Lowers each field of the accumulator to the other record's where that is smaller.
void minimumOfMismatchScores(MismatchScores& accumulator, const MismatchScores& scores);
// Field-wise a + b, kept to 16 bits.
void calculateAggregateMismatchScores(MismatchScores& result, const MismatchScores& a,
                                      const MismatchScores& b);
// 4 for a good first word, + 2 for good middle words, + 1 for a good last word (below 5 each).
uint32_t getReadMask(const MismatchScores& scores);
void mismatchScoreToString(const MismatchScores* scores, std::string& text, std::string_view prefix);

void initMappingScores(MappingScores& scores);
void mappingScoreToString(const MappingScores* scores, std::string& text, std::string_view prefix);

void populateIndelDescriptor(IndelDescriptor& descriptor, uint32_t size, uint32_t type,
                             uint32_t startBaseInRead);
const char* getLabelForIndelType(uint32_t type);
void indelDescriptorToString(const IndelDescriptor* descriptor, std::string& text, std::string_view prefix);

// Prepares read and reference texts for a gap-free comparison that honours the indel and returns
// the number of bases to compare. A deletion points referenceText at a copy of the reference
// without the deleted bases; any other indel points readText at a copy of the read without the
// inserted bases. The copy lives in the caller's buffer and is NUL-terminated after the
// returned length. With no indel nothing changes (the buffer is untouched) and the read length
// is returned. The texts are read up to their terminating NUL at most; a descriptor reaching
// past the read is clipped to it.
uint32_t applyIndelToReadAndReferenceSequencePointers(const IndelDescriptor* descriptor, const Read& read,
                                                      const char*& readText, const char*& referenceText,
                                                      std::string& buffer);

}  // namespace koru
