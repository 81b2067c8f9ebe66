#!/bin/bash
# Runs one fuzz target for a while from its seed corpus.
#   run-fuzz.sh TARGET SEEDS SECONDS [CORPUS [RUNS]]
# It stops after SECONDS, or after RUNS executions when that comes first.
# New inputs go to CORPUS (default: a throw-away folder), never into SEEDS.
# A finding is written beside CORPUS as TARGET-crash-*, -leak-*, -timeout-*
# or -oom-* and makes the exit status non-zero. The last line tells the
# number of executions.
set -euo pipefail
target=$1 seeds=$2 seconds=$3 runs=${5:--1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ $# -ge 4 ]; then
    corpus=$4
    artifacts=$(dirname "$corpus")
else
    corpus=$work/corpus
    artifacts=${TMPDIR:-/tmp}
fi
mkdir -p "$corpus"
# Absolute paths: a target may change its current directory.
corpus=$(realpath "$corpus") seeds=$(realpath "$seeds") artifacts=$(realpath "$artifacts")
status=0
started=$SECONDS
# A unit slower than 10 s, one allocation above 64 MiB or more than 1 GiB in
# all count as findings: no input here needs them.
"$target" -max_total_time="$seconds" -runs="$runs" -timeout=10 -malloc_limit_mb=64 -rss_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$(basename "$target")-" \
    "$corpus" "$seeds" >"$work/log" 2>&1 || status=$?
[ -z "${FUZZ_LOG:-}" ] || cp "$work/log" "$FUZZ_LOG"
if [ "$status" -ne 0 ]; then
    tail -n 60 "$work/log" >&2
fi
executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
echo "$(basename "$target"): ${executions:-0} executions in $((SECONDS - started)) s, exit status $status"
exit "$status"
