#!/usr/bin/env bash
# Times calcGap_report on every kind of input it reads, side by side in one
# run: the same N pairs (default 10 million) written as %.8g, %.17g and
# %.18e text, %.8g as the second field of CSV lines, as .npy float32 and float64, as raw float32 (the values %.8g
# writes, in binary) and float64, and as an HDF5
# float64 dataset; beside it cat of the two files, calcGap_mean on the text,
# and numpy (and h5py) computing the report's headline figures on the same
# files.  Then the evaluation over samples: four samples in one run against
# four runs, and --by-density and --points beside a plain run.  Each command
# runs ROUNDS times (default 3), interleaved, and the best time counts.
#   bench/run_kinds.sh [BUILD_DIR] [N]
# The files live in WORKDIR (default $TMPDIR/calcGap-kinds, about 1.3 GB at
# 10 million pairs), removed at the end unless KEEP=1.  Needs Python with
# numpy (Debian's python3-numpy); HDF5 rows need h5py (python3-h5py).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/bench_support.sh
. "$here/bench_support.sh"
build=${1:-$here/../build/release}
n=${2:-10000000}
rounds=${ROUNDS:-3}
work=${WORKDIR:-${TMPDIR:-/tmp}/calcGap-kinds}
report=$build/calcGap_report
mkdir -p "$work"
if [ "${KEEP:-0}" != 1 ]; then
    trap 'rm -rf "$work"' EXIT
fi

python=$(python_with_numpy)
if [ -z "$python" ]; then
    echo "run_kinds.sh: numpy is needed to write the files" >&2
    exit 1
fi
has_h5py=0
"$python" -c 'import h5py' 2>/dev/null && has_h5py=1

# The values of make_workload.c: lognormal densities and a sample within 5%.
"$python" - "$work" "$n" "$has_h5py" <<'EOF'
import sys
import numpy as np
work, n, h5 = sys.argv[1], int(sys.argv[2]), sys.argv[3] == "1"
rng = np.random.default_rng(2026)
a = np.exp(-6.0 + 1.5 * rng.standard_normal(n))
b = a * (1.0 + 0.05 * rng.standard_normal(n))
for name, x in (("a", a), ("b", b)):
    np.save(f"{work}/{name}8.npy", x)
    np.save(f"{work}/{name}4.npy", x.astype(np.float32))
    x.tofile(f"{work}/{name}8.raw")
    x.astype(np.float32).tofile(f"{work}/{name}4.raw")
    np.savetxt(f"{work}/{name}.8g.txt", x, fmt="%.8g")
    np.savetxt(f"{work}/{name}.17g.txt", x, fmt="%.17g")
    np.savetxt(f"{work}/{name}.18e.txt", x, fmt="%.18e")
    # The same %.8g values as the second field of index,value lines.
    np.savetxt(f"{work}/{name}.8g.csv", np.stack([np.arange(n), x], axis=1), fmt=["%d", "%.8g"], delimiter=",")
if h5:
    import h5py
    with h5py.File(f"{work}/ab.h5", "w") as f:
        f.create_dataset("a", data=a)
        f.create_dataset("b", data=b)
points = rng.uniform(-4, 4, (n, 2))
np.savetxt(f"{work}/points.txt", points, fmt="%.6f")
EOF
: >"$work/testpts.txt"

# The report's headline figures, as a numpy script computes them.
numpy_figures='
import sys, numpy as np
def load(p):
    if p.endswith(".npy"): return np.load(p).astype(np.float64)
    if p.endswith("4.raw"): return np.fromfile(p, dtype=np.float32).astype(np.float64)
    if p.endswith(".raw"): return np.fromfile(p, dtype=np.float64)
    if ":" in p:
        import h5py
        f, d = p.split(":")
        return h5py.File(f, "r")[d][()]
    import pandas as pd
    if p.endswith(".csv"):
        return pd.read_csv(p, header=None, dtype=np.float64, engine="c")[1].to_numpy()
    return pd.read_csv(p, header=None, dtype=np.float64, engine="c")[0].to_numpy()
a = load(sys.argv[1]); b = load(sys.argv[2])
e = np.abs(a - b); r = e / np.abs(a)
print("%.9g %.9g %.9g %.9g" % (e.mean(), r.mean(), np.percentile(r, 99), (r <= 0.01).mean()))'
has_pandas=0
"$python" -c 'import pandas' 2>/dev/null && has_pandas=1

names=()
commands=()
add() { names+=("$1"); commands+=("$2"); }
w=$work
figures="columns abs_mean,rel_mean,rel_p99,within_share"
for kind in 8g 17g 18e; do
    add "cat, %.$kind text" "cat '$w/a.$kind.txt' '$w/b.$kind.txt' | wc -c"
    add "calcGap_mean, %.$kind" "'$build/calcGap_mean' '$w/a.$kind.txt' '$w/b.$kind.txt' '$w/testpts.txt' $n 1"
    add "report, %.$kind text" "'$report' --format=tsv '$w/a.$kind.txt' '$w/b.$kind.txt' | $figures"
    [ "$has_pandas" = 1 ] && add "numpy+pandas, %.$kind" "$python -c '$numpy_figures' '$w/a.$kind.txt' '$w/b.$kind.txt'"
