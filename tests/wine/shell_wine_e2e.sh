#!/bin/bash
# End-to-end runs of the Windows updater under Wine, driven through its real
# windows by updater_driver.exe: every message box and the confirmation
# dialog are found, read and answered, then the registry is checked.
#
#   shell_wine_e2e.sh WINE_ROOT UPDATER_EXE DRIVER_EXE UPDPACK_EXE SCENARIO
#
# WINE_ROOT keeps the Wine prefix shared with the other Windows tests. The
# scenarios take the updater's mutex, so they must not run at the same time
# as each other. Scenario locale-1252 runs the dialog under code page 1252,
# where only the explicit code page 932 conversions keep the texts right.
set -euo pipefail

here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
. "$here/wine-env.sh"
updater_exe=$(realpath "$2")
driver_exe=$(realpath "$3")
updpack_exe=$(realpath "$4")
scenario=$5
code_page=932
if [ "$scenario" = locale-1252 ]; then
    export UPDATER_WINE_LANG=C.UTF-8
    code_page=1252
fi
updater_wine_env "$1"
updater_wine_prefix

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Each scenario has its own folders and registry key. The key's name has ソ
# and 表, whose second byte is '\'.
base_windows="C:\\e2e-$scenario"
base="$WINEPREFIX/drive_c/e2e-$scenario"
dist_windows="$base_windows\\アップデート"
game_windows="$base_windows\\ゲーム"
subkey="Software\\ソフト表\\$scenario"
key="HKCU\\$subkey"
title='テストゲーム'
caption="『${title}』アップデート"
work=$(mktemp -d)
trap 'rm -rf "$work" "$base"; wine reg delete "$key" /f >/dev/null 2>&1 || true' EXIT

rm -rf "$base"
mkdir -p "$base/アップデート" "$base/ゲーム"
cp "$updater_exe" "$base/アップデート/updater.exe"
cp "$driver_exe" "$work/updater_driver.exe"
wine reg delete "$key" /f >/dev/null 2>&1 || true

# Packs files of $work/source into UpdateData.dat with updpack.exe.
write_package() {
    (cd "$work/source" && wine "$updpack_exe" create "$dist_windows\\UpdateData.dat" "$@") >/dev/null ||
        fail "updpack.exe cannot pack $*"
}

# Writes Update.ini (UTF-8 lines, stored in Shift_JIS) and packs it with one
# copy source.
make_update() {
    mkdir -p "$work/source"
    printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP932 >"$work/source/Update.ini"
    printf 'new readme\r\n' >"$work/source/readme.txt"
    write_package Update.ini readme.txt
}

standard_update() {
    make_update \
        "AppTitle = $title" \
        "Registory = $subkey" \
        'NewVersion = 1020, 1021' \
        'SupportVersion = 1000, 1000' \
        'SaveVersion = 1010, 1010' \
        'CopyFile = readme.txt, readme.txt, readme.txt'
}

# Sets a registry value: NAME TYPE DATA.
set_value() {
    wine reg add "$key" /v "$1" /t "$2" /d "$3" /f >/dev/null
}

installed() {
    set_value InstallFolder REG_SZ "$game_windows"
}

# The key as exported, in UTF-8; empty when it does not exist.
export_key() {
    if wine reg export "$key" "$work/export.reg" /y >/dev/null 2>&1; then
        iconv -f UTF-16 -t UTF-8 "$work/export.reg" | tr -d '\r' | grep -v '^Windows Registry Editor'
    fi
}

remember_registry() {
    export_key >"$work/registry.before"
}

expect_registry_untouched() {
    export_key >"$work/registry.after"
    cmp -s "$work/registry.before" "$work/registry.after" || fail "the registry changed:
$(cat "$work/registry.after")"
}

# Version must now be REG_BINARY with the given 4 bytes; nothing else of the
# key may have changed.
expect_registry_version() {
    local line="\"Version\"=hex:$1"
    export_key >"$work/registry.after"
    grep -qxF "$line" "$work/registry.after" || fail "no line $line in:
$(cat "$work/registry.after")"
    diff <(grep -v '^"Version"=' "$work/registry.before") <(grep -v '^"Version"=' "$work/registry.after") >&2 ||
        fail "other values of the key changed"
}

