#!/bin/bash
# End-to-end runs of the Windows updater's save steps under Wine, driven
# through its windows: saves converted in a save folder with a Japanese name
# that Install.ini names, and the save data removed from the default folder.
#
#   saves_wine_e2e.sh ROOT UPDATER_EXE DRIVER_EXE UPDPACK_EXE SCENARIO
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/wine-e2e-common.sh"
scenario=$5
wine_setup "$1" "$2" "$3" "$4" "e2e-saves-$scenario" 'Software\Saves\セーブ'
title='セーブ'
subkey='Software\Saves\セーブ'
caption="『${title}』アップデート"
mkdir -p "$game"
set_value InstallFolder REG_SZ "$game_windows"

message_offset=16804
bgm_offset=16720

case $scenario in
sweep)
    # Install.ini names ソフト表\セーブ (both with a 0x5C second byte).
    saves="$base/ソフト表/セーブ"
    mkdir -p "$saves/save003.sav"
    make_save "$saves/save001.sav" 100
    make_save "$saves/save002.sav" 300
    printf 'save=%s\r\n' "$base_windows\\ソフト表\\セーブ" | iconv -f UTF-8 -t CP932 >"$game/Install.ini"
    before=$(md5sum <"$saves/save002.sav")
    standard_update 'ConvertSave MESSAGE = 100, 200' 'ConvertSave BGMNO = 0, 150, 7'
    set_value Version REG_BINARY f2030000
    drive dialog "$caption" 1.010 "$game_windows" "『${title}』 を Ver.1.02 にアップデートします。" "$carry_note" apply \
        message "$caption" "$completed" ok
    [ "$(save_word "$saves/save001.sav" $message_offset)" = 200 ] || fail "save001.sav was not converted"
    [ "$(save_word "$saves/save001.sav" $bgm_offset)" = 7 ] || fail "save001.sav has no BGM 7"
    [ "$(md5sum <"$saves/save002.sav")" = "$before" ] || fail "save002.sav changed"
    [ -d "$saves/save003.sav" ] || fail "the folder named like a save is gone"
    actual=$(cd "$saves" && ls | tr '\n' ' ')
    [ "$actual" = 'backup-1010-1020 save001.sav save002.sav save003.sav ' ] || fail "the save folder holds $actual"
    ;;
reset)
    saves="$game/save"
    mkdir -p "$saves"
    for name in syssave.dat qsave.sav qsave.gra save000.sav thumb000.gra save999.sav thumb999.gra save1000.sav config.dat; do
        printf 'x' >"$saves/$name"
    done
    standard_update 'ConvertSave MESSAGE = 100, 200'
    set_value Version REG_BINARY e8030000
    drive dialog "$caption" 1.000 "$game_windows" "『${title}』 を Ver.1.02 にアップデートします。" "$removal_note" apply \
        message "$caption" "$completed" ok
    actual=$(cd "$saves" && ls | tr '\n' ' ')
    [ "$actual" = 'backup-1000-1020 config.dat save1000.sav ' ] || fail "the save folder holds $actual"
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario"
