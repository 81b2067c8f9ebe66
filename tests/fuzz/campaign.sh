#!/bin/bash
# Builds the fuzz targets and runs them for as long as asked, all at once at
# the lowest priority, each from its seeds and the corpus earlier campaigns
# left in build/fuzz/campaign/TARGET. Prints each target's executions; the
# exit status is non-zero when any target found something (the input is then
# in build/fuzz/campaign).
#   campaign.sh SECONDS [RUNS [TARGET...]]
# RUNS stops a target after that many executions (default: no limit);
# TARGET... defaults to every target.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
seconds=${1:?"usage: campaign.sh SECONDS [RUNS [TARGET...]]"}
runs=${2:--1}
shift $(($# < 2 ? $# : 2))
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(package_fuzz script_fuzz registry_fuzz save_fuzz)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
pids=()
for target in "${targets[@]}"; do
    folder=build/fuzz/campaign/$target
    mkdir -p "$folder"
    FUZZ_LOG=$folder/log.txt nice -n 19 bash tests/fuzz/run-fuzz.sh "build/fuzz/tests/fuzz/$target" \
        "tests/fuzz/corpus/$target" "$seconds" "$folder/corpus" "$runs" >"$folder/summary.txt" 2>&1 &
    pids+=($!)
done
status=0
for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || status=1
    tail -n 1 "build/fuzz/campaign/${targets[$i]}/summary.txt"
done
exit "$status"
