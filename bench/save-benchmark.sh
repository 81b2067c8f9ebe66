#!/bin/bash
# Measures how long the updater takes to convert a folder of saves, compared
# in the same run with a baseline that reads every save and writes it back
# unchanged through the same steps (a new file, flushed, swapped in), and the
# updater's peak memory.
#
#   bench/save-benchmark.sh
#
# 1000 saves of about 200 KB (40 graph entries each) and 50 rules of every
# kind, ten of which add graph entries. A warm-up round, then seven measured
# rounds, each contender once per round in turned order; medians count.
set -euo pipefail
shopt -s inherit_errexit

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build/bench"
saves=1000
runs=7

. "$repo/bench/bench-common.sh"
bench_build updater updpack save_bench

work=$(mktemp -d "$repo/build/save-benchmark.XXXXXX")
trap 'rm -rf "$work"' EXIT
update="$work/update"
mkdir -p "$update" "$work/template" "$work/game"

echo "Making $saves saves and the update..."
"$build/bench/save_bench" make "$work/template" "$saves"
printf 'readme\r\n' >"$work/readme.txt"
{
    printf 'AppTitle = Benchmark\r\n'
    printf 'Registory = Software\\UpdaterBenchmark\\Saves\r\n'
    printf 'NewVersion = 1020, 1020\r\nSupportVersion = 1000, 1000\r\nSaveVersion = 1000, 1000\r\n'
    printf 'CopyFile = readme.txt, readme.txt, readme.txt\r\n'
    for i in 0 1 2 3 4; do
        printf 'ConvertSave FILENAME = 0, 200, bg0%d, new%d, Aface%d, Cbody%d\r\n' "$i" "$i" "$i" "$i"
        printf 'ConvertSave GRAPHSTATUS = 100, 150, bg1%d, position, 1.5, 2.5\r\n' "$i"
        printf 'ConvertSave GRAPHSTATUS = 0, 200, bg2%d, clip, 0, 0, 640, 480\r\n' "$i"
        printf 'ConvertSave BGMNO = %d, %d, %d\r\n' $((100 + 10 * i)) $((109 + 10 * i)) "$i"
        printf 'ConvertSave CHANGEPARAM = message, %d, %d\r\n' "$i" $((7 * i))
        printf 'ConvertSave CHANGEPARAM = filename, %d, %d\r\n' "$i" $((9 * i))
        printf 'ConvertSave ADDGRAPH = 0, 200, 1, 2, extra%d, 3\r\n' "$i"
        printf 'ConvertSave INSERTGRAPH = 0, 200, 4, 5, inserted%d, 6, bg3%d\r\n' "$i" "$i"
        printf 'ConvertSave ADDSE = 0, 200, %d, 1, 0, 1, 1, 5\r\n' $((20 + i))
        printf 'ConvertSave MESSAGE = %d, %d\r\n' $((100 + i)) $((300 + i))
    done
} >"$update/Update.ini"
cp "$build/src/main/updater" "$update/updater"
"$build/tools/updpack" create "$update/UpdateData.dat" "$update/Update.ini" "$work/readme.txt" >/dev/null
rm "$update/Update.ini"
# The bytes of the saves in a folder, its backup folder and its own size left out.
save_bytes() { find "$1" -maxdepth 1 -type f -printf '%s\n' | awk '{ s += $1 } END { print s }'; }
total=$(save_bytes "$work/template")

export UPDATER_REGISTRY="$work/registry.reg"
export XDG_RUNTIME_DIR="$work"

fresh_saves() {
    rm -rf "$work/game/save"
    cp -R "$work/template" "$work/game/save"
    # Start each run with nothing left to write back from the one before.
    sync
    sleep 1
}

run_updater() {
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\UpdaterBenchmark\\Saves]\n"InstallFolder"="%s"\n"Version"=hex:e8,03,00,00\n' \
        "$work/game" >"$UPDATER_REGISTRY"
    "$@" "$update/updater" --yes >/dev/null </dev/null
}
run_baseline() { "$@" "$build/bench/save_bench" rewrite "$work/game/save"; }

declare -A times
echo "Measuring (a warm-up round, then $runs rounds)..."
contenders=(updater baseline)
for round in $(seq 0 "$runs"); do
    for turn in 0 1; do
        name=${contenders[(round + turn) % 2]}
        fresh_saves
        start=$(date +%s%N)
        "run_$name" /usr/bin/time -v -o "$work/$name.time"
        end=$(date +%s%N)
        if [ "$round" -gt 0 ]; then
            times[$name]+="$(( (end - start) / 1000000 )) "
        elif [ "$name" = updater ]; then
            grown=$(save_bytes "$work/game/save")
            [ "$grown" -eq $((total + saves * 10 * 2400)) ] ||
                { echo "save-benchmark: the saves did not grow by ten entries each" >&2; exit 1; }
        fi
    done
done

updater_ms=$(median "${times[updater]}")
baseline_ms=$(median "${times[baseline]}")
updater_kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/updater.time")

printf '\nSaves: %d of %d bytes each, 50 rules\n' "$saves" $((total / saves))
printf '%-22s %6s ms (median of: %s)\n' "updater --yes" "$updater_ms" "${times[updater]}" \
    "read and write back" "$baseline_ms" "${times[baseline]}"
printf 'updater / baseline:    %s\n' "$(awk -v a="$updater_ms" -v b="$baseline_ms" 'BEGIN { printf "%.2f", a / b }')"
printf 'updater peak memory:   %.1f MiB\n' "$(awk -v k="$updater_kib" 'BEGIN { print k / 1024 }')"
