// The library report page, self-contained, its plots and the quantiles of its histograms.

#include "io/library_report.h"

#include <gtest/gtest.h>

#include <cmath>

#include "io/svg_plot.h"

namespace koru {
namespace {

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(PlotSvg, DrawsOneBarPerCountedBinEscapesTextsAndNoNumberThatIsNot) {
    Plot plot;
    plot.id = "test";
    plot.title = "A <b> & \"c\"";
    plot.series.push_back({"s", "#123", {0, 4, 0, 2, 1}});
    plot.markers = {{2.5, "median"}, {99, "outside"}};
    const std::string svg = plotSvg(plot);
    EXPECT_EQ(occurrences(svg, "<rect class=\"bar\""), 3u);
    EXPECT_EQ(occurrences(svg, "<line class=\"marker\""), 1u);
    EXPECT_NE(svg.find("A &lt;b&gt; &amp; &quot;c&quot;"), std::string::npos);
    EXPECT_EQ(svg.find("<b>"), std::string::npos);
    // The tallest bar spans the whole drawing height (222 of the 300 high box).
    EXPECT_NE(svg.find("height=\"222.00\""), std::string::npos);
    // An empty or gappy plot draws no number that is not one.
    Plot empty;
    empty.series.push_back({"s", "#123", {0, 0}});
    EXPECT_NE(plotSvg(empty).find("no data"), std::string::npos);
    Plot line;
    line.bars = false;
    line.series.push_back({"s", "#123", {std::nan(""), 1.5, std::nan(""), 0.5}});
    const std::string gappy = plotSvg(line) + plotSvg(empty) + plotSvg(Plot{});
    EXPECT_EQ(gappy.find("nan"), std::string::npos);
    EXPECT_EQ(gappy.find("inf"), std::string::npos);
    EXPECT_EQ(occurrences(plotSvg(line), ","), 2u);  // two points on the line
}

// Quantiles of histograms, then a page that needs nothing beyond itself and shows the counts.
TEST(LibraryReportPage, QuantilesAndASelfContainedPageShowingTheCounts) {
    EXPECT_EQ(histogramQuantile({}, 0.5), 0u);
    EXPECT_EQ(histogramQuantile({0, 0, 5}, 0.0), 2u);  // the smallest value counted
    // Four values 1, 1, 3, 3: the lower middle one is the median.
    EXPECT_EQ(histogramQuantile({0, 2, 0, 2}, 0.5), 1u);
    EXPECT_EQ(histogramQuantile({0, 2, 0, 2}, 0.75), 3u);
    ReadPairMappingStatistics statistics;
    statistics.library.emplace();
    LibraryStatistics& library = *statistics.library;
    library.pairsBothReadsMapped = 8;
    library.pairsConcordant = 6;
    library.pairsDiscordant = 2;
    library.pairsUnmapped = 2;
    library.insertSizes[reverseForwardClass][3000] = 5;
    library.insertSizes[reverseForwardClass][3100] = 1;
    library.insertSizes[forwardReverseClass][300] = 2;
    statistics.readPairsWithUnsupportedReadLength = 1;
    LibraryReportRun run;
    run.inputs = "reads <1> & <2>";
    run.settings = {{"Reference", "a\"b.fa"}};
    const std::string html = libraryReportHtml(statistics, run);
    for (const char* external : {"<script", "<link", "src=", "href=", "url(", "@import"})
        EXPECT_EQ(html.find(external), std::string::npos) << external;
    // Texts escaped, and the counts with their shares, the RF pairs' median and interquartile range.
    for (const char* part : {"reads &lt;1&gt; &amp; &lt;2&gt;", "a&quot;b.fa",
                             "<tr data-row=\"pairs\"><th>Read pairs</th><td class=\"n\">10</td>",
                             "<tr data-row=\"concordant\"><th>&emsp;concordant</th><td class=\"n\">6</td><td "
                             "class=\"pct\">60.0&nbsp;%</td>",
                             "data-class=\"RF\"><th>RF</th><td class=\"n\">6</td><td "
                             "class=\"pct\">75.0&nbsp;%</td><td class=\"n "
                             "median\">3000</td><td class=\"n spread\">3000&ndash;3000</td>",
                             "@media print"})
        EXPECT_NE(html.find(part), std::string::npos) << part;
    // A plot for each orientation with pairs, the junction, quality and error plots besides.
    EXPECT_EQ(occurrences(html, "data-plot=\"insert-"), 2u);
    EXPECT_EQ(occurrences(html, "<svg class=\"plot\""), 6u);
}

}  // namespace
}  // namespace koru
