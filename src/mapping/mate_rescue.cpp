#include "mapping/mate_rescue.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <span>

#include "candidates/candidate_generation.h"
#include "sequence/nucleotide_encoding.h"

namespace koru {

namespace {

// Reads are parted for the indel search at every this many bases, each part this long at least.
constexpr std::uint32_t splitStep = 8;
// Parts this long are found through their seeds whenever they fit (see seededPlaces), and the
// indel search joins parts of 30 bases and more only.
constexpr std::uint32_t shortestPart = 24;
constexpr std::size_t maximumSplits = maximumSupportedReadLength / splitStep;

// The fewest mismatches seen and where; the first place on a tie.
struct BestPlace {
    std::uint32_t mismatches = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t position = 0;

    void offer(std::uint32_t count, std::uint64_t at) {
        if (count >= mismatches) return;
        mismatches = count;
        position = static_cast<std::uint32_t>(at);
    }
};

// Per orientation: the best place of the parts before and after each split.
struct OrientationBest {
    std::array<BestPlace, maximumSplits> before, after;
};

std::uint32_t limitFor(std::uint32_t bases) {
    return static_cast<std::uint32_t>(rescuedReadMismatchShare * bases);
}

// The places that fit the whole read within one mismatch of the best, the fewest mismatches first
// when there are more than room for. All become candidates, so that scoring sees when another
// place fits about as well (a repeat within the window) and gives the read a repeat's quality.
class FittingPlaces {
  public:
    explicit FittingPlaces(std::uint32_t limit) : limit_(limit) {}

    void offer(std::uint32_t mismatches, std::uint64_t position, std::uint32_t orientation) {
        if (mismatches > limit_ || (best_ != none && mismatches > best_ + 1)) return;
        best_ = std::min(best_, mismatches);
        const Place place{mismatches, static_cast<std::uint32_t>(position), orientation};
        if (count_ < places_.size()) {
            places_[count_++] = place;
            return;
        }
        Place* worst = std::max_element(places_.begin(), places_.end(), [](const Place& a, const Place& b) {
            return a.mismatches < b.mismatches;
        });
        if (mismatches < worst->mismatches) *worst = place;
    }

    bool empty() const { return best_ == none; }

    template <class Visit>
    void forEach(Visit&& visit) const {
        for (std::size_t i = 0; i < count_; ++i)
            if (places_[i].mismatches <= best_ + 1) visit(places_[i].position, places_[i].orientation);
    }

