#include "mapping/statistics_table.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <map>
#include <type_traits>
#include <utility>

#include "support/errors.h"
#include "support/text_format.h"

namespace koru {

namespace {

enum class FieldKind { setting, counter };

// Every field of the record with its name in the table; settings must agree between parts,
// counters add up. Statistics is the record, const or not.
// The records are visited together, field by field: visit(name, kind, field of each record...).
template <class Visit, class... Statistics>
void visitFields(Visit&& visit, Statistics&... s) {
    constexpr FieldKind setting = FieldKind::setting;
    constexpr FieldKind counter = FieldKind::counter;
    visit("maximumCandidatePositionsPerIndexEntry", setting, s.maximumCandidatePositionsPerIndexEntry...);
    visit("windowSize", setting, s.windowSize...);
    visit("maximumCombinedMinWordMismatchScoreOfBothReads", setting,
          s.qualityCriteria.maximumCombinedMinWordMismatchScoreOfBothReads...);
    visit("minimumCombinedNumberOfKeysAssociatedWithBothReads", setting,
          s.qualityCriteria.minimumCombinedNumberOfKeysAssociatedWithBothReads...);
    visit("maximumMinWordMismatchScoreForIndividualRead", setting,
          s.qualityCriteria.maximumMinWordMismatchScoreForIndividualRead...);
    visit("minimumNumberOfKeysAssociatedWithIndividualReadPosition", setting,
          s.qualityCriteria.minimumNumberOfKeysAssociatedWithIndividualReadPosition...);
    visit("maximumPopCountValuePerBPOfRead", setting, s.qualityCriteria.maximumPopCountValuePerBPOfRead...);
    visit("readPairsProcessed", counter, s.readPairsProcessed...);
    visit("pairsWithoutProcessedCandidates", counter, s.pairsWithoutProcessedCandidates...);
    visit("readANoCandidates", counter, s.readANoCandidates...);
    visit("readBNoCandidates", counter, s.readBNoCandidates...);
    visit("readATooManyCandidates", counter, s.readATooManyCandidates...);
    visit("readBTooManyCandidates", counter, s.readBTooManyCandidates...);
    visit("bothReadsNoCandidates", counter, s.bothReadsNoCandidates...);
    visit("bothReadsTooManyCandidates", counter, s.bothReadsTooManyCandidates...);
    visit("oneReadNoneOtherTooMany", counter, s.oneReadNoneOtherTooMany...);
    visit("pairsWithNoCandidatesInWindow", counter, s.pairsWithNoCandidatesInWindow...);
    visit("pairsWithCandidatesInWindow", counter, s.pairsWithCandidatesInWindow...);
    visit("pairsWithExactlyOneCandidatePairInWindow", counter, s.pairsWithExactlyOneCandidatePairInWindow...);
    visit("candidateMappingsEvaluated", counter, s.candidateMappingsEvaluated...);
    visit("indelCandidates", counter, s.indelCandidates...);
    visit("readsWithIndelCandidates", counter, s.readsWithIndelCandidates...);
    visit("candidatesIndelProcessed", counter, s.candidatesIndelProcessed...);
    visit("readsIndelProcessed", counter, s.readsIndelProcessed...);
    visit("popCountSumOutsideWindow", counter, s.popCountSumOutsideWindow...);
    visit("hitCountSumOutsideWindow", counter, s.hitCountSumOutsideWindow...);
    visit("candidatePairsInWindow", counter, s.candidatePairsInWindow...);
    visit("popCountSumExactlyOne", counter, s.popCountSumExactlyOne...);
    visit("hitCountSumExactlyOne", counter, s.hitCountSumExactlyOne...);
    visit("popCountSumMoreThanOne", counter, s.popCountSumMoreThanOne...);
    visit("hitCountSumMoreThanOne", counter, s.hitCountSumMoreThanOne...);
    static constexpr const char* groupNames[] = {"noCandidatesInsideWindow", "candidatesInsideWindow",
                                                 "popCountOutsideWindow", "hitCountOutsideWindow"};
    for (int g = 0; g < 4; ++g) {
        const std::string name = std::string(groupNames[g]) + ".";
        visit(name + "evaluated", counter, s.qualityGroups[g].evaluated...);
        visit(name + "combinedMinWordWithinLimit", counter, s.qualityGroups[g].combinedMinWordWithinLimit...);
        visit(name + "bothMinWordsWithinLimit", counter, s.qualityGroups[g].bothMinWordsWithinLimit...);
        visit(name + "combinedKeysAtLeastMinimum", counter, s.qualityGroups[g].combinedKeysAtLeastMinimum...);
        visit(name + "bothKeysAtLeastMinimum", counter, s.qualityGroups[g].bothKeysAtLeastMinimum...);
    }
    visit("readsWithBiotinJunctions", counter, s.readsWithBiotinJunctions...);
    visit("readPairsWithBiotinJunctions", counter, s.readPairsWithBiotinJunctions...);
    visit("primaryBiotinDetectionsPerformed", counter, s.primaryBiotinDetectionsPerformed...);
    visit("secondaryBiotinDetectionsPerformed", counter, s.secondaryBiotinDetectionsPerformed...);
    visit("readsWithAlternativeAlignments", counter, s.readsWithAlternativeAlignments...);
    visit("readPairsWithAlternativeAlignments", counter, s.readPairsWithAlternativeAlignments...);
    visit("alternativeAlignmentsReported", counter, s.alternativeAlignmentsReported...);
    visit("readPairsWithUnsupportedReadLength", counter, s.readPairsWithUnsupportedReadLength...);
    visit("readsWithTooManyUncalledBases", counter, s.readsWithTooManyUncalledBases...);
}

template <class Field>
std::string valueText(Field value) {
    if constexpr (std::is_floating_point_v<Field>)
        return stringPrintf("%.17g", value);
    else
        return stringPrintf("%llu", static_cast<unsigned long long>(value));
}

// The whole text is a number that fits the field.
template <class Field>
bool parseValue(const std::string& text, Field& field) {
    errno = 0;
    char* end = nullptr;
    if constexpr (std::is_floating_point_v<Field>) {
        field = std::strtod(text.c_str(), &end);
    } else {
        if (text.empty() || text[0] < '0' || text[0] > '9') return false;
        const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
        if (value > std::numeric_limits<Field>::max()) return false;
        field = static_cast<Field>(value);
    }
    return errno == 0 && end != text.c_str() && *end == '\0';
}

// The table's lines by name, with their line numbers.
struct TableLine {
    std::string value;
    unsigned lineNumber;
};

std::map<std::string, TableLine> readTableLines(std::string_view text, const std::string& fileName) {
    std::map<std::string, TableLine> lines;
    unsigned lineNumber = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.empty() || line[0] == '#') continue;
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            exitWithErrorFormat("Line %u of the statistics file \"%s\" is not a name, a tab and a number.\n",
                                lineNumber, fileName.c_str());
        const std::string name(line.substr(0, tab));
        if (!lines.emplace(name, TableLine{std::string(line.substr(tab + 1)), lineNumber}).second)
            exitWithErrorFormat("Line %u of the statistics file \"%s\" names \"%s\" a second time.\n",
                                lineNumber, fileName.c_str(), name.c_str());
    }
    return lines;
}

}  // namespace

