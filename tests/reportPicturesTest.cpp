// calcGap_report's pictures: the SVG figures and the HTML page parsed as
// XML, against golden files for one fixed input, with hostile names and
// values at the ends of the doubles, rendered by librsvg and by a headless
// browser; and the text's bars against the numeric key.
#include "reportSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Checks every SVG and HTML file named, printing one line for each fault:
// not well-formed, a point outside the plot area, more labelled ticks on
// an axis than it allows, a control or bidirectional character as it
// stands.
const char* const kCheckMarkup = R"(exec /usr/bin/python3 -c '
import sys, xml.etree.ElementTree as ET
S = "{http://www.w3.org/2000/svg}"
for path in sys.argv[2:]:
    data = open(path, "rb").read()
    for bad in (b"\x1b", "\u202e".encode(), "\u2066".encode()):
        if bad in data:
            print(path, "holds", bad)
    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        print(path, "is not well-formed:", e); continue
    for svg in ([root] if root.tag == S + "svg" else root.iter(S + "svg")):
        for c in svg.iter(S + "circle"):
            x, y = float(c.get("cx")), float(c.get("cy"))
            if x < 540 and not (84 <= x <= 520 and 48 <= y <= 372):
                print(path, "has a point outside the plot area at", x, y)
        ticks = [t for t in svg.iter(S + "text") if t.find(S + "tspan") is not None]
        if len(ticks) > 16:
            print(path, "labels", len(ticks), "ticks")
print("checked")
' "$@")";

// Counts, in each PNG named, the pixels of the first two series' colours
// inside the plot area (scaled by the image's width against the SVG's 720)
// and those left of the legend outside it.
const char* const kCountInk = R"(exec /usr/bin/python3 -c '
import sys
try:
    from PIL import Image
except ImportError:
    print("no PIL"); sys.exit(0)
for path in sys.argv[2:]:
    image = Image.open(path).convert("RGB")
    w, h = image.size
    scale = w / 720.0
    inside = outside = 0
    for (px, py), colour in ((p, image.getpixel(p)) for p in ((x, y) for x in range(w) for y in range(h))):
        if not any(abs(colour[0] - r) + abs(colour[1] - g) + abs(colour[2] - b) < 40 for r, g, b in ((0, 114, 178), (213, 94, 0))):
            continue
        x, y = px / scale, py / scale
        if 80 <= x <= 524 and 44 <= y <= 376:
            inside += 1
        elif x < 530:
            outside += 1
    print(inside, outside)
' "$@")";

class ReportPictures : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string truth;
    std::vector<std::string> samples;

    // Two methods at two sizes and two seeds: the slow one's errors fall
    // with size, the fast one's stay.
    void SetUp() override
    {
        std::string a;
        std::string rows[8];
        for (int i = 0; i < 200; ++i) {
            const double value = 1.0 / (1.0 + i) / (1.0 + i % 7);
            char line[64];
            std::snprintf(line, sizeof line, "%.17g\n", value);
            a += line;
            int r = 0;
            for (const double error : {0.2, 0.25, 0.02, 0.03, 0.3, 0.28, 0.29, 0.31}) {
                std::snprintf(line, sizeof line, "%.17g\n", value * (1.0 + error * (i % 2 == 0 ? 1 : -0.5)));
                rows[r++] += line;
            }
        }
        truth = dir.file("truth.txt", a);
        const char* const names[] = {"slow_n10_s1", "slow_n10_s2", "slow_n100_s1", "slow_n100_s2",
                                     "fast_n10_s1", "fast_n10_s2", "fast_n100_s1", "fast_n100_s2"};
        for (int r = 0; r < 8; ++r)
            samples.push_back(dir.file(std::string(names[r]) + ".txt", rows[r]));
    }

    std::vector<std::string> keyed(std::vector<std::string> options) const
    {
        options.insert(options.end(), {"--key=method=/([a-z]+)_", "--key=n=_n([0-9]+)_", truth});
        options.insert(options.end(), samples.begin(), samples.end());
        return options;
    }

    static std::string readFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};

