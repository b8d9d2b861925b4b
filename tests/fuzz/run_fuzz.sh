#!/usr/bin/env bash
# A bounded fuzzing run of the value reader against fscanf:
#   run_fuzz.sh FUZZ_TARGET CORPUS_DIR
# for FUZZ_SECONDS (default 60) on a scratch copy of the corpus, so that new
# finds stay out of the tree.  A failing input is written beside the target
# and belongs in the corpus, where CTest replays it as a regular test.
set -euo pipefail
target=$1
corpus=$2
seconds=${FUZZ_SECONDS:-60}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$corpus"/* "$scratch/"
"$target" -max_total_time="$seconds" -max_len=1024 -artifact_prefix="$(dirname "$target")/" \
    -print_final_stats=1 "$scratch" 2>&1 | tail -n 12
