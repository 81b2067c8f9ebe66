#!/bin/bash
# The Windows updater under Wine with folders whose names Shift_JIS cannot
# hold, as under a user profile such as C:\Users\Hélène, in the locale given
# (ja_JP.UTF-8: code page 932; C.UTF-8: code page 1252).
#
#   folder_names_wine_e2e.sh WINE_ROOT UPDATER_EXE DRIVER_EXE UPDPACK_EXE SCENARIO LANG
#
# program-folder          updater.exe in C:\...\Hélène: the script and the
#                         package are found, the update is applied
# install-folder          InstallFolder C:\...\gamé: the update is applied
#                         there, through the folder's short name
# install-folder-missing  InstallFolder C:\...\gamé-missing, which has no
#                         short name: a message names it
# programs-folder         the Start menu's Programs folder is C:\...\Prögrams:
#                         the shortcut is made there, through its short name
set -euo pipefail
scenario=$5
export UPDATER_WINE_LANG=$6
case $scenario in
install-folder) game_name='gamé' ;;
install-folder-missing) game_name='gamé-missing' ;;
esac
. "$(dirname "${BASH_SOURCE[0]}")/wine-e2e-common.sh"
subkey="Software\\Folders\\$scenario"
wine_setup "$1" "$2" "$3" "$4" "e2e-folders-$scenario" "$subkey"
title='テストゲーム'
caption="『${title}』アップデート"
standard_update
if [ "$scenario" = program-folder ]; then
    # Packed where updpack can name the package, then moved.
    mv "$base/アップデート" "$base/Hélène"
    dist_windows="$base_windows\\Hélène"
fi
set_value InstallFolder REG_SZ "$game_windows"
set_value Version REG_BINARY f2030000
remember_registry

shell_folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
programs_before=
wine_cleanup() {
    [ -z "$programs_before" ] ||
        wine reg add "$shell_folders" /v Programs /t REG_EXPAND_SZ /d "$programs_before" /f >/dev/null
}

case $scenario in
program-folder | install-folder)
    mkdir -p "$game"
    # The install folder shows as its short name when it has characters
    # Shift_JIS lacks.
    shown=$game_windows
    [ "$scenario" = program-folder ] || shown='*'
    drive dialog "$caption" 1.010 "$shown" "『${title}』 を Ver.1.02 にアップデートします。" "$carry_note" apply \
        message "$caption" "$completed" ok
    cmp -s "$work/pack/readme.txt" "$game/readme.txt" || fail "readme.txt was not copied into $game"
    expect_registry_version fc,03,00,00
    ;;
programs-folder)
    mkdir -p "$game" "$base/Prögrams"
    programs_before=$(wine reg query "$shell_folders" /v Programs | tr -d '\r' |
        sed -n 's/^ *Programs *REG_EXPAND_SZ *//p')
    [ -n "$programs_before" ] || fail "no Programs folder in the prefix"
    wine reg add "$shell_folders" /v Programs /t REG_EXPAND_SZ /d "$base_windows\\Prögrams" /f >/dev/null
    standard_update 'BrandMenuFolder = ブランド' 'GameMenuFolder = ゲーム' 'Shortcut = 遊ぶ.lnk, , readme.txt, , , ""'
    drive dialog "$caption" 1.010 "$game_windows" "『${title}』 を Ver.1.02 にアップデートします。" "$carry_note" apply \
        message "$caption" "$completed" ok
    [ -f "$base/Prögrams/ブランド/ゲーム/遊ぶ.lnk" ] || fail "no shortcut in $base/Prögrams: $(find "$base/Prögrams")"
    ;;
install-folder-missing)
    drive exit 5 message "$caption" \
        "インストール先のフォルダ名に使用できない文字が含まれています。処理を中断します。[${game_windows/é/?}]" ok
    expect_registry_untouched
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario in $UPDATER_WINE_LANG"