// The three figures of a fixed input are its golden files, byte for byte
// (set CALCGAP_UPDATE_GOLDEN=1 to write them anew); they and the page are
// well-formed, with every point inside the plot area.
TEST_F(ReportPictures, FiguresMatchTheirGoldenFilesAndParse)
{
    std::string times;
    for (const std::string& sample : samples)
        times += sample.substr(dir.path.size() + 1) + "\t" + (sample.find("fast") != std::string::npos ? "0.5" : "2") +
                 (sample.find("n100") != std::string::npos ? "0" : "") + "\n";
    const std::string timesFile = dir.file("times.tsv", "sample\tseconds\n" + times);
    const std::string svg = dir.path + "/figures";
    const std::string page = dir.path + "/page.html";
    const RunResult run = runScript("cd '" + dir.path + "' && tools=\"$1\" && shift && exec \"$tools/calcGap_report\" \"$@\"",
                                    [&] {
                                        std::vector<std::string> args{"--by-density", "--ci=0.9", "--times=times.tsv",
                                                                      "--svg=figures", "--html=page.html",
                                                                      "--baseline=method=slow",
                                                                      "--key=method=^([a-z]+)_", "--key=n=_n([0-9]+)_",
                                                                      "truth.txt"};
                                        for (const std::string& sample : samples)
                                            args.push_back(sample.substr(dir.path.size() + 1));
                                        return args;
                                    }());
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* name : {"size.svg", "density.svg", "time.svg"}) {
        const std::string made = readFile(svg + "/" + name);
        const std::string golden = std::string(CALCGAP_SOURCE_DIR) + "/tests/golden/" + name;
        if (std::getenv("CALCGAP_UPDATE_GOLDEN") != nullptr)
            std::ofstream(golden, std::ios::binary) << made;
        EXPECT_EQ(made, readFile(golden)) << name << " differs from its golden file";
    }
    const RunResult checked = runScript(kCheckMarkup, {svg + "/size.svg", svg + "/density.svg", svg + "/time.svg", page});
    EXPECT_EQ(checked.out, "checked\n") << checked.err;
    // The frontier of the fastest: the fast method at both sizes is faster
    // than the slow one at either, so the frontier runs through it.
    EXPECT_NE(readFile(svg + "/time.svg").find("stroke-dasharray"), std::string::npos);
    const std::string html = readFile(page);
    for (const char* part : {"<h2>Input</h2>", "<h2>Summary over the samples", "<h2>Paired with the baseline",
                             "<th>win_rate</th>", "<h2>Figures</h2>", "<h2>By decade of a", "--svg=figures"})
        EXPECT_NE(html.find(part), std::string::npos) << part;
    EXPECT_EQ(html.find("src="), std::string::npos) << "nothing is fetched";
}

