// calcGap_report's command line, in the style getopt_long users know: long
// options by any unambiguous prefix, with "=VALUE" or the next argument as
// the value; short options alone or clustered ("-k3", "-k 3"); options and
// operands in any order; "--" ends the options and a lone "-" is an
// operand.  It is parsed here rather than by getopt_long, so that every
// error names the option as the user wrote it and says what is wrong, and so
// that no environment variable changes how a command line reads.
#include "options/reportOptions.h"

#include "options/optionValues.h"
#include "options/sampleKeys.h"

#include "support/commandLine.h"
#include "support/fail.h"
#include "support/output.h"
#include "support/quoting.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace calcgap::report {

namespace {

// What the help says before the options and after them.
const char* const kHelpHead =
    "Usage: calcGap_report [OPTION]... KDE_FROM_ALLPTS KDE_FROM_SAMPLE...\n"
    "Reports how far the KDE values of each sample file (b, computed from a sample)\n"
    "lie from those of the first (a, computed from all points), pair by pair, in one\n"
    "pass: absolute, relative and signed errors with their means, spreads, quantiles\n"
    "and worst points, the share within a tolerance, ratio errors, scale-free norms,\n"
    "errors by decade of a, the lines the classic tools print, and what went wrong in\n"
    "the input; with several samples, a table of them and their spread.  A file\n"
    "named - is standard input.\n"
    "\n";

const char* const kHelpTail =
    "\n"
    "Text is read as fscanf \"%lf\" reads it, every digit kept, and for the\n"
    "classic lines as \"%f\" reads it; lines that begin with # are comments.  A\n"
    "file that begins as a .npy file is read as one; PATH:DATASET names a dataset\n"
    "of an HDF5 file.  Pairs holding a NaN or an infinity are left out of the\n"
    "measures (the classic lines count them as the classic tools do).  Sums are\n"
    "accurate to 1e-12 and quantiles (nearest rank) to 0.1%.\n"
    "Exit status: 0 after the report, 1 after an error, 2 with --strict and a\n"
    "problem in the input, 3 when a requirement failed.\n";

}  // namespace

