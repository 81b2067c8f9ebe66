#!/bin/bash
# updpack diff and try end to end.
#
#   updpack-diff.sh UPDATER UPDPACK SCENARIO
#
# pairs     50 pairs of builds made at random: the update diff writes turns a
#           copy of the old build into the new one, byte for byte, under the
#           real updater; and try --expect agrees.
# editions  both editions from a template: its settings, shortcut and save
#           rules kept, equal members shared, each edition updated exactly.
# faults    try on updates made by hand, one row per kind of failure: each
#           fails naming its cause.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/e2e-common.sh"
. "$here/tree-pairs.sh"
updater=$(realpath "$1")
updpack=$(realpath "$2")
scenario=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/data" TMPDIR="$work/tmp"
mkdir -p run tmp
title='白銀の庭'
subkey='Software\Shirogane\Niwa'
settings=(--title "$title" --registry "$subkey" --new-version 1020 --support-version 1000)

# Applies the update in the folder UPDATE with the real updater, from beside
# it, to a copy of the build OLD at version 1000 (edition ADD_CONTENTS), and
# compares the copy with the build NEW:
#   apply_and_compare UPDATE OLD NEW ADD_CONTENTS
apply_and_compare() {
    rm -rf game
    cp -a "$2" game
    game="$work/game"
    export UPDATER_REGISTRY="$work/registry.reg"
    installed_registry '"Version"=dword:000003e8' "\"AddContents\"=dword:0000000$4"
    cp "$updater" "$1/updater"
    dist=$1
    run_updater --yes
    rm "$1/updater"
    expect_status 0
    diff -r game "$3" >&2 || fail "the update in $1 does not turn $2 into $3"
}

# Runs updpack diff OLD NEW --out UPDATE with the settings and ARGUMENT...
#   make_diff OLD NEW UPDATE ARGUMENT...
make_diff() {
    local old=$1 new=$2 out=$3
    shift 3
    "$updpack" diff "$old" "$new" --out "$out" "${settings[@]}" "$@" >diff.log 2>&1 ||
        fail "updpack diff $old $new failed: $(cat diff.log)"
}

case $scenario in
pairs)
    for seed in $(seq 1 50); do
        echo "pair $seed" >&2
        rm -rf old new update
        make_tree_pair "$seed" old new
        make_diff old new update
        apply_and_compare update old new 0
        if [ $((seed % 10)) -eq 0 ]; then
            "$updpack" try update --game old --expect new >try.log 2>&1 ||
                fail "try disagrees with pair $seed: $(cat try.log)"
        fi
    done
    ;;
editions)
    make_tree_pair 7 old new
    make_tree_pair 8 ac-old ac-new
    # A file both editions change alike: one member holds it.
    for tree in new ac-new; do fill_file "$tree/shared.dat" 5000 'shared'; done
    printf '%s\r\n' "AppTitle = $title" "Registory = $subkey" 'NewVersion = 1020, 1021' \
        'SupportVersion = 1000, 1000' 'SaveVersion = 1000, 1000' 'BrandMenuFolder = 白銀ソフト' \
        'Shortcut = 白銀の庭.lnk, 遊ぶ, a.dat, , , ""' 'CopyFile = gone.dat, gone.dat, gone.dat' \
        'ConvertSave BGMNO = 0, -1, 12' | iconv -f UTF-8 -t CP932 >template.ini
    "$updpack" diff old new --out update --template template.ini --ac-old ac-old --ac-new ac-new >diff.log 2>&1 ||
        fail "updpack diff of both editions failed: $(cat diff.log)"
    script=$(iconv -f CP932 -t UTF-8 update/Update.ini)
    grep -qF 'Shortcut = 白銀の庭.lnk' <<<"$script" && grep -qF 'ConvertSave BGMNO = 0, -1, 12' <<<"$script" ||
        fail "the template's shortcut or rule is not kept: $script"
    ! grep -qF 'gone.dat' <<<"$script" || fail "the template's CopyFile is kept: $script"
    [ "$(grep -c '^CopyFile = shared.dat, shared.dat, shared.dat' <<<"$script")" = 1 ] ||
        fail "equal members are not shared: $script"
    "$updpack" check --strict update >/dev/null 2>check.log || fail "the update does not pass the check: $(cat check.log)"
    apply_and_compare update old new 0
    apply_and_compare update ac-old ac-new 1
    ;;
faults)
    mkdir -p base/data base/save
    printf 'aaaa' >base/a.dat
    printf 'bbbb' >base/b.dat
    make_save base/save/save001.sav 100
    cp -a base pristine
    printf 'x' >x.dat
    sound=("AppTitle = $title" "Registory = $subkey" 'NewVersion = 1020, 1020' 'SupportVersion = 1000, 1000'
        'CopyFile = x.dat, x.dat, x.dat')
    # name|lines added to the sound update (';' between them)|what try says
    while IFS='|' read -r name lines said; do
        rm -rf "$work/pack" expected
        IFS=';' read -r -a added <<<"$lines"
        write_script "${sound[@]}" "${added[@]}"
        cp x.dat "$work/pack/"
        (cd "$work/pack" && "$updpack" create UpdateData.dat Update.ini x.dat >/dev/null && rm x.dat)
        cp -a base expected
        cp x.dat expected/
        set +e
        "$updpack" try pack --game base --expect expected >try.log 2>&1
        status=$?
        set -e
        if [ -z "$said" ]; then
            [ "$status" -eq 0 ] && grep -qF 'try: 0 failures, 0 differences' try.log || fail "$name: $(cat try.log)"
            continue
        fi
        [ "$status" -eq 1 ] || fail "$name: exit status $status, expected 1"
        grep -qF -- "$said" try.log || fail "$name: no \"$said\" in: $(cat try.log)"
        diff -r base pristine >&2 || fail "$name: the game tried changed"
    done <<'ROWS'
sound||
new folder without CreateFolder|CopyFile = x.dat, x.dat, movie\op.dat|try: failure: CopyFile to movie\op.dat: the folder movie does not exist, and no CreateFolder makes it: the copy fails
delete of a missing file|DeleteFile = missing.dat|try: failure: DeleteFile missing.dat: no such file
delete of a folder|DeleteFile = data|try: failure: DeleteFile data: a folder, which DeleteFile does not delete
rename of a missing file|RenameFile = missing.dat, c.dat|try: failure: RenameFile missing.dat to c.dat: no such file
rename onto a file|RenameFile = a.dat, b.dat|try: failure: RenameFile a.dat to b.dat: b.dat exists, and a rename replaces nothing
patch beyond the end|ConvertFile BINARY = a.dat, 3, 4142|try: failure: patch of a.dat at 3 (2 bytes) goes past the file's end at 4: the file grows
patch of a missing file|ConvertFile BINARY = none.dat, 0, 41|try: failure: patch of none.dat at 0: no such file, so the patches end here
saves reset|SaveVersion = 1010, 1010|try: failure: saves reset: installed 1000 is below SaveVersion 1010, so the update takes 1 file of the save folder save from the game
saves not converted|ConvertSave BGMNO = 5000, 6000, 3|try: failure: save save001.sav is not converted: no rule changes it, or it is no save
a result other than expected|CopyFile = x.dat, x.dat, a.dat|try: differs: a.dat: other bytes (another size)
ROWS
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "updpack $scenario: all checks passed"
