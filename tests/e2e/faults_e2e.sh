#!/bin/bash
# Fault injection for the POSIX updater: an update killed at random moments,
# an update onto a full disk, and damaged packages. Whatever happens, every
# file the update writes (game files and saves) holds its old content or its
# new one, the version is recorded only after a complete run, and the next
# run completes the update; a damaged package changes nothing.
#
#   faults_e2e.sh UPDATER UPDPACK kill [KILLS]
#   faults_e2e.sh UPDATER UPDPACK full-disk
#   faults_e2e.sh UPDATER UPDPACK full-save-disk
#   faults_e2e.sh UPDATER UPDPACK damage
#
# kill: an update of 200 members, one of them 16 MiB, and 200 saves, killed
# KILLS times (default 50) at a random moment of its run, each time followed
# by a run to the end. full-disk: needs root for a small tmpfs; exits with 77
# (skipped) where none can be mounted. damage: the example update, damaged
# one way a row, checked by updpack and applied by the updater.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
native_setup "$1" "$2"
updpack=$(realpath "$2")
scenario=$3
game="$work/game"
subkey='Software\Faults\Game'
title='フォルト'
recorded='"Version"=hex:fc,03,00,00'

# The update: member NNN.dat of 1 to 8 KiB, copied to dataN\NNN.dat, plus the
# large member big.dat first. The installed game has the old content of
# every third file; the others are new. Saves at message 100 become 200 and
# grow by one graph entry.
make_fault_update() {
    mkdir -p "$work/pack" "$work/old"
    local lines=('CopyFile = big.dat, big.dat, big.dat') i name
    head -c $((16 << 20)) /dev/urandom >"$work/pack/big.dat"
    head -c $((12 << 20)) /dev/urandom >"$work/old/big.dat"
    for i in $(seq 100 299); do
        name="$i.dat"
        head -c $((1024 + RANDOM % 7168)) /dev/urandom >"$work/pack/$name"
        lines+=("CopyFile = $name, $name, data${i:0:1}\\$name")
        if [ $((i % 3)) = 0 ]; then
            mkdir -p "$work/old/data${i:0:1}"
            head -c 512 /dev/urandom >"$work/old/data${i:0:1}/$name"
        fi
    done
    mkdir -p "$work/old/save"
    for i in $(seq 100 299); do make_save "$work/old/save/save$i.sav" 100; done
    write_script "AppTitle = $title" "Registory = $subkey" 'NewVersion = 1020, 1020' \
        'SupportVersion = 1000, 1000' 'SaveVersion = 1000, 1000' "${lines[@]}" \
        'ConvertSave MESSAGE = 100, 200' 'ConvertSave ADDGRAPH = 0, 150, 1, 2, face, 3'
    pack_update
}

# Lays the old install and its registry at version 1000.
reset_game() {
    rm -rf "$game"
    cp -a "$work/old" "$game"
    installed_registry '"Version"=dword:000003e8'
}

# Every file below the game is its old or its new content, and nothing else
# lies there, but for the update's journal, which stays until the run after
# the version is recorded has ended, and new files a killed run left beside
# their destination (LEFTOVERS=allowed). A save may be missing while its
# original is in the backup folder and its conversion not yet in place.
expect_old_or_new() {
    local strays='^\./Update\.journal-é$'
    [ "$1" != allowed ] || strays+='|\.new-é$'
    checksums_of "$game" >"$work/now.md5"
    expect_old_or_new_sums "$work/old.md5" "$work/new.md5" "$work/now.md5" "$strays" '^\./save/save[0-9]+\.sav$' \
        "kill $kill"
}

expect_complete() {
    checksums_of "$game" >"$work/now.md5"
    expect_same_sums "$work/new.md5" "$work/now.md5" "the update is not complete"
    grep -qxF "$recorded" "$UPDATER_REGISTRY" || fail "the version is not recorded"
}