namespace {

[[noreturn]] void printHelp();

// Every option, once: its names, the name of its value where it takes one,
// what the help says of it, and what it does.  In the order the help lists
// them, which is also the order in which an ambiguous prefix lists its
// possibilities.
struct KnownOption {
    const char* name;
    char shortName;
    // The value's name in the help, or nullptr for an option without one.
    const char* value;
    // What the help says, a line to each "\n"; empty where the option
    // shares the line of the one before it.
    const char* help;
    void (*apply)(ReportOptions& options, const char* value);
};

constexpr KnownOption kOptions[] = {
    {"count", 'n', "N",
     "compare exactly N pairs, as calcGap_mean does: a file that\n"
     "yields no value repeats its last one; without it, compare as\n"
     "many pairs as the shorter file yields",
     [](ReportOptions& o, const char* v) {
         o.countGiven = true;
         o.count = countValue("count", v);
     }},
    {"worst", 'k', "K",
     "list the K points with the largest absolute error and the K\n"
     "with the largest relative error (default 10, 0 for none)",
     [](ReportOptions& o, const char* v) { o.measures.worst = countValue("number of worst points", v); }},
    {"floor", 0, "TAU", "relative error is |a - b| / max(|a|, TAU) (default 0)",
     [](ReportOptions& o, const char* v) { o.measures.floor = amountValue("floor", v); }},
    {"rtol", 0, "R", "a pair is within tolerance when |a - b| <= A + R |a|;\n"
     "R1,R2,... counts the pairs within each too",
     [](ReportOptions& o, const char* v) {
         o.measures.rtols.clear();
         o.output.withinNames.clear();
         o.output.withinShareNames.clear();
         for (const std::string& text : nameList("relative tolerance", v)) {
             o.measures.rtols.push_back(amountValue("relative tolerance", text.c_str()));
             o.output.withinNames.push_back("within_" + std::string(trimmed(text.c_str())));
             o.output.withinShareNames.push_back("within_share_" + std::string(trimmed(text.c_str())));
         }
         o.measures.rtol = o.measures.rtols.front();
         for (std::size_t k = 1; k < o.output.withinNames.size(); ++k)
             if (std::find(o.output.withinNames.begin(), o.output.withinNames.begin() + static_cast<std::ptrdiff_t>(k),
                           o.output.withinNames[k]) != o.output.withinNames.begin() + static_cast<std::ptrdiff_t>(k))
                 failInvalid("relative tolerance", v, "it names a tolerance twice");
         if (o.measures.rtols.size() == 1) {
             o.output.withinNames.clear();
             o.output.withinShareNames.clear();
         }
     }},
    {"atol", 0, "A", "  (defaults R = 0.01, A = 0)",
     [](ReportOptions& o, const char* v) { o.measures.atol = amountValue("absolute tolerance", v); }},
    {"min-truth", 0, "T",
     "leave pairs with a < T out of the relative, ratio and\n"
     "tolerance figures, and count them",
     [](ReportOptions& o, const char* v) {
         o.measures.minTruthGiven = true;
         leastTruthValue(o.measures, v);
     }},
    {"format", 0, "F",
     "text (default), tsv (a header line, then a line per\n"
     "sample, to append to a table), json, or markdown or latex\n"
     "(a table of the samples or the summary, to paste)",
     [](ReportOptions& o, const char* v) { o.output.format = formatValue(v); }},
    {"strict", 0, nullptr,
     "exit with status 2 after the report when the input had a\n"
     "problem: a failed read, text that is not a number, a NaN or\n"
     "infinity, a value that underflowed or overflowed as read, a\n"
     "line without its field, a file that ran short, files of\n"
     "unequal length, or no pairs at all",
     [](ReportOptions& o, const char*) { o.output.strict = true; }},
    {"log", 0, nullptr, "the values are natural logarithms of the densities",
     [](ReportOptions& o, const char*) { o.measures.logs = true; }},
    {"column", 0, "N",
     "the value of each line is its N-th field (from 1); with\n"
     "--header, N may be the field's name; of a 2-D .npy array\n"
     "or HDF5 dataset, the N-th column",
     [](ReportOptions& o, const char* v) { columnValue(o.sources, v); }},
    {"truth-column", 0, "N",
     "the first file's column, where it differs from the\n"
     "samples' --column (a matrix of runs beside its truth)",
     [](ReportOptions& o, const char* v) {
         o.truthColumnGiven = true;
         columnValue(o.truthSources, v);
     }},
    {"delimiter", 0, "C",
     "fields are split at the byte C (',' for CSV), not at\n"
     "white space",
     [](ReportOptions& o, const char* v) {
         o.sources.delimiterGiven = true;
         o.sources.delimiter = delimiterValue(v);
     }},
    {"header", 0, nullptr, "the first line of a text file names the fields",
     [](ReportOptions& o, const char*) { o.sources.header = true; }},
    {"raw", 0, "T",
     "read every file as native float32 (f4) or float64 (f8)\n"
     "arrays, as numpy's tofile writes them",
     [](ReportOptions& o, const char* v) { o.sources.raw = rawValue(v); }},
    {"summary", 0, nullptr,
     "the mean, standard deviation, standard error, minimum and\n"
     "maximum over the samples of every figure",
     [](ReportOptions& o, const char*) { o.output.summary = true; }},
    {"key", 0, "NAME=RE",
     "a sample's NAME is the first capture of the pattern RE in\n"
     "its name, as 'n=_n([0-9]+)_'; repeated, a key each, and\n"
     "the summary has a row for each combination of them",
     [](ReportOptions& o, const char* v) { namedKeyValue(o.output, v); }},
    {"group", 0, "RE", "the same as --key=group=RE",
     [](ReportOptions& o, const char* v) { keyValue(o.output, "group pattern", "group", v, v); }},
    {"baseline", 0, "NAME=VALUE",
     "compare each sample point by point with the sample whose\n"
     "key NAME is VALUE and whose other keys are its own: the\n"
     "share of points where its relative error is the smaller,\n"
     "a sign test, and the ratio and difference of the errors",
     [](ReportOptions& o, const char* v) {
         const char* const equals = std::strchr(v, '=');
         if (equals == nullptr || equals == v || equals[1] == '\0')
             failInvalid("baseline", v, "not NAME=VALUE, NAME a key of --key or --group");
         o.output.baselineText = v;
         o.output.baselineKey.assign(v, equals);
         o.output.baselineValue = equals + 1;
     }},
    {"by-density", 0, nullptr,
     "every figure by decade of a: in TSV a row per decade,\n"
     "in JSON a list per sample, in the text's summary a table",
     [](ReportOptions& o, const char*) { o.measures.byDensity = true; }},
    {"decades", 0, "K", "with --by-density, each row spans K decades of a (default 1)",
     [](ReportOptions& o, const char* v) {
         constexpr std::int32_t kMostDecades = 10000;
         o.measures.decadesPerRow = countFromOne("number of decades", v, kMostDecades);
     }},
    {"ci", 0, "LEVEL",
     "intervals at LEVEL (as 0.95): over the samples of a summary\n"
     "row by Student's t, of a sample's quantiles by its order\n"
     "statistics, of its means by the normal approximation",
     [](ReportOptions& o, const char* v) {
         o.measures.ciLevel = amountValue("confidence level", v);
         if (!(o.measures.ciLevel > 0.0 && o.measures.ciLevel < 1.0))
             failInvalid("confidence level", v, "not a number between 0 and 1, as 0.95");
     }},
    {"bootstrap", 0, "B",
     "with --ci, the intervals of a sample's means from B\n"
     "Poisson-bootstrap replicates taken in the same pass",
     [](ReportOptions& o, const char* v) {
         constexpr std::int32_t kMostReplicates = 100000;
         o.measures.bootstrap = countFromOne("number of replicates", v, kMostReplicates);
     }},
    {"seed", 0, "S", "the seed of the replicates' weights (default 1)",
     [](ReportOptions& o, const char* v) { o.measures.seed = seedValue(v); }},
    {"columns", 0, "LIST",
     "the figures of TSV rows, by name or shell pattern, as\n"
     "'rel_*,abs_mean'; the files, keys and decade stay",
     [](ReportOptions& o, const char* v) {
         o.output.columnsText = v;
         o.output.columns = nameList("column list", v);
     }},
    {"table", 0, "LIST",
     "print a table of the summary to paste, of each figure\n"
     "named: a row for each value of the first key, a column for\n"
     "each of the last, each cell the mean +- sd over the samples\n"
     "(with --ci, the interval)",
     [](ReportOptions& o, const char* v) {
         o.output.tableText = v;
         o.output.tableFigures = nameList("table's figure list", v);
     }},
    {"digits", 0, "N", "significant digits of the tables to paste (default 3)",
     [](ReportOptions& o, const char* v) {
         // Beyond 17 digits no double has more to show.
         constexpr std::int32_t kMostDigits = 17;
         o.output.digits = countFromOne("number of digits", v, kMostDigits);
     }},
    {"svg", 0, "DIR",
     "write the run's figures into DIR as SVG: the figure of\n"
     "--plot against the last numeric key (size.svg), by decade\n"
     "of a with --by-density (density.svg), against --times\n"
     "(time.svg)",
     [](ReportOptions& o, const char* v) { o.output.svgDir = v; }},
    {"html", 0, "FILE",
     "write one self-contained page of the run to FILE: its\n"
     "command, input, summary, comparison, figures and decades",
     [](ReportOptions& o, const char* v) { o.output.htmlPath = v; }},
    {"plot", 0, "FIGURE", "the figure the pictures draw (default rel_mean)",
     [](ReportOptions& o, const char* v) {
         o.output.plotText = v;
         o.output.plotFigure = v;
     }},
    {"times", 0, "FILE",
     "the seconds each sample, or each value of a key, took: a\n"
     "line of its name, a tab and the seconds, for time.svg",
     [](ReportOptions& o, const char* v) { o.output.timesPath = v; }},
    {"require", 0, "EXPR",
     "NAME<=VALUE or NAME>=VALUE, NAME a TSV column: exit with\n"
     "status 3 when a sample, or a summary's mean, fails it",
     [](ReportOptions& o, const char* v) { o.output.requirements.push_back(requirementValue(v)); }},
    {"points", 0, "FILE",
     "the test points, D values each, shown beside the worst\n"
     "points",
     [](ReportOptions& o, const char* v) { o.pointsPath = v; }},
    {"dim", 0, "D", "",
     [](ReportOptions& o, const char* v) {
         constexpr std::int32_t kMostValuesPerPoint = 10000;
         o.dim = countFromOne("number of values per point", v, kMostValuesPerPoint);
     }},
    {"help", 'h', nullptr, "print this help and exit", [](ReportOptions&, const char*) { printHelp(); }},
    {"version", 0, nullptr, "print the version and exit",
     [](ReportOptions&, const char*) { printVersionAndExit("calcGap_report"); }},
};

// The column where the help's descriptions begin.
constexpr std::size_t kHelpColumn = 20;

// "  -n, --count=N", and after it the names of the options that share its
// line, then what it does: beside the names where they leave room, below
// them where not, each further line at the same column.
std::string helpOf(std::size_t at)
{
    const auto synopsis = [](const KnownOption& known) {
        std::string names = known.shortName != 0 ? std::string("  -") + known.shortName + ", " : "      ";
        names += std::string("--") + known.name;
        if (known.value != nullptr)
            names += std::string("=") + known.value;
        return names;
    };
    std::string line = synopsis(kOptions[at]);
    for (std::size_t next = at + 1; next < std::size(kOptions) && *kOptions[next].help == '\0'; ++next)
        line += ", " + synopsis(kOptions[next]).substr(6);
    if (line.size() < kHelpColumn)
        line.append(kHelpColumn - line.size(), ' ');
    else if (line.size() <= kHelpColumn + 2)
        line += "  ";
    else
        line += "\n" + std::string(kHelpColumn, ' ');
    for (const char* c = kOptions[at].help; *c != '\0'; ++c)
        line += *c == '\n' ? "\n" + std::string(kHelpColumn, ' ') : std::string(1, *c);
    return line + "\n";
}

void printHelp()
{
    std::string help = kHelpHead;
    for (std::size_t at = 0; at < std::size(kOptions); ++at)
        if (*kOptions[at].help != '\0')
            help += helpOf(at);
    help += kHelpTail;
    std::fputs(help.c_str(), stdout);
    flushOutput("cannot write the help");
    std::exit(0);
}

// The option that "--NAME" or "--NAME=VALUE" names: the one spelled so, or
// the only one that begins so.
const KnownOption& longOption(const char* argument)
{
    const char* const equals = std::strchr(argument, '=');
    const std::string_view name(argument + 2, equals != nullptr ? static_cast<std::size_t>(equals - argument - 2)
                                                                : std::strlen(argument + 2));
    std::vector<const KnownOption*> matches;
    for (const KnownOption& known : kOptions) {
        if (name == known.name)
            return known;
        if (!name.empty() && std::string_view(known.name).substr(0, name.size()) == name)
            matches.push_back(&known);
    }
    const std::string what = "invalid option " + shellQuoted(argument);
    if (matches.empty())
        failOption(what, "no such option");
    if (matches.size() > 1) {
        std::string reason = "is ambiguous; possibilities:";
        for (const KnownOption* known : matches)
            reason += " '--" + std::string(known->name) + "'";
        failOption(what, reason.c_str());
    }
    return *matches.front();
}

}  // namespace

