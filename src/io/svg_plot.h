#pragma once
// Small plots drawn as inline SVG, so that a report page needs nothing but itself: bars or lines
// over evenly spaced bins, with axes, ticks at round numbers and labelled vertical markers.

#include <cstdint>
#include <string>
#include <vector>

namespace koru {

struct PlotSeries {
    std::string label;
    std::string colour;          // any CSS colour
    std::vector<double> values;  // one per bin
};

struct PlotMarker {
    double x = 0;
    std::string label;
};

struct Plot {
    std::string id;  // the svg's data-plot attribute
    std::string title;
    std::string xLabel;
    std::string yLabel;
    double xStart = 0;    // the x value of the first bin's left edge
    double binWidth = 1;  // in x units
    bool bars = true;     // bars, else lines through the bins' middles
    std::vector<PlotSeries> series;
    std::vector<PlotMarker> markers;
};

// The whole <svg> element; it scales to its container's width. An empty plot (no bins, or all
// zero) still draws its axes, with "no data".
std::string plotSvg(const Plot& plot);

// A round step (1, 2 or 5 times a power of ten) that cuts the range into about that many parts.
double niceStep(double range, int parts);

// Text safe inside HTML or SVG, as content or attribute value.
std::string escapeMarkup(const std::string& text);

// Sums consecutive bins in groups of `width`, so that a long histogram draws as a readable number of
// bars; the last group may be short.
std::vector<double> groupBins(const std::vector<std::uint64_t>& bins, std::size_t first, std::size_t count,
                              std::size_t width);

}  // namespace koru