case $scenario in
kill)
    kills=${4:-50}
    # The kills concern the process, not the disk: in memory, where a sync
    # costs nothing, the runs are many times faster.
    if shm=$(mktemp -d -p /dev/shm 2>/dev/null); then
        trap 'rm -rf "$work" "$shm"' EXIT
        game="$shm/game"
    fi
    make_fault_update
    checksums_of "$work/old" >"$work/old.md5"
    # The new content: one run to the end.
    reset_game
    start=$(date +%s%N)
    run_updater --yes
    duration_ms=$((($(date +%s%N) - start) / 1000000))
    expect_status 0
    checksums_of "$game" >"$work/new.md5"
    grep -qxF "$recorded" "$UPDATER_REGISTRY" || fail "the reference run recorded nothing"
    echo "a whole run takes $duration_ms ms"
    for kill in $(seq "$kills"); do
        reset_game
        delay_ms=$((RANDOM % (duration_ms + 1)))
        "$dist/updater" --yes </dev/null >/dev/null 2>&1 &
        sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
        kill -KILL $! 2>/dev/null || true
        wait $! 2>/dev/null || true
        expect_old_or_new allowed
        if grep -qxF "$recorded" "$UPDATER_REGISTRY"; then
            expect_old_or_new none
            # A run killed between recording the version and removing its
            # journal leaves the journal, which the next run removes.
            checksums_of "$game" | grep -v ' \./Update\.journal-é$' >"$work/recorded.md5" || true
            cmp -s "$work/recorded.md5" "$work/new.md5" ||
                fail "kill $kill: the version is recorded before the update is complete"
        fi
        run_updater --yes
        expect_status 0
        expect_complete
    done
    echo "$kills kills, each left old or new content, and the next run completed"
    ;;
full-disk)
    # A tmpfs with room for the old install but not for the large member:
    # the copy fails before writing anything, with its message and both
    # figures, the version is not recorded, and nothing is left behind.
    [ "$(id -u)" = 0 ] || { echo "SKIP: needs root to mount a tmpfs"; exit 77; }
    make_fault_update
    mkdir -p "$game"
    mount -t tmpfs -o size=$((20 << 20)) tmpfs "$game" 2>/dev/null || { echo "SKIP: no tmpfs"; exit 77; }
    trap 'umount "$game"; rm -rf "$work"' EXIT
    cp -a "$work/old/." "$game/"
    checksums_of "$game" >"$work/old.md5"
    installed_registry '"Version"=dword:000003e8'
    free_before=$(df --output=avail "$game" | tail -1)
    run_updater --yes
    expect_status 7
    expect_diagnostic "the update needs 17"
    expect_diagnostic "bytes free"
    [[ $output == *'ファイルが書き込めません。[big.dat]'* ]] || fail "no message for big.dat: $output"
    # The cause under the message, and the same line on standard error.
    cause=$(tail -n 1 <<<"$output")
    [[ $output == *"$general_failure"$'\n'"$cause" && $cause =~ ^ディスクの空き容量が足りません。\[必要\ 16\.[0-9]\ MB、空き\ [0-9.]+\ MB\]$ ]] ||
        fail "no cause with both figures under the message: $output"
    expect_diagnostic "updater: $cause"
    checksums_of "$game" | diff "$work/old.md5" - >&2 || fail "the install folder changed"
    expect_registry_untouched
    [ "$(df --output=avail "$game" | tail -1)" = "$free_before" ] || fail "the space of the new file is not given back"
    ;;
full-save-disk)
    # The saves live on a volume that has no room for their conversions: the
    # update fails (status 7, the write-failure message), no save changes,
    # and the version is not recorded. With room made, the next run converts
    # each save once: chained rules would move a message converted twice
    # from 100 on to 300.
    [ "$(id -u)" = 0 ] || { echo "SKIP: needs root to mount a tmpfs"; exit 77; }
    saves="$work/saves"
    mkdir -p "$saves" "$game"
    mount -t tmpfs -o size=1m tmpfs "$saves" 2>/dev/null || { echo "SKIP: no tmpfs"; exit 77; }
    trap 'umount "$saves"; rm -rf "$work"' EXIT
    for i in $(seq 10 59); do make_save "$saves/save0$i.sav" 100 2>/dev/null || break; done
    printf 'save=%s' "$saves" >"$game/Install.ini"
    standard_update 'SaveVersion = 1000, 1000' 'ConvertSave MESSAGE = 200, 300' 'ConvertSave MESSAGE = 100, 200'
    installed_registry '"Version"=dword:000003e8'
    checksums_of "$saves" >"$work/saves.md5"
    run_updater --yes
    expect_status 7
    expect_diagnostic "No space left on device"
    [[ $output == *"$general_failure"$'\n''ディスクの空き容量が足りません。' ]] || fail "no cause under the message: $output"
    checksums_of "$saves" | diff "$work/saves.md5" - >&2 || fail "a save changed"
    expect_registry_untouched
    mount -o remount,size=4m "$saves"
    run_updater --yes
    expect_status 0
    for save in "$saves"/save*.sav; do
        [ "$(save_word "$save" 16804)" = 200 ] || fail "$save holds message $(save_word "$save" 16804)"
    done
    [ -z "$(find "$saves" -name '*.new-*')" ] || fail "new files stay beside the saves"
    ;;