drive() {
    (cd "$work" && wine updater_driver.exe "$dist_windows\\updater.exe" "$@") || fail "the driver reports a difference"
}

question=$'既にこのパッチは適用済みです。\n更に上書きで適用しますか？'
removal_note='※このバージョンのアップデートの適用では、以前のプレイデータやセーブデータは削除されます。'
carry_note='※このバージョンのアップデートの適用では、以前のプレイデータやセーブデータの引き継ぎが可能です。'
completed='更新は完了しました。'

case $scenario in
script-missing)
    mkdir -p "$work/source"
    printf 'x' >"$work/source/other.txt"
    write_package other.txt
    installed
    remember_registry
    drive message 'アップデータ' '設定ファイルが見つかりません。処理を中断します。' ok
    expect_registry_untouched
    ;;
not-installed)
    standard_update
    drive message "$caption" \
        "『${title}』がインストールされていません。インストールが終了してから再度アップデートを行って下さいませ。" ok
    [ -z "$(export_key)" ] || fail "the key was made"
    ;;
too-old)
    make_update "AppTitle = $title" "Registory = $subkey" 'NewVersion = 1020, 1020' \
        'SupportVersion = 1015, 1015' 'SaveVersion = 1000, 1000' 'CopyFile = readme.txt, readme.txt, readme.txt'
    installed
    set_value Version REG_BINARY e8030000
    remember_registry
    drive message "$caption" 'このパッチを適用する前に Ver.1.01 以降にアップデートを行って下さい。' ok
    expect_registry_untouched
    ;;
applied-cancel)
    standard_update
    installed
    set_value Version REG_BINARY fc030000
    remember_registry
    drive message "$caption" "$question" cancel
    expect_registry_untouched
    ;;
applied-ok)
    # Stored as a DWORD before; written back as 4 binary bytes.
    standard_update
    installed
    set_value Version REG_DWORD 1020
    remember_registry
    drive message "$caption" "$question" ok \
        dialog "$caption" 1.020 "$game_windows" "『${title}』 を Ver.1.02 にアップデートします。" "$carry_note" apply \
        message "$caption" "$completed" ok
    expect_registry_version fc,03,00,00
    ;;
dialog-apply | locale-1252)
    # No Version value: 1000, below SaveVersion. A second instance started
    # while the dialog is open ends at once without a window.
    standard_update
    installed
    remember_registry
    drive code-page "$code_page" \
        dialog "$caption" 1.000 "$game_windows" "『${title}』 を Ver.1.02 にアップデートします。" "$removal_note" apply \
        second-instance \
        message "$caption" "$completed" ok
    expect_registry_version fc,03,00,00
    ;;
dialog-end)
    standard_update
    installed
    set_value Version REG_BINARY f2030000
    remember_registry
    drive dialog "$caption" 1.010 "$game_windows" "『${title}』 を Ver.1.02 にアップデートします。" "$carry_note" end
    expect_registry_untouched
    ;;
dialog-close)
    standard_update
    installed
    set_value Version REG_BINARY f2030000
    remember_registry
    drive dialog "$caption" 1.010 "$game_windows" "『${title}』 を Ver.1.02 にアップデートします。" "$carry_note" close
    expect_registry_untouched
    ;;
add-contents)
    standard_update
    installed
    set_value AddContents REG_DWORD 1
    remember_registry
    drive dialog "$caption" 1.000 "$game_windows" "『${title}』 を Ver.1.021 にアップデートします。" "$removal_note" apply \
        message "$caption" "$completed" ok
    expect_registry_version fd,03,00,00
    ;;
check)
    # updater.exe --check writes the plan of its own folder, changing nothing.
    standard_update
    installed
    remember_registry
    output=$(cd "$work" && wine "$base/アップデート/updater.exe" --check 2>&1 | tr -d '\r') ||
        fail "the check fails: $output"
    grep -qF '"AppTitle": "テストゲーム"' <<<"$output" || fail "no title in the plan: $output"
    grep -qF '"Registory": "Software\\ソフト表\\check"' <<<"$output" || fail "no key in the plan: $output"
    expect_registry_untouched
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario"
