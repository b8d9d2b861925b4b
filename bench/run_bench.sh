#!/usr/bin/env bash
# Times the tools against a plain fscanf build of the same pass, and against
# numpy.loadtxt, a pandas dataframe reader and paste|awk where they are
# installed, on N generated pairs (default 10 million) written in each value
# format in turn.  Each command runs ROUNDS times (default 3), interleaved
# with the others so that a slow spell of the machine hits them all alike,
# and the best time counts.
#   bench/run_bench.sh [BUILD_DIR] [N] [FORMAT...]
# A FORMAT is a printf conversion for a double ("%.17g"), or "negative" or
# "wide" (see make_workload.c); without any, every format below is run.
# The workload of one format at a time lives in WORKDIR (default
# $TMPDIR/calcGap-bench, about 500 MB at 10 million pairs) and is removed
# when the format is done, and WORKDIR when the script ends; KEEP=1 keeps
# them for another run.  VERSUS=OTHER_BUILD_DIR times that build's tools
# too, in the same interleaved rounds (as "old calcGap_mean" and so on), so
# that a change is measured against the code before it in one run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/bench_support.sh
. "$here/bench_support.sh"
build=${1:-$here/../build/release}
n=${2:-10000000}
shift $(($# > 2 ? 2 : $#))
formats=("$@")
if [ ${#formats[@]} -eq 0 ]; then
    formats=("%.6g" "%.8g" "%.9g" "%.17g" "%.18e" "%e" "%.7e" "%f" "%.10f" "%+.8g" negative wide)
fi
rounds=${ROUNDS:-3}
work=${WORKDIR:-${TMPDIR:-/tmp}/calcGap-bench}
mkdir -p "$work"
if [ "${KEEP:-0}" != 1 ]; then
    trap 'rm -rf "$work"' EXIT
fi
cc -O2 -o "$work/make_workload" "$here/make_workload.c" -lm
cc -O2 -ffp-contract=off -o "$work/fscanf_baseline" "$here/fscanf_baseline.c" -lm

python=$(python_with_numpy)
has_pandas=0
[ -n "$python" ] && "$python" -c 'import pandas' 2>/dev/null && has_pandas=1
report=""
[ -x "$build/calcGap_report" ] && report="$build/calcGap_report"


describe_machine
echo "pairs: $n, best of $rounds interleaved runs, times in seconds"
printf '%-8s %-26s %9s %9s  %s\n' "format" "command" "best" "vs fscanf" "output"

for format in "${formats[@]}"; do
    dir=$work/shape
    rm -rf "$dir"
    mkdir -p "$dir"
    "$work/make_workload" "$dir" "$n" "$format"
    a=$dir/allpts.txt
    b=$dir/sample.txt
    t=$dir/testpts.txt
    names=()
    commands=()
    add() { names+=("$1"); commands+=("$2"); }
    for m in mean rms peak; do
        add "fscanf pass ($m)" "'$work/fscanf_baseline' '$a' '$b' '$t' $n 2 $m"
        add "calcGap_$m" "'$build/calcGap_$m' '$a' '$b' '$t' $n 2 10"
        if [ -n "${VERSUS:-}" ]; then
            add "old calcGap_$m" "'$VERSUS/calcGap_$m' '$a' '$b' '$t' $n 2 10"
        fi
    done
    if [ -n "$report" ]; then
        # Its accurate mean, then the classic mean it also prints.
        add "calcGap_report" "'$report' --format=tsv '$a' '$b' | columns abs_mean,classic_mean"
        if [ -n "${VERSUS:-}" ] && [ -x "$VERSUS/calcGap_report" ]; then
            add "old calcGap_report" "'$VERSUS/calcGap_report' --format=tsv '$a' '$b' | columns abs_mean,classic_mean"
        fi
    fi
    if [ -n "$python" ]; then
        add "numpy.loadtxt (mean)" "$python -c 'import numpy as np,sys; x=np.loadtxt(sys.argv[1],dtype=np.float32); y=np.loadtxt(sys.argv[2],dtype=np.float32); print(\"%f\" % np.abs(x-y).mean())' '$a' '$b'"
    fi
    if [ "$has_pandas" = 1 ]; then
        add "pandas.read_csv (mean)" "$python -c 'import pandas as pd,numpy as np,sys; r=lambda p: pd.read_csv(p,header=None,dtype=np.float32,engine=\"c\")[0].to_numpy(); x=r(sys.argv[1]); y=r(sys.argv[2]); print(\"%f\" % np.abs(x-y).mean())' '$a' '$b'"
    fi
    add "paste | awk (mean)" "paste '$a' '$b' | awk '{d=\$1-\$2; if (d<0) d=-d; s+=d} END {printf \"%f\\n\", s/NR}'"

    run_interleaved
    for i in "${!names[@]}"; do
        measure=mean
        case "${names[$i]}" in *rms*) measure=rms ;; *peak*) measure=peak ;; esac
        baseline=""
        for j in "${!names[@]}"; do
            [ "${names[$j]}" = "fscanf pass ($measure)" ] && baseline=${best[$j]}
        done
        ratio=$(awk -v x="$baseline" -v y="${best[$i]}" 'BEGIN { printf "%.6f", x / y }')
        printf '%-8s %-26s %9.3f %8.1fx  %s\n' "$format" "${names[$i]}" "${best[$i]}" "$ratio" "${output[$i]}"
    done
    # Each tool's time as a multiple of the other build's.
    if [ -n "${VERSUS:-}" ]; then
        for i in "${!names[@]}"; do
            for j in "${!names[@]}"; do
                [ "${names[$j]}" = "old ${names[$i]}" ] || continue
                awk -v f="$format" -v t="${names[$i]}" -v x="${best[$i]}" -v y="${best[$j]}" \
                    'BEGIN { printf "%-8s %-26s %9s %8.3fx  of the other build'"'"'s time\n", f, t, "", x / y }'
            done
        done
    fi
    if [ -n "$report" ]; then
        mean_time="" report_time=""
        for i in "${!names[@]}"; do
            [ "${names[$i]}" = calcGap_mean ] && mean_time=${best[$i]}
            [ "${names[$i]}" = calcGap_report ] && report_time=${best[$i]}
        done
        awk -v f="$format" -v r="$report_time" -v m="$mean_time" \
            'BEGIN { printf "%-8s %-26s %9s %8.2fx  of calcGap_mean'"'"'s time\n", f, "calcGap_report", "", r / m }'
    fi
    # Peak resident memory, where GNU time is at hand.
    if [ -x /usr/bin/time ]; then
        for tool in calcGap_mean calcGap_rms calcGap_peak ${report:+calcGap_report}; do
            if [ "$tool" = calcGap_report ]; then
                kb=$( { /usr/bin/time -f '%M' "$report" "$a" "$b" >/dev/null; } 2>&1 )
            else
                kb=$( { /usr/bin/time -f '%M' "$build/$tool" "$a" "$b" "$t" "$n" 2 10 >/dev/null; } 2>&1 )
            fi
            printf '%-8s %-26s %9s KiB peak memory\n' "$format" "$tool" "$kb"
        done
    fi
    unset best output
    [ "${KEEP:-0}" = 1 ] || rm -rf "$dir"
done
