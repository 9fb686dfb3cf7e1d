#include "genome/fasta_sequence_encoder.h"

#include <cstring>

#if defined(__SSSE3__)
#include <tmmintrin.h>
#endif

#include "genome/fasta_reference.h"

namespace koru {

namespace {

constexpr std::uint32_t kWordBases = 32;
// The text is compacted and encoded in slices, so that the bases are packed while their ASCII
// copy is still in the cache.
constexpr std::size_t kSliceBytes = 16384;

enum BaseCounter : std::uint8_t { kAdenine, kCytosine, kGuanine, kThymine, kUncalled, kNotCounted };

// Counter and plane bits of an upper-case character: A 1/0, C 0/1, G 1/1, everything else 0/0;
// everything but A, C, G and T is uncalled.
struct BaseCode {
    std::uint8_t counter = kNotCounted;
    std::uint8_t baseBit = 0;
    std::uint8_t checkBit = 0;
    std::uint8_t uncalledBit = 1;
};

constexpr std::array<BaseCode, 256> makeBaseCodes() {
    std::array<BaseCode, 256> codes{};
    codes['A'] = {kAdenine, 1, 0, 0};
    codes['C'] = {kCytosine, 0, 1, 0};
    codes['G'] = {kGuanine, 1, 1, 0};
    codes['T'] = {kThymine, 0, 0, 0};
    codes['N'] = {kUncalled, 0, 0, 1};
    return codes;
}

constexpr std::array<BaseCode, 256> kBaseCodes = makeBaseCodes();

bool isFastaWhitespace(unsigned char byte) {
    return static_cast<unsigned char>(byte - '\t') < 5 || byte == ' ';
}

// Letters of either case (IUPAC codes and the like are kept aside as other letters), and the gap
// and stop marks some references carry.
bool isSequenceByte(unsigned char byte) {
    return static_cast<unsigned char>((byte | 0x20) - 'a') < 26 || byte == '-' || byte == '*' || byte == '.';
}

char toUpperAscii(unsigned char byte) {
    return static_cast<char>(byte >= 'a' && byte <= 'z' ? byte - ('a' - 'A') : byte);
}

// Counts one base into the run statistics once its run has reached 32 repeats.
void countRepeatedBase(SequenceStatistics& statistics, char base, std::uint64_t run) {
    if (base != 'N') {
        ++statistics.positionsWhereSingleNucleotideRepeatedFor32Bases;
        if (run > 32) ++statistics.positionsThatWereExtensionsOfPreviousRepeat;
        return;
    }
    ++statistics.positionsWhere32ConsecutiveUncalledBasesDetected;
    if (run == 32) {
        ++statistics.positionsWith32OrMoreConsecutiveUncalledBases;
        return;
    }
    ++statistics.uncalledPositionsThatWereExtensionsOfPreviousRepeat;
    if (run == 64) ++statistics.positionsWith64OrMoreConsecutiveUncalledBases;
    if (run == 96) ++statistics.positionsWith96OrMoreConsecutiveUncalledBases;
    if (run == 128) ++statistics.positionsWith128OrMoreConsecutiveUncalledBases;
}

#if defined(__SSSE3__)
// One bit per byte: white space.
std::uint32_t whitespaceMask(__m128i bytes) {
    const __m128i shifted = _mm_sub_epi8(bytes, _mm_set1_epi8('\t'));
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(4)), shifted);
    const __m128i space = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(control, space)));
}

__m128i toUpperCase(__m128i bytes) {
    // Bytes from 0x80 on are negative here, so they are never taken for letters.
    const __m128i lower = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('a' - 1)),
                                        _mm_cmplt_epi8(bytes, _mm_set1_epi8('z' + 1)));
    return _mm_sub_epi8(bytes, _mm_and_si128(lower, _mm_set1_epi8('a' - 'A')));
}

// One bit per byte: a letter of either case, '-', '*' or '.'.
std::uint32_t sequenceByteMask(__m128i bytes) {
    const __m128i folded = _mm_sub_epi8(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i letter = _mm_cmpeq_epi8(_mm_min_epu8(folded, _mm_set1_epi8(25)), folded);
    const __m128i marks = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('-')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('*'))),
        _mm_cmpeq_epi8(bytes, _mm_set1_epi8('.')));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(letter, marks)));
}

std::uint32_t matchMask(__m128i first, __m128i second, char letter) {
    const __m128i wanted = _mm_set1_epi8(letter);
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(first, wanted))) << 16 |
           static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(second, wanted)));
}
#endif

