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

scenario=$5
code_page=932
if [ "$scenario" = locale-1252 ]; then
    export UPDATER_WINE_LANG=C.UTF-8
    code_page=1252
fi
. "$(dirname "${BASH_SOURCE[0]}")/wine-e2e-common.sh"
# Each scenario has its own folders and registry key. The key's name has ソ
# and 表, whose second byte is '\'.
subkey="Software\\ソフト表\\$scenario"
wine_setup "$1" "$2" "$3" "$4" "e2e-$scenario" "$subkey"
mkdir -p "$game"
title='テストゲーム'
caption="『${title}』アップデート"

installed() {
    set_value InstallFolder REG_SZ "$game_windows"
}

question=$'既にこのパッチは適用済みです。\n更に上書きで適用しますか？'

case $scenario in
escaping-names)
    # A name that would leave the install folder makes the script malformed:
    # the file outside stays as it is.
    printf 'outside\r\n' >"$base/outside.txt"
    installed
    remember_registry
    for line in 'CopyFile = readme.txt, readme.txt, ..\outside.txt' "DeleteFile = C:\\${base##*/drive_c/}\\outside.txt" \
        'DeleteFile = ..\outside.txt'; do
        standard_update "$line"
        drive exit 4 message 'アップデータ' '設定ファイルにエラーがありました。処理を中断します。' ok
        [ "$(cat "$base/outside.txt")" = $'outside\r' ] || fail "$line touched the file outside"
    done
    expect_registry_untouched
    ;;
script-missing)
    mkdir -p "$work/pack"
    printf 'x' >"$work/pack/other.txt"
    pack_update other.txt
    installed
    remember_registry
    drive exit 4 message 'アップデータ' '設定ファイルが見つかりません。処理を中断します。' ok
    expect_registry_untouched
    ;;
not-installed)
    standard_update
    not_installed="『${title}』がインストールされていません。インストールが終了してから再度アップデートを行って下さいませ。"
    drive exit 5 message "$caption" "$not_installed" ok
    [ -z "$(export_key)" ] || fail "the key was made"
    # The key names an install folder that is not there (any more).
    installed
    rmdir "$game"
    drive exit 5 message "$caption" "$not_installed"$'\n'"インストール先のフォルダが見つかりません。[$game_windows]" ok
    ;;
too-old)
    standard_update 'NewVersion = 1020, 1020' 'SupportVersion = 1015, 1015' 'SaveVersion = 1000, 1000'
    installed
    set_value Version REG_BINARY e8030000
    remember_registry
    drive exit 6 message "$caption" 'このパッチを適用する前に Ver.1.01 以降にアップデートを行って下さい。' ok
    expect_registry_untouched
    ;;
applied-cancel)
    standard_update
    installed
    set_value Version REG_BINARY fc030000
    remember_registry
    drive exit 1 message "$caption" "$question" cancel
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
    drive dialog "$caption" 1.010 "$game_windows" "『${title}』 を Ver.1.02 にアップデートします。" "$carry_note" end exit 1
    expect_registry_untouched
    ;;
dialog-close)
    standard_update
    installed
    set_value Version REG_BINARY f2030000
    remember_registry
    drive dialog "$caption" 1.010 "$game_windows" "『${title}』 を Ver.1.02 にアップデートします。" "$carry_note" close exit 1
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
