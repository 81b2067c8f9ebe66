#!/bin/bash
# Fault injection for the POSIX updater: an update killed at random moments,
# and an update onto a full disk. Whatever happens, every file the update
# writes (game files and saves) holds its old content or its new one, the
# version is recorded only after a complete run, and the next run completes
# the update.
#
#   faults_e2e.sh UPDATER UPDPACK kill [KILLS]
#   faults_e2e.sh UPDATER UPDPACK full-disk
#   faults_e2e.sh UPDATER UPDPACK full-save-disk
#
# kill: an update of 200 members, one of them 16 MiB, and 200 saves, killed
# KILLS times (default 50) at a random moment of its run, each time followed
# by a run to the end. full-disk: needs root for a small tmpfs; exits with 77
# (skipped) where none can be mounted.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
native_setup "$1" "$2"
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
# their destination (LEFTOVERS=allowed).
expect_old_or_new() {
    local strays='^\./Update\.journal-é$'
    [ "$1" != allowed ] || strays+='|\.new-é$'
    checksums_of "$game" >"$work/now.md5"
    expect_old_or_new_sums "$work/old.md5" "$work/new.md5" "$work/now.md5" "$strays" '^$' "kill $kill"
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
    [[ $output == *"$general_failure"* ]] || fail "no general failure message: $output"
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
    [[ $output == *"$general_failure"* ]] || fail "no general failure message: $output"
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
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario"
