// The simple alignment: the read is compared base by base with the reference under its position
// (honouring at most one indel), poorly matching ends are soft-clipped, and the CIGAR and SAM MD
// strings are written from what is left.

#include <algorithm>
#include <cstring>
#include <span>

#include "alignment/alignment.h"
#include "sequence/nucleotide_encoding.h"
#include "support/text_format.h"

namespace koru {

namespace {

constexpr char kMatch = 'M';
// A base with no reference text under it (past the genome) is a mismatch; the MD field needs a
// letter for it, and N claims nothing about the missing base.
constexpr char kMissingReferenceBase = 'N';
// An alignment whose matched share, weighted by its longest run and split by its run count, is
// this small or smaller is noise rather than a placement.
constexpr float kMinimumMatchQuotient = 0.01f;

char upperCase(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The chromosome's own bases: the padding and separator after them are not reference.
struct ChromosomeBases {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
};

ChromosomeBases chromosomeBasesAt(const GenomeSequence& genome, std::uint64_t genomePosition) {
    const ChromosomeInformation* chromosome =
        getChromosomeInformationForGenomePosition(genomePosition, genome);
    if (chromosome == nullptr) return {};
    return {chromosome->startGenomePosition, chromosome->startGenomePosition + chromosome->basePairs};
}

// Bases placed past the chromosome's ends never match, so trimming clips them and the alignment
// stays on its chromosome. An indel shifts the bases after it by its size at most; what is left
// across the end then is caught by the span check of the finished alignment.
void markBasesOutsideTheChromosome(const GenomeSequence& genome, std::uint64_t genomePosition,
                                   std::string& match) {
    const ChromosomeBases bases = chromosomeBasesAt(genome, genomePosition);
    for (std::size_t i = 0; i < match.size(); ++i) {
        const std::uint64_t position = genomePosition + i;
        if (position < bases.start || position >= bases.end) match[i] = kMissingReferenceBase;
    }
}

// Whether the read lies on its chromosome's own bases, with no uncalled base on either side: only
// then can a binary score of 0 stand for a perfect match without comparing texts.
bool isPlainPlacement(const GenomeSequence& genome, const Read& read, std::uint64_t genomePosition) {
    const ChromosomeBases bases = chromosomeBasesAt(genome, genomePosition);
    if (genomePosition < bases.start || genomePosition + read.length > bases.end) return false;
    if (read.sequence.find_first_not_of("ACGTacgt") != std::string::npos) return false;
    if (!hasReferenceText(genome)) return true;
    const std::span<const std::uint32_t> uncalled(
        genome.uncalledPlaneWords.get(), static_cast<std::size_t>(genome.allocatedBinaryEncodedArraySize));
    for (std::uint32_t done = 0; done < read.length; done += 32) {
        const std::uint32_t left = read.length - done;
        const std::uint32_t keep = left >= 32 ? ~0u : ~0u << (32 - left);
        if ((getWordAtBitPosition(uncalled, genomePosition + done) & keep) != 0) return false;
    }
    return true;
}

// `referenceText` stops at the genome's end, so a read hanging off the genome never reads beyond it.
void compareBases(const char* readText, const char* referenceText, std::uint32_t length, std::string& match) {
    const std::size_t readAvailable = strnlen(readText, length);
    const std::size_t referenceAvailable = strnlen(referenceText, length);
    match.assign(length, kMatch);
    for (std::size_t i = 0; i < length; ++i) {
        if (i >= referenceAvailable) {
            match[i] = kMissingReferenceBase;
            continue;
        }
        const char reference = upperCase(referenceText[i]);
        const char base = i < readAvailable ? upperCase(readText[i]) : '\0';
        // An uncalled base on either side is no evidence of a match, so it counts as a mismatch,
        // as SAM readers count it: otherwise a read of N, or one over a reference gap, would match.
        if (base != reference || base == 'N') match[i] = reference;
    }
}

// The indel as the comparison applied it: its split lies within the compared bases, and an
// insertion reaching past the read removes only the bases the read has.
struct AppliedIndel {
    bool present = false;
    std::uint32_t start = 0;
    std::uint32_t size = 0;
    std::uint32_t type = kNeitherInsertionNorDeletion;
};

AppliedIndel appliedIndel(const IndelDescriptor& descriptor, std::uint32_t readLength,
                          std::uint32_t comparedLength) {
    if (!descriptor.present) return {};
    const std::uint32_t size = descriptor.type == kDeletion ? descriptor.size : readLength - comparedLength;
    return {true, std::min(descriptor.startBaseInRead, comparedLength), size, descriptor.type};
}

// Scans up to the limit for the first run of two matches and returns the index where it begins.
// A lone match between mismatches is not trusted to anchor the alignment.
std::uint32_t leadingTrim(const std::string& match, std::uint32_t limit) {
    std::uint32_t run = 0;
    for (std::uint32_t i = 0; i < limit; ++i) {
        run = match[i] == kMatch ? run + 1 : 0;
        if (run == 2) return i - 1;
    }
    return limit - run;
}

// The same scan from the end down to the lower bound; returns the number of bases after the run.
std::uint32_t trailingTrim(const std::string& match, std::uint32_t lowerBound) {
    const auto length = static_cast<std::uint32_t>(match.size());
    if (length == 0 || length - 1 < lowerBound) return 0;
    std::uint32_t run = 0;
    for (std::uint32_t i = length; i-- > lowerBound;) {
        run = match[i] == kMatch ? run + 1 : 0;
        if (run == 2) return length - (i + 2);
    }
    return length - lowerBound - run;
}

char cigarOperation(std::uint32_t indelType) {
    if (indelType == kDeletion) return 'D';
    if (indelType == kInsertion) return 'I';
    return 'X';
}

// An insertion with no aligned base on one side of it (the read's extra bases run to its end) is
// written as a clip: SAM readers refuse an operation of length 0 next to it.
bool insertionIsClipped(const AppliedIndel& indel, std::uint32_t length, std::uint32_t trimStart,
                        std::uint32_t trimEnd) {
    return indel.present && indel.type == kInsertion &&
           (indel.start <= trimStart || indel.start + trimEnd >= length);
}

void writeCigarString(std::uint32_t length, std::uint32_t trimStart, std::uint32_t trimEnd,
                      const AppliedIndel& indel, std::string& cigar) {
    cigar.clear();
    if (insertionIsClipped(indel, length, trimStart, trimEnd)) {
        const bool leading = indel.start <= trimStart;
        const std::uint32_t clipStart = trimStart + (leading ? indel.size : 0);
        const std::uint32_t clipEnd = trimEnd + (leading ? 0 : indel.size);
        if (clipStart > 0) appendPrintf(cigar, "%uS", clipStart);
        appendPrintf(cigar, "%uM", length - trimStart - trimEnd);
        if (clipEnd > 0) appendPrintf(cigar, "%uS", clipEnd);
        return;
    }
    if (trimStart > 0) appendPrintf(cigar, "%uS", trimStart);
    if (indel.present) {
        appendPrintf(cigar, "%uM%u%c%uM", indel.start - trimStart, indel.size, cigarOperation(indel.type),
                     length - indel.start - trimEnd);
    } else {
        appendPrintf(cigar, "%uM", length - trimStart - trimEnd);
    }
    if (trimEnd > 0) appendPrintf(cigar, "%uS", trimEnd);
}

// The MD field with the edit distance and match segments gathered while it is written.
struct MismatchStringWriter {
    std::string& text;
    std::uint32_t run = 0;
    std::uint32_t editDistance = 0;
    std::uint32_t segments = 0;
    std::uint32_t longest = 0;

    void closeRun() {
        appendPrintf(text, "%u", run);
        if (run > 0) {
            ++segments;
            longest = std::max(longest, run);
        }
        run = 0;
    }
    void addMismatch(char referenceBase) {
        closeRun();
        text += referenceBase;
        ++editDistance;
    }
    // The run before a deletion counts as a segment only when the base after the split's first
    // one is not a match.
    void addDeletion(const std::string& deletedBases, bool nextIsMatch) {
        appendPrintf(text, "%u", run);
        if (run > 0) {
            longest = std::max(longest, run);
            if (!nextIsMatch) ++segments;
        }
        text += '^';
        text += deletedBases;
        run = 0;
    }
};

const std::string& deletedReferenceBases(const GenomeSequence& genome, std::uint64_t position,
                                         std::uint32_t size, std::string& bases) {
    referenceText(genome, position, size, bases);
    bases.resize(size, kMissingReferenceBase);
    return bases;
}

void writeMismatchString(Alignment& alignment, const AppliedIndel& indel, const GenomeSequence& genome,
                         AlignmentScratch& scratch) {
    const std::string& match = alignment.matchString;
    const auto length = static_cast<std::uint32_t>(match.size());
    const std::uint32_t end = length - alignment.numberOfBasesTrimmedFromEnd;
    alignment.mismatchString.clear();
    MismatchStringWriter writer{alignment.mismatchString};
    // A clipped insertion's bases are not aligned, so not edits.
    const bool indelAligned =
        indel.present && !insertionIsClipped(indel, length, alignment.numberOfBasesTrimmedFromStart,
                                             alignment.numberOfBasesTrimmedFromEnd);
    for (std::uint32_t i = alignment.numberOfBasesTrimmedFromStart; i < end; ++i) {
        if (indelAligned && i == indel.start) {
            if (indel.type == kDeletion) {
                const bool nextIsMatch = i + 1 < length && match[i + 1] == kMatch;
                const std::uint64_t deleted = std::uint64_t{alignment.primaryPosition.genomePosition} + i;
                writer.addDeletion(deletedReferenceBases(genome, deleted, indel.size, scratch.kept),
                                   nextIsMatch);
            }
            writer.editDistance += indel.size;
        }
        if (match[i] == kMatch) {
            ++writer.run;
        } else {
            writer.addMismatch(match[i]);
        }
    }
    writer.closeRun();
    alignment.editDistance = writer.editDistance;
    alignment.numberOfMatchSegments = writer.segments;
    alignment.lengthOfLongestMatchSegment = writer.longest;
}

// The aligned bases, clips left out, lie within the chromosome of the read's position.
bool staysOnItsChromosome(const Alignment& alignment, const GenomeSequence& genome) {
    const std::uint64_t position = alignment.primaryPosition.genomePosition;
    const ChromosomeBases bases = chromosomeBasesAt(genome, position);
    const std::uint64_t first = position + alignment.numberOfBasesTrimmedFromStart;
    return first >= bases.start && first + cigarReferenceSpan(alignment.cigarString) <= bases.end;
}

void setPerfectMatch(Alignment& alignment, std::uint32_t readLength) {
    alignment.cigarString.clear();
    appendPrintf(alignment.cigarString, "%uM", readLength);
    alignment.mismatchString.clear();
    appendPrintf(alignment.mismatchString, "%u", readLength);
    alignment.matchString.clear();
    alignment.editDistance = 0;
    alignment.numberOfMatchSegments = 1;
    alignment.lengthOfLongestMatchSegment = readLength;
    alignment.numberOfBasesTrimmedFromStart = 0;
    alignment.numberOfBasesTrimmedFromEnd = 0;
}

// Kept in 32-bit unsigned and single-precision arithmetic, wrapping included, so that the same
// alignments pass on every build. 0 / 0 is not a number and compares false: it passes.
bool hasEnoughMatchQuality(const Alignment& a, std::uint32_t readLength) {
    const std::uint32_t matched =
        (readLength - a.editDistance - a.numberOfBasesTrimmedFromStart - a.numberOfBasesTrimmedFromEnd) *
        a.lengthOfLongestMatchSegment;
    const std::uint32_t possible = readLength * readLength * a.numberOfMatchSegments;
    const float quotient = static_cast<float>(matched) / static_cast<float>(possible);
    return !(quotient <= kMinimumMatchQuotient);
}

}  // namespace

void createSimpleMatchString(const Position& position, Read& read, const GenomeSequence& genome,
                             AlignmentScratch& scratch, std::string& match) {
    const char* readText = getReadSequenceForOrientation(read, position.orientation);
    // An unset orientation compares the read as sequenced.
    if (readText == nullptr) readText = read.sequence.c_str();
    const IndelDescriptor& indel = position.indelDescriptor;
    const std::size_t reach = std::size_t{read.length} + (indel.present ? indel.size : 0);
    referenceText(genome, position.genomePosition, reach, scratch.reference);
    const char* referenceText = scratch.reference.c_str();
    const std::uint32_t length =
        applyIndelToReadAndReferenceSequencePointers(&indel, read, readText, referenceText, scratch.indel);
    compareBases(readText, referenceText, length, match);
    markBasesOutsideTheChromosome(genome, position.genomePosition, match);
}

std::string createSimpleMatchString(const Position& position, Read& read, const GenomeSequence& genome) {
    AlignmentScratch scratch;
    std::string match;
    createSimpleMatchString(position, read, genome, scratch, match);
    return match;
}

void performSimpleAlignment(Alignment& alignment, Read& read, const GenomeSequence& genome,
                            AlignmentScratch& scratch) {
    createSimpleMatchString(alignment.primaryPosition, read, genome, scratch, alignment.matchString);
    const std::string& match = alignment.matchString;
    const auto length = static_cast<std::uint32_t>(match.size());
    const AppliedIndel indel = appliedIndel(alignment.primaryPosition.indelDescriptor, read.length, length);
    // Trimming never crosses the indel: the bases on either side of it anchor it.
    const std::uint32_t trimStart = leadingTrim(match, indel.present ? indel.start : length);
    alignment.numberOfBasesTrimmedFromStart = trimStart;
    if (trimStart >= length) {
        alignment.isReportable = 0;
        return;
    }
    const std::uint32_t trimEnd = trailingTrim(match, indel.present ? indel.start : 0);
    alignment.numberOfBasesTrimmedFromEnd = trimEnd;
    if (trimEnd >= length || std::uint64_t{trimStart} + trimEnd >= length) alignment.isReportable = 0;
    if (!alignment.isReportable) return;
    writeCigarString(length, trimStart, trimEnd, indel, alignment.cigarString);
    writeMismatchString(alignment, indel, genome, scratch);
}

void performSmithWattermanAlignment(Alignment& alignment, Read& read, const GenomeSequence& genome,
                                    AlignmentScratch& scratch) {
    performSimpleAlignment(alignment, read, genome, scratch);
}

void performAlignment(const AlignmentParameters& /*params*/, Read& read, Alignment& alignment,
                      const GenomeSequence& genome, AlignmentScratch& scratch) {
    if (alignment.isEmpty) return;
    const Position& primary = alignment.primaryPosition;
    if (primary.orientation == kReverseComplementOrientation) addReverseComplementOrientation(read);
    if (primary.mappingScores.mismatchScores.wholeReadScore != 0 || primary.indelDescriptor.present ||
        !isPlainPlacement(genome, read, primary.genomePosition)) {
        performSmithWattermanAlignment(alignment, read, genome, scratch);
    } else {
        setPerfectMatch(alignment, read.length);
    }
    if (alignment.isReportable && !hasEnoughMatchQuality(alignment, read.length)) alignment.isReportable = 0;
    if (alignment.isReportable && !staysOnItsChromosome(alignment, genome)) alignment.isReportable = 0;
}

}  // namespace koru

namespace koru {

std::uint64_t cigarReferenceSpan(std::string_view cigar) {
    std::uint64_t span = 0, length = 0;
    for (const char c : cigar) {
        if (c >= '0' && c <= '9') {
            length = 10 * length + static_cast<std::uint64_t>(c - '0');
            continue;
        }
        if (c == 'M' || c == 'D' || c == 'N' || c == '=' || c == 'X') span += length;
        length = 0;
    }
    return span;
}

void performAlignment(const AlignmentParameters& params, Read& read, Alignment& alignment,
                      const GenomeSequence& genome) {
    AlignmentScratch scratch;
    performAlignment(params, read, alignment, genome, scratch);
}

}  // namespace koru
