#include "alignment/junction_split.h"

#include <algorithm>

#include "support/text_format.h"

namespace koru {

namespace {

constexpr char kMatch = 'M';
// A whole alignment's threshold: a part whose matched share, weighted by its longest run and split
// by its run count, is this small or smaller is noise rather than a placement.
constexpr double kMinimumMatchQuotient = 0.01;

// Whether the part matches the read's base at `base`, counted in the read's sequenced orientation.
bool matchesAt(const JunctionPartInput& part, std::uint32_t readLength, std::uint32_t base) {
    return part.match[part.reverse ? readLength - 1 - base : base] == kMatch;
}

std::uint32_t matchCount(std::string_view match) {
    std::uint32_t count = 0;
    for (const char c : match) count += c == kMatch ? 1 : 0;
    return count;
}

struct SplitChoice {
    std::uint32_t split = 0;
    std::uint32_t matches = 0;
};

// Every split leaving both sides at least a base, in one pass over running match counts. On a tie
// the primary takes the contested bases: the latest split when it comes first, the earliest when
// it comes second; across the two layouts the primary-first one wins a tie.
void chooseSplit(const JunctionPartInput& primary, const JunctionPartInput& fragment,
                 std::uint32_t readLength, JunctionSplit& split) {
    const std::uint32_t primaryTotal = matchCount(primary.match);
    const std::uint32_t fragmentTotal = matchCount(fragment.match);
    std::uint32_t primaryBefore = 0, fragmentBefore = 0;
    SplitChoice primaryFirst, fragmentFirst;
    for (std::uint32_t s = 1; s < readLength; ++s) {
        primaryBefore += matchesAt(primary, readLength, s - 1) ? 1 : 0;
        fragmentBefore += matchesAt(fragment, readLength, s - 1) ? 1 : 0;
        const std::uint32_t first = primaryBefore + fragmentTotal - fragmentBefore;
        const std::uint32_t second = fragmentBefore + primaryTotal - primaryBefore;
        if (first >= primaryFirst.matches) primaryFirst = {s, first};
        if (second > fragmentFirst.matches || fragmentFirst.split == 0) fragmentFirst = {s, second};
    }
    split.primaryFirst = primaryFirst.matches >= fragmentFirst.matches;
    split.split = split.primaryFirst ? primaryFirst.split : fragmentFirst.split;
}

// Where the first two consecutive matches in [low, high) begin; high when there are none.
std::uint32_t firstAnchor(std::string_view match, std::uint32_t low, std::uint32_t high) {
    for (std::uint32_t i = low; i + 1 < high; ++i)
        if (match[i] == kMatch && match[i + 1] == kMatch) return i;
    return high;
}

// One past the last two consecutive matches in [low, high); low when there are none.
std::uint32_t lastAnchorEnd(std::string_view match, std::uint32_t low, std::uint32_t high) {
    for (std::uint32_t i = high; i >= low + 2; --i)
        if (match[i - 1] == kMatch && match[i - 2] == kMatch) return i;
    return low;
}

// The MD field and edit distance of match[start, end); false when the part matches too poorly.
bool writeMismatches(std::string_view match, std::uint32_t start, std::uint32_t end, JunctionPart& part) {
    part.mismatches.clear();
    part.editDistance = 0;
    std::uint32_t run = 0, runs = 0, longest = 0;
    for (std::uint32_t i = start; i <= end; ++i) {
        if (i < end && match[i] == kMatch) {
            ++run;
            continue;
        }
        appendPrintf(part.mismatches, "%u", run);
        runs += run > 0 ? 1 : 0;
        longest = std::max(longest, run);
        run = 0;
        if (i == end) break;
        part.mismatches += match[i];
        ++part.editDistance;
    }
    const double length = end - start;
    return (length - part.editDistance) * longest / (length * length * runs) > kMinimumMatchQuotient;
}

// The part keeps the read's bases [first, last) of the sequenced orientation; false when they hold
// no two consecutive matches.
bool describePart(const JunctionPartInput& input, std::uint32_t readLength, std::uint32_t first,
                  std::uint32_t last, JunctionPart& part) {
    const std::uint32_t low = input.reverse ? readLength - last : first;
    const std::uint32_t high = input.reverse ? readLength - first : last;
    const std::uint32_t start = firstAnchor(input.match, low, high);
    if (start >= high) return false;
    const std::uint32_t end = lastAnchorEnd(input.match, start, high);
    part.clippedStart = start;
    part.clippedEnd = readLength - end;
    part.cigar.clear();
    if (part.clippedStart > 0) appendPrintf(part.cigar, "%uS", part.clippedStart);
    appendPrintf(part.cigar, "%uM", end - start);
    if (part.clippedEnd > 0) appendPrintf(part.cigar, "%uS", part.clippedEnd);
    return writeMismatches(input.match, start, end, part);
}

}  // namespace

bool splitJunctionRead(const JunctionPartInput& primary, const JunctionPartInput& fragment,
                       std::uint32_t readLength, JunctionSplit& split) {
    if (readLength < 2 || primary.match.size() != readLength || fragment.match.size() != readLength)
        return false;
    chooseSplit(primary, fragment, readLength, split);
    const std::uint32_t s = split.split;
    if (split.primaryFirst)
        return describePart(primary, readLength, 0, s, split.primary) &&
               describePart(fragment, readLength, s, readLength, split.fragment);
    return describePart(fragment, readLength, 0, s, split.fragment) &&
           describePart(primary, readLength, s, readLength, split.primary);
}

}  // namespace koru
