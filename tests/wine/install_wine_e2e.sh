#!/bin/bash
# End-to-end runs of the Windows updater's copy, delete and rename steps under
# Wine, driven through its windows by updater_driver.exe: the example update
# in examples/ applied for real, and a destination that another process holds
# open the way a running game does.
#
#   install_wine_e2e.sh ROOT UPDATER_EXE DRIVER_EXE UPDPACK_EXE HOLD_FILE_EXE SCENARIO
#
# ROOT keeps the Wine prefix. The scenarios take the updater's mutex, so they
# must not run at the same time as other runs of the updater.
set -euo pipefail

here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
. "$here/wine-env.sh"
examples=$(realpath "$here/../../examples")
updater_exe=$(realpath "$2")
driver_exe=$(realpath "$3")
updpack_exe=$(realpath "$4")
hold_file_exe=$(realpath "$5")
scenario=$6
updater_wine_env "$1"
updater_wine_prefix

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

base_windows="C:\\e2e-install-$scenario"
base="$WINEPREFIX/drive_c/e2e-install-$scenario"
dist_windows="$base_windows\\アップデート"
game_windows="$base_windows\\ゲーム"
dist="$base/アップデート"
game="$base/ゲーム"
release="$base/release"
key='HKCU\Software\Shirogane\Niwa'
caption='『白銀の庭』アップデート'
sentence='『白銀の庭』 を Ver.1.02 にアップデートします。'
carry_note='※このバージョンのアップデートの適用では、以前のプレイデータやセーブデータの引き継ぎが可能です。'
work=$(mktemp -d)
holder=
cleanup() {
    touch "$release"
    [ -z "$holder" ] || wait "$holder" || true
    rm -rf "$work" "$base"
    wine reg delete "$key" /f >/dev/null 2>&1 || true
}
trap cleanup EXIT

rm -rf "$base"
mkdir -p "$dist" "$work/pack"
cp -R "$examples/install" "$game"
cp "$updater_exe" "$dist/updater.exe"
cp "$driver_exe" "$work/updater_driver.exe"
wine reg delete "$key" /f >/dev/null 2>&1 || true
wine reg add "$key" /v InstallFolder /t REG_SZ /d "$game_windows" /f >/dev/null
wine reg add "$key" /v Version /t REG_BINARY /d e8030000 /f >/dev/null

# Packs the example update, with Update.ini replaced by the given UTF-8
# lines when there are any.
make_update() {
    cp "$examples/update/"* "$work/pack/"
    if [ $# -gt 0 ]; then
        printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP932 >"$work/pack/Update.ini"
    fi
    (cd "$work/pack" && wine "$updpack_exe" create "$dist_windows\\UpdateData.dat" ./* >/dev/null) ||
        fail "the package cannot be made"
}

version_value() {
    wine reg export "$key" "$work/export.reg" /y >/dev/null 2>&1 || fail "the key is gone"
    iconv -f UTF-16 -t UTF-8 "$work/export.reg" | tr -d '\r' | grep '^"Version"='
}

drive() {
    (cd "$work" && wine updater_driver.exe "$dist_windows\\updater.exe" \
        dialog "$caption" 1.000 "$game_windows" "$sentence" "$carry_note" apply "$@") ||
        fail "the driver reports a difference"
}

# path=source: the install folder's file holds the example update's source,
# or, for "-", what the example install holds.
expect_files() {
    local pair path source
    for pair in "$@"; do
        path=${pair%%=*}
        source=${pair#*=}
        if [ "$source" = - ]; then source="$examples/install/$path"; else source="$examples/update/$source"; fi
        cmp -s "$source" "$game/$path" || fail "$path does not hold $source"
    done
}

expect_missing() {
    local path
    for path in "$@"; do
        [ ! -e "$game/$path" ] || fail "$path exists"
    done
}

case $scenario in
example)
    make_update
    drive message "$caption" '更新は完了しました。' ok
    expect_files data/script.dat=script.dat config.txt=config.txt ソフト情報.txt=ソフト情報.txt \
        bgm/title.dat=title2.dat
    expect_missing data/old_patch.dat bgm/title2.dat
    [ "$(version_value)" = '"Version"=hex:fc,03,00,00' ] || fail "Version is $(version_value)"
    ;;
held-destination)
    # data\script.dat is open for reading and writing with only writing
    # shared: config.txt is written, the copy stops at data\script.dat with
    # its message, the third entry and the delete are not carried out.
    make_update 'AppTitle = 白銀の庭' 'Registory = Software\Shirogane\Niwa' 'NewVersion = 1020, 1020' \
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
    drive message 'エラー' 'ファイルが書き込めません。[data\script.dat]' ok \
        message "$caption" '更新ファイル書き込みに失敗しました。ゲームが起動されている場合は、終了してから再度実行して下さい。' ok
    expect_files config.txt=config.txt data/script.dat=- data/old_patch.dat=-
    expect_missing bgm/title2.dat
    [ "$(version_value)" = "$before" ] || fail "Version changed to $(version_value)"
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario"