damage)
    # One package of the example update, damaged afresh for each row: what
    # updpack check says, then what the updater shows last and its status;
    # the game, the registry and the folder of the update stay as they were.
    subkey='Software\Shirogane\Niwa'
    make_example_update
    cp "$dist/UpdateData.dat" "$work/whole.dat"
    checksums_of "$examples/install" >"$work/old.md5"
    caption='『白銀の庭』アップデート'
    count=$("$updpack" list "$work/whole.dat" | sed -n 's/^layout: long-names, \([0-9]*\) members$/\1/p')
    # The first byte of member NAME in the package.
    member_start() {
        "$updpack" list "$work/whole.dat" |
            awk -F'\t' -v name="$1" -v data=$((16 + 40 * count)) '$1 == name { print data + $2 }'
    }
    flip() { flip_bits "$dist/UpdateData.dat" "$@"; }
    # The row NAME, with the package damaged by the command after it: the
    # check fails saying CHECKED, the updater's output ends with the lines
    # SHOWN, and its status is 11.
    row() {
        local name=$1 checked=$2 shown=$3
        shift 3
        cp "$work/whole.dat" "$dist/UpdateData.dat"
        "$@"
        set +e
        "$updpack" check "$dist" >/dev/null 2>"$work/check.err"
        local check_status=$?
        set -e
        [ "$check_status" = 1 ] && grep -qF -- "$checked" "$work/check.err" ||
            fail "$name: updpack check ($check_status) does not say $checked: $(cat "$work/check.err")"
        rm -rf "$game"
        cp -R "$examples/install" "$game"
        installed_registry '"Version"=hex:e8,03,00,00'
        run_updater --yes
        expect_status 11
        [[ $output == *"$shown" ]] || fail "$name: the output does not end with $shown: $output"
        expect_diagnostic "updater: ${shown##*$'\n'}"
        checksums_of "$game" | diff "$work/old.md5" - >&2 || fail "$name: the game changed"
        expect_registry_untouched
    }
    before_dialog="[アップデータ]"$'\n''更新データが破損しています。[UpdateData.dat]'
    row 'a bit of Update.ini' 'member "Update.ini" (entry 0) does not match its SHA-256' \
        '設定ファイルが破損しています。処理を中断します。'$'\n''更新データが破損しています。[Update.ini]' \
        flip "$(($(member_start Update.ini) + 100))" 0x01
    # script.dat is staged before config.txt, and is not swapped in either.
    row 'a bit of a member' 'member "config.txt" (entry 1) does not match its SHA-256' \
        "[$caption]"$'\n'"$general_failure"$'\n''更新データが破損しています。[config.txt]' \
        flip "$(($(member_start config.txt) + 39))" 0x80
    row 'a bit of the digest list' "its first line does not give the directory's digest" "$before_dialog" \
        flip "$(($(member_start @SHA256SUMS) + 64))" 0x01
    row 'a bit of a name' 'does not list member "script.eat" (entry 2)' "$before_dialog" \
        flip $((16 + 2 * 32 + 7)) 0x01
    row 'a directory that lies: a size' 'the header or directory does not match its digest' "$before_dialog" \
        flip $((16 + 32 * count + 8 * 4 + 4)) 0x04
    row 'a directory that lies: the member count' 'member "Update.ini" (entry 0) runs past the end' "$before_dialog" \
        flip 12 0x01
    row 'a digest list that is missing' '"@SHA256SUMS" is not in its directory' "$before_dialog" \
        flip $((16 + 32 * (count - 1))) 0x01
    row 'a digest list naming a member that is not there' 'does not list member "title2.dat"' \
        "$before_dialog" flip "$(($(member_start @SHA256SUMS) + 77 * 4 + 80 + 66))" 0x08
    row 'cut short' 'runs past the end of the file' "$before_dialog" \
        truncate -s -1 "$dist/UpdateData.dat"
    # Another tool's package has no list: it is applied, and the check warns.
    cp "$work/whole.dat" "$dist/UpdateData.dat"
    printf 'UPDATERPACK' | dd of="$dist/UpdateData.dat" conv=notrunc status=none
    flip $((16 + 32 * (count - 1))) 0x01
    "$updpack" check "$dist" >/dev/null 2>"$work/check.err" || fail "another tool's package fails the check"
    grep -qF 'UpdateData.dat: warning: the package has no digest list' "$work/check.err" ||
        fail "no warning for a package without digests: $(cat "$work/check.err")"
    rm -rf "$game"
    cp -R "$examples/install" "$game"
    installed_registry '"Version"=hex:e8,03,00,00'
    run_updater --yes
    expect_status 0
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario"
