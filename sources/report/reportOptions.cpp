// calcGap_report's command line, in the getopt_long style.
#include "report.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>

namespace {

constexpr const char* kHint = "Try 'calcGap_report --help' for more information.";

enum LongOnly { floorOption = 256, rtolOption, atolOption, formatOption, strictOption, versionOption };

const option kOptions[] = {
    {"count", required_argument, nullptr, 'n'},
    {"worst", required_argument, nullptr, 'k'},
    {"floor", required_argument, nullptr, floorOption},
    {"rtol", required_argument, nullptr, rtolOption},
    {"atol", required_argument, nullptr, atolOption},
    {"format", required_argument, nullptr, formatOption},
    {"strict", no_argument, nullptr, strictOption},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, versionOption},
    {nullptr, 0, nullptr, 0},
};

const char* const kHelp =
    "Usage: calcGap_report [OPTION]... KDE_FROM_ALLPTS KDE_FROM_SAMPLE\n"
    "Reports how far the KDE values of the second file (b, computed from a sample)\n"
    "lie from those of the first (a, computed from all points), pair by pair, in one\n"
    "pass: absolute and relative errors with their means, quantiles and worst points,\n"
    "the share within a tolerance, ratio errors, scale-free norms, the lines the\n"
    "classic tools print, and what went wrong in the input.\n"
    "\n"
    "  -n, --count=N     compare exactly N pairs, as calcGap_mean does: a file that\n"
    "                    yields no value repeats its last one; without it, compare as\n"
    "                    many pairs as the shorter file yields\n"
    "  -k, --worst=K     list the K points with the largest absolute error and the K\n"
    "                    with the largest relative error (default 10, 0 for none)\n"
    "      --floor=TAU   relative error is |a - b| / max(|a|, TAU) (default 0)\n"
    "      --rtol=R      a pair is within tolerance when |a - b| <= A + R |a|\n"
    "      --atol=A        (defaults R = 0.01, A = 0)\n"
    "      --format=F    text (default), tsv (a header line and a data line, to\n"
    "                    append to a table) or json\n"
    "      --strict      exit with status 2 after the report when the input had a\n"
    "                    problem: a failed read, text that is not a number, a NaN or\n"
    "                    infinity, a file that ran short or files of unequal length\n"
    "  -h, --help        print this help and exit\n"
    "      --version     print the version and exit\n"
    "\n"
    "Values are read as fscanf \"%f\" reads them, into single-precision floats.\n"
    "Pairs holding a NaN or an infinity are left out of the measures (the classic\n"
    "lines count them as the classic tools do).  Sums are accurate to 1e-12 and\n"
    "quantiles (nearest rank) to 0.1%.\n"
    "Exit status: 0 after the report, 1 after an error, 2 with --strict and a\n"
    "problem in the input.\n";

[[noreturn]] void failOption(const std::string& what, const char* reason)
{
    failWithHint(what.c_str(), reason, kHint);
}

std::int32_t countValue(const char* name, const char* text)
{
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || value < 0 || value > INT32_MAX ||
        !(*text >= '0' && *text <= '9'))
        failOption(std::string("invalid ") + name + " " + shellQuoted(text), "not a whole number from 0 to 2147483647");
    return static_cast<std::int32_t>(value);
}

double amountValue(const char* name, const char* text)
{
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value < 0.0)
        failOption(std::string("invalid ") + name + " " + shellQuoted(text), "not a finite number of 0 or more");
    return value;
}

ReportFormat formatValue(const char* text)
{
    if (std::strcmp(text, "text") == 0)
        return ReportFormat::text;
    if (std::strcmp(text, "tsv") == 0)
        return ReportFormat::tsv;
    if (std::strcmp(text, "json") == 0)
        return ReportFormat::json;
    failOption("invalid format " + shellQuoted(text), "not one of text, tsv, json");
}

}  // namespace

ReportOptions parseReportOptions(int argc, char** argv)
{
    ReportOptions options;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":n:k:h", kOptions, nullptr)) != -1) {
        switch (c) {
        case 'n':
            options.countGiven = true;
            options.count = countValue("count", optarg);
            break;
        case 'k':
            options.worst = countValue("number of worst points", optarg);
            break;
        case floorOption:
            options.floor = amountValue("floor", optarg);
            break;
        case rtolOption:
            options.rtol = amountValue("relative tolerance", optarg);
            break;
        case atolOption:
            options.atol = amountValue("absolute tolerance", optarg);
            break;
        case formatOption:
            options.format = formatValue(optarg);
            break;
        case strictOption:
            options.strict = true;
            break;
        case 'h':
            std::fputs(kHelp, stdout);
            flushOutput("cannot write the help");
            std::exit(0);
        case versionOption:
            printVersionAndExit("calcGap_report");
        case ':':
            failOption("invalid option " + shellQuoted(argv[optind - 1]), "it needs a value");
        default: {
            const std::string shown = optopt != 0 ? std::string("-") + static_cast<char>(optopt)
                                                  : std::string(argv[optind - 1]);
            failOption("invalid option " + shellQuoted(shown.c_str()), "no such option");
        }
        }
    }
    if (argc - optind < 2)
        failOption("missing value file", "two value files are needed, KDE_FROM_ALLPTS and KDE_FROM_SAMPLE");
    if (argc - optind > 2)
        failOption("extra operand " + shellQuoted(argv[optind + 2]), "two value files are needed");
    options.allptsPath = argv[optind];
    options.samplePath = argv[optind + 1];
    return options;
}