std::string statisticsToTable(const ReadPairMappingStatistics& statistics) {
    std::string table = statisticsTableHeading;
    visitFields([&](const std::string& name, FieldKind,
                    auto value) { table += name + "\t" + valueText(value) + "\n"; },
                statistics);
    return table;
}

ReadPairMappingStatistics statisticsFromTable(std::string_view text, const std::string& fileName) {
    std::map<std::string, TableLine> lines = readTableLines(text, fileName);
    ReadPairMappingStatistics statistics;
    const auto read = [&](const std::string& name, FieldKind, auto& field) {
        const auto line = lines.find(name);
        if (line == lines.end())
            exitWithErrorFormat("The statistics file \"%s\" has no line for \"%s\".\n", fileName.c_str(),
                                name.c_str());
        if (!parseValue(line->second.value, field))
            exitWithErrorFormat("Line %u of the statistics file \"%s\" has \"%s\" where a number is due.\n",
                                line->second.lineNumber, fileName.c_str(), line->second.value.c_str());
        lines.erase(line);
    };
    visitFields(read, statistics);
    if (!lines.empty())
        exitWithErrorFormat("Line %u of the statistics file \"%s\" names \"%s\", which is not a statistic.\n",
                            lines.begin()->second.lineNumber, fileName.c_str(), lines.begin()->first.c_str());
    return statistics;
}

void addStatisticsCounters(ReadPairMappingStatistics& total, const ReadPairMappingStatistics& part) {
    visitFields(
        [](const std::string&, FieldKind kind, auto& sum, auto value) {
            if (kind == FieldKind::counter) sum += value;
        },
        total, part);
    if (total.library && part.library) addLibraryStatistics(*total.library, *part.library);
}

bool addStatistics(ReadPairMappingStatistics& total, const ReadPairMappingStatistics& part) {
    bool sameSettings = true;
    visitFields(
        [&](const std::string&, FieldKind kind, auto sum, auto value) {
            if (kind == FieldKind::setting && sum != value) sameSettings = false;
        },
        std::as_const(total), part);
    if (!sameSettings) return false;
    addStatisticsCounters(total, part);
    return true;
}

}  // namespace koru
