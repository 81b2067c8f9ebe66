#!/bin/bash
# updater.exe without windows, and its dialog while an update runs, under
# Wine:
#   same-output  updater.exe --yes prints, line by line, what the Linux
#                updater --yes prints on the same update, and exits with the
#                same status: applied, then not installed (needs the native
#                build of tests/run-all.sh; skipped without it)
#   log          --log FILE appends a complete run and a failed copy
#   progress     while a large member is copied the dialog answers every
#                message, its progress bar moves and its buttons are disabled
#
#   unattended_wine_e2e.sh ROOT UPDATER_EXE DRIVER_EXE UPDPACK_EXE NATIVE_UPDATER SCENARIO
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/wine-e2e-common.sh"
native_updater=$5
scenario=$6
subkey="Software\\Unattended\\$scenario"
wine_setup "$1" "$2" "$3" "$4" "e2e-unattended-$scenario" "$subkey"
mkdir -p "$game"
title='無人'
caption="『${title}』アップデート"
set_value InstallFolder REG_SZ "$game_windows"
set_value Version REG_BINARY e8030000

# Runs updater.exe with the given arguments; its standard output goes to
# $output (Wine's own messages on standard error are left out), its exit
# status to $status.
run_exe() {
    set +e
    output=$(cd "$work" && wine "$base/アップデート/updater.exe" "$@" 2>/dev/null)
    status=$?
    set -e
}

case $scenario in
same-output)
    [ -x "$native_updater" ] || { echo "SKIP: no native updater at $native_updater"; exit 77; }
    standard_update
    run_exe --yes
    windows_status=$status
    windows_output=${output//"$game_windows"/GAME}
    # The same package, run by the Linux updater on a copy of the folders.
    native="$work/native"
    mkdir -p "$native/dist" "$native/game" "$native/run"
    cp "$native_updater" "$native/dist/updater"
    cp "$base/アップデート/UpdateData.dat" "$native/dist/"
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\%s]\n"InstallFolder"="%s"\n"Version"=hex:e8,03,00,00\n' \
        "$subkey" "$native/game" | iconv -f UTF-8 -t CP932 >"$native/registry.reg"
    set +e
    native_output=$(UPDATER_REGISTRY="$native/registry.reg" XDG_RUNTIME_DIR="$native/run" \
        XDG_DATA_HOME="$native/data" "$native/dist/updater" --yes </dev/null 2>/dev/null)
    native_status=$?
    set -e
    native_output=${native_output//"$native/game"/GAME}
    [ "$windows_status" = 0 ] && [ "$native_status" = 0 ] ||
        fail "exit statuses $windows_status (Windows) and $native_status (Linux)"
    diff <(printf '%s\n' "$native_output") <(printf '%s\n' "$windows_output") >&2 || fail "the outputs differ"
    grep -qxF "$completed" <<<"$windows_output" || fail "no completion: $windows_output"
    cmp -s "$work/pack/readme.txt" "$game/readme.txt" || fail "the update was not applied"
    # Refused the same way: the key names no install folder.
    wine reg delete "$key" /v InstallFolder /f >/dev/null
    run_exe --yes
    [ "$status" = 5 ] || fail "exit status $status for a game not installed"
    [ "$output" = "$(printf '[%s]\n%s' "$caption" \
        "『${title}』がインストールされていません。インストールが終了してから再度アップデートを行って下さいませ。")" ] ||
        fail "not installed: $output"
    ;;
log)
    standard_update
    run_exe --yes --log 'C:\e2e-unattended-log\run.log'
    [ "$status" = 0 ] || fail "exit status $status"
    standard_update 'CopyFile = missing.txt, missing.txt, missing.txt'
    run_exe --yes --log 'C:\e2e-unattended-log\run.log'
    [ "$status" = 7 ] || fail "exit status $status for a missing source"
    # The key is gone: the diagnostic gives the status the registry returned.
    wine reg delete "$key" /f >/dev/null
    run_exe --yes --log 'C:\e2e-unattended-log\run.log'
    [ "$status" = 5 ] || fail "exit status $status without the key"
    log=$(tr -d '\r' <"$base/run.log" | sed 's/^[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] //')
    [ "$(grep -c '^updater.exe [0-9.]* started$' <<<"$log")" = 3 ] || fail "the log holds not three runs: $log"
    for line in "registry: InstallFolder \"$game_windows\", Version 1000, AddContents 0" \
        "staged $game_windows\\readme.txt (12 bytes from readme.txt in UpdateData.dat)" \
        "replaced $game_windows\\readme.txt" \
        'registry: Version 1020 recorded' 'outcome: applied, exit status 0' \
        'updater: source missing.txt is found neither beside the updater nor in UpdateData.dat' \
        'outcome: a file could not be written, exit status 7' 'outcome: game not installed, exit status 5'; do
        grep -qxF -- "$line" <<<"$log" || fail "no line $line in the log:
$log"
    done
    grep -F "updater: registry key HKEY_CURRENT_USER\\$subkey cannot be opened: " <<<"$log" | grep -q '(error 2)$' ||
        fail "no registry status in the log: $log"
    ;;
progress)
    mkdir -p "$work/pack"
    head -c $((256 << 20)) /dev/zero >"$work/pack/movie.dat"
    write_script "AppTitle = $title" "Registory = $subkey" 'NewVersion = 1020, 1020' \
        'SupportVersion = 1000, 1000' 'SaveVersion = 1000, 1000' 'CopyFile = movie.dat, movie.dat, movie.dat'
    pack_update
    drive dialog "$caption" 1.000 "$game_windows" "『${title}』 を Ver.1.02 にアップデートします。" "$carry_note" apply \
        responsive finished message "$caption" "$completed" ok
    [ "$(stat -c %s "$game/movie.dat")" = $((256 << 20)) ] || fail "movie.dat was not written whole"
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario"