// Names with markup, control and bidirectional characters, and figures at
// both ends of the doubles: every figure parses, every point lies inside
// its plot area, and no such character reaches the file as it stands.
TEST_F(ReportPictures, HostileNamesAndExtremeValues)
{
    const std::string a = dir.file("a.txt", "1e-300\n2e-300\n1e300\n");
    std::vector<std::string> args{"--key=method=/m([^/]*)_n", "--key=n=_n([0-9]+)_", "--plot=abs_mean",
                                  "--svg=" + dir.path + "/hostile", "--html=" + dir.path + "/hostile.html", a};
    const char* const methods[] = {"<b>&\"'", "\x1b[31mred", "\xe2\x80\xae" "rtl"};
    const char* const values[] = {"1.5e-300\n2e-300\n1e300\n", "1e-300\n2e-300\n3e300\n", "1e-300\n2e-300\n1e300\n"};
    for (int m = 0; m < 3; ++m)
        for (const char* n : {"1", "1000"})
            args.push_back(dir.file(std::string("m") + methods[m] + "_n" + n + "_", values[m]));
    const RunResult run = runReport(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const RunResult checked = runScript(kCheckMarkup, {dir.path + "/hostile/size.svg", dir.path + "/hostile.html"});
    EXPECT_EQ(checked.out, "checked\n") << checked.err;
    const std::string size = readFile(dir.path + "/hostile/size.svg");
    EXPECT_NE(size.find("method=&lt;b&gt;&amp;&quot;&#39;"), std::string::npos) << size;
    EXPECT_NE(size.find("\\033"), std::string::npos) << "the escape shown quoted";
    // The third method's abs_mean is 0: no point on a log axis, counted.
    EXPECT_NE(size.find("2 values left out"), std::string::npos) << size;
}

// Rendered by librsvg, each figure has the first two series' ink inside
// its plot area and none outside it but in the legend; the page, in a
// headless browser, shows the figures.
TEST_F(ReportPictures, RenderedWithInkInThePlotArea)
{
    const RunResult have = runScript("command -v rsvg-convert");
    if (have.status != 0)
        GTEST_SKIP() << "rsvg-convert (librsvg2-bin) is not installed";
    const std::string svg = dir.path + "/figures";
    ASSERT_EQ(runReport(keyed({"--by-density", "--svg=" + svg, "--html=" + dir.path + "/page.html"})).status, 0);
    std::vector<std::string> pngs;
    for (const char* name : {"size", "density"}) {
        const std::string png = dir.path + "/" + name + ".png";
        const RunResult rendered =
            runScript("exec rsvg-convert -o \"$2\" \"$3\"", {png, svg + "/" + name + ".svg"});
        ASSERT_EQ(rendered.status, 0) << rendered.err;
        pngs.push_back(png);
    }
    const RunResult ink = runScript(kCountInk, pngs);
    ASSERT_EQ(ink.status, 0) << ink.err;
    if (ink.out == "no PIL\n")
        GTEST_SKIP() << "python3-pil is not installed";
    int inside = 0;
    int outside = 0;
    std::istringstream counts(ink.out);
    for (std::size_t k = 0; k < pngs.size(); ++k) {
        counts >> inside >> outside;
        EXPECT_GT(inside, 200) << pngs[k];
        EXPECT_EQ(outside, 0) << pngs[k];
    }

    const RunResult browser = runScript("command -v chromium");
    if (browser.status != 0)
        GTEST_SKIP() << "chromium is not installed: the page was not opened";
    const std::string shot = dir.path + "/page.png";
    const RunResult opened = runScript("exec timeout 60 chromium --headless --no-sandbox --disable-gpu "
                                       "--hide-scrollbars --window-size=1000,2400 --screenshot=\"$2\" \"file://$3\"",
                                       {shot, dir.path + "/page.html"});
    if (opened.status != 0 || readFile(shot).empty())
        GTEST_SKIP() << "chromium could not start here: " << opened.err.substr(0, 300);
    // The page lays the figures out where it will: their ink anywhere.
    const RunResult pageInk = runScript(kCountInk, {shot});
    int shownInside = 0;
    int shownOutside = 0;
    std::istringstream(pageInk.out) >> shownInside >> shownOutside;
    EXPECT_GT(shownInside + shownOutside, 500) << "the page's figures are not shown: " << pageInk.out;
}

// The text's bars follow each method's figure over the numeric key; the
// pictures' own failures are one line on standard error, status 1 and
// nothing on standard output.
TEST_F(ReportPictures, TextBarsAndFailures)
{
    const RunResult text = runReport(keyed({}));
    ASSERT_EQ(text.status, 0) << text.err;
    // rel_mean: slow 0.1125 then 0.0125 (falls to the lowest bar), fast
    // about 0.15 at both sizes (the highest).
    EXPECT_NE(text.out.find("  method=fast  \u2588\u2588  "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  method=slow  \u2587\u2581  "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("n: 10 100"), std::string::npos) << text.out;

    const std::string file = dir.file("plain", "x");
    const std::string badTimes = dir.file("bad.tsv", "a\t1\nb\tslow\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> failures{
        {{"--svg=" + dir.path + "/none", truth, samples[0]}, "no figures to draw"},
        {keyed({"--svg=" + file}), "cannot make the folder"},
        {keyed({"--html=" + dir.path + "/no/such/page.html"}), "cannot write"},
        {keyed({"--svg=" + dir.path + "/t", "--times=" + badTimes}), "line 2: the seconds 'slow' are not"},
        {keyed({"--svg=" + dir.path + "/p", "--plot=rel_maen"}), "close names: rel_max, rel_mean"},
    };
    for (const auto& [args, message] : failures) {
        const RunResult run = runReport(args);
        EXPECT_EQ(run.status, 1) << message;
        EXPECT_EQ(run.out, "") << message;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
}

}  // namespace
