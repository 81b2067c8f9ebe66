#!/bin/bash
# Measures updpack diff on two builds of about 1 GiB each, of which 5% of the
# files changed, against reading both builds once (cat to /dev/null), and
# how many bytes the package holds against the new and changed files.
#
#   bench/diff-benchmark.sh
#
# The old build: 2000 files of 64 KiB to 960 KiB in 20 folders. The new one
# is a copy in which 100 files changed: 40 rewritten whole, 20 edited in a
# few bytes of the same size, 15 new (in a new folder), 15 moved, 10
# deleted. diff compares the builds, writes the update, checks it and tries
# it on a copy of the old build (linked: the temporary folder lies on the
# builds' file system) against the new one. After a warm-up round, five
# rounds run both contenders, in turned order; the medians count.
set -euo pipefail
shopt -s inherit_errexit

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build/bench"
runs=5
files=2000

. "$repo/bench/bench-common.sh"
bench_build updpack

work=$(mktemp -d "$repo/build/diff-benchmark.XXXXXX")
trap 'rm -rf "$work"' EXIT
old="$work/old"
new="$work/new"
export TMPDIR="$work/tmp"
mkdir -p "$old" "$TMPDIR"

echo "Making two builds of about 1 GiB..."
for i in $(seq 1 "$files"); do
    mkdir -p "$old/folder$((i % 20))"
    head -c $(( (i % 15 + 1) * 65536 - i )) /dev/urandom >"$old/folder$((i % 20))/file$i.dat"
done
cp -a "$old" "$new"
changed_bytes=0
for i in $(seq 1 5 200); do  # 40 rewritten
    path="$new/folder$((i % 20))/file$i.dat"
    head -c $(( $(stat -c %s "$path") + 1000 )) /dev/urandom >"$path"
    changed_bytes=$((changed_bytes + $(stat -c %s "$path")))
done
for i in $(seq 2 5 100); do  # 20 edited in a few bytes
    path="$new/folder$((i % 20))/file$i.dat"
    printf 'a few changed bytes' | dd of="$path" bs=1 seek=1000 conv=notrunc 2>/dev/null
    changed_bytes=$((changed_bytes + $(stat -c %s "$path")))
done
mkdir -p "$new/added"
for i in $(seq 1 15); do  # 15 new
    head -c $(( i * 70000 )) /dev/urandom >"$new/added/new$i.dat"
    changed_bytes=$((changed_bytes + i * 70000))
done
for i in $(seq 3 5 75); do  # 15 moved
    mv "$new/folder$((i % 20))/file$i.dat" "$new/added/moved$i.dat"
done
for i in $(seq 4 5 50); do  # 10 deleted
    rm "$new/folder$((i % 20))/file$i.dat"
done
total=$(( $(du -sb "$old" | cut -f1) + $(du -sb "$new" | cut -f1) ))

run_diff() {
    rm -rf "$work/update"
    "$@" "$build/tools/updpack" diff "$old" "$new" --out "$work/update" --title Benchmark \
        --registry 'Software\UpdaterBenchmark\Game' --new-version 1020 --support-version 1000 >"$work/diff.log"
}
run_cat() { "$@" sh -c 'find "$1" "$2" -type f -exec cat {} + >/dev/null' - "$old" "$new"; }

declare -A times
echo "Measuring (a warm-up round, then $runs rounds)..."
contenders=(diff cat)
for round in $(seq 0 "$runs"); do
    for turn in 0 1; do
        name=${contenders[(round + turn) % 2]}
        start=$(date +%s%N)
        "run_$name" /usr/bin/time -v -o "$work/$name.time"
        end=$(date +%s%N)
        [ "$round" -eq 0 ] || times[$name]+="$(( (end - start) / 1000000 )) "
    done
done

diff_ms=$(median "${times[diff]}")
cat_ms=$(median "${times[cat]}")
package=$(stat -c %s "$work/update/UpdateData.dat")
diff_kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/diff.time")
printf '\nBuilds: %d files each, %.2f GiB both; new and changed files: %d bytes\n' "$files" \
    "$(awk -v t="$total" 'BEGIN { print t / 1073741824 }')" "$changed_bytes"
grep '^diff: ' "$work/diff.log" | sed 's/^/  /'
printf '%-24s %6s ms (median of: %s)\n' "updpack diff" "$diff_ms" "${times[diff]}" \
    "cat of both builds" "$cat_ms" "${times[cat]}"
printf 'diff / cat:              %s\n' "$(awk -v a="$diff_ms" -v b="$cat_ms" 'BEGIN { printf "%.2f", a / b }')"
printf 'package / new, changed:  %s (%d bytes)\n' \
    "$(awk -v a="$package" -v b="$changed_bytes" 'BEGIN { printf "%.3f", a / b }')" "$package"
printf 'diff peak memory:        %.1f MiB\n' "$(awk -v k="$diff_kib" 'BEGIN { print k / 1024 }')"
