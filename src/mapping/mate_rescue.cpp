#include "mapping/mate_rescue.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>

#include "candidates/candidate_generation.h"
#include "sequence/nucleotide_encoding.h"

namespace koru {

namespace {

// Mismatched bases of the read's words against the genome from bit `start` on (start >= 0, the
// words inside the planes): both planes compared, the read's uncalled bases masked out.
std::uint32_t mismatchesAt(const ReadOrientationWords& words, const std::uint32_t* planePairs,
                           std::uint64_t start) {
    const std::uint32_t* pair = planePairs + 2 * (start / 32);
    const auto offset = static_cast<unsigned>(start % 32);
    std::uint32_t mismatches = 0;
    for (std::size_t i = 0; i < words.base.size(); ++i, pair += 2) {
        const PlaneWords genome = planeWordsAt(pair, offset);
        mismatches += static_cast<std::uint32_t>(
            std::popcount(((genome.base ^ words.base[i]) | (genome.check ^ words.check[i])) & words.mask[i]));
    }
    return mismatches;
}

}  // namespace

bool rescueShortRead(const Read& read, std::uint32_t matePosition, std::uint32_t window,
                     const GenomeSequence& genome, CandidatePositions& store) {
    const ChromosomeInformation* chromosome = getChromosomeInformationForGenomePosition(matePosition, genome);
    if (chromosome == nullptr || read.length == 0) return false;
    // Places whose whole read lies inside the chromosome's bases, never in its padding.
    const std::uint64_t first = std::max<std::uint64_t>(chromosome->startGenomePosition,
                                                        matePosition > window ? matePosition - window : 0);
    const std::uint64_t chromosomeEnd = chromosome->startGenomePosition + chromosome->basePairs;
    if (chromosomeEnd < read.length) return false;
    const std::uint64_t last =
        std::min<std::uint64_t>(chromosomeEnd - read.length, std::uint64_t{matePosition} + window);
    const std::uint32_t* planes = genome.planeWords.get();
    const auto limit = static_cast<std::uint32_t>(rescuedReadMismatchShare * read.length);
    std::uint32_t best = std::numeric_limits<std::uint32_t>::max(), bestPosition = 0, bestOrientation = 0;
    for (const std::uint32_t orientation : {kForwardOrientation, kReverseComplementOrientation}) {
        const ReadOrientationWords words = getReadOrientationWords(read, orientation);
        for (std::uint64_t position = first; position <= last; ++position) {
            // The read's bit f lines up with genome position g: its words start firstOffset earlier.
            if (position < words.firstOffset) continue;
            const std::uint64_t start = position - words.firstOffset;
            if ((start / 32 + words.base.size() + 1) >= genome.allocatedBinaryEncodedArraySize) break;
            const std::uint32_t mismatches = mismatchesAt(words, planes, start);
            if (mismatches < best) {
                best = mismatches;
                bestPosition = static_cast<std::uint32_t>(position);
                bestOrientation = orientation;
            }
        }
    }
    if (best > limit) return false;
    const bool forward = bestOrientation == kForwardOrientation;
    store.keyHits.push_back({bestPosition, forward ? 1u : 0u, forward ? 0u : 1u});
    return true;
}

}  // namespace koru
