// Which sample each is compared with: found from the keys alone, before
// any file is read, so that a run that cannot pair its samples stops at
// once.
#include "comparisons/baselines.h"

#include "support/fail.h"
#include "support/quoting.h"

#include <algorithm>

namespace calcgap::report {

// With --baseline, each sample's baseline: the sample whose key of that
// name has the value given and whose other keys are its own; a baseline
// itself has none.  None or several is an error naming the sample, found
// before any file is read.
std::vector<std::size_t> baselinesOf(const ReportOptions& options, const std::vector<std::vector<std::string>>& keys)
{
    std::vector<std::size_t> baselines(options.samplePaths.size(), kNoBaseline);
    if (options.output.baselineText == nullptr)
        return baselines;
    const std::vector<SampleKey>& named = options.output.keys;
    const auto key = static_cast<std::size_t>(
        std::find_if(named.begin(), named.end(), [&](const SampleKey& k) { return k.name == options.output.baselineKey; }) -
        named.begin());
    for (std::size_t s = 0; s < keys.size(); ++s) {
        if (keys[s][key] == options.output.baselineValue)
            continue;
        std::vector<std::size_t> found;
        for (std::size_t t = 0; t < keys.size(); ++t) {
            bool same = keys[t][key] == options.output.baselineValue;
            for (std::size_t k = 0; k < named.size() && same; ++k)
                same = k == key || keys[t][k] == keys[s][k];
            if (same)
                found.push_back(t);
        }
        // Runs told apart by no key (seeds, say) pair by name: of several,
        // the one named as the sample is, its key's value put in its place.
        if (found.size() > 1) {
            const std::string counterpart = withKeyValue(named[key], options.samplePaths[s], options.output.baselineValue);
            const auto named = std::find_if(found.begin(), found.end(), [&](std::size_t t) {
                return counterpart == options.samplePaths[t];
            });
            if (named != found.end())
                found = {*named};
        }
        std::string wanted = named[key].name + "=" + wordOrQuoted(options.output.baselineValue);
        for (std::size_t k = 0; k < named.size(); ++k)
            if (k != key)
                wanted += " " + named[k].name + "=" + wordOrQuoted(keys[s][k]);
        const std::string what = "cannot compare " + shellQuoted(options.samplePaths[s]) + " with its baseline";
        if (found.empty())
            fail(what.c_str(), ("no sample has " + wanted).c_str());
        if (found.size() > 1)
            fail(what.c_str(), ("several samples have " + wanted + ": " + shellQuoted(options.samplePaths[found[0]]) +
                                " and " + shellQuoted(options.samplePaths[found[1]]))
                                   .c_str());
        baselines[s] = found.front();
    }
    return baselines;
}

}  // namespace calcgap::report
