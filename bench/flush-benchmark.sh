#!/bin/bash
# Counts the flushes (fsync, fdatasync, syncfs) that one update makes, for an
# update of 20 files and one of 200 files in the same three folders: the
# files are flushed together, so the count does not grow with them. Then
# measures the updater on the 200 files against cp followed by sync of the
# same files, and its peak memory; and, when the Windows build can be made
# and Wine is installed, updater.exe --yes on 100 of the files against xcopy
# (and xcopy followed by sync) in the same Wine prefix. Each updater also
# runs on the same files lying loose beside it, which it copies as they are,
# without checking them against the package's digests: what the flushes
# cost apart from the hashing.
#
#   bench/flush-benchmark.sh
#
# Each comparison runs a warm-up round, then seven rounds, each contender into
# a fresh folder, in an order turned by one each round; the medians count,
# and for a ratio the median of the seven rounds' ratios.
set -euo pipefail
shopt -s inherit_errexit

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build/bench"
runs=7
folders=(data bgm movie)

. "$repo/bench/bench-common.sh"
bench_need strace strace
bench_build updater updpack

work=$(mktemp -d "$repo/build/flush-benchmark.XXXXXX")
trap 'rm -rf "$work"' EXIT
export UPDATER_REGISTRY="$work/registry.reg"
export XDG_RUNTIME_DIR="$work"

