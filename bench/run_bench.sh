#!/usr/bin/env bash
# Times the three tools against a plain fscanf build of the same pass on a
# generated workload of N pairs (default 10 million), and against
# numpy.loadtxt and paste|awk where they are installed.  Each command runs
# ROUNDS times (default 5), interleaved with the others so that a slow spell
# of the machine hits them all alike, and the best time counts.
#   bench/run_bench.sh [BUILD_DIR] [N]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/release}
n=${2:-10000000}
rounds=${ROUNDS:-5}
work=${WORKDIR:-${TMPDIR:-/tmp}/calcGap-bench-$n}

if [ ! -s "$work/sample.txt" ]; then
    echo "generating $n pairs in $work ..." >&2
    python3 "$here/make_workload.py" "$work" "$n"
fi
cc -O2 -ffp-contract=off -o "$work/fscanf_baseline" "$here/fscanf_baseline.c" -lm

a=$work/allpts.txt
b=$work/sample.txt
t=$work/testpts.txt
names=()
commands=()
add() { names+=("$1"); commands+=("$2"); }
for m in mean rms peak; do
    add "fscanf baseline ($m)" "'$work/fscanf_baseline' '$a' '$b' '$t' $n 2 $m"
    add "calcGap_$m" "'$build/calcGap_$m' '$a' '$b' '$t' $n 2 10"
done
numpy_python=""
for candidate in python3 /usr/bin/python3; do
    if "$candidate" -c 'import numpy' 2>/dev/null; then
        numpy_python=$candidate
        break
    fi
done
if [ -n "$numpy_python" ]; then
    add "numpy.loadtxt (mean)" "$numpy_python -c 'import numpy as np,sys; x=np.loadtxt(sys.argv[1],dtype=np.float32); y=np.loadtxt(sys.argv[2],dtype=np.float32); print(\"%f\" % np.abs(x-y).mean())' '$a' '$b'"
fi
if command -v awk >/dev/null && command -v paste >/dev/null; then
    add "paste | awk (mean)" "paste '$a' '$b' | awk '{d=\$1-\$2; if (d<0) d=-d; s+=d} END {printf \"%f\\n\", s/NR}'"
fi

declare -A best
declare -A output
for ((round = 0; round < rounds; ++round)); do
    for i in "${!names[@]}"; do
        start=$(date +%s.%N)
        out=$(eval "${commands[$i]}")
        end=$(date +%s.%N)
        elapsed=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f", e - s }')
        output[$i]=$out
        if [ -z "${best[$i]:-}" ] || awk -v x="$elapsed" -v y="${best[$i]}" 'BEGIN { exit !(x < y) }'; then
            best[$i]=$elapsed
        fi
    done
done

printf '%-24s %10s %10s  %s\n' "command" "best (s)" "vs fscanf" "output"
for i in "${!names[@]}"; do
    measure=mean
    case "${names[$i]}" in *rms*) measure=rms ;; *peak*) measure=peak ;; esac
    baseline=""
    for j in "${!names[@]}"; do
        [ "${names[$j]}" = "fscanf baseline ($measure)" ] && baseline=${best[$j]}
    done
    ratio=$(awk -v x="$baseline" -v y="${best[$i]}" 'BEGIN { printf "%.6f", x / y }')
    printf '%-24s %10.3f %9.1fx  %s\n' "${names[$i]}" "${best[$i]}" "$ratio" "${output[$i]}"
done

# Peak resident memory of the tools, where GNU time is at hand.
if [ -x /usr/bin/time ]; then
    for m in mean rms peak; do
        kb=$( { /usr/bin/time -f '%M' "$build/calcGap_$m" "$a" "$b" "$t" "$n" 2 10 >/dev/null; } 2>&1 )
        printf 'calcGap_%s peak memory: %s KiB\n' "$m" "$kb"
    done
fi