  private:
    struct Place {
        std::uint32_t mismatches = 0, position = 0, orientation = 0;
    };
    static constexpr std::uint32_t none = std::numeric_limits<std::uint32_t>::max();
    std::array<Place, 16> places_{};
    std::size_t count_ = 0;
    std::uint32_t limit_;
    std::uint32_t best_ = none;
};

// The read's bases before each split: splitStep, 2 splitStep, ..., each part at least shortestPart.
std::size_t splitsOf(const Read& read, std::array<std::uint32_t, maximumSplits>& splits) {
    std::size_t n = 0;
    for (std::uint32_t s = shortestPart; s + shortestPart <= read.length && n < maximumSplits; s += splitStep)
        splits[n++] = s;
    return n;
}

// Scores the places of one orientation, ascending: the mismatched bases of the read's words
// against the genome (both planes compared, the read's uncalled bases masked out), whole and on
// either side of each split, counted from the words' running totals.
template <class Places>
void scorePlaces(const ReadOrientationWords& words, std::uint32_t orientation, const GenomeSequence& genome,
                 const Places& places, std::span<const std::uint32_t> splits, FittingPlaces& fitting,
                 OrientationBest& best) {
    const std::uint32_t* planes = genome.planeWords.get();
    std::array<std::uint32_t, maximumSupportedReadLength / 32 + 2> differs{}, before{};
    for (const std::uint64_t position : places) {
        // The read's bit f lines up with genome position g: its words start firstOffset earlier.
        if (position < words.firstOffset) continue;
        const std::uint64_t start = position - words.firstOffset;
        if ((start / 32 + words.base.size() + 1) >= genome.allocatedBinaryEncodedArraySize) break;
        const std::uint32_t* pair = planes + 2 * (start / 32);
        const auto offset = static_cast<unsigned>(start % 32);
        std::uint32_t total = 0;
        for (std::size_t i = 0; i < words.base.size(); ++i, pair += 2) {
            const PlaneWords g = planeWordsAt(pair, offset);
            differs[i] = ((g.base ^ words.base[i]) | (g.check ^ words.check[i])) & words.mask[i];
            before[i] = total;
            total += static_cast<std::uint32_t>(std::popcount(differs[i]));
        }
        fitting.offer(total, position, orientation);
        for (std::size_t j = 0; j < splits.size(); ++j) {
            const std::uint64_t bit = words.firstOffset + splits[j];
            const std::size_t word = bit / 32;
            const std::uint32_t inWord =
                bit % 32 == 0 ? 0
                              : static_cast<std::uint32_t>(std::popcount(differs[word] >> (32 - bit % 32)));
            const std::uint32_t head = before[word] + inWord;
            best.before[j].offer(head, position);
            best.after[j].offer(total - head, position);
        }
    }
}

// Every place from first to last, for a read with uncalled bases: they neither match nor
// mismatch, so its seeds prove nothing. A range of its own, as clang 14 cannot compile the
// standard library's iota view.
struct EveryPlace {
    std::uint64_t first = 0, last = 0;
    struct Iterator {
        std::uint64_t position;
        std::uint64_t operator*() const { return position; }
        Iterator& operator++() { return ++position, *this; }
        bool operator!=(const Iterator& other) const { return position != other.position; }
    };
    Iterator begin() const { return {first}; }
    Iterator end() const { return {std::max(first, last + 1)}; }
};

// The code of the seedBases bases at a bit of the planes: the base plane's bits above the check
// plane's.
std::uint32_t seedCode(std::uint32_t base, std::uint32_t check) {
    return (base >> (32 - seedBases)) << seedBases | check >> (32 - seedBases);
}

bool hasUncalledBases(const Read& read) {
    std::uint32_t called = 0;
    for (const std::uint32_t word : getReadOrientationWords(read, kForwardOrientation).mask)
        called += static_cast<std::uint32_t>(std::popcount(word));
    return called != read.length;
}

// The read's seeds in an orientation, as code << 16 | orientation << 15 | offset.
void addSeeds(const ReadOrientationWords& words, std::uint32_t readLength, std::uint32_t side,
              MateRescueScratch& scratch) {
    for (std::uint32_t i = 0; i + seedBases <= readLength; ++i) {
        const std::uint64_t bit = words.firstOffset + i;
        const std::uint32_t code =
            seedCode(getWordAtBitPosition(words.base, bit), getWordAtBitPosition(words.check, bit));
        scratch.seeds.push_back(code << 16 | side << 15 | i);
        scratch.present[code / 64] |= std::uint64_t{1} << (code % 64);
    }
}

// The places from first to last, in each orientation, where one of the read's 7-base seeds lies
// in the genome as it lies in the read, ascending. A place that fits the read, or a part of 24
// bases or more, with at most a tenth of its bases mismatched is among them: so few mismatches
// leave 7 matching bases in a row. The window is read once, a word at a time, for both
// orientations.
void seededPlaces(const Read& read, const GenomeSequence& genome, std::uint64_t first, std::uint64_t last,
                  MateRescueScratch& scratch) {
    scratch.seeds.clear();
    scratch.present.fill(0);
    addSeeds(getReadOrientationWords(read, kForwardOrientation), read.length, 0, scratch);
    addSeeds(getReadOrientationWords(read, kReverseComplementOrientation), read.length, 1, scratch);
    std::sort(scratch.seeds.begin(), scratch.seeds.end());
    for (auto& places : scratch.places) places.clear();
    const std::uint64_t words = genome.allocatedBinaryEncodedArraySize;
    if (words < 2) return;
    const std::uint64_t end = std::min<std::uint64_t>(last + read.length - seedBases, 32 * (words - 2));
    const std::uint32_t* planes = genome.planeWords.get();
    for (std::uint64_t w = first / 32; 32 * w <= end; ++w) {
        const std::uint64_t base = std::uint64_t{planes[2 * w]} << 32 | planes[2 * w + 2];
        const std::uint64_t check = std::uint64_t{planes[2 * w + 1]} << 32 | planes[2 * w + 3];
        for (unsigned o = 0; o < 32; ++o) {
            const std::uint32_t code = static_cast<std::uint32_t>((base << o) >> (64 - seedBases))
                                           << seedBases |
                                       static_cast<std::uint32_t>((check << o) >> (64 - seedBases));
            if ((scratch.present[code / 64] >> (code % 64) & 1) == 0) continue;
            const std::uint64_t g = 32 * w + o;
            if (g < first || g > end) continue;
            for (auto seed = std::lower_bound(scratch.seeds.begin(), scratch.seeds.end(), code << 16);
                 seed != scratch.seeds.end() && *seed >> 16 == code; ++seed) {
                const std::uint32_t offset = *seed & 0x7FFF;
                if (g >= first + offset && g - offset <= last)
                    scratch.places[*seed >> 15 & 1].push_back(static_cast<std::uint32_t>(g - offset));
            }
        }
    }
    for (auto& places : scratch.places) {
        std::sort(places.begin(), places.end());
        places.erase(std::unique(places.begin(), places.end()), places.end());
    }
}

// Adds the keys to the hits at that position, kept ascending: a longer read may have a hit of too
// few keys there already.
void addHits(CandidatePositions& store, std::uint32_t position, std::uint32_t orientation,
             std::uint32_t keys) {
    auto& hits = store.keyHits;
    auto at =
        std::lower_bound(hits.begin(), hits.end(), position,
                         [](const CandidateKeyHits& h, std::uint32_t p) { return h.genomePosition < p; });
    if (at == hits.end() || at->genomePosition != position) at = hits.insert(at, {position, 0, 0});
    (orientation == kForwardOrientation ? at->forwardKeys : at->reverseComplementKeys) += keys;
}

// The split whose two parts fit places at most maximumIndel apart (but not the same place) with the
// fewest mismatches in all; splits.size() when none does.
std::size_t bestSplit(const OrientationBest& best, std::span<const std::uint32_t> splits,
                      std::uint32_t length, std::uint32_t maximumIndel) {
    std::size_t chosen = splits.size();
    std::uint32_t fewest = std::numeric_limits<std::uint32_t>::max();
    for (std::size_t j = 0; j < splits.size(); ++j) {
        const BestPlace &head = best.before[j], &tail = best.after[j];
        const std::uint32_t apart =
            head.position > tail.position ? head.position - tail.position : tail.position - head.position;
        if (apart == 0 || apart > maximumIndel || head.mismatches > limitFor(splits[j]) ||
            tail.mismatches > limitFor(length - splits[j]) || head.mismatches + tail.mismatches >= fewest)
            continue;
        fewest = head.mismatches + tail.mismatches;
        chosen = j;
    }
    return chosen;
}

}  // namespace

bool rescueReadNearMate(const Read& read, std::uint32_t matePosition, std::uint32_t window,
                        const GenomeSequence& genome, const MateRescueSearch& search,
                        CandidatePositions& store, MateRescueScratch& scratch) {
    const ChromosomeInformation* chromosome = getChromosomeInformationForGenomePosition(matePosition, genome);
    if (chromosome == nullptr || read.length == 0) return false;
    // Places whose whole read lies inside the chromosome's bases, never in its padding.
    const std::uint64_t first = std::max<std::uint64_t>(chromosome->startGenomePosition,
                                                        matePosition > window ? matePosition - window : 0);
    const std::uint64_t chromosomeEnd = chromosome->startGenomePosition + chromosome->basePairs;
    if (chromosomeEnd < read.length) return false;
    const std::uint64_t last =
        std::min<std::uint64_t>(chromosomeEnd - read.length, std::uint64_t{matePosition} + window);
    std::array<std::uint32_t, maximumSplits> splitArray{};
    const std::span<const std::uint32_t> splits(splitArray.data(),
                                                search.maximumIndel == 0 ? 0 : splitsOf(read, splitArray));
    std::array<OrientationBest, 2> best;
    FittingPlaces fitting(limitFor(read.length));
    const bool seeded = !hasUncalledBases(read);
    if (seeded) seededPlaces(read, genome, first, last, scratch);
    for (const std::uint32_t orientation : {kForwardOrientation, kReverseComplementOrientation}) {
        const ReadOrientationWords words = getReadOrientationWords(read, orientation);
        const std::size_t side = orientation == kForwardOrientation ? 0 : 1;
        OrientationBest& found = best[side];
        if (seeded) {
            scorePlaces(words, orientation, genome, scratch.places[side], splits, fitting, found);
        } else {
            scorePlaces(words, orientation, genome, EveryPlace{first, last}, splits, fitting, found);
        }
    }
    if (!fitting.empty()) {
        fitting.forEach([&](std::uint32_t position, std::uint32_t orientation) {
            addHits(store, position, orientation, search.keys);
        });
        return true;
    }
    // No one place fits: an indel may part the read, its parts then fitting places a few bases
    // apart, which become two candidates for the indel search to join.
    for (const std::uint32_t orientation : {kForwardOrientation, kReverseComplementOrientation}) {
        const OrientationBest& found = best[orientation == kForwardOrientation ? 0 : 1];
        const std::size_t j = bestSplit(found, splits, read.length, search.maximumIndel);
        if (j == splits.size()) continue;
        addHits(store, found.before[j].position, orientation, search.keys);
        addHits(store, found.after[j].position, orientation, search.keys);
        return true;
    }
    return false;
}

}  // namespace koru
