# What the benchmark scripts share; sourced, not run.

# The columns named (comma-separated) of the TSV on standard input, by its
# header line.
columns() {
    awk -F '\t' -v want="$1" '
        NR == 1 { n = split(want, names, ","); for (i = 1; i <= NF; ++i) at[$i] = i; next }
        { line = ""; for (j = 1; j <= n; ++j) line = line (j > 1 ? " " : "") $at[names[j]]; print line }'
}

# Runs each of the commands ($commands, named by $names) $rounds times,
# interleaved with the others so that a slow spell of the machine hits them
# all alike, and keeps each one's best time in best[i] and its output, on
# one line, in output[i].
run_interleaved() {
    declare -gA best=()
    declare -gA output=()
    local round i start end elapsed out
    for ((round = 0; round < rounds; ++round)); do
        for i in "${!names[@]}"; do
            start=$(date +%s.%N)
            out=$(eval "${commands[$i]}" | tr '\t\n' '  ')
            end=$(date +%s.%N)
            elapsed=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f", e - s }')
            output[$i]=$out
            if [ -z "${best[$i]:-}" ] || awk -v x="$elapsed" -v y="${best[$i]}" 'BEGIN { exit !(x < y) }'; then
                best[$i]=$elapsed
            fi
        done
    done
}

# The first Python on the path, or the system's, that has numpy; nothing
# when none has it.
python_with_numpy() {
    local candidate
    for candidate in python3 /usr/bin/python3; do
        if "$candidate" -c 'import numpy' 2>/dev/null; then
            echo "$candidate"
            return
        fi
    done
}

# The machine and the date, for the record.
describe_machine() {
    echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(. /etc/os-release && echo "$PRETTY_NAME"); $(date -u +%F)"
}
