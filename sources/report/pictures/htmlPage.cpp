// The page of a run: one file that holds everything it shows (its styles
// and figures inline, nothing fetched), well-formed as XML too, so that a
// parser checks it and any browser opens it; laid out to print on A4.
#include "pictures/htmlPage.h"

#include "evaluation/figureTable.h"
#include "evaluation/inputProblems.h"
#include "evaluation/pasteTables.h"
#include "formats/pasteCells.h"
#include "pictures/markup.h"
#include "pictures/svgFigure.h"
#include "support/quoting.h"

#include <string>
#include <vector>

namespace calcgap::report {

namespace {

constexpr const char* kStyle =
    "body{font-family:sans-serif;font-size:10.5pt;color:#222;max-width:190mm;margin:1.5em auto;padding:0 1em}\n"
    "h1{font-size:16pt}h2{font-size:13pt;margin-top:1.6em;border-bottom:1px solid #ccc}\n"
    "pre{white-space:pre-wrap;word-break:break-all;background:#f4f4f4;padding:.5em}\n"
    "div.table{overflow-x:auto}\n"
    "table{border-collapse:collapse;font-size:8pt;margin:.5em 0}\n"
    "th,td{border:1px solid #ccc;padding:2px 5px}th{background:#f0f0f0}\n"
    "td.n{text-align:right;font-variant-numeric:tabular-nums}td.k{white-space:nowrap}\n"
    "figure{margin:1em 0;break-inside:avoid}svg{max-width:100%;height:auto}\n"
    "tr{break-inside:avoid}\n"
    "@page{size:A4;margin:14mm}\n"
    "@media print{body{max-width:none;margin:0;padding:0}}\n";

constexpr CellMarks kMarks{"±", "", "", false};

std::string markupTextOf(const std::string& text)
{
    return markupText(text);
}

std::string tableOf(const PasteTable& table, const ReportOptions& options)
{
    const PastedTable pasted =
        pastedTable(table, options.output.digits, options.measures.ciLevel, kMarks, markupTextOf);
    std::string html = "<div class=\"table\"><table>\n<tr>";
    for (const std::string& head : pasted.head)
        html += "<th>" + head + "</th>";
    html += "</tr>\n";
    for (const std::vector<std::string>& row : pasted.rows) {
        html += "<tr>";
        for (std::size_t c = 0; c < row.size(); ++c)
            html += (c < pasted.nameColumns ? "<td class=\"k\">" : "<td class=\"n\">") + row[c] + "</td>";
        html += "</tr>\n";
    }
    return html + "</table></div>\n";
}

std::string section(const std::string& title, const std::string& body)
{
    return "<h2>" + markupText(title) + "</h2>\n" + body;
}

std::vector<std::string> namesOf(const std::vector<const Figure*>& figures)
{
    std::vector<std::string> names;
    for (const Figure* figure : figures)
        names.push_back(figure->name);
    return names;
}

std::string inputOf(const Evaluation& evaluation)
{
    std::string html = "<ul>\n<li>a (from all points): " + markupName(shellQuoted(evaluation.allpts.path)) + ", " +
                       markupText(counted(evaluation.allpts.values, "value", "values")) + "</li>\n";
    html += "<li>samples: " + std::to_string(evaluation.samples.size()) + ", each compared with a</li>\n";
    std::size_t problems = 0;
    for (const Report& r : evaluation.samples)
        for (const InputProblem& problem : inputProblems(r)) {
            html += "<li>" + markupName(shellQuoted(r.sample.path)) + ": " + markupName(problem.label) + ": " +
                    markupName(problem.text) + "</li>\n";
            ++problems;
        }
    if (problems == 0)
        html += "<li>problems: none</li>\n";
    return html + "</ul>\n";
}

}  // namespace

std::string htmlPage(const Evaluation& evaluation, const std::vector<Plot>& plots)
{
    const ReportOptions& options = evaluation.options;
    std::string command;
    for (const std::string& argument : options.output.commandLine)
        command += (command.empty() ? "" : " ") + wordOrQuoted(argument);
    std::string html = "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
                       "<meta charset=\"utf-8\"/>\n<title>calcGap_report</title>\n<style>\n" +
                       std::string(kStyle) + "</style>\n</head>\n<body>\n<h1>calcGap_report</h1>\n";
    html += "<pre>" + markupName(command) + "</pre>\n";
    html += section("Input", inputOf(evaluation));
    const PasteTable summary = summaryTableOf(evaluation, namesOf(headlineFigures(kSummaryTable)));
    html += section(summary.title + ", " + summary.samples, tableOf(summary, options));
    if (options.output.baselineText != nullptr)
        html += section("Paired with the baseline " + std::string(options.output.baselineText),
                        tableOf(sampleTableOf(evaluation, {"paired_points", "win_rate", "ties", "sign_p",
                                                           "rel_ratio_median", "rel_ratio_geomean", "rel_diff_mean",
                                                           "rel_diff_se"}),
                                options));
    if (!plots.empty()) {
        std::string figures;
        for (const Plot& plot : plots)
            figures += "<figure>\n" + svgOf(plot, options.measures.decadesPerRow) + "</figure>\n";
        html += section("Figures", figures);
    }
    if (options.measures.byDensity) {
        const PasteTable density = densityTableOf(evaluation, namesOf(headlineFigures(kDecadeSummaryTable)));
        html += section(density.title + ", " + density.samples, tableOf(density, options));
    }
    return html + "</body>\n</html>\n";
}

}  // namespace calcgap::report
