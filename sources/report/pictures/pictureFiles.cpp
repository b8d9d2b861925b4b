#include "pictures/pictureFiles.h"

#include "pictures/htmlPage.h"
#include "pictures/svgFigure.h"
#include "plots/plotData.h"
#include "support/fail.h"
#include "support/quoting.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace calcgap::report {

namespace {

void writeFile(const std::string& path, const std::string& text)
{
    const std::string what = "cannot write " + shellQuoted(path);
    std::FILE* const file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        fail(what.c_str(), std::strerror(errno));
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int error = errno;
    // A full disk may show only when the last block is flushed.
    if (std::fclose(file) != 0 || !written)
        fail(what.c_str(), std::strerror(written ? errno : error));
}

void makeFolder(const char* path)
{
    if (::mkdir(path, 0777) == 0)
        return;
    const int error = errno;
    struct stat status {};
    if (error == EEXIST && ::stat(path, &status) == 0 && S_ISDIR(status.st_mode))
        return;
    fail(("cannot make the folder " + shellQuoted(path)).c_str(),
         std::strerror(error == EEXIST ? ENOTDIR : error));
}

}  // namespace

void writePictures(const Evaluation& evaluation)
{
    const OutputOptions& output = evaluation.options.output;
    if (output.svgDir == nullptr && output.htmlPath == nullptr)
        return;
    const std::vector<Plot> plots = runPlots(evaluation);
    if (output.svgDir != nullptr) {
        if (plots.empty())
            fail("no figures to draw",
                 "no key's every value is a positive number; give one with --key, or --by-density or --times");
        makeFolder(output.svgDir);
        for (const Plot& plot : plots)
            writeFile(std::string(output.svgDir) + "/" + plot.file,
                      svgOf(plot, evaluation.options.measures.decadesPerRow));
    }
    if (output.htmlPath != nullptr)
        writeFile(output.htmlPath, htmlPage(evaluation, plots));
}

}  // namespace calcgap::report
