#!/usr/bin/env bash
# Builds and runs every test:
#   1. the optimised build (warnings are errors) and its whole suite;
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. a bounded fuzzing run of the value reader against fscanf (FUZZ_SECONDS,
#      default 60; 0 skips it);
#   4. the man pages, which must render without a warning;
#   5. an install into a scratch prefix, whose programs run on the example.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-60}

echo "== optimised build and tests"
cmake --preset ci >/dev/null
cmake --build --preset ci -j"$jobs"
ctest --preset ci -j"$jobs"

echo "== sanitized build and tests"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j"$jobs"
ctest --preset sanitize -j"$jobs"

if [ "$fuzz_seconds" -gt 0 ]; then
    echo "== fuzzing the value reader for $fuzz_seconds s"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j"$jobs"
    corpus=$(mktemp -d)
    trap 'rm -rf "$corpus"' EXIT
    cp tests/fuzz/corpus/* "$corpus/"
    # New finds go to a scratch copy; a failing input is written to
    # build/fuzz/ and belongs in tests/fuzz/corpus as a regular test.
    build/fuzz/readerFuzz -max_total_time="$fuzz_seconds" -max_len=1024 \
        -artifact_prefix=build/fuzz/ -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
fi

echo "== man pages"
for page in man/*.1; do
    warnings=$(groff -man -ww -z "$page" 2>&1)
    if [ -n "$warnings" ]; then
        echo "$page: $warnings" >&2
        exit 1
    fi
done
echo "man pages render cleanly"

echo "== install"
prefix=$(mktemp -d)
cmake --install build/ci --prefix "$prefix" >/dev/null
for page in calcGap_mean calcGap_rms calcGap_peak calcGap_report; do
    test -f "$prefix/share/man/man1/$page.1"
done
(
    cd examples
    for tool in calcGap_mean calcGap_rms; do
        expected=$("../build/ci/$tool" kde_allpts.txt kde_sample.txt testpoints.txt 300 2)
        got=$("$prefix/bin/$tool" kde_allpts.txt kde_sample.txt testpoints.txt 300 2)
        [ "$got" = "$expected" ] || { echo "installed $tool printed $got, not $expected" >&2; exit 1; }
    done
    expected=$(../build/ci/calcGap_peak kde_allpts.txt kde_sample.txt testpoints.txt 300 2 10)
    got=$("$prefix/bin/calcGap_peak" kde_allpts.txt kde_sample.txt testpoints.txt 300 2 10)
    [ "$got" = "$expected" ] || { echo "installed calcGap_peak printed $got, not $expected" >&2; exit 1; }
    expected=$(../build/ci/calcGap_report --format=tsv kde_allpts.txt kde_sample.txt)
    got=$("$prefix/bin/calcGap_report" --format=tsv kde_allpts.txt kde_sample.txt)
    [ "$got" = "$expected" ] || { echo "installed calcGap_report printed another report" >&2; exit 1; }
)
rm -rf "$prefix"
echo "installed programs run on the example"
echo "all checks passed"
