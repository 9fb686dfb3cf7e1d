#include "mapping/indel_detection.h"

#include <algorithm>
#include <vector>

#include "candidates/mismatch_scoring.h"

namespace koru {

namespace {

bool differs(std::string_view x, std::size_t i, std::string_view y, std::size_t j) {
    return i >= x.size() || j >= y.size() || x[i] != y[j];
}

// The genome's text from a position, as far as a split can reach: the read and the indel's
// distance, or less where the sequence ends.
std::string_view referenceFrom(const GenomeSequence& genome, std::uint32_t position, std::size_t reach,
                               std::string& buffer) {
    return referenceText(genome, position, reach, buffer);
}

struct IndelCase {
    CandidatePosition* receiver = nullptr;  // the candidate at the read's true start
    CandidatePosition* other = nullptr;
    std::uint32_t type = kNeitherInsertionNorDeletion;
};

// Which side is which, from the word scores of the first (lower) and second candidate. The
// first and last words are read-relative, so the reverse complement mirrors the forward rules.
IndelCase classify(CandidatePosition& first, CandidatePosition& second, std::uint32_t readLength) {
    const MismatchScores& f = first.chosenMappingScores.mismatchScores;
    const MismatchScores& g = second.chosenMappingScores.mismatchScores;
    const std::uint32_t d = second.genomePosition - first.genomePosition;
    const bool firstStartsBetter = f.firstWordScore < g.firstWordScore && f.lastWordScore > g.lastWordScore;
    const bool secondStartsBetter = f.firstWordScore > g.firstWordScore && f.lastWordScore < g.lastWordScore;
    const bool insertionFits = readLength >= 64 && d <= readLength - 64;
    if (first.orientation == kForwardOrientation) {
        if (firstStartsBetter) return {&first, &second, kDeletion};
        if (secondStartsBetter && insertionFits) return {&second, &first, kInsertion};
    } else if (first.orientation == kReverseComplementOrientation) {
        if (secondStartsBetter) return {&first, &second, kDeletion};
        if (firstStartsBetter && insertionFits) return {&second, &first, kInsertion};
    }
    return {};
}

}  // namespace

IndelSplit findBestIndelSplit(std::string_view x, std::string_view y, std::uint32_t shift,
                              std::uint32_t readLength, std::uint32_t compared) {
    std::vector<std::uint32_t> suffix;
    return findBestIndelSplit(x, y, shift, readLength, compared, suffix);
}

IndelSplit findBestIndelSplit(std::string_view x, std::string_view y, std::uint32_t shift,
                              std::uint32_t readLength, std::uint32_t compared,
                              std::vector<std::uint32_t>& suffix) {
    IndelSplit best{0, 0xFFFF};
    if (readLength < shortestReadSearchedForIndels) return best;
    // suffix[s]: mismatches of x[j + shift] against y[j] for s <= j < compared.
    suffix.assign(std::max(compared, readLength) + 1, 0);
    for (std::size_t j = compared; j-- > 0;) suffix[j] = suffix[j + 1] + differs(x, j + shift, y, j);
    std::uint32_t prefix = 0;
    for (std::uint32_t i = 0; i < 30; ++i) prefix += differs(x, i, y, i);
    for (std::uint32_t split = 30; split <= readLength - 31; ++split) {
        const auto total = static_cast<std::uint16_t>(prefix + (split < compared ? suffix[split] : 0));
        if (split == 30 || total < best.total) best = {split, total};
        prefix += differs(x, split, y, split);
    }
    return best;
}

void processIndelCandidates(const MappingParameters&, CandidatePositions& store, Read& read,
                            const GenomeSequence& genome) {
    if (!hasReferenceText(genome) || !store.indelCandidates) return;
    IndelCandidates& indels = *store.indelCandidates;
    store.numberOfCandidatesIndelProcessingWasPerformedOn = indels.numberOfIndelCandidates();
    const std::uint32_t length = read.length;
    for (IndelCandidate& record : indels.records) {
        CandidatePosition& first = *record.firstCandidatePosition;
        CandidatePosition& second = *record.secondCandidatePosition;
        const IndelCase indel = classify(first, second, length);
        if (indel.receiver == nullptr) continue;
        const std::uint32_t d = second.genomePosition - first.genomePosition;
        const std::string_view readText(getReadSequenceForOrientation(read, first.orientation), length);
        const bool deletion = indel.type == kDeletion;
        std::string& reference = indels.reference;
        const std::size_t reach = std::size_t{length} + d;
        const std::string_view x =
            deletion ? referenceFrom(genome, first.genomePosition, reach, reference) : readText;
        const std::string_view y =
            deletion ? readText : referenceFrom(genome, second.genomePosition, reach, reference);
        const IndelSplit best =
            findBestIndelSplit(x, y, d, length, deletion ? length : length - d, indels.suffix);
        if (best.total >= indel.receiver->chosenMappingScores.mismatchScores.wholeReadScore ||
            best.total >= indel.other->chosenMappingScores.mismatchScores.wholeReadScore)
            continue;
        CandidatePosition& receiver = *indel.receiver;
        populateIndelDescriptor(receiver.indelDescriptor, d, indel.type, best.split);
        calculateMismatchScoresUsingAsciiEncodings(read, receiver.orientation, receiver, genome,
                                                   indels.reference, indels.buffer);
        receiver.chosenMappingScores.numberOfAssociatedKeys +=
            indel.other->chosenMappingScores.numberOfAssociatedKeys;
        record.mergedMappingScores = &receiver.chosenMappingScores;
        updateCandidatePositionRanks(store, &receiver);
    }
}

}  // namespace koru
