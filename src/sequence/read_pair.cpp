#include "sequence/read_pair.h"

#include <algorithm>
#include <charconv>

#include "sequence/nucleotide_encoding.h"
#include "support/text_format.h"

namespace koru {

namespace {

// Room beyond the allocated lengths, so a slightly longer read or name fits without growing.
constexpr uint32_t kTextSlack = 50;

void zeroWords(std::vector<uint32_t>& plane, uint32_t numberOfWords) {
    std::fill_n(plane.begin(), std::min<size_t>(numberOfWords, plane.size()), 0u);
}

void resetRead(Read& read, bool resetForward, bool resetReverseComplement) {
    const uint32_t words = read.binaryEncodedArraySize;
    if (resetForward) {
        zeroWords(read.baseWords, words);
        zeroWords(read.checkWords, words);
        zeroWords(read.maskWords, words);
    }
    if (resetReverseComplement) {
        zeroWords(read.reverseComplementBaseWords, words);
        zeroWords(read.reverseComplementCheckWords, words);
        zeroWords(read.reverseComplementMaskWords, words);
    }
    read.hasReverseComplementSequence = false;
    read.hasReverseQualitySequence = false;
}

}  // namespace

char getStringValueOfOrientation(uint32_t orientation) {
    return orientation == kReverseComplementOrientation ? '-' : '+';
}

std::unique_ptr<ReadPair> createReadPair(uint32_t readLength, uint32_t nameLength) {
    auto pair = std::make_unique<ReadPair>();
    allocateMemberArraysForRead(pair->readA, readLength, nameLength);
    allocateMemberArraysForRead(pair->readB, readLength, nameLength);
    return pair;
}

void allocateMemberArraysForRead(Read& read, uint32_t readLength, uint32_t nameLength) {
    read.length = readLength;
    read.nameLength = nameLength;
    read.allocatedSequenceNameStorage = nameLength + kTextSlack;
    read.allocatedReadSequenceStorage = readLength + kTextSlack;
    read.binaryEncodedArraySize = numberOfWordsForBases(readLength);

    for (auto* plane :
         {&read.baseWords, &read.checkWords, &read.reverseComplementBaseWords,
          &read.reverseComplementCheckWords, &read.maskWords, &read.reverseComplementMaskWords}) {
        plane->assign(read.binaryEncodedArraySize, 0u);
    }
    // Reserved capacity (std::string adds the terminator itself) lets every later fill of a read
    // that fits reuse the storage.
    const auto clearWithCapacity = [](std::string& text, size_t capacity) {
        text.clear();
        text.reserve(capacity);
    };
    clearWithCapacity(read.name, read.allocatedSequenceNameStorage);
    clearWithCapacity(read.sequence, read.allocatedReadSequenceStorage);
    clearWithCapacity(read.qualitySequence, size_t{readLength} + 2);
    clearWithCapacity(read.reverseComplementSequence, size_t{readLength} + 1);
    clearWithCapacity(read.reverseQualitySequence, size_t{readLength} + 1);
    // The texts are empty now, so nothing built from them is up to date.
    read.hasReverseComplementSequence = false;
    read.hasReverseQualitySequence = false;
}

void resizeRead(Read& read, uint32_t readLength, uint32_t nameLength) {
    allocateMemberArraysForRead(read, readLength, nameLength);
}

void resizeReadPair(ReadPair& pair, uint32_t readLength, uint32_t nameLength) {
    resizeRead(pair.readA, readLength, nameLength);
    resizeRead(pair.readB, readLength, nameLength);
}

void resetReadPair(ReadPair& pair, bool resetForward, bool resetReverseComplement) {
    resetRead(pair.readA, resetForward, resetReverseComplement);
    resetRead(pair.readB, resetForward, resetReverseComplement);
}

void encodeRead(Read& read) {
    // Here, where every reader's read passes, so that no text downstream meets a letter that the
    // planes, the reverse complement and SAM do not know.
    uncalledBasesToN(read.sequence);
    const uint32_t words = read.binaryEncodedArraySize;
    const uint32_t written = binaryRepresentationOfSequenceIntegerArrayVersion(
        read.sequence, read.baseWords, read.checkWords, read.maskWords, 0, kToEndOfSequence);
    // A shorter read in larger planes must not keep the tail of the previous one.
    for (auto* plane : {&read.baseWords, &read.checkWords, &read.maskWords}) {
        std::fill(plane->begin() + std::min<size_t>(written, plane->size()),
                  plane->begin() + std::min<size_t>(words, plane->size()), 0u);
    }
    reverseComplementSequence(read.baseWords, read.checkWords, read.maskWords,
                              read.reverseComplementBaseWords, read.reverseComplementCheckWords,
                              read.reverseComplementMaskWords, words);
}

void populateEncodedSequenceInReadPair(ReadPair& pair, uint32_t length, std::string_view sequenceA,
                                       std::string_view sequenceB) {
    resetReadPair(pair, false, false);
    pair.readA.sequence.assign(sequenceA.substr(0, length));
    pair.readB.sequence.assign(sequenceB.substr(0, length));
    encodeRead(pair.readA);
    encodeRead(pair.readB);
}

void initQualitySequence(Read& read, uint32_t qualityCharacter) {
    const char character = static_cast<char>(qualityCharacter);
    read.qualitySequence.assign(read.length, character);
    read.reverseQualitySequence.assign(read.length, character);
    read.uniformQualityCharacter = qualityCharacter;
    read.hasReverseQualitySequence = true;
}

void createNamesUsingSequenceFileInformation(ReadPair& pair) {
    createNameUsingSequenceFileInformation(pair.readA, pair.sequenceFileNumber, pair.sequenceFileLineNumber);
    createNameUsingSequenceFileInformation(pair.readB, pair.sequenceFileNumber, pair.sequenceFileLineNumber);
}

void createNameUsingSequenceFileInformation(Read& read, uint32_t first, uint32_t second) {
    // Formatted on the stack: this runs for every pair and must not allocate.
    char text[24];
    char* end = std::to_chars(text, text + 10, first).ptr;
    *end++ = ':';
    end = std::to_chars(end, text + sizeof text, second).ptr;
    read.name.assign(text, end);
    read.nameLength = static_cast<uint32_t>(read.name.size());
}

void createNamesFromPrefix(ReadPair& pair, std::string_view prefix, uint32_t record) {
    char number[16];
    number[0] = ':';
    char* end = std::to_chars(number + 1, number + sizeof number, record).ptr;
    for (Read* read : {&pair.readA, &pair.readB}) {
        read->name.assign(prefix);
        read->name.append(number, static_cast<std::size_t>(end - number));
        read->nameLength = static_cast<uint32_t>(read->name.size());
    }
}

const char* getReadSequenceForOrientation(Read& read, uint32_t orientation) {
    const char* text = nullptr;
    if (orientation == kForwardOrientation) {
        text = read.sequence.c_str();
    } else if (orientation == kReverseComplementOrientation) {
        addReverseComplementAsciiEncodedSequence(read);
        text = read.reverseComplementSequence.c_str();
    }
    if (text != nullptr) __builtin_prefetch(text);
    return text;
}

void addReverseComplementAsciiEncodedSequence(Read& read) {
    if (read.hasReverseComplementSequence) return;
    reverseComplementAsciiEncodedSequence(read.sequence, read.reverseComplementSequence);
    read.hasReverseComplementSequence = true;
}

void addReverseQualitySequence(Read& read) {
    if (read.hasReverseQualitySequence) return;
    reverseQualitySequence(read.qualitySequence, read.reverseQualitySequence);
    read.hasReverseQualitySequence = true;
}

void addReverseComplementOrientation(Read& read) {
    addReverseComplementAsciiEncodedSequence(read);
    addReverseQualitySequence(read);
}

void readToString(std::string& out, std::string_view prefix, const Read& read) {
    const std::string p(prefix);
    const char* at = p.c_str();
    appendPrintf(out, "%sRead:\n", at);
    appendPrintf(out, "%s\tRead/Sequence Name/ID = %s\n", at, read.name.c_str());
    appendPrintf(out, "%s\tRead/Sequence Name/ID length = %u\n", at, read.nameLength);
    appendPrintf(out, "%s\tallocatedReadSequenceStorage = %u\n", at, read.allocatedReadSequenceStorage);
    appendPrintf(out, "%s\tallocatedSequenceNameStorage = %u\n", at, read.allocatedSequenceNameStorage);
    appendPrintf(out, "%s\tbinaryEncodedArraySize = %u\n", at, read.binaryEncodedArraySize);
    appendPrintf(out, "%s\tRead/Sequence length = %u\n", at, read.length);
    appendPrintf(out, "%s\tSequence         = %s\n", at, read.sequence.c_str());
    appendPrintf(out, "%s\tQuality Sequence = %s\n", at, read.qualitySequence.c_str());
    const std::string planePrefix = p + "\t\t";
    appendPrintf(out, "%s\tForward Sequence:\n", at);
    sequenceWithNToString(out, planePrefix, read.baseWords, read.checkWords, read.maskWords,
                          read.binaryEncodedArraySize, read.sequence, true);
    appendPrintf(out, "%s\tReverse Complement Sequence:\n", at);
    sequenceWithNToString(out, planePrefix, read.reverseComplementBaseWords, read.reverseComplementCheckWords,
                          read.reverseComplementMaskWords, read.binaryEncodedArraySize, std::nullopt, true);
}

void readPairToString(std::string& out, std::string_view prefix, const ReadPair& pair) {
    const std::string p(prefix);
    const std::string readPrefix = p + "\t\t";
    appendPrintf(out, "%sRead Pair:\n", p.c_str());
    appendPrintf(out, "%s\tRead A:\n", p.c_str());
    readToString(out, readPrefix, pair.readA);
    appendPrintf(out, "%s\tRead B:\n", p.c_str());
    readToString(out, readPrefix, pair.readB);
}

void printRead(std::FILE* file, std::string_view prefix, const Read& read) {
    std::string text;
    readToString(text, prefix, read);
    std::fwrite(text.data(), 1, text.size(), file);
}

void printReadPair(std::FILE* file, std::string_view prefix, const ReadPair& pair) {
    std::string text;
    readPairToString(text, prefix, pair);
    std::fwrite(text.data(), 1, text.size(), file);
}

}  // namespace koru
