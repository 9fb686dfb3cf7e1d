#include "mapping/read_pair_mapping_statistics.h"

#include <omp.h>

#include <cmath>
#include <limits>

#include "support/text_format.h"

namespace koru {

namespace {

// An average over an empty group is not a number. 0.0 / 0.0 yields a NaN whose sign bit depends
// on the hardware (x86 sets it, and printf then shows "-nan"), so the quotient's NaN is replaced
// by a positive one: every empty group prints "nan" on every machine.
double average(double sum, double count) {
    const double quotient = sum / count;
    return std::isnan(quotient) ? std::numeric_limits<double>::quiet_NaN() : quotient;
}

std::string groupLabel(int group, unsigned window) {
    switch (group) {
        case noCandidatesInsideWindowGroup:
            return stringPrintf(
                "Read Pairs with no candidate mappings inside the %u base pair mate pair candidate window",
                window);
        case candidatesInsideWindowGroup:
            return stringPrintf("Mate Pair candidate mappings inside the %u base pair window", window);
        case popCountOutsideWindowGroup:
            return "Read Pairs with Mate Pair candidates whose PopCount candidate mapping had higher quality "
                   "than "
                   "the mate pair candidates and is outside the Mate Pair Window";
        default:
            return "Read Pairs with Mate Pair candidates whose HitCount candidate mapping had higher quality "
                   "than "
                   "the mate pair candidates and is outside the Mate Pair Window";
    }
}

std::string groupBlock(const ReadPairMappingStatistics& s, int group, const std::string& prefix) {
    return candidateQualityStatisticsToString(groupLabel(group, s.windowSize), s.qualityCriteria,
                                              s.qualityGroups[static_cast<std::size_t>(group)],
                                              prefix + "\t\t\t");
}

struct ReadOutcome {
    bool empty;
    bool overloaded;
    bool unhit;
};

ReadOutcome outcomeOf(const CandidatePositions& read) {
    return {read.numberOfCandidatePositions() == 0, read.combinedStatistics.keysWithTooManyCandidates > 0,
            read.combinedStatistics.keysWithNoCandidates > 0};
}

// Too many candidates takes precedence: a read some of whose keys were skipped as too frequent
// might have mapped with a higher evaluation limit, whatever its other keys found.
void countReadOutcome(const ReadOutcome& read, std::uint32_t& tooMany, std::uint32_t& none) {
    if (!read.empty) return;
    if (read.overloaded)
        ++tooMany;
    else if (read.unhit)
        ++none;
}

void countPairOutcome(ReadPairMappingStatistics& s, const ReadOutcome& a, const ReadOutcome& b) {
    countReadOutcome(a, s.readATooManyCandidates, s.readANoCandidates);
    countReadOutcome(b, s.readBTooManyCandidates, s.readBNoCandidates);
    if (a.empty && b.empty) {
        if (a.overloaded && b.overloaded)
            ++s.bothReadsTooManyCandidates;
        else if (a.unhit && b.unhit)
            ++s.bothReadsNoCandidates;
        else
            ++s.oneReadNoneOtherTooMany;
    }
    if (a.empty || b.empty) ++s.pairsWithoutProcessedCandidates;
}

void countIndelProcessing(ReadPairMappingStatistics& s, const CandidatePositions& a,
                          const CandidatePositions& b) {
    if (a.indelCandidates && b.indelCandidates)
        s.indelCandidates +=
            a.indelCandidates->numberOfIndelCandidates() + b.indelCandidates->numberOfIndelCandidates();
    for (const CandidatePositions* read : {&a, &b}) {
        if (read->indelCandidates && read->indelCandidates->numberOfIndelCandidates() > 0)
            ++s.readsWithIndelCandidates;
        s.candidatesIndelProcessed += read->numberOfCandidatesIndelProcessingWasPerformedOn;
        if (read->numberOfCandidatesIndelProcessingWasPerformedOn > 0) ++s.readsIndelProcessed;
    }
}

void appendCandidateGeneration(std::string& out, const ReadPairMappingStatistics& s, const char* p) {
    appendPrintf(out, "\n%sPosition Scorer Statistics:\n", p);
    appendPrintf(
        out,
        "%s\tMaximum number of candidate positions (e.g. count value) to process for an index entry = %u\n",
        p, s.maximumCandidatePositionsPerIndexEntry);
    appendPrintf(out, "%s\tNumber of read pairs processed = %u\n", p, s.readPairsProcessed);
    appendPrintf(out, "%s\t\tNumber of candidate mappings generated/evaluated = %lu\n", p,
                 s.candidateMappingsEvaluated);
    appendPrintf(out, "%s\t\t\tNumber of Indel Candidates = %lu\n", p, s.indelCandidates);
    appendPrintf(out, "%s\t\t\tNumber of reads Indel processing was performed on = %lu\n", p,
                 s.readsIndelProcessed);
    appendPrintf(out, "%s\t\t\t\tNumber of candidates Indel processing was performed on = %lu\n", p,
                 s.candidatesIndelProcessed);
    // Signed, so that hand-made or inconsistent counters cannot wrap the divisor around.
    const std::int64_t readsWithCandidates = 2 * std::int64_t{s.readPairsProcessed} - s.readANoCandidates -
                                             s.readBNoCandidates - s.readATooManyCandidates -
                                             s.readBTooManyCandidates;
    appendPrintf(
        out,
        "%s\t\tAverage Number of candidate mappings generated/evaluated per read (for reads with candidates) "
        "= %9.2f\n",
        p,
        average(static_cast<double>(s.candidateMappingsEvaluated), static_cast<double>(readsWithCandidates)));
}

void appendNoPairInWindow(std::string& out, const ReadPairMappingStatistics& s, const std::string& prefix) {
    const char* p = prefix.c_str();
    const unsigned w = s.windowSize;
    const double pairs = s.pairsWithNoCandidatesInWindow;
    appendPrintf(
        out,
        "%s\t\tNumber of Read Pairs with no candidate mappings inside the %u base pair mate pair candidate "
        "window = %u\n",
        p, w, s.pairsWithNoCandidatesInWindow);
    out += groupBlock(s, noCandidatesInsideWindowGroup, prefix);
    appendPrintf(
        out,
        "%s\t\t\tAverage popcount score of reads with candidates mappings outside the %u base pair window = "
        "%7.2f\n",
        p, w, average(static_cast<double>(s.popCountSumOutsideWindow), pairs));
    appendPrintf(out,
                 "%s\t\t\tAverage hit count of reads with candidates mappings outside the %u base pair "
                 "window = %7.2f\n",
                 p, w, average(static_cast<double>(s.hitCountSumOutsideWindow), pairs));
}

void appendPairsInWindow(std::string& out, const ReadPairMappingStatistics& s, const std::string& prefix) {
    const char* p = prefix.c_str();
    const unsigned w = s.windowSize;
    appendPrintf(
        out,
        "%s\t\tNumber of Read Pairs that had reads with candidate mappings inside the %u base pair window "
        "(e.g. Mate Pairs) = %u\n",
        p, w, s.pairsWithCandidatesInWindow);
    out += groupBlock(s, candidatesInsideWindowGroup, prefix);
    appendPrintf(
        out,
        "%s\t\t\tTotal number of Mate Pair candidate mappings within the %u base pair window for all Read "
        "Pairs with Mate Pair Candidates = %lu\n",
        p, w, s.candidatePairsInWindow);
    appendPrintf(out,
                 "%s\t\t\tAverage number of Mate Pair candidate mappings within the %u base pair window for "
                 "Read Pairs "
                 "with Mate Pair Candidates = %7.2f\n ",
                 p, w,
                 average(static_cast<double>(s.candidatePairsInWindow),
                         static_cast<double>(s.pairsWithCandidatesInWindow)));
}

void appendExactlyOnePairInWindow(std::string& out, const ReadPairMappingStatistics& s, const char* p) {
    const unsigned w = s.windowSize;
    const double pairs = s.pairsWithExactlyOneCandidatePairInWindow;
    appendPrintf(
        out,
        "%s\t\t\tNumber of Read Pairs with exactly one Mate Pair candidate mapping within the %u base pair "
        "window = %u\n",
        p, w, s.pairsWithExactlyOneCandidatePairInWindow);
    appendPrintf(out,
                 "%s\t\t\t\tAverage popcount score of reads with exactly one Mate Pair candidate mapping "
                 "within the %u "
                 "base pair window = %7.2f\n",
                 p, w, average(static_cast<double>(s.popCountSumExactlyOne), pairs));
    appendPrintf(out,
                 "%s\t\t\t\tAverage hit count of reads with exactly one Mate Pair candidate mapping within "
                 "the %u base "
                 "pair window = %7.2f\n",
                 p, w, average(static_cast<double>(s.hitCountSumExactlyOne), pairs));
}

void appendMoreThanOnePairInWindow(std::string& out, const ReadPairMappingStatistics& s, const char* p) {
    const unsigned w = s.windowSize;
    const std::uint32_t moreThanOne =
        s.pairsWithCandidatesInWindow - s.pairsWithExactlyOneCandidatePairInWindow;
    const double pairs = moreThanOne;
    appendPrintf(
        out,
        "%s\t\t\tNumber of Read Pairs with more than one Mate Pair candidate mapping within the %u base pair "
        "window = %u\n",
        p, w, moreThanOne);
    appendPrintf(
        out,
        "%s\t\t\t\tAverage popcount score of reads with more than one Mate Pair candidate mapping within the "
        "%u base pair window = %7.2f\n",
        p, w, average(static_cast<double>(s.popCountSumMoreThanOne), pairs));
    appendPrintf(
        out,
        "%s\t\t\t\tAverage hit count of reads with more than one Mate Pair candidate mapping within the %u "
        "base pair window = %7.2f\n",
        p, w, average(static_cast<double>(s.hitCountSumMoreThanOne), pairs));
    const std::uint64_t candidatePairs =
        s.candidatePairsInWindow - s.pairsWithExactlyOneCandidatePairInWindow;
    appendPrintf(
        out,
        "%s\t\t\t\tAverage number of candidate mappings for reads with more than one Mate Pair candidate "
        "mapping = %7.2f\n ",
        p, average(static_cast<double>(candidatePairs), pairs));
}

void appendWithoutProcessedCandidates(std::string& out, const ReadPairMappingStatistics& s, const char* p) {
    appendPrintf(
        out,
        "%s\tNumber of Read Pairs where no candidates were processed (e.g. count value was zero or higher "
        "than the above cut off)= %u\n",
        p, s.pairsWithoutProcessedCandidates);
    appendPrintf(
        out,
        "%s\t\tNumber of Read Pairs where one or both reads of the Read Pairs had too many candidates = %u\n",
        p, s.readATooManyCandidates + s.readBTooManyCandidates - s.bothReadsTooManyCandidates);
    appendPrintf(
        out, "%s\t\t\tNumber of Read Pairs where \"Read A\" of the Read Pairs had too many candidates = %u\n",
        p, s.readATooManyCandidates);
    appendPrintf(
        out, "%s\t\t\tNumber of Read Pairs where \"Read B\" of the Read Pairs had too many candidates = %u\n",
        p, s.readBTooManyCandidates);
    appendPrintf(
        out,
        "%s\t\t\tNumber of Read Pairs where both \"Read A\" and \"Read B\" of the Read Pairs had too many "
        "candidates = %u\n",
        p, s.bothReadsTooManyCandidates);
    appendPrintf(
        out, "%s\t\tNumber of Read Pairs where one or both reads of the Read Pairs had no candidates = %u\n",
        p, s.readANoCandidates + s.readBNoCandidates - s.bothReadsNoCandidates);
    appendPrintf(out,
                 "%s\t\t\tNumber of Read Pairs where \"Read A\" of the Read Pairs had no candidates = %u\n",
                 p, s.readANoCandidates);
    appendPrintf(out,
                 "%s\t\t\tNumber of Read Pairs where \"Read B\" of the Read Pairs had no candidates = %u\n",
                 p, s.readBNoCandidates);
    appendPrintf(out,
                 "%s\t\t\tNumber of Read Pairs where both \"Read A\" and \"Read B\" of the Read Pairs had no "
                 "candidates = %u\n",
                 p, s.bothReadsNoCandidates);
    appendPrintf(
        out,
        "%s\t\tNumber of Read Pairs where one read had no candidates and the other had too many candidates = "
        "%u\n",
        p, s.oneReadNoneOtherTooMany);
}

void appendSecondaryAlignments(std::string& out, const ReadPairMappingStatistics& s, const char* p) {
    appendPrintf(out, "%sSecondary Alignment Statistics:\n", p);
    appendPrintf(out, "%s\tBiotin Junction Statistics:\n", p);
    appendPrintf(out, "%s\t\tNumber of Individual Reads with Biotin Junctions detected = %u\n", p,
                 s.readsWithBiotinJunctions);
    appendPrintf(out, "%s\t\tNumber of Read Pairs with Biotin Junctions detected = %u\n", p,
                 s.readPairsWithBiotinJunctions);
    appendPrintf(
        out,
        "%s\t\tNumber of Reads where Primary Biotin Detection Was Performed (look at top 5 scoring candidate "
        "positions) = %u\n",
        p, s.primaryBiotinDetectionsPerformed);
    appendPrintf(
        out,
        "%s\t\tNumber of Reads where Primary Biotin Detection Was Performed (look at candidate positions "
        "within 500 BP of other read) = %u\n",
        p, s.secondaryBiotinDetectionsPerformed);
    appendPrintf(out, "%s\tAlternative Alignment Statistics:\n", p);
    appendPrintf(out, "%s\t\tTotal number of alternative alignments reported = %u\n", p,
                 s.alternativeAlignmentsReported);
    appendPrintf(out, "%s\t\tNumber of Individual Reads with Alternative Alignments = %u\n", p,
                 s.readsWithAlternativeAlignments);
    appendPrintf(
        out,
        "%s\t\t\tAverage number of alternative alignments for reads with alternative alignements = %7.2f\n",
        p, average(s.alternativeAlignmentsReported, s.readsWithAlternativeAlignments));
    appendPrintf(out, "%s\t\tNumber of Read Pairs with Alternative Alignments = %u\n", p,
                 s.readPairsWithAlternativeAlignments);
}

}  // namespace

std::unique_ptr<ReadPairMappingStatistics> createReadPairMappingStatistics(const MappingParameters& params) {
    auto statistics = std::make_unique<ReadPairMappingStatistics>();
    statistics->maximumCandidatePositionsPerIndexEntry =
        params.maximumNumberOfCandidatePositionToEvaluatePerKeyPerIndex;
    statistics->windowSize = params.concordantReadPairBasePairWindowSize;
    statistics->qualityCriteria = params.candidateQualityCritieria;
    if (params.gatherLibraryStatistics) statistics->library.emplace();
    return statistics;
}

void collectCandidateQualityStatistics(const CandidateQualityCriteria& criteria,
                                       CandidateQualityStatistics& group, const MappingScores& readA,
                                       const MappingScores& readB) {
    ++group.evaluated;
    // Widened sums: an unscored read's 65535 must not wrap into a small total.
    const std::uint32_t minWordA = readA.mismatchScores.minWordScore;
    const std::uint32_t minWordB = readB.mismatchScores.minWordScore;
    if (minWordA + minWordB <= criteria.maximumCombinedMinWordMismatchScoreOfBothReads) {
        ++group.combinedMinWordWithinLimit;
        const std::uint32_t limit = criteria.maximumMinWordMismatchScoreForIndividualRead;
        if (minWordA <= limit && minWordB <= limit) ++group.bothMinWordsWithinLimit;
    }
    const std::uint64_t keysA = readA.numberOfAssociatedKeys;
    const std::uint64_t keysB = readB.numberOfAssociatedKeys;
    if (keysA + keysB >= criteria.minimumCombinedNumberOfKeysAssociatedWithBothReads) {
        ++group.combinedKeysAtLeastMinimum;
        const std::uint32_t minimum = criteria.minimumNumberOfKeysAssociatedWithIndividualReadPosition;
        if (keysA >= minimum && keysB >= minimum) ++group.bothKeysAtLeastMinimum;
    }
}

void collectCandidatePositionStatisticsForReadPair(ReadPairMappingStatistics& statistics,
                                                   const CandidatePositionsPair& candidates) {
    countPairOutcome(statistics, outcomeOf(candidates.readA), outcomeOf(candidates.readB));
    statistics.candidateMappingsEvaluated += std::uint64_t{candidates.readA.numberOfCandidatePositions()} +
                                             candidates.readB.numberOfCandidatePositions();
    countIndelProcessing(statistics, candidates.readA, candidates.readB);
    ++statistics.readPairsProcessed;
}

std::string candidateQualityStatisticsToString(const std::string& label,
                                               const CandidateQualityCriteria& criteria,
                                               const CandidateQualityStatistics& group,
                                               const std::string& prefix) {
    const char* q = prefix.c_str();
    const char* g = label.c_str();
    std::string out =
        stringPrintf("%sNumber of %s that where evaluated for quality = %u\n", q, g, group.evaluated);
    appendPrintf(
        out,
        "%s\tNumber of %s that had a combined number of mismatched bases less than or equal to \"%u\" = %u\n",
        q, g, criteria.maximumCombinedMinWordMismatchScoreOfBothReads, group.combinedMinWordWithinLimit);
    appendPrintf(
        out,
        "%s\t\tNumber of %s where both reads had a number of mismatched less than or equal to \"%u\" = %u\n",
        q, g, criteria.maximumMinWordMismatchScoreForIndividualRead, group.bothMinWordsWithinLimit);
    appendPrintf(
        out,
        "%s\tNumber of %s that had a combined number of associated keys greater than or equal to \"%u\" = "
        "%u\n",
        q, g, criteria.minimumCombinedNumberOfKeysAssociatedWithBothReads, group.combinedKeysAtLeastMinimum);
    appendPrintf(
        out,
        "%s\t\tNumber of %s where both reads had a combined number of associated keys greater than or equal "
        "to \"%u\" = %u\n",
        q, g, criteria.minimumNumberOfKeysAssociatedWithIndividualReadPosition, group.bothKeysAtLeastMinimum);
    return out;
}

// Pairs skipped for an unsupported read length are left out: the request driver reports them as
// a warning of their own.
std::string readPairMappingStatisticsToString(const ReadPairMappingStatistics& statistics,
                                              const std::string& prefix) {
    const char* p = prefix.c_str();
    std::string out;
    appendCandidateGeneration(out, statistics, p);
    appendPrintf(out, "%s\tNumber of Read Pairs that had candidate mappings = %u\n", p,
                 statistics.pairsWithCandidatesInWindow + statistics.pairsWithNoCandidatesInWindow);
    appendNoPairInWindow(out, statistics, prefix);
    appendPairsInWindow(out, statistics, prefix);
    appendExactlyOnePairInWindow(out, statistics, p);
    appendMoreThanOnePairInWindow(out, statistics, p);
    out += groupBlock(statistics, popCountOutsideWindowGroup, prefix);
    out += groupBlock(statistics, hitCountOutsideWindowGroup, prefix);
    appendWithoutProcessedCandidates(out, statistics, p);
    appendSecondaryAlignments(out, statistics, p);
    out += "\n\n";
    return out;
}

void printReadPairMappingStatistics(LockedFile& file, const ReadPairMappingStatistics* statistics) {
    if (statistics == nullptr) return;
    const std::string report = readPairMappingStatisticsToString(*statistics, "");
    file.writeUnderLock(stringPrintf("\nRead Pair Mapping Statistics for thread %d of %d:\n%s\n",
                                     omp_get_thread_num(), omp_get_num_threads(), report.c_str()));
}

}  // namespace koru
