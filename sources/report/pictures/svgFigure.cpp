// A plot as SVG, written directly: a frame, ticks and grid, a line and
// its band for each series, the frontier against time, a legend and a
// note of what was left out.  Every coordinate is printed to two decimals
// from the plot's numbers alone, so the same input gives the same bytes.
#include "pictures/svgFigure.h"

#include "pictures/markup.h"
#include "plots/plotAxes.h"
#include "support/quoting.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace calcgap::report {

namespace {

constexpr double kWidth = 720;
constexpr double kHeight = 440;
// The plot area, and the legend beside it.
constexpr double kLeft = 84;
constexpr double kRight = 520;
constexpr double kTop = 48;
constexpr double kBottom = 372;
constexpr double kLegendLeft = 540;
constexpr double kLegendLine = 18;
// Lines up to this many each show their bands in full.
constexpr std::size_t kFewLines = 3;

// Colours told apart with the common kinds of colour blindness, black
// before the yellow that white paper shows faintly.
constexpr const char* kColours[] = {"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                    "#E69F00", "#56B4E9", "#000000", "#F0E442"};

struct Frame {
    Axis x;
    Axis y;
};

double xAt(const Frame& f, double value)
{
    return kLeft + axisPlace(f.x, value) * (kRight - kLeft);
}

double yAt(const Frame& f, double value)
{
    return kBottom - axisPlace(f.y, value) * (kBottom - kTop);
}

std::string point(double x, double y)
{
    return coordinate(x) + "," + coordinate(y);
}

// A tick's label: 10 with its exponent raised, as a log axis of a density
// or an error reads, or the value itself.
std::string tickLabel(const Axis& axis, double tick, bool decades, double x, double y, const char* anchor)
{
    std::string text = "<text x=\"" + coordinate(x) + "\" y=\"" + coordinate(y) + "\" text-anchor=\"" + anchor + "\">";
    if (axis.log || decades) {
        char exponent[16];
        std::snprintf(exponent, sizeof exponent, "%g", tick);
        return text + "10<tspan dy=\"-5\" font-size=\"9\">" + markupText(exponent) + "</tspan></text>\n";
    }
    char value[32];
    std::snprintf(value, sizeof value, "%g", tick);
    return text + markupText(value) + "</text>\n";
}

Frame frameOf(const Plot& plot, double unit)
{
    std::vector<double> xs;
    std::vector<double> ys;
    const auto fits = [](bool log, double v) { return std::isfinite(v) && (!log || v > 0.0); };
    for (const PlotSeries& series : plot.series)
        for (const PlotPoint& p : series.points) {
            xs.push_back(p.x);
            for (const double y : {p.y, p.lo, p.hi})
                if (fits(plot.yLog, y))
                    ys.push_back(y);
        }
    return {axisOver(xs, plot.xLog, unit), axisOver(ys, plot.yLog, 1.0)};
}

std::string axes(const Plot& plot, const Frame& f)
{
    std::string svg;
    for (const double tick : f.x.ticks) {
        const double x = kLeft + unitPlace(f.x, tick) * (kRight - kLeft);
        svg += "<line x1=\"" + coordinate(x) + "\" y1=\"" + coordinate(kTop) + "\" x2=\"" + coordinate(x) +
               "\" y2=\"" + coordinate(kBottom) + "\" stroke=\"#e4e4e4\"/>\n";
        svg += tickLabel(f.x, tick, plot.kind == PlotKind::density, x, kBottom + 18, "middle");
    }
    for (const double tick : f.y.ticks) {
        const double y = kBottom - unitPlace(f.y, tick) * (kBottom - kTop);
        svg += "<line x1=\"" + coordinate(kLeft) + "\" y1=\"" + coordinate(y) + "\" x2=\"" + coordinate(kRight) +
               "\" y2=\"" + coordinate(y) + "\" stroke=\"#e4e4e4\"/>\n";
        svg += tickLabel(f.y, tick, false, kLeft - 8, y + 4, "end");
    }
    svg += "<rect x=\"" + coordinate(kLeft) + "\" y=\"" + coordinate(kTop) + "\" width=\"" +
           coordinate(kRight - kLeft) + "\" height=\"" + coordinate(kBottom - kTop) +
           "\" fill=\"none\" stroke=\"#444\"/>\n";
    svg += "<text x=\"" + coordinate((kLeft + kRight) / 2) + "\" y=\"" + coordinate(kBottom + 42) +
           "\" text-anchor=\"middle\">" + markupName(plot.xLabel) + (plot.xLog ? " (log scale)" : "") + "</text>\n";
    svg += "<text transform=\"translate(20," + coordinate((kTop + kBottom) / 2) +
           ") rotate(-90)\" text-anchor=\"middle\">" + markupName(plot.yLabel) + (plot.yLog ? " (log scale)" : "") +
           "</text>\n";
    return svg;
}

// A series: its band where two or more points in a row have one, a bar
// for each point's band, the line joining its points and the points.
std::string seriesMarks(const Plot& plot, const Frame& f, const PlotSeries& series, const char* colour)
{
    // Bands of many lines overlap: fainter, and no bars.
    const bool few = plot.series.size() <= kFewLines;
    std::string svg;
    const std::string paint = std::string("\"") + colour + "\"";
    std::vector<const PlotPoint*> run;
    const auto endRun = [&] {
        if (run.size() >= 2) {
            std::string polygon;
            for (const PlotPoint* p : run)
                polygon += point(xAt(f, p->x), yAt(f, p->hi)) + " ";
            for (auto p = run.rbegin(); p != run.rend(); ++p)
                polygon += point(xAt(f, (*p)->x), yAt(f, (*p)->lo)) + " ";
            polygon.pop_back();
            svg += "<polygon points=\"" + polygon + "\" fill=" + paint + " fill-opacity=\"" + (few ? "0.16" : "0.07") + "\" stroke=\"none\"/>\n";
        }
        run.clear();
    };
    for (const PlotPoint& p : series.points) {
        if (std::isfinite(p.lo) && std::isfinite(p.hi)) {
            run.push_back(&p);
            if (few)
                svg += "<line x1=\"" + coordinate(xAt(f, p.x)) + "\" y1=\"" + coordinate(yAt(f, p.lo)) + "\" x2=\"" +
                   coordinate(xAt(f, p.x)) + "\" y2=\"" + coordinate(yAt(f, p.hi)) + "\" stroke=" + paint +
                   " stroke-opacity=\"0.6\"/>\n";
        } else {
            endRun();
        }
    }
    endRun();
    if (plot.joined && series.points.size() >= 2) {
        std::string line;
        for (const PlotPoint& p : series.points)
            line += point(xAt(f, p.x), yAt(f, p.y)) + " ";
        line.pop_back();
        svg += "<polyline points=\"" + line + "\" fill=\"none\" stroke=" + paint + " stroke-width=\"2\"/>\n";
    }
    for (const PlotPoint& p : series.points)
        svg += "<circle cx=\"" + coordinate(xAt(f, p.x)) + "\" cy=\"" + coordinate(yAt(f, p.y)) + "\" r=\"3.5\" fill=" +
               paint + "/>\n";
    return svg;
}

// The fastest at each accuracy, as steps: from each point along in time
// to the next more accurate one, then down to it.
std::string frontierMarks(const Plot& plot, const Frame& f)
{
    if (plot.frontier.empty())
        return "";
    std::string path = "M" + point(xAt(f, plot.frontier.front().x), yAt(f, plot.frontier.front().y));
    for (std::size_t k = 1; k < plot.frontier.size(); ++k)
        path += " H" + coordinate(xAt(f, plot.frontier[k].x)) + " V" + coordinate(yAt(f, plot.frontier[k].y));
    return "<path d=\"" + path + "\" fill=\"none\" stroke=\"#555\" stroke-width=\"1.5\" stroke-dasharray=\"5 3\"/>\n";
}

// A series' name in the legend: printable, and cut to what the space
// beside the plot holds.
std::string legendName(const std::string& name)
{
    constexpr std::size_t kMostCharacters = 24;
    const std::string shown = isPrintable(name) ? name : shellQuoted(name);
    std::size_t characters = 0;
    for (std::size_t at = 0; at < shown.size(); ++at) {
        // A character begins at each byte that does not continue one.
        if ((static_cast<unsigned char>(shown[at]) & 0xC0) != 0x80 && ++characters > kMostCharacters)
            return markupText(shown.substr(0, at)) + "...";
    }
    return markupText(shown);
}

std::string legend(const Plot& plot)
{
    std::string svg;
    double y = kTop + 8;
    const auto entry = [&](const std::string& mark, const std::string& name) {
        svg += mark + "<text x=\"" + coordinate(kLegendLeft + 26) + "\" y=\"" + coordinate(y + 4) + "\">" + name +
               "</text>\n";
        y += kLegendLine;
    };
    for (std::size_t k = 0; k < plot.series.size(); ++k) {
        const std::string colour = kColours[k % std::size(kColours)];
        entry("<line x1=\"" + coordinate(kLegendLeft) + "\" y1=\"" + coordinate(y) + "\" x2=\"" +
                  coordinate(kLegendLeft + 18) + "\" y2=\"" + coordinate(y) + "\" stroke=\"" + colour +
                  "\" stroke-width=\"2\"/><circle cx=\"" + coordinate(kLegendLeft + 9) + "\" cy=\"" + coordinate(y) +
                  "\" r=\"3.5\" fill=\"" + colour + "\"/>",
              legendName(plot.series[k].name));
    }
    bool banded = false;
    for (const PlotSeries& series : plot.series)
        for (const PlotPoint& p : series.points)
            banded = banded || (std::isfinite(p.lo) && std::isfinite(p.hi));
    if (banded && !plot.bandNote.empty())
        entry("<rect x=\"" + coordinate(kLegendLeft) + "\" y=\"" + coordinate(y - 5) +
                  "\" width=\"18\" height=\"10\" fill=\"#888\" fill-opacity=\"0.3\"/>",
              markupText(plot.bandNote));
    if (!plot.frontier.empty())
        entry("<line x1=\"" + coordinate(kLegendLeft) + "\" y1=\"" + coordinate(y) + "\" x2=\"" +
                  coordinate(kLegendLeft + 18) + "\" y2=\"" + coordinate(y) +
                  "\" stroke=\"#555\" stroke-width=\"1.5\" stroke-dasharray=\"5 3\"/>",
              "frontier of the fastest");
    return svg;
}

std::string note(const Plot& plot)
{
    std::string text;
    bool any = false;
    for (const PlotSeries& series : plot.series)
        any = any || !series.points.empty();
    if (!any)
        text = "no values to draw. ";
    if (plot.leftOut > 0)
        text += std::to_string(plot.leftOut) + (plot.leftOut == 1 ? " value" : " values") +
                " left out: empty, not finite, or not positive on a log scale. ";
    if (plot.untimed > 0)
        text += std::to_string(plot.untimed) + (plot.untimed == 1 ? " sample or row" : " samples or rows") +
                " without a time left out. ";
    if (text.empty())
        return "";
    text.pop_back();
    return "<text x=\"16\" y=\"" + coordinate(kHeight - 10) + "\" font-size=\"11\" fill=\"#444\">" +
           markupText(text) + "</text>\n";
}

}  // namespace

std::string svgOf(const Plot& plot, double unit)
{
    const Frame f = frameOf(plot, unit);
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + coordinate(kWidth) + " " +
                      coordinate(kHeight) + "\" width=\"" + coordinate(kWidth) + "\" height=\"" + coordinate(kHeight) +
                      "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<title>" + markupName(plot.title) + "</title>\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
    svg += "<text x=\"16\" y=\"26\" font-size=\"15\" font-weight=\"bold\">" + markupName(plot.title) + "</text>\n";
    svg += axes(plot, f);
    for (std::size_t k = 0; k < plot.series.size(); ++k)
        svg += seriesMarks(plot, f, plot.series[k], kColours[k % std::size(kColours)]);
    svg += frontierMarks(plot, f);
    svg += legend(plot);
    svg += note(plot);
    return svg + "</svg>\n";
}

}  // namespace calcgap::report
