// The times file is small and read whole, before the pass, so that a bad
// line is an error before any value is read.
#include "inputs/timesFile.h"

#include "support/fail.h"
#include "support/quoting.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace calcgap::report {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The seconds of a line, or NaN where the text is not a finite number of
// 0 or more.
double secondsOf(const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(value) && value >= 0.0 ? value : NAN;
}

}  // namespace

std::vector<TimedName> readTimes(const char* path)
{
    const std::string what = "cannot read the times " + shellQuoted(path);
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "r"));
    if (file == nullptr)
        fail(what.c_str(), std::strerror(errno));
    std::vector<TimedName> times;
    std::string line;
    std::size_t number = 0;
    for (int c = 0; c != EOF;) {
        line.clear();
        while ((c = std::fgetc(file.get())) != EOF && c != '\n')
            line += static_cast<char>(c);
        if (c == EOF && line.empty())
            break;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t tab = line.rfind('\t');
        const std::string where = "line " + std::to_string(number);
        if (tab == std::string::npos)
            fail(what.c_str(), (where + " has no tab between a name and its seconds").c_str());
        const double seconds = secondsOf(line.substr(tab + 1));
        if (std::isnan(seconds)) {
            if (times.empty() && number == 1)
                continue;
            fail(what.c_str(), (where + ": the seconds " + shellQuoted(line.substr(tab + 1)) +
                                " are not a finite number of 0 or more")
                                   .c_str());
        }
        times.push_back({line.substr(0, tab), seconds});
    }
    if (std::ferror(file.get()))
        fail(what.c_str(), std::strerror(errno));
    return times;
}

}  // namespace calcgap::report
