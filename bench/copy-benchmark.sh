#!/bin/bash
# Measures how long the updater takes to apply a large update, compared in the
# same run with extracting the same files from a tar archive (tar -xf), with
# copying them (cp), and with copying them and then writing them to disk
# (cp, then sync: the updater puts everything it writes on disk), and the
# updater's peak memory. The updater runs twice: on the package, whose
# members it hashes as it writes them (digests on), and on the same files
# lying loose beside it, which it takes as they are and copies in the kernel
# (digests off).
#
#   bench/copy-benchmark.sh
#
# The update holds about 1 GiB in a few hundred members plus one member of
# 512 MiB. A first round warms the page cache (dropping it is not possible
# here), seven measured rounds follow; the median of each contender counts.
# Everything lives in a temporary folder inside the build folder, on the same
# file system as the results, and is removed at the end.
set -euo pipefail
shopt -s inherit_errexit

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build/bench"
# The copy list holds at most 256 entries.
members=250
runs=7

. "$repo/bench/bench-common.sh"
bench_build updater updpack

work=$(mktemp -d "$repo/build/copy-benchmark.XXXXXX")
trap 'rm -rf "$work"' EXIT
files="$work/files"
update="$work/update"
mkdir -p "$files" "$update"

echo "Making the update's files..."
# Sizes from 1 MiB to 7 MiB, about 4 MiB on average.
for i in $(seq -w 1 "$members"); do
    head -c $(( (10#$i % 7 + 1) * 1048576 - 10#$i * 37 )) /dev/urandom >"$files/data$i.bin"
done
head -c $(( 512 * 1048576 )) /dev/urandom >"$files/movie.bin"
total=$(du -sb "$files" | cut -f1)

{
    printf 'AppTitle = Benchmark\r\n'
    printf 'Registory = Software\\UpdaterBenchmark\\Game\r\n'
    printf 'NewVersion = 1020, 1020\r\n'
    printf 'SupportVersion = 1000, 1000\r\n'
    printf 'SaveVersion = 1000, 1000\r\n'
    for path in "$files"/*; do
        name=$(basename "$path")
        printf 'CopyFile = %s, %s, %s\r\n' "$name" "$name" "$name"
    done
} >"$update/Update.ini"
cp "$build/src/main/updater" "$update/updater"
"$build/tools/updpack" create "$update/UpdateData.dat" "$files"/* >/dev/null
(cd "$files" && tar -cf "$work/files.tar" .)
# The same update with every source loose beside the updater (links to the
# same files), and no package.
loose="$work/loose"
mkdir "$loose"
cp "$update/updater" "$update/Update.ini" "$loose/"
ln "$files"/* "$loose/"

export UPDATER_REGISTRY="$work/registry.reg"
export XDG_RUNTIME_DIR="$work"

fresh_target() {
    rm -rf "$work/target"
    mkdir "$work/target"
    # Start each run with nothing left to write back from the one before.
    sync
    sleep 1
}

# Each contender runs its command after the words it is given (a timer).
# The updater of FOLDER:   updater_in FOLDER TIMER...
updater_in() {
    local folder=$1
    shift
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\UpdaterBenchmark\\Game]\n"InstallFolder"="%s"\n"Version"=hex:e8,03,00,00\n' \
        "$work/target" >"$UPDATER_REGISTRY"
    "$@" "$folder/updater" --yes >/dev/null </dev/null
}
run_updater() { updater_in "$update" "$@"; }
run_loose() { updater_in "$loose" "$@"; }
run_tar() { "$@" tar -xf "$work/files.tar" -C "$work/target"; }
run_cp() { "$@" cp "$files"/* "$work/target/"; }
run_cpsync() { "$@" sh -c 'cp "$1"/* "$2"/ && sync' - "$files" "$work/target"; }

# One warm-up round, then $runs measured rounds; each round runs every
# contender once into a fresh folder, in an order turned by one each round,
# so that a slow moment of the disk falls on all of them alike. Wall times in
# milliseconds go to times[name]; the last /usr/bin/time report of each to
# $work/name.time.
declare -A times
echo "Measuring (a warm-up round, then $runs rounds)..."
contenders=(updater loose tar cp cpsync)
for round in $(seq 0 "$runs"); do
    for turn in 0 1 2 3 4; do
        name=${contenders[(round + turn) % 5]}
        fresh_target
        start=$(date +%s%N)
        "run_$name" /usr/bin/time -v -o "$work/$name.time"
        end=$(date +%s%N)
        if [ "$round" -gt 0 ]; then
            times[$name]+="$(( (end - start) / 1000000 )) "
        elif [ "$name" = updater ] || [ "$name" = loose ]; then
            diff -rq "$files" "$work/target" >/dev/null || { echo "copy-benchmark: the updater's copy differs" >&2; exit 1; }
        fi
    done
done

updater_ms=$(median "${times[updater]}")
loose_ms=$(median "${times[loose]}")
tar_ms=$(median "${times[tar]}")
cp_ms=$(median "${times[cp]}")
cpsync_ms=$(median "${times[cpsync]}")
updater_kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/updater.time")

printf '\nUpdate: %d members plus one of 512 MiB, %.2f GiB in all\n' "$members" \
    "$(awk -v t="$total" 'BEGIN { print t / 1073741824 }')"
printf '%-22s %6s ms (median of: %s)\n' "updater --yes" "$updater_ms" "${times[updater]}" \
    "updater, loose" "$loose_ms" "${times[loose]}" \
    "tar -xf" "$tar_ms" "${times[tar]}" "cp" "$cp_ms" "${times[cp]}" "cp, then sync" "$cpsync_ms" "${times[cpsync]}"
printf 'updater / tar -xf:     %s\n' "$(ratio "$updater_ms" "$tar_ms")"
printf 'updater / cp:          %s\n' "$(ratio "$updater_ms" "$cp_ms")"
printf 'updater / cp, sync:    %s (median of the rounds: %s); loose: %s (%s)\n' \
    "$(ratio "$updater_ms" "$cpsync_ms")" "$(paired_ratio "${times[updater]}" "${times[cpsync]}")" \
    "$(ratio "$loose_ms" "$cpsync_ms")" "$(paired_ratio "${times[loose]}" "${times[cpsync]}")"
printf 'updater peak memory:   %.1f MiB\n' "$(awk -v k="$updater_kib" 'BEGIN { print k / 1024 }')"
