#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test:
#   1. the optimised build (warnings are errors) and its whole suite, the
#      man pages' check among it;
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. a bounded fuzzing run of the value reader against fscanf (FUZZ_SECONDS,
#      default 60; 0 skips it);
#   4. an install into a scratch prefix, whose programs run on the example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/install test
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}

cmake --workflow --preset ci
cmake --workflow --preset sanitize
if [ "${FUZZ_SECONDS:-60}" -gt 0 ]; then
    cmake --workflow --preset fuzz
fi

echo "== install"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build/ci --prefix "$prefix" >/dev/null
cd examples
for tool in calcGap_mean calcGap_rms calcGap_peak calcGap_report; do
    test -f "$prefix/share/man/man1/$tool.1"
    case $tool in
    calcGap_peak) args="kde_allpts.txt kde_sample.txt testpoints.txt 300 2 10" ;;
    calcGap_report) args="--format=tsv kde_allpts.txt kde_sample.txt" ;;
    *) args="kde_allpts.txt kde_sample.txt testpoints.txt 300 2" ;;
    esac
    # shellcheck disable=SC2086
    [ "$("$prefix/bin/$tool" $args)" = "$("../build/ci/$tool" $args)" ] ||
        { echo "the installed $tool printed another result" >&2; exit 1; }
done
echo "installed programs run on the example"
echo "all checks passed"