ReportOptions parseReportOptions(int argc, char** argv)
{
    ReportOptions options;
    options.output.commandLine.assign(argv, argv + argc);
    std::vector<const char*> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* const argument = argv[i];
        if (optionsEnded || argument[0] != '-' || argument[1] == '\0') {
            operands.push_back(argument);
        } else if (std::strcmp(argument, "--") == 0) {
            optionsEnded = true;
        } else if (argument[1] == '-') {
            const KnownOption& known = longOption(argument);
            const char* const equals = std::strchr(argument, '=');
            if (known.value == nullptr && equals != nullptr)
                failOption("invalid option " + shellQuoted(argument), "doesn't allow an argument");
            const char* value = equals != nullptr ? equals + 1 : nullptr;
            if (known.value != nullptr && value == nullptr) {
                if (i + 1 == argc)
                    failOption("invalid option " + shellQuoted(argument), "it needs a value");
                value = argv[++i];
            }
            known.apply(options, value);
        } else {
            // A cluster of short options; one that takes a value takes the
            // rest of the cluster, or else the next argument.
            for (const char* c = argument + 1; *c != '\0'; ++c) {
                const KnownOption* known = nullptr;
                for (const KnownOption& candidate : kOptions)
                    if (candidate.shortName == *c)
                        known = &candidate;
                const std::string shown = std::string("-") + *c;
                if (known == nullptr)
                    failOption("invalid option " + shellQuoted(shown), "no such option");
                if (known->value == nullptr) {
                    known->apply(options, nullptr);
                    continue;
                }
                if (c[1] == '\0' && i + 1 == argc)
                    failOption("invalid option " + shellQuoted(shown), "it needs a value");
                known->apply(options, c[1] != '\0' ? c + 1 : argv[++i]);
                break;
            }
        }
    }
    if (operands.size() < 2)
        failOption("missing value file",
                   "at least two value files are needed, KDE_FROM_ALLPTS and KDE_FROM_SAMPLE");
    if ((options.pointsPath != nullptr) != (options.dim > 0))
        failOption(options.pointsPath != nullptr ? "missing --dim" : "missing --points",
                   "--points and --dim go together");
    if (options.sources.columnName != nullptr && !options.sources.header)
        failOption("invalid column " + shellQuoted(options.sources.columnName), "a name needs --header");
    if (!options.output.tableFigures.empty() &&
        (options.output.format == ReportFormat::tsv || options.output.format == ReportFormat::json))
        failOption("invalid option '--table'",
                   "a table to paste is text, markdown or latex: TSV and JSON hold every figure of the summary");
    if (options.output.baselineText != nullptr &&
        std::none_of(options.output.keys.begin(), options.output.keys.end(),
                     [&](const SampleKey& key) { return key.name == options.output.baselineKey; }))
        failInvalid("baseline", options.output.baselineText,
                    ("no key is named " + shellQuoted(options.output.baselineKey) + ": give it with --key").c_str());
    if (options.measures.bootstrap > 0 && !(options.measures.ciLevel > 0.0))
        failOption("missing --ci", "--bootstrap draws the intervals of --ci=LEVEL: give the level");
    if (options.measures.minTruthBeyondDoubles && !options.measures.logs)
        failOption("invalid least truth",
                   (std::string(std::strerror(ERANGE)) + ": below the doubles, a least truth needs --log").c_str());
    // The first file is read as the samples are, but for its column.
    {
        SourceOptions truth = options.sources;
        truth.column = options.truthSources.column;
        truth.columnName = options.truthSources.columnName;
        options.truthSources = options.truthColumnGiven ? truth : options.sources;
    }
    if (options.truthSources.columnName != nullptr && !options.truthSources.header)
        failOption("invalid column " + shellQuoted(options.truthSources.columnName), "a name needs --header");
    options.allptsPath = operands[0];
    options.samplePaths.assign(operands.begin() + 1, operands.end());
    return options;
}

std::string decimalOfLog(double log)
{
    const double decimal = log / std::log(10.0);
    const double exponent = std::floor(decimal);
    char text[64];
    std::snprintf(text, sizeof text, "%.6ge%.0f", std::pow(10.0, decimal - exponent), exponent);
    return text;
}

}  // namespace calcgap::report
