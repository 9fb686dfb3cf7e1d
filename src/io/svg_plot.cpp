#include "io/svg_plot.h"

#include <algorithm>
#include <cmath>

#include "support/text_format.h"

namespace koru {

namespace {

// The drawing area inside the svg's coordinate box, which leaves room for the axes' labels.
constexpr double width = 640, height = 300;
constexpr double left = 64, right = 16, top = 30, bottom = 48;
constexpr double plotWidth = width - left - right, plotHeight = height - top - bottom;

std::string number(double value) {
    if (std::fabs(value) >= 1e6) return stringPrintf("%.3g", value);
    if (value == std::floor(value)) return stringPrintf("%.0f", value);
    return stringPrintf("%.3g", value);
}

double largestValue(const Plot& plot) {
    double largest = 0;
    for (const PlotSeries& series : plot.series)
        for (const double value : series.values)
            if (std::isfinite(value)) largest = std::max(largest, value);
    return largest;
}

std::size_t binCount(const Plot& plot) {
    std::size_t bins = 0;
    for (const PlotSeries& series : plot.series) bins = std::max(bins, series.values.size());
    return bins;
}

struct Scale {
    double xStart, xEnd, yEnd;
    double x(double value) const { return left + (value - xStart) / (xEnd - xStart) * plotWidth; }
    double y(double value) const { return top + plotHeight - value / yEnd * plotHeight; }
};

void appendAxes(std::string& svg, const Plot& plot, const Scale& scale) {
    appendPrintf(svg, "<g class=\"axes\"><line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\"/>", left,
                 top + plotHeight, left + plotWidth, top + plotHeight);
    appendPrintf(svg, "<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\"/>", left, top, left, top + plotHeight);
    const double xStep = niceStep(scale.xEnd - scale.xStart, 6);
    for (double x = std::ceil(scale.xStart / xStep) * xStep; x <= scale.xEnd + xStep * 1e-9; x += xStep)
        appendPrintf(svg, "<text class=\"tick\" x=\"%.1f\" y=\"%g\" text-anchor=\"middle\">%s</text>",
                     scale.x(x), top + plotHeight + 16, number(x).c_str());
    const double yStep = niceStep(scale.yEnd, 4);
    for (double y = 0; y <= scale.yEnd + yStep * 1e-9; y += yStep) {
        appendPrintf(svg, "<line class=\"grid\" x1=\"%g\" y1=\"%.1f\" x2=\"%g\" y2=\"%.1f\"/>", left,
                     scale.y(y), left + plotWidth, scale.y(y));
        appendPrintf(svg, "<text class=\"tick\" x=\"%g\" y=\"%.1f\" text-anchor=\"end\">%s</text>", left - 6,
                     scale.y(y) + 4, number(y).c_str());
    }
    appendPrintf(svg, "<text class=\"label\" x=\"%g\" y=\"%g\" text-anchor=\"middle\">%s</text>",
                 left + plotWidth / 2, height - 10, escapeMarkup(plot.xLabel).c_str());
    appendPrintf(svg,
                 "<text class=\"label\" transform=\"translate(14 %g) rotate(-90)\" "
                 "text-anchor=\"middle\">%s</text></g>",
                 top + plotHeight / 2, escapeMarkup(plot.yLabel).c_str());
}

void appendBars(std::string& svg, const Plot& plot, const PlotSeries& series, const Scale& scale) {
    const double opacity = plot.series.size() > 1 ? 0.6 : 1.0;
    for (std::size_t i = 0; i < series.values.size(); ++i) {
        const double value = series.values[i];
        if (!(value > 0)) continue;
        const double x0 = scale.x(plot.xStart + static_cast<double>(i) * plot.binWidth);
        const double x1 = scale.x(plot.xStart + static_cast<double>(i + 1) * plot.binWidth);
        appendPrintf(svg,
                     "<rect class=\"bar\" x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"%s\" "
                     "fill-opacity=\"%g\"><title>%s: %s</title></rect>",
                     x0, scale.y(value), std::max(x1 - x0 - 0.5, 0.5), top + plotHeight - scale.y(value),
                     escapeMarkup(series.colour).c_str(), opacity,
                     number(plot.xStart + static_cast<double>(i) * plot.binWidth).c_str(),
                     number(value).c_str());
    }
}

void appendLine(std::string& svg, const Plot& plot, const PlotSeries& series, const Scale& scale) {
    appendPrintf(svg, "<polyline class=\"line\" fill=\"none\" stroke=\"%s\" stroke-width=\"1.5\" points=\"",
                 escapeMarkup(series.colour).c_str());
    for (std::size_t i = 0; i < series.values.size(); ++i)
        if (std::isfinite(series.values[i]))
            appendPrintf(svg, "%.1f,%.1f ",
                         scale.x(plot.xStart + (static_cast<double>(i) + 0.5) * plot.binWidth),
                         scale.y(series.values[i]));
    svg += "\"/>";
}

void appendLegend(std::string& svg, const Plot& plot) {
    if (plot.series.size() < 2) return;
    double x = left + 8;
    for (const PlotSeries& series : plot.series) {
        appendPrintf(svg, "<rect x=\"%g\" y=\"%g\" width=\"10\" height=\"10\" fill=\"%s\"/>", x, top + 4,
                     escapeMarkup(series.colour).c_str());
        appendPrintf(svg, "<text class=\"legend\" x=\"%g\" y=\"%g\">%s</text>", x + 14, top + 13,
                     escapeMarkup(series.label).c_str());
        x += 24 + 7.0 * static_cast<double>(series.label.size());
    }
}

void appendMarkers(std::string& svg, const Plot& plot, const Scale& scale) {
    // Labels step down one line each, so that close markers do not write over each other.
    double labelY = top + 12;
    for (const PlotMarker& marker : plot.markers) {
        if (marker.x < scale.xStart || marker.x > scale.xEnd) continue;
        appendPrintf(
            svg,
            "<line class=\"marker\" x1=\"%.1f\" y1=\"%g\" x2=\"%.1f\" y2=\"%g\"/><text class=\"marker\" "
            "x=\"%.1f\" y=\"%g\">%s</text>",
            scale.x(marker.x), top, scale.x(marker.x), top + plotHeight, scale.x(marker.x) + 3, labelY,
            escapeMarkup(marker.label).c_str());
        labelY += 13;
    }
}

}  // namespace

double niceStep(double range, int parts) {
    if (!(range > 0) || parts < 1) return 1;
    const double raw = range / parts;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0})
        if (raw <= factor * power * (1 + 1e-9)) return factor * power;
    return 10 * power;
}

