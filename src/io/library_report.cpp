#include "io/library_report.h"

#include "support/files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "io/svg_plot.h"
#include "support/files.h"
#include "support/text_format.h"

namespace koru {

namespace {

// Fits a 1280 pixel window without sideways scrolling, and an A4 page when printed.
constexpr const char* pageStyle = R"(
body { font: 14px/1.45 system-ui, sans-serif; color: #222; margin: 0; background: #fff; }
main { max-width: 1100px; margin: 0 auto; padding: 16px 24px; box-sizing: border-box; }
h1 { font-size: 22px; margin: 8px 0 2px; } h2 { font-size: 17px; margin: 22px 0 8px; }
p.subtitle { color: #555; margin: 0 0 12px; overflow-wrap: anywhere; }
table { border-collapse: collapse; margin: 4px 0 8px; }
th, td { padding: 3px 10px; border-bottom: 1px solid #ddd; text-align: left; vertical-align: top; }
td.n, td.pct { text-align: right; font-variant-numeric: tabular-nums; }
td.value { overflow-wrap: anywhere; max-width: 640px; }
.columns { display: grid; grid-template-columns: repeat(auto-fit, minmax(420px, 1fr)); gap: 8px 20px; }
svg.plot { width: 100%; max-width: 640px; height: auto; display: block; }
svg .axes line { stroke: #444; } svg line.grid { stroke: #e6e6e6; }
svg text { font: 12px system-ui, sans-serif; fill: #333; } svg text.title { font-weight: 600; font-size: 13px; }
svg line.marker { stroke: #c0392b; stroke-dasharray: 4 3; } svg text.marker { fill: #c0392b; font-size: 11px; }
svg text.empty { fill: #999; }
p.note { color: #555; font-size: 13px; }
@page { size: A4; margin: 12mm; }
@media print {
  body { font-size: 11px; } main { max-width: none; padding: 0; }
  section { break-inside: avoid; } .columns { grid-template-columns: 1fr 1fr; }
}
)";

const char* const classNames[orientationClasses] = {"FR", "RF", "FF/RR"};
const char* const classIds[orientationClasses] = {"FR", "RF", "FF-RR"};
const char* const classColours[orientationClasses] = {"#2e86c1", "#d35400", "#7d3c98"};

std::uint64_t sum(const std::vector<std::uint64_t>& bins) {
    std::uint64_t total = 0;
    for (const std::uint64_t count : bins) total += count;
    return total;
}

// Bins past the last counted one are not drawn.
std::size_t usedBins(const std::vector<std::uint64_t>& bins) {
    std::size_t used = bins.size();
    while (used > 0 && bins[used - 1] == 0) --used;
    return used;
}

std::string share(std::uint64_t part, std::uint64_t whole) {
    return whole == 0 ? std::string("&ndash;") : stringPrintf("%.1f&nbsp;%%", 100.0 * part / whole);
}

void appendCountRow(std::string& html, const char* id, const char* label, std::uint64_t count,
                    std::uint64_t whole) {
    appendPrintf(html,
                 "<tr data-row=\"%s\"><th>%s</th><td class=\"n\">%lu</td><td class=\"pct\">%s</td></tr>\n",
                 id, label, static_cast<unsigned long>(count), share(count, whole).c_str());
}

std::uint64_t pairsSeen(const LibraryStatistics& library) {
    return library.pairsBothReadsMapped + library.pairsOneReadMapped + library.pairsUnmapped;
}

void appendSummary(std::string& html, const ReadPairMappingStatistics& s, const LibraryStatistics& library) {
    const std::uint64_t pairs = pairsSeen(library);
    html += "<section id=\"summary\"><h2>Summary</h2><table>\n";
    appendCountRow(html, "pairs", "Read pairs", pairs, pairs);
    appendCountRow(html, "mapped", "Both reads mapped", library.pairsBothReadsMapped, pairs);
    appendCountRow(html, "concordant", "&emsp;concordant", library.pairsConcordant, pairs);
    appendCountRow(html, "discordant", "&emsp;discordant", library.pairsDiscordant, pairs);
    appendCountRow(html, "different-chromosomes", "&emsp;on different chromosomes",
                   library.pairsOnDifferentChromosomes, pairs);
    appendCountRow(html, "one-mapped", "One read mapped", library.pairsOneReadMapped, pairs);
    appendCountRow(html, "unmapped", "Unmapped", library.pairsUnmapped, pairs);
    appendCountRow(html, "junction-pairs", "Pairs with a biotin junction", s.readPairsWithBiotinJunctions,
                   pairs);
    appendCountRow(html, "junction-reads", "Reads with a biotin junction", s.readsWithBiotinJunctions,
                   2 * pairs);
    appendCountRow(html, "alternate-pairs", "Pairs with alternate mappings",
                   s.readPairsWithAlternativeAlignments, pairs);
    appendCountRow(html, "unsupported", "Pairs with a read of unsupported length",
                   s.readPairsWithUnsupportedReadLength, pairs);
    appendCountRow(html, "uncalled", "Reads of mostly N, not mapped", s.readsWithTooManyUncalledBases,
                   2 * pairs);
    html += "</table></section>\n";
}

void appendRun(std::string& html, const LibraryReportRun& run, std::uint64_t pairs) {
    html += "<section id=\"run\"><h2>Run</h2><table>\n";
    for (const auto& [name, value] : run.settings)
        appendPrintf(html, "<tr><th>%s</th><td class=\"value\">%s</td></tr>\n", escapeMarkup(name).c_str(),
                     escapeMarkup(value).c_str());
    appendPrintf(html, "<tr data-row=\"mapping-time\"><th>Mapping time</th><td class=\"value\">%.1f s",
                 run.mappingSeconds);
    if (run.mappingSeconds > 0)
        appendPrintf(html, " (%.0f pairs per second)", static_cast<double>(pairs) / run.mappingSeconds);
    appendPrintf(
        html, "</td></tr>\n<tr><th>Processor time while mapping</th><td class=\"value\">%.1f s</td></tr>\n",
        run.processorSeconds);
    html += "</table></section>\n";
}

// Up to the 99.5th percentile, so that a few far outliers do not squeeze the histogram.
Plot insertPlot(const std::vector<std::uint64_t>& bins, int orientation, std::uint64_t q1,
                std::uint64_t median, std::uint64_t q3) {
    const std::uint64_t high = std::max<std::uint64_t>(histogramQuantile(bins, 0.995), median + 1);
    const auto width = static_cast<std::size_t>(std::max(1.0, niceStep(static_cast<double>(high) * 1.1, 80)));
    const std::size_t count = (static_cast<std::size_t>(high * 1.1) / width + 1) * width;
    Plot plot;
    plot.id = std::string("insert-") + classIds[orientation];
    plot.title = std::string(classNames[orientation]) + " pairs";
    plot.xLabel = "insert size (bases)";
    plot.yLabel = "pairs";
    plot.binWidth = static_cast<double>(width);
    plot.series.push_back(
        {classNames[orientation], classColours[orientation], groupBins(bins, 0, count, width)});
    plot.markers = {{static_cast<double>(q1), "Q1"},
                    {static_cast<double>(median), "median"},
                    {static_cast<double>(q3), "Q3"}};
    return plot;
}

void appendInserts(std::string& html, const LibraryStatistics& library) {
    html +=
        "<section id=\"inserts\"><h2>Insert sizes by orientation</h2>\n"
        "<p class=\"note\">Pairs with both reads on one chromosome, by the strand of the leftmost read: FR "
        "pairs face each other (paired-end fragments, in a mate-pair library its contamination), RF pairs "
        "face away (circularised mate pairs), FF/RR pairs lie on one strand. The insert runs from the "
        "leftmost base either read covers to the rightmost; the spread is the interquartile range.</p>\n"
        "<table><tr><th>Orientation</th><th>Pairs</th><th>Share</th><th>Median</th><th>Q1&ndash;Q3</th></"
        "tr>\n";
    std::uint64_t onOneChromosome = 0;
    for (const auto& bins : library.insertSizes) onOneChromosome += sum(bins);
    std::string plots = "<div class=\"columns\">";
    for (int c = 0; c < orientationClasses; ++c) {
        const std::vector<std::uint64_t>& bins = library.insertSizes[static_cast<std::size_t>(c)];
        const std::uint64_t count = sum(bins);
        const std::uint64_t q1 = histogramQuantile(bins, 0.25), median = histogramQuantile(bins, 0.5),
                            q3 = histogramQuantile(bins, 0.75);
        appendPrintf(html,
                     "<tr data-class=\"%s\"><th>%s</th><td class=\"n\">%lu</td><td class=\"pct\">%s</td>",
                     classIds[c], classNames[c], static_cast<unsigned long>(count),
                     share(count, onOneChromosome).c_str());
        if (count == 0)
            html += "<td class=\"n\">&ndash;</td><td class=\"n\">&ndash;</td></tr>\n";
        else
            appendPrintf(html,
                         "<td class=\"n median\">%lu</td><td class=\"n spread\">%lu&ndash;%lu</td></tr>\n",
                         static_cast<unsigned long>(median), static_cast<unsigned long>(q1),
                         static_cast<unsigned long>(q3));
        if (count > 0) plots += plotSvg(insertPlot(bins, c, q1, median, q3));
    }
    html += "</table>\n" + plots + "</div></section>\n";
}

// Bins of a per-read-position histogram, grouped so that at most about a hundred are drawn.
std::size_t positionGroup(std::size_t positions) {
    return std::max<std::size_t>(1, (positions + 99) / 100);
}

void appendJunctions(std::string& html, const LibraryStatistics& library) {
    const std::size_t used = usedBins(library.junctionSplitPoints);
    const std::size_t width = positionGroup(used);
    appendPrintf(html,
                 "<section id=\"junctions\"><h2>Junction position along the read</h2>\n<p class=\"note\">%lu "
                 "reads of the reported pairs were split at a biotin junction; the first base after the "
                 "junction, counted from the read's start as sequenced.</p>\n",
                 static_cast<unsigned long>(library.junctionReadsSplit));
    Plot plot;
    plot.id = "junction-position";
    plot.title = "Junction position";
    plot.xLabel = "read position of the junction";
    plot.yLabel = "reads";
    plot.binWidth = static_cast<double>(width);
    plot.series.push_back({"reads", "#117a65", groupBins(library.junctionSplitPoints, 0, used, width)});
    html += plotSvg(plot) + "</section>\n";
}

void appendMappingQualities(std::string& html, const LibraryStatistics& library) {
    html +=
        "<section id=\"mapq\"><h2>Mapping quality</h2>\n<p class=\"note\">Mapped reads by the MAPQ their "
        "SAM record carries (a concordant pair's reads carry the pair's combined quality).</p>\n"
        "<div class=\"columns\">";
    const char* const titles[2] = {"Reads of concordant pairs", "Other mapped reads"};
    const char* const ids[2] = {"mapq-concordant", "mapq-other"};
    for (int i = 0; i < 2; ++i) {
        const auto& bins = library.mappingQualities[static_cast<std::size_t>(i)];
        Plot plot;
        plot.id = ids[i];
        plot.title = titles[i];
        plot.xLabel = "MAPQ";
        plot.yLabel = "reads";
        plot.series.push_back(
            {"reads", i == 0 ? "#2e86c1" : "#7f8c8d", groupBins(bins, 0, usedBins(bins) + 1, 1)});
        html += plotSvg(plot);
    }
    html += "</div></section>\n";
}

void appendMismatches(std::string& html, const LibraryStatistics& library) {
    const std::vector<std::uint64_t> aligned[2] = {alignedBasesByPosition(library, 0),
                                                   alignedBasesByPosition(library, 1)};
    const std::size_t used = std::max(usedBins(aligned[0]), usedBins(aligned[1]));
    Plot plot;
    plot.id = "mismatch-profile";
    plot.title = "Mismatches per read position";
    plot.xLabel = "read position (as sequenced)";
    plot.yLabel = "mismatched bases (%)";
    plot.bars = false;
    const char* const colours[2] = {"#2e86c1", "#d35400"};
    for (std::size_t r = 0; r < 2; ++r) {
        std::vector<double> rates(used, std::nan(""));
        for (std::size_t i = 0; i < used; ++i)
            if (aligned[r][i] > 0)
                rates[i] = 100.0 * static_cast<double>(library.mismatchedBases[r][i]) /
                           static_cast<double>(aligned[r][i]);
        plot.series.push_back({r == 0 ? "read 1" : "read 2", colours[r], std::move(rates)});
    }
    html +=
        "<section id=\"mismatches\"><h2>Error profile</h2>\n<p class=\"note\">The share of aligned bases "
        "that differ from the reference at each read position; clipped bases, reads with an indel and "
        "junction reads are left out.</p>\n" +
        plotSvg(plot) + "</section>\n";
}

}  // namespace

std::uint64_t histogramQuantile(const std::vector<std::uint64_t>& bins, double q) {
    const std::uint64_t total = sum(bins);
    if (total == 0) return 0;
    // The rank of the quantile, at least the first count.
    const auto rank =
        std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::ceil(q * static_cast<double>(total))));
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < bins.size(); ++i) {
        cumulative += bins[i];
        if (cumulative >= rank) return i;
    }
    return bins.size() - 1;
}

std::string libraryReportHtml(const ReadPairMappingStatistics& statistics, const LibraryReportRun& run) {
    static const LibraryStatistics none;
    const LibraryStatistics& library = statistics.library ? *statistics.library : none;
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>koru library report</title>\n<style>";
    html += pageStyle;
    html += "</style></head>\n<body><main>\n<h1>Library report</h1>\n";
    appendPrintf(html, "<p class=\"subtitle\">%s<br>koru %s, %s</p>\n", escapeMarkup(run.inputs).c_str(),
                 KORU_VERSION, escapeMarkup(run.created).c_str());
    appendSummary(html, statistics, library);
    appendInserts(html, library);
    appendJunctions(html, library);
    appendMappingQualities(html, library);
    appendMismatches(html, library);
    appendRun(html, run, pairsSeen(library));
    html += "</main></body></html>\n";
    return html;
}

void writeLibraryReport(const std::string& path, const std::string& html) {
    writeWholeTextFile(path, html, "report file", "--reportFile");
}

}  // namespace koru
