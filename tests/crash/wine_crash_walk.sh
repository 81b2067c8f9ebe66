#!/bin/bash
# The walk of crash_walk.sh for updater.exe under Wine: the crash-testing
# build of the Windows program has its power cut (power) or a change of the
# disk fail (fail) at every STRIDE-th change of crash-common.sh's update,
# from the change FROM on; after each, every file is old or new, and one
# more run reaches the state of one clean run: the game and its saves byte
# for byte, the shortcut's name and the registry key.
#
#   wine_crash_walk.sh WINE_ROOT UPDATER_CRASH_EXE UPDPACK_EXE power|fail [STRIDE] [FROM]
#   wine_crash_walk.sh WINE_ROOT UPDATER_CRASH_EXE UPDPACK_EXE kills KILLS
#   wine_crash_walk.sh WINE_ROOT UPDATER_CRASH_EXE UPDPACK_EXE selftest
#
# kills ends the updater at KILLS random moments instead; selftest is
# crash_walk.sh's, with flushes counting for nothing.
#
# A shell link holds the times of its target, which every run writes anew:
# links are compared by name only.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../wine/wine-env.sh"
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/e2e-common.sh"
. "$(dirname "${BASH_SOURCE[0]}")/crash-common.sh"
updater_wine_env "$1"
updater_wine_prefix
walk=$4
stride=${5:-1}
from=${6:-1}

folder="e2e-crash-$walk"
base="$WINEPREFIX/drive_c/$folder"
dist_windows="C:\\$folder\\アップデート"
world="$base/world"
game="$world/game"
stash="$base/stash"
crash_stash="C:\\$folder\\stash"
game_windows="C:\\$folder\\world\\game"
subkey="Software\\Crash\\$walk"
key="HKCU\\$subkey"
menu_brand="壊れない-$walk"
programs="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
work=$(mktemp -d)
cleanup() {
    rm -rf "$work" "$base" "$programs/$menu_brand"
    wine reg delete "$key" /f >/dev/null 2>&1 || true
}
trap cleanup EXIT
rm -rf "$base"
mkdir -p "$base/アップデート"
cp "$2" "$base/アップデート/updater.exe"
pack_command=(wine "$(realpath "$3")" create "$dist_windows\\UpdateData.dat")
# crash-common.sh greps the recorded version here.
UPDATER_REGISTRY="$world/registry.txt"

# The key as the world's file registry.txt, so that the checks of the files
# cover it.
snapshot_registry() {
    wine reg export "$key" "$work/export.reg" /y >/dev/null 2>&1 || : >"$work/export.reg"
    iconv -f UTF-16 -t UTF-8 "$work/export.reg" | tr -d '\r' | grep -v '^Windows Registry Editor' \
        >"$world/registry.txt" || true
}

old_registry() {
    wine reg delete "$key" /f >/dev/null 2>&1 || true
    wine reg add "$key" /v InstallFolder /t REG_SZ /d "$game_windows" /f >/dev/null
    wine reg add "$key" /v Version /t REG_BINARY /d e8030000 /f >/dev/null
    rm -rf "$programs/$menu_brand"
    ln -s "$programs/$menu_brand" "$world/menu"
    snapshot_registry
}

run_updater() {
    set +e
    output=$(cd "$work" && wine "$base/アップデート/updater.exe" "$@" 2>"$work/errors")
    status=$?
    set -e
    errors=$(cat "$work/errors")
    snapshot_registry
}

checksums() {
    (cd "$world" && find -L . -type f -print0 | sort -z | xargs -0 md5sum) | sed 's/^[0-9a-f]*  \(.*\.lnk\)$/link  \1/'
}

# Ends the updater with SIGKILL at KILLS random moments of the update, as
# a player's task manager or a crash of the session would; after each, every
# file is old or new, and one more run reaches the clean state.
#   kill_walk KILLS
kill_walk() {
    local kills=$1 k started took updater delay
    started=$(date +%s%N)
    reset_world
    run_updater --yes
    took=$((($(date +%s%N) - started) / 1000000))
    echo "a clean run takes $took ms"
    for ((k = 1; k <= kills; k++)); do
        reset_world
        delay=$((RANDOM * took / 32768))
        (cd "$work" && exec wine "$base/アップデート/updater.exe" --yes >/dev/null 2>&1) &
        updater=$!
        sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
        kill -KILL "$updater" 2>/dev/null || true
        wait "$updater" 2>/dev/null || true
        snapshot_registry
        expect_old_or_new "kill $k after $delay ms"
        finish_and_check "kill $k after $delay ms"
    done
    echo "PASS: $kills kills at random moments, each followed by the clean state"
}

crash_report="C:\\$folder\\report.txt"
crash_report_file="$base/report.txt"
prepare_walk
case $walk in
kills) kill_walk "$stride" ;;
selftest) self_test_walk ;;
*) walk_changes "$walk" "$stride" "$from" ;;
esac