// Writes the text's non-white-space bytes upper-cased from out on and returns their number. It may
// write one byte past them; the caller's next bases or padding overwrite it.
std::size_t compactUpperCase(std::string_view text, char* out) {
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t kept = 0, index = 0;
#if defined(__SSSE3__)
    for (; index + 16 <= text.size(); index += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + index));
        const std::uint32_t whitespace = whitespaceMask(bytes);
        const __m128i upper = toUpperCase(bytes);
        if (whitespace == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kept), upper);
            kept += 16;
            continue;
        }
        alignas(16) char block[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(block), upper);
        for (std::uint32_t byte = 0; byte < 16; ++byte) {
            out[kept] = block[byte];
            kept += ((whitespace >> byte) & 1) ^ 1;
        }
    }
#endif
    for (; index < text.size(); ++index) {
        out[kept] = toUpperAscii(in[index]);
        kept += !isFastaWhitespace(in[index]);
    }
    return kept;
}

}  // namespace

FastaTextScan scanFastaSequence(std::string_view text) {
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    FastaTextScan scan;
    std::size_t index = 0;
#if defined(__SSSE3__)
    for (; index + 16 <= text.size(); index += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + index));
        const std::uint32_t whitespace = whitespaceMask(bytes);
        scan.whitespace += static_cast<std::size_t>(__builtin_popcount(whitespace));
        const std::uint32_t others = ~(whitespace | sequenceByteMask(bytes)) & 0xFFFFu;
        if (others != 0 && scan.firstOtherByte == std::string_view::npos)
            scan.firstOtherByte = index + static_cast<std::size_t>(__builtin_ctz(others));
    }
#endif
    for (; index < text.size(); ++index) {
        scan.whitespace += isFastaWhitespace(in[index]);
        if (!isFastaWhitespace(in[index]) && !isSequenceByte(in[index]) &&
            scan.firstOtherByte == std::string_view::npos)
            scan.firstOtherByte = index;
    }
    return scan;
}

FastaSequenceEncoder::FastaSequenceEncoder(std::uint32_t* planePairs, std::uint32_t* uncalledPlane)
    : slice_(kSliceBytes + 2 * kWordBases), planePairs_(planePairs), uncalledPlane_(uncalledPlane) {}

std::uint64_t FastaSequenceEncoder::encodeChromosome(std::string_view sequence) {
    run_ = 0;
    previous_ = 'N';
    // Bases short of a whole word wait at the front of the slice buffer for the next slice.
    std::uint64_t compacted = 0, pending = 0;
    for (std::size_t slice = 0; slice < sequence.size(); slice += kSliceBytes) {
        const std::size_t kept =
            compactUpperCase(sequence.substr(slice, kSliceBytes), slice_.data() + pending);
        compacted += kept;
        const std::uint64_t available = pending + kept;
        const std::uint64_t wholeWords = available / kWordBases * kWordBases;
        encodeWords(slice_.data(), wholeWords);
        pending = available - wholeWords;
        std::memmove(slice_.data(), slice_.data() + wholeWords, pending);
    }
    finishChromosome(slice_.data(), static_cast<std::uint32_t>(pending));
    return compacted;
}

void FastaSequenceEncoder::encodeWords(const char* bases, std::uint64_t count) {
    for (std::uint64_t offset = 0; offset < count; offset += kWordBases) {
#if defined(__SSSE3__)
        encodeWordWithVectors(bases + offset);
#else
        std::uint32_t baseWord = 0, checkWord = 0, uncalledWord = 0;
        encodeScalar(bases + offset, kWordBases, baseWord, checkWord, uncalledWord);
        writeWords(baseWord, checkWord, uncalledWord);
#endif
    }
}