std::string escapeMarkup(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::vector<double> groupBins(const std::vector<std::uint64_t>& bins, std::size_t first, std::size_t count,
                              std::size_t width) {
    std::vector<double> grouped;
    if (width == 0) return grouped;
    const std::size_t end = std::min(bins.size(), first + count);
    for (std::size_t start = first; start < end; start += width) {
        double sum = 0;
        for (std::size_t i = start; i < std::min(end, start + width); ++i)
            sum += static_cast<double>(bins[i]);
        grouped.push_back(sum);
    }
    return grouped;
}

std::string plotSvg(const Plot& plot) {
    const double largest = largestValue(plot);
    const double xEnd =
        plot.xStart + static_cast<double>(std::max<std::size_t>(binCount(plot), 1)) * plot.binWidth;
    const double yStep = niceStep(largest > 0 ? largest : 1, 4);
    const Scale scale{plot.xStart, xEnd, std::ceil((largest > 0 ? largest : 1) / yStep) * yStep};
    std::string svg = stringPrintf(
        "<svg class=\"plot\" data-plot=\"%s\" viewBox=\"0 0 %g %g\" role=\"img\" "
        "xmlns=\"http://www.w3.org/2000/svg\"><title>%s</title>",
        escapeMarkup(plot.id).c_str(), width, height, escapeMarkup(plot.title).c_str());
    appendPrintf(svg, "<text class=\"title\" x=\"%g\" y=\"16\">%s</text>", left,
                 escapeMarkup(plot.title).c_str());
    appendAxes(svg, plot, scale);
    for (const PlotSeries& series : plot.series) {
        if (plot.bars)
            appendBars(svg, plot, series, scale);
        else
            appendLine(svg, plot, series, scale);
    }
    if (largest == 0)
        appendPrintf(svg, "<text class=\"empty\" x=\"%g\" y=\"%g\" text-anchor=\"middle\">no data</text>",
                     left + plotWidth / 2, top + plotHeight / 2);
    appendMarkers(svg, plot, scale);
    appendLegend(svg, plot);
    svg += "</svg>";
    return svg;
}

}  // namespace koru