echo "Making the update's files..."
# file001.bin to file200.bin, 64 KiB to 1 MiB, dealt in turn to the folders.
for i in $(seq -w 1 200); do
    mkdir -p "$work/files/${folders[10#$i % 3]}"
    head -c $(( (10#$i % 16 + 1) * 65536 - 10#$i * 37 )) /dev/urandom >"$work/files/${folders[10#$i % 3]}/file$i.bin"
done

# make_update FOLDER COUNT: FOLDER/files holds the first COUNT files (linked),
# FOLDER/update their update (Update.ini and UpdateData.dat).
make_update() {
    local i folder
    mkdir -p "$1/update"
    {
        printf 'AppTitle = Benchmark\r\nRegistory = Software\\UpdaterBenchmark\\Flush\r\n'
        printf 'NewVersion = 1020, 1020\r\nSupportVersion = 1000, 1000\r\nSaveVersion = 1000, 1000\r\n'
        for i in $(seq -w 1 200 | head -n "$2"); do
            folder=${folders[10#$i % 3]}
            mkdir -p "$1/files/$folder"
            ln "$work/files/$folder/file$i.bin" "$1/files/$folder/"
            printf 'CopyFile = file%s.bin, file%s.bin, %s\\file%s.bin\r\n' "$i" "$i" "$folder" "$i"
        done
    } >"$1/update/Update.ini"
    "$build/tools/updpack" create "$1/update/UpdateData.dat" "$1/files"/*/* >/dev/null
    mkdir -p "$1/loose"
    cp "$1/update/Update.ini" "$1/loose/"
    ln "$1/files"/*/* "$1/loose/"
    "$build/tools/updpack" create "$1/loose/UpdateData.dat" "$1/loose/Update.ini" >/dev/null
}

# An empty install folder with the three folders, the registry at version
# 1.00, and nothing left to write back from the run before.
fresh_target() {
    rm -rf "$target"
    mkdir -p "${folders[@]/#/$target/}"
    reset_registry
    sync
    sleep 1
}
reset_registry() {
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\UpdaterBenchmark\\Flush]\n"InstallFolder"="%s"\n"Version"=hex:e8,03,00,00\n' \
        "$target" >"$UPDATER_REGISTRY"
}

# flushes COMMAND...: the flushes COMMAND makes, by kind.
flushes() {
    strace -f -c -o "$work/strace.txt" -e trace=fsync,fdatasync,syncfs "$@" >/dev/null 2>&1 </dev/null
    awk '{ n[$NF] = $4 } END { printf "%d (fsync %d, fdatasync %d, syncfs %d)", n["total"], n["fsync"], n["fdatasync"], n["syncfs"] }' \
        "$work/strace.txt"
}

# rounds NAME...: a warm-up round, which checks every copy, then $runs rounds
# of each run_NAME, each into a fresh $target. Wall times in milliseconds go
# to times[NAME]; a contender that sets $split (before its sync) also gives
# times[NAME-alone].
declare -A times
rounds() {
    local round turn name start end
    for round in $(seq 0 "$runs"); do
        for turn in $(seq 0 $(($# - 1))); do
            name=${*:(round + turn) % $# + 1:1}
            fresh_target
            split=
            start=$(date +%s%N)
            "run_$name"
            end=$(date +%s%N)
            if [ "$round" -eq 0 ]; then
                diff -r "$src" "$target" >/dev/null || { echo "flush-benchmark: $name copied wrong" >&2; exit 1; }
            else
                times[$name]+="$(( (end - start) / 1000000 )) "
                [ -z "$split" ] || times[$name-alone]+="$(( (split - start) / 1000000 )) "
            fi
        done
    done
}

# result LABEL CONTENDER [OTHER...]: CONTENDER's median, and for each OTHER
# the median of its rounds' ratios to CONTENDER (each round's runs paired).
result() {
    local other
    printf '  %-18s %6s ms  (runs: %s)' "$1" "$(median "${times[$2]}")" "${times[$2]% }"
    for other in "${@:3}"; do
        printf '  %s / this: %s' "$other" "$(paired_ratio "${times[$other]}" "${times[$2]}")"
    done
    echo
}

echo "Counting the flushes..."
target="$work/target"
for count in 20 200; do
    make_update "$work/u$count" "$count"
    cp "$build/src/main/updater" "$work/u$count/update/"
    fresh_target
    counted[count]=$(flushes "$work/u$count/update/updater" --yes)
done

echo "Measuring updater --yes against cp, then sync (a warm-up round, then $runs rounds)..."
src="$work/u200/files"
run_updater() { /usr/bin/time -v -o "$work/updater.time" "$work/u200/update/updater" --yes >/dev/null </dev/null; }
run_loose() { "$work/u200/loose/updater" --yes >/dev/null </dev/null; }
run_copy() { cp -R "$src/." "$target/"; split=$(date +%s%N); sync; }
cp "$build/src/main/updater" "$work/u200/loose/"
rounds updater loose copy

printf '\nFlushes of one update, files in %s:\n' "${folders[*]}"
printf '  %3d files: %s\n' 20 "${counted[20]}" 200 "${counted[200]}"
printf 'Update of 200 files, %.1f MiB, medians:\n' "$(du -sb "$src" | awk '{ print $1 / 1048576 }')"
result 'updater --yes' updater
result 'loose, no digests' loose
result 'cp, then sync' copy updater loose
result 'cp alone' copy-alone updater
printf '  updater peak memory: %.1f MiB\n' \
    "$(awk -F': ' '/Maximum resident set size/ { print $2 / 1024 }' "$work/updater.time")"

if ! command -v wine >/dev/null || ! bench_build_windows updater; then
    echo 'Under Wine: skipped (no Wine, or the Windows build cannot be made)'
    exit 0
fi
(
    . "$repo/tests/wine/wine-env.sh"
    updater_wine_env "$build-windows/wine"
    updater_wine_prefix
    base="$WINEPREFIX/drive_c/flush-benchmark"
    key='HKCU\Software\UpdaterBenchmark\Flush'
    # One wineserver for every run, so that no run pays for starting it; one
    # already running for the prefix serves as well.
    wineserver -p 2>/dev/null || true
    trap 'wine reg delete "$key" /f >/dev/null 2>&1; wineserver -k; rm -rf "$base"' EXIT
    rm -rf "$base"
    make_update "$base" 100
    cp "$build-windows/src/main/updater.exe" "$base/update/"
    cp "$build-windows/src/main/updater.exe" "$base/loose/"
    src="$base/files"
    target="$base/game"
    wine reg add "$key" /v InstallFolder /t REG_SZ /d 'C:\flush-benchmark\game' /f >/dev/null
    reset_registry() { wine reg add "$key" /v Version /t REG_BINARY /d e8030000 /f >/dev/null; }
    run_exe() { wine "$base/update/updater.exe" --yes >/dev/null 2>&1; }
    run_exe_loose() { wine "$base/loose/updater.exe" --yes >/dev/null 2>&1; }
    run_xcopy() {
        wine xcopy 'C:\flush-benchmark\files' 'C:\flush-benchmark\game' /E /I /Q /Y >/dev/null 2>&1
        split=$(date +%s%N)
        sync
    }
    echo "Under Wine: counting, then updater.exe --yes against xcopy (a warm-up round, then $runs rounds)..."
    fresh_target
    counted=$(flushes wine "$base/update/updater.exe" --yes)
    rounds exe exe_loose xcopy
    printf '\nUnder Wine, update of 100 of the files, medians:\n'
    echo "  flushes of updater.exe (seen by strace): $counted"
    result 'updater.exe --yes' exe
    result 'loose, no digests' exe_loose
    result 'xcopy, then sync' xcopy exe exe_loose
    result 'xcopy alone' xcopy-alone exe
)