#if defined(__SSSE3__)
void FastaSequenceEncoder::encodeWordWithVectors(const char* bases) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bases));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bases + 16));
    // Reversed, the first base lands in the top bit of each mask, as the planes want it.
    const __m128i reverse = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m128i firstReversed = _mm_shuffle_epi8(first, reverse);
    const __m128i secondReversed = _mm_shuffle_epi8(second, reverse);
    const std::uint32_t adenines = matchMask(firstReversed, secondReversed, 'A');
    const std::uint32_t cytosines = matchMask(firstReversed, secondReversed, 'C');
    const std::uint32_t guanines = matchMask(firstReversed, secondReversed, 'G');
    const std::uint32_t thymines = matchMask(firstReversed, secondReversed, 'T');
    const std::uint32_t uncalled = matchMask(firstReversed, secondReversed, 'N');
    const std::uint32_t called = adenines | cytosines | guanines | thymines;
    if ((called | uncalled) != 0xFFFFFFFFu) recordOtherLetters(bases, kWordBases, ~(called | uncalled));
    writeWords(adenines | guanines, cytosines | guanines, ~called);
    counts_[kAdenine] += static_cast<std::uint64_t>(__builtin_popcount(adenines));
    counts_[kCytosine] += static_cast<std::uint64_t>(__builtin_popcount(cytosines));
    counts_[kGuanine] += static_cast<std::uint64_t>(__builtin_popcount(guanines));
    counts_[kThymine] += static_cast<std::uint64_t>(__builtin_popcount(thymines));
    counts_[kUncalled] += static_cast<std::uint64_t>(__builtin_popcount(uncalled));

    // Bit i: base i repeats the one before it.
    const __m128i firstPrevious = _mm_alignr_epi8(first, _mm_set1_epi8(previous_), 15);
    const __m128i secondPrevious = _mm_alignr_epi8(second, first, 15);
    const auto repeats = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(first, firstPrevious))) |
                         static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(second, secondPrevious)))
                             << 16;
    // Only the run that continues into the word can reach 32 within it; otherwise the run at the
    // end is the repeats at the end of the word.
    if (repeats == 0xFFFFFFFFu || run_ + static_cast<std::uint64_t>(__builtin_ctz(~repeats)) >= 32) {
        countRuns(bases, kWordBases);
    } else {
        run_ = static_cast<std::uint64_t>(__builtin_clz(~repeats));
        previous_ = bases[kWordBases - 1];
    }
}
#endif

void FastaSequenceEncoder::encodeScalar(const char* bases, std::uint32_t count, std::uint32_t& baseWord,
                                        std::uint32_t& checkWord, std::uint32_t& uncalledWord) {
    std::uint32_t others = 0;
    for (std::uint32_t index = 0; index < count; ++index) {
        const BaseCode code = kBaseCodes[static_cast<unsigned char>(bases[index])];
        ++counts_[code.counter];
        baseWord = baseWord << 1 | code.baseBit;
        checkWord = checkWord << 1 | code.checkBit;
        uncalledWord = uncalledWord << 1 | code.uncalledBit;
        others |= static_cast<std::uint32_t>(code.counter == kNotCounted) << (31 - index);
    }
    if (others != 0) recordOtherLetters(bases, count, others);
    countRuns(bases, count);
}

// Bit 31 - i of `others` marks bases[i], which lies at genome position 32 x word_ + i.
void FastaSequenceEncoder::recordOtherLetters(const char* bases, std::uint32_t count, std::uint32_t others) {
    for (std::uint32_t index = 0; index < count; ++index) {
        if (((others >> (31 - index)) & 1u) == 0) continue;
        const auto position = static_cast<std::uint32_t>(word_ * kWordBases + index);
        ReferenceLetterRun* last = otherLetters_.empty() ? nullptr : &otherLetters_.back();
        if (last != nullptr && last->letter == bases[index] && last->start + last->length == position) {
            ++last->length;
        } else {
            otherLetters_.push_back({position, 1, bases[index]});
        }
    }
}

void FastaSequenceEncoder::countRuns(const char* bases, std::uint32_t count) {
    for (std::uint32_t index = 0; index < count; ++index) {
        const char base = bases[index];
        run_ = base == previous_ ? run_ + 1 : 0;
        previous_ = base;
        if (run_ >= 32) countRepeatedBase(runs_, base, run_);
    }
}

void FastaSequenceEncoder::finishChromosome(const char* tail, std::uint32_t tailBases) {
    if (tailBases != 0) {
        // The last bases, in the top bits of a word padded with N.
        std::uint32_t baseWord = 0, checkWord = 0, uncalledWord = 0;
        encodeScalar(tail, tailBases, baseWord, checkWord, uncalledWord);
        const std::uint32_t padding = kWordBases - tailBases;
        writeWords(baseWord << padding, checkWord << padding,
                   uncalledWord << padding | ((1u << padding) - 1));
    }
    writeWords(0, 0, 0xFFFFFFFFu);
}

SequenceStatistics FastaSequenceEncoder::statistics() const {
    SequenceStatistics statistics = runs_;
    statistics.adenines = counts_[kAdenine];
    statistics.cytosines = counts_[kCytosine];
    statistics.guanines = counts_[kGuanine];
    statistics.thymines = counts_[kThymine];
    statistics.uncalledBases = counts_[kUncalled];
    statistics.totalNumberOfBases = statistics.adenines + statistics.cytosines + statistics.guanines +
                                    statistics.thymines + statistics.uncalledBases;
    return statistics;
}

}  // namespace koru
