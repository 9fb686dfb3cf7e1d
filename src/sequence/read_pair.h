#pragma once
// Reads and read pairs. One ReadPair per worker thread is refilled for every pair it maps, so
// every text and plane keeps its storage between pairs and grows only for a longer read or name.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace koru {

// Orientation codes, wherever an orientation is stored or passed.
inline constexpr uint32_t kForwardOrientation = 1;
inline constexpr uint32_t kReverseComplementOrientation = 2;

struct Read {
    std::vector<uint32_t> baseWords;
    std::vector<uint32_t> checkWords;
    std::vector<uint32_t> reverseComplementBaseWords;
    std::vector<uint32_t> reverseComplementCheckWords;
    std::vector<uint32_t> maskWords;
    std::vector<uint32_t> reverseComplementMaskWords;
    std::string name;
    std::string sequence;
    std::string reverseComplementSequence;  // valid only when hasReverseComplementSequence
    std::string qualitySequence;
    std::string reverseQualitySequence;  // valid only when hasReverseQualitySequence
    uint32_t length = 0;
    uint32_t nameLength = 0;
    uint32_t allocatedReadSequenceStorage = 0;
    uint32_t allocatedSequenceNameStorage = 0;
    // Words in each of the six planes; the reverse complement is right-aligned in this many.
    uint32_t binaryEncodedArraySize = 0;
    // Non-zero when the read came without qualities and every base was given this one.
    uint32_t uniformQualityCharacter = 0;
    uint32_t basesToShiftBetweenKeyGeneration = 0;
    bool hasReverseComplementSequence = false;
    bool hasReverseQualitySequence = false;
};

struct ReadPair {
    uint32_t sequenceFileNumber = 0;      // 0 for FASTQ input
    uint32_t sequenceFileLineNumber = 0;  // 0 for FASTQ input
    Read readA;
    Read readB;
};

// '-' for the reverse complement, '+' for anything else.
char getStringValueOfOrientation(uint32_t orientation);

std::unique_ptr<ReadPair> createReadPair(uint32_t readLength, uint32_t nameLength);

// Sizes the read for a read length and a name length: zeroed planes of ceil(readLength / 32)
// words and texts with room for the read, its name and their slack. Contents are lost.
void allocateMemberArraysForRead(Read& read, uint32_t readLength, uint32_t nameLength);
void resizeRead(Read& read, uint32_t readLength, uint32_t nameLength);
void resizeReadPair(ReadPair& pair, uint32_t readLength, uint32_t nameLength);

// Zeroes the chosen planes of both reads; the lazily built texts always become stale.
void resetReadPair(ReadPair& pair, bool resetForward, bool resetReverseComplement);

// Turns read.sequence's uncalled bases (any letter or mark but A, C, G and T) into N, encodes it
// into the forward planes (clearing the words it does not fill) and builds the reverse-complement
// planes over all binaryEncodedArraySize words. Used by the readers after they have copied a
// sequence in.
void encodeRead(Read& read);

// Fills both reads of a fixed-length record: copies `length` characters of each sequence and
// encodes them. The reads' length fields keep the length the pair was sized for.
void populateEncodedSequenceInReadPair(ReadPair& pair, uint32_t length, std::string_view sequenceA,
                                       std::string_view sequenceB);

// Reads that come without qualities (sequence record files, server requests) are taken to have
// this Phred quality, a usual one of today's instruments: with quality 0 every mapping quality of
// a perfect match would be 0, which readers of SAM take for "placed at random".
inline constexpr uint32_t assumedBaseQuality = 30;

void initQualitySequence(Read& read, uint32_t qualityCharacter);

// Names "<first>:<second>", from the pair's sequence file number and line number.
void createNamesUsingSequenceFileInformation(ReadPair& pair);
void createNameUsingSequenceFileInformation(Read& read, uint32_t first, uint32_t second);
// Names "<prefix>:<record>" for both reads; allocates nothing once the names have grown.
void createNamesFromPrefix(ReadPair& pair, std::string_view prefix, uint32_t record);

// The ASCII sequence in an orientation, building the reverse complement on first use; null for
// an orientation other than 1 or 2.
const char* getReadSequenceForOrientation(Read& read, uint32_t orientation);

void addReverseComplementAsciiEncodedSequence(Read& read);
void addReverseQualitySequence(Read& read);
void addReverseComplementOrientation(Read& read);

void readToString(std::string& out, std::string_view prefix, const Read& read);
void readPairToString(std::string& out, std::string_view prefix, const ReadPair& pair);
void printRead(std::FILE* file, std::string_view prefix, const Read& read);
void printReadPair(std::FILE* file, std::string_view prefix, const ReadPair& pair);

}  // namespace koru
