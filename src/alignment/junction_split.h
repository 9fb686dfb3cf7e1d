#pragma once
// The split of a read that spans a biotin junction into its two parts, for split-read records. The
// read's chosen alignment and its junction fragment each match one side of the read; the split
// point, in the read's sequenced orientation (the two parts may lie on different strands), is the
// one where the bases the first part matches before it plus those the second part matches after
// it are most. Bases that fit both sides stay with the chosen alignment. Each part then keeps its
// side, trims its ends to the first two consecutive matches as a whole alignment does, soft-clips
// the rest and gets its own CIGAR, MD and edit distance. Each part is judged as a whole alignment
// would be, on its own bases: a fragment is mostly mismatches across the other part of the read,
// so the whole read's judgement says nothing of it.
//
// Only parts without an indel are split: the match strings must cover the read base for base.

#include <cstdint>
#include <string>
#include <string_view>

namespace koru {

// One alignment of the read: its match string ("M" per matching base, else the reference base) in
// the alignment's orientation.
struct JunctionPartInput {
    std::string_view match;
    bool reverse = false;
};

// One part's side of the read as its record shows it, in the part's orientation.
struct JunctionPart {
    std::uint32_t clippedStart = 0;  // soft-clipped bases before the aligned ones
    std::uint32_t clippedEnd = 0;    // and after them
    std::uint32_t editDistance = 0;
    std::string cigar;
    std::string mismatches;  // the SAM MD field
};

// Kept by the caller from read to read: the texts keep their memory.
struct JunctionSplit {
    std::uint32_t split = 0;    // the second side's first base, in the read's sequenced orientation
    bool primaryFirst = false;  // the chosen alignment holds the bases before the split
    JunctionPart primary;
    JunctionPart fragment;
};

// Splits the read between the two alignments. False, leaving `split` unspecified, when a match
// string does not cover the read, or a side keeps no two consecutive matches of its part or too
// poor a match to be reported as an alignment.
bool splitJunctionRead(const JunctionPartInput& primary, const JunctionPartInput& fragment,
                       std::uint32_t readLength, JunctionSplit& split);

}  // namespace koru
