#!/bin/bash
# End-to-end runs of the Windows updater's copy, delete and rename steps under
# Wine, driven through its windows by updater_driver.exe: the example update
# in examples/ applied for real, a destination that another process holds
# open the way a running game does, and an install folder on a full drive.
#
#   install_wine_e2e.sh ROOT UPDATER_EXE DRIVER_EXE UPDPACK_EXE HOLD_FILE_EXE SCENARIO
#
# ROOT keeps the Wine prefix. The scenarios take the updater's mutex, so they
# must not run at the same time as other runs of the updater.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/wine-e2e-common.sh"
hold_file_exe=$(realpath "$5")
scenario=$6
wine_setup "$1" "$2" "$3" "$4" "e2e-install-$scenario" 'Software\Shirogane\Niwa'
cp -R "$examples/install" "$game"
set_value InstallFolder REG_SZ "$game_windows"
set_value Version REG_BINARY e8030000
caption='『白銀の庭』アップデート'

release="$base/release"
holder=
disk=
wine_cleanup() {
    touch "$release"
    [ -z "$holder" ] || wait "$holder" || true
    if [ -n "$disk" ]; then
        umount "$disk"
        rm -f "$WINEPREFIX/dosdevices/t:"
    fi
}

version_value() {
    export_key | grep '^"Version"=' || fail "no Version in the key"
}

# Runs the updater through its dialog, applied, and then the given steps.
apply() {
    drive dialog "$caption" 1.000 "$game_windows" '『白銀の庭』 を Ver.1.02 にアップデートします。' "$carry_note" apply \
        "$@"
}

expect_missing() {
    local path
    for path in "$@"; do
        [ ! -e "$game/$path" ] || fail "$path exists"
    done
}

case $scenario in
example)
    make_example_update
    apply message "$caption" "$completed" ok
    expect_files data/script.dat=script.dat config.txt=config.txt ソフト情報.txt=ソフト情報.txt \
        bgm/title.dat=title2.dat
    expect_missing data/old_patch.dat bgm/title2.dat
    [ "$(version_value)" = '"Version"=hex:fc,03,00,00' ] || fail "Version is $(version_value)"
    ;;
held-destination)
    # data\script.dat is open for reading and writing with only writing
    # shared: config.txt is written, the copy stops at data\script.dat with
    # its message, the third entry and the delete are not carried out.
    make_example_update 'AppTitle = 白銀の庭' 'Registory = Software\Shirogane\Niwa' 'NewVersion = 1020, 1020' \
        'SupportVersion = 1000, 1000' 'SaveVersion = 1000, 1000' \
        'CopyFile = config.txt, config.txt, config.txt' \
        'CopyFile = script.dat, script.dat, data\script.dat' \
        'CopyFile = title2.dat, title2.dat, bgm\title2.dat' \
        'DeleteFile = data\old_patch.dat'
    before=$(version_value)
    wine "$hold_file_exe" "$game_windows\\data\\script.dat" "$base_windows\\release" >"$work/hold.out" 2>&1 &
    holder=$!
    until grep -q holding "$work/hold.out"; do
        kill -0 "$holder" 2>/dev/null || fail "the file cannot be held: $(cat "$work/hold.out")"
        sleep 0.1
    done
    apply message 'エラー' 'ファイルが書き込めません。[data\script.dat]' ok message "$caption" "$general_failure" ok
    expect_files config.txt=config.txt data/script.dat=- data/old_patch.dat=-
    expect_missing bgm/title2.dat
    [ "$(version_value)" = "$before" ] || fail "Version changed to $(version_value)"
    ;;
full-disk)
    # Drive T: is a tmpfs with room for the install but not for the large
    # member: the copy fails with its message, every file keeps its old
    # content, no new file stays behind, the version is not recorded.
    [ "$(id -u)" = 0 ] || { echo "SKIP: needs root to mount a tmpfs"; exit 77; }
    disk="$work/disk"
    mkdir -p "$disk"
    mount -t tmpfs -o size=$((8 << 20)) tmpfs "$disk" 2>/dev/null || { disk=; echo "SKIP: no tmpfs"; exit 77; }
    ln -sfn "$disk" "$WINEPREFIX/dosdevices/t:"
    rm -rf "$game"
    game="$disk/ゲーム"
    cp -R "$examples/install" "$game"
    set_value InstallFolder REG_SZ 'T:\ゲーム'
    mkdir -p "$work/pack"
    cp "$examples/update/config.txt" "$work/pack/"
    head -c $((12 << 20)) /dev/urandom >"$work/pack/big.dat"
    write_script 'AppTitle = 白銀の庭' 'Registory = Software\Shirogane\Niwa' 'NewVersion = 1020, 1020' \
        'SupportVersion = 1000, 1000' 'SaveVersion = 1000, 1000' \
        'CopyFile = big.dat, big.dat, data\script.dat' 'CopyFile = config.txt, config.txt, config.txt'
    pack_update
    before=$(version_value)
    drive dialog "$caption" 1.000 'T:\ゲーム' '『白銀の庭』 を Ver.1.02 にアップデートします。' "$carry_note" apply \
        message 'エラー' 'ファイルが書き込めません。[data\script.dat]' ok message "$caption" "$general_failure" ok
    diff -r "$examples/install" "$game" >&2 || fail "the install folder changed"
    [ "$(version_value)" = "$before" ] || fail "Version changed to $(version_value)"
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario"
