#!/bin/bash
# updpack.exe diff and updater.exe under Wine, on a few of the pairs of
# builds that tests/e2e/updpack-diff.sh makes: updpack.exe writes the update
# and tries it (with a registry key and a Start menu of its own, gone
# afterwards), then updater.exe --yes applies it to a copy of the old build
# with the prefix's registry, and the copy is the new build, byte for byte.
# Last, create takes the wildcards that cmd.exe hands over unexpanded.
#   updpack-diff-wine.sh WINE_ROOT UPDATER_EXE UPDPACK_EXE
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"
. "$here/../e2e/e2e-common.sh"
. "$here/../e2e/tree-pairs.sh"
updater_wine_env "$1"
updater_wine_prefix
updater=$(realpath "$2")
updpack=$(realpath "$3")
base="$WINEPREFIX/drive_c/e2e-diff"
key='HKCU\Software\E2EDiff'
trap 'rm -rf "$base"; wine reg delete "$key" /f >/dev/null 2>&1 || true' EXIT
rm -rf "$base"
mkdir -p "$base"
cd "$base"

for seed in 101 102 103; do
    rm -rf old new update game
    make_tree_pair "$seed" old new
    wine "$updpack" diff 'C:\e2e-diff\old' 'C:\e2e-diff\new' --out 'C:\e2e-diff\update' --title 差分 \
        --registry 'Software\E2EDiff' --new-version 1020 --support-version 1000 >diff.log 2>&1 ||
        fail "updpack.exe diff of pair $seed failed: $(cat diff.log)"
    cp -a old game
    cp "$updater" update/updater.exe
    wine reg add "$key" /v InstallFolder /t REG_SZ /d 'C:\e2e-diff\game' /f >/dev/null
    wine reg add "$key" /v Version /t REG_BINARY /d e8030000 /f >/dev/null
    status=0
    wine update/updater.exe --yes >apply.log 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "updater.exe --yes on pair $seed: exit status $status: $(cat apply.log)"
    diff -r game new >&2 || fail "the update of pair $seed does not turn the old build into the new one"
done
! wine reg query 'HKCU\Software' 2>/dev/null | grep -qi 'updpack try' || fail "a trial's registry key is left"

mkdir wild
printf 'a' >wild/a.txt
printf 'b' >wild/b.txt
printf 'c' >wild/c.dat
(cd wild && wine "$updpack" create pack.dat '*.txt' 'c.?at' >/dev/null 2>&1) || fail "create with wildcards failed"
[ "$(wine "$updpack" list 'C:\e2e-diff\wild\pack.dat' 2>/dev/null | tr -d '\r' | cut -f1 | tail -n +2 | tr '\n' ' ')" = \
    'a.txt b.txt c.dat @SHA256SUMS ' ] || fail "the wildcards named other files"
status=0
(cd wild && wine "$updpack" create none.dat '*.zip' >/dev/null 2>err.txt) || status=$?
[ "$status" -eq 1 ] && grep -qF '*.zip: no file matches' wild/err.txt || fail "a pattern matching nothing: $status"
echo "updpack.exe diff under Wine: all checks passed"