done
add "cat, %.8g CSV" "cat '$w/a.8g.csv' '$w/b.8g.csv' | wc -c"
add "report, %.8g CSV --column=2" "'$report' --format=tsv --delimiter=, --column=2 '$w/a.8g.csv' '$w/b.8g.csv' | $figures"
[ "$has_pandas" = 1 ] && add "numpy+pandas, %.8g CSV" "$python -c '$numpy_figures' '$w/a.8g.csv' '$w/b.8g.csv'"
add "cat, .npy f4" "cat '$w/a4.npy' '$w/b4.npy' | wc -c"
add "report, .npy f4" "'$report' --format=tsv '$w/a4.npy' '$w/b4.npy' | $figures"
add "numpy, .npy f4" "$python -c '$numpy_figures' '$w/a4.npy' '$w/b4.npy'"
add "cat, .npy f8" "cat '$w/a8.npy' '$w/b8.npy' | wc -c"
add "report, .npy f8" "'$report' --format=tsv '$w/a8.npy' '$w/b8.npy' | $figures"
add "numpy, .npy f8" "$python -c '$numpy_figures' '$w/a8.npy' '$w/b8.npy'"
add "cat, raw f4" "cat '$w/a4.raw' '$w/b4.raw' | wc -c"
add "report, raw f4" "'$report' --format=tsv --raw=f4 '$w/a4.raw' '$w/b4.raw' | $figures"
add "numpy, raw f4" "$python -c '$numpy_figures' '$w/a4.raw' '$w/b4.raw'"
add "cat, raw f8" "cat '$w/a8.raw' '$w/b8.raw' | wc -c"
add "report, raw f8" "'$report' --format=tsv --raw=f8 '$w/a8.raw' '$w/b8.raw' | $figures"
add "numpy, raw f8" "$python -c '$numpy_figures' '$w/a8.raw' '$w/b8.raw'"
if [ "$has_h5py" = 1 ]; then
    add "report, HDF5 f8" "'$report' --format=tsv '$w/ab.h5:a' '$w/ab.h5:b' | $figures"
    add "numpy+h5py, HDF5 f8" "$python -c '$numpy_figures' '$w/ab.h5:a' '$w/ab.h5:b'"
fi
s="'$w/b.8g.txt'"
add "report, 4 runs of 1" "for i in 1 2 3 4; do '$report' --format=tsv '$w/a.8g.txt' $s | tail -n 1; done | wc -l"
add "report, 1 run of 4" "'$report' --format=tsv '$w/a.8g.txt' $s $s $s $s | tail -n +2 | wc -l"
add "report, --by-density" "'$report' --format=tsv --by-density '$w/a.8g.txt' $s | wc -l"
add "report, text" "'$report' '$w/a.8g.txt' $s | wc -l"
add "report, text --points" "'$report' --points='$w/points.txt' --dim=2 '$w/a.8g.txt' $s | wc -l"

describe_machine
echo "pairs: $n, best of $rounds interleaved runs, times in seconds"
run_interleaved
time_of() {
    for i in "${!names[@]}"; do
        [ "${names[$i]}" = "$1" ] && echo "${best[$i]}"
    done
}
for i in "${!names[@]}"; do
    printf '%-24s %9.3f  %s\n' "${names[$i]}" "${best[$i]}" "${output[$i]}"
done
ratio() {
    awk -v what="$1" -v x="$(time_of "$2")" -v y="$(time_of "$3")" 'BEGIN { printf "%-52s %6.2fx\n", what, x / y }'
}
echo
ratio "report %.17g text / calcGap_mean on it" "report, %.17g text" "calcGap_mean, %.17g"
ratio "report %.18e text / calcGap_mean on it" "report, %.18e text" "calcGap_mean, %.18e"
ratio "report %.8g CSV --column=2 / report %.8g text" "report, %.8g CSV --column=2" "report, %.8g text"
ratio "report %.8g text / report .npy f4 (speed-up)" "report, %.8g text" "report, .npy f4"
ratio "report %.8g text / report raw f4 (speed-up)" "report, %.8g text" "report, raw f4"
ratio "report %.8g text / report raw f8 (speed-up)" "report, %.8g text" "report, raw f8"
ratio "report .npy f4 / cat of the files" "report, .npy f4" "cat, .npy f4"
ratio "report raw f4 / cat of the files" "report, raw f4" "cat, raw f4"
ratio "report raw f8 / cat of the files" "report, raw f8" "cat, raw f8"
if [ "$has_h5py" = 1 ]; then
    ratio "report HDF5 f8 / report .npy f8" "report, HDF5 f8" "report, .npy f8"
fi
ratio "1 run of 4 samples / 4 runs of 1" "report, 1 run of 4" "report, 4 runs of 1"
ratio "--by-density / plain, TSV" "report, --by-density" "report, %.8g text"
ratio "--points / plain, text" "report, text --points" "report, text"
if [ -x /usr/bin/time ]; then
    for extra in "" "--by-density" "--points=$w/points.txt --dim=2"; do
        kb=$( { /usr/bin/time -f '%M' "$report" $extra "$w/a.8g.txt" "$w/b.8g.txt" >/dev/null; } 2>&1 )
        printf 'report %-30s %9s KiB peak memory\n' "${extra:-(text)}" "$kb"
    done
    kb=$( { /usr/bin/time -f '%M' "$report" --format=tsv "$w/a.8g.txt" "$w/b.8g.txt" "$w/b.8g.txt" "$w/b.8g.txt" "$w/b.8g.txt" >/dev/null; } 2>&1 )
    printf 'report %-30s %9s KiB peak memory\n' "4 samples, TSV" "$kb"
fi
