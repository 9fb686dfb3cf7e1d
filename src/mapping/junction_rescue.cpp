#include "mapping/junction_rescue.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <string>

#include "candidates/mismatch_scoring.h"
#include "sequence/nucleotide_encoding.h"

namespace koru {

namespace {

constexpr std::uint32_t wordBases = 32;

struct Pattern {
    std::uint32_t base = 0, check = 0, mask = 0;
};

Pattern encodePattern(std::string_view text) {
    std::array<std::uint32_t, 1> base{}, check{}, mask{};
    binaryRepresentationOfSequenceIntegerArrayVersion(text, base, check, mask, 0, wordBases - 1);
    return {base[0], check[0], mask[0]};
}

struct BestPlace {
    std::uint32_t mismatches = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t position = 0;
    std::uint32_t orientation = 0;
    bool tied = false;

    void offer(std::uint32_t count, std::uint32_t place, std::uint32_t placeOrientation) {
        if (count > mismatches) return;
        tied = count == mismatches;
        if (tied) return;
        mismatches = count;
        position = place;
        orientation = placeOrientation;
    }
};

// The read's first base for a place of its unmatched end: the end's 32 bases are the read's last
// ones in the orientation where they come last.
std::int64_t readStart(std::uint32_t place, std::uint32_t orientation, bool endUnmatched,
                       std::uint32_t length) {
    const bool endComesLast = endUnmatched == (orientation == kForwardOrientation);
    return endComesLast ? std::int64_t{place} - (length - wordBases) : std::int64_t{place};
}

BestPlace searchWindow(const std::array<Pattern, 2>& patterns, std::uint64_t first, std::uint64_t last,
                       const GenomeSequence& genome) {
    BestPlace best;
    const std::uint32_t* planes = genome.planeWords.get();
    last = std::min<std::uint64_t>(last, 32 * (std::uint64_t{genome.allocatedBinaryEncodedArraySize} - 2));
    for (std::uint64_t place = first; place <= last; ++place) {
        const PlaneWords words = planeWordsAt(planes + 2 * (place / 32), static_cast<unsigned>(place % 32));
        for (std::uint32_t i = 0; i < 2; ++i) {
            const Pattern& p = patterns[i];
            const auto count = static_cast<std::uint32_t>(
                std::popcount(((words.base ^ p.base) | (words.check ^ p.check)) & p.mask));
            best.offer(count, static_cast<std::uint32_t>(place),
                       i == 0 ? kForwardOrientation : kReverseComplementOrientation);
        }
    }
    return best;
}

}  // namespace

bool findJunctionFragmentNearMate(const Read& read, const CandidatePosition& own,
                                  const JunctionRescueSearch& search, const GenomeSequence& genome,
                                  CandidatePosition& fragment) {
    const MismatchScores& scores = own.chosenMappingScores.mismatchScores;
    const ChromosomeInformation* chromosome =
        getChromosomeInformationForGenomePosition(search.matePosition, genome);
    if (scores.firstWordScore == scores.lastWordScore || chromosome == nullptr ||
        read.length < 2 * wordBases || read.sequence.size() < read.length)
        return false;
    // First and last words are the read's own ends whatever the orientation.
    const bool endUnmatched = scores.firstWordScore < scores.lastWordScore;
    const std::string_view text(read.sequence.data(), read.length);
    const std::string_view end =
        endUnmatched ? text.substr(read.length - wordBases) : text.substr(0, wordBases);
    std::string reverse;
    reverseComplementAsciiEncodedSequence(end, reverse);
    const std::array<Pattern, 2> patterns{encodePattern(end), encodePattern(reverse)};
    const std::uint64_t chromosomeStart = chromosome->startGenomePosition;
    const std::uint64_t chromosomeEnd = chromosomeStart + chromosome->basePairs;
    const std::uint64_t first = std::max<std::uint64_t>(
        chromosomeStart, search.matePosition > search.window ? search.matePosition - search.window : 0);
    if (chromosomeEnd < first + wordBases) return false;
    const std::uint64_t last = std::min<std::uint64_t>(chromosomeEnd - wordBases,
                                                       std::uint64_t{search.matePosition} + search.window);
    const BestPlace best = searchWindow(patterns, first, last, genome);
    if (best.tied || best.mismatches > search.maximumMismatches) return false;
    const std::int64_t start = readStart(best.position, best.orientation, endUnmatched, read.length);
    // The whole read must lie on the chromosome; the part outside the fragment is clipped later.
    if (start < static_cast<std::int64_t>(chromosomeStart) ||
        start + read.length > static_cast<std::int64_t>(chromosomeEnd))
        return false;
    if (static_cast<std::uint32_t>(start) == own.genomePosition && best.orientation == own.orientation)
        return false;
    fragment = CandidatePosition{};
    fragment.genomePosition = static_cast<std::uint32_t>(start);
    calculateMismatchScoresUsingBinaryEncodings(read, best.orientation, fragment, genome);
    fragment.orientation = best.orientation;
    fragment.chosenMappingScores = best.orientation == kForwardOrientation
                                       ? fragment.forwardMappingScores
                                       : fragment.reverseComplementMappingScores;
    return true;
}

}  // namespace koru
