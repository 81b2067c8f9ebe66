#!/bin/bash
# End-to-end runs of the POSIX updater's save steps: the save folder found
# beside the install folder or through Install.ini, then its saves converted
# by the script's rules or its save data put aside, the originals kept in
# the update's backup folder.
#
#   saves_e2e.sh UPDATER UPDPACK SCENARIO
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
native_setup "$1" "$2"
scenario=$3
game="$work/game"
mkdir -p "$game"
subkey='Software\Saves\セーブ'
title='セーブ'

# Rules: message 100 becomes 200, and saves at 0 to 150 get BGM number 7.
rules=('ConvertSave MESSAGE = 100, 200' 'ConvertSave BGMNO = 0, 150, 7')
bgm_offset=16720
message_offset=16804

# Fills FOLDER with the saves every scenario starts from: save001.sav at
# message 100, save002.sav at 300 (no rule acts on it), a folder named like a
# save, and files of the save data that are not numbered saves.
lay_saves() {
    mkdir -p "$1/save003.sav"
    make_save "$1/save001.sav" 100
    make_save "$1/save002.sav" 300
    make_save "$1/save0004.sav" 100
    printf 'sys' >"$1/syssave.dat"
    printf 'thumb' >"$1/thumb001.gra"
    printf 'thumb' >"$1/thumb999.gra"
    printf 'keep' >"$1/save1000.sav"
    touch -d '2020-01-01' "$1"/*
    LC_ALL=C ls -l --time-style=full-iso "$1" >"$work/listing.before"
}

expect_converted() {
    [ "$(save_word "$1/save001.sav" $message_offset)" = 200 ] || fail "save001.sav has message $(save_word "$1/save001.sav" $message_offset)"
    [ "$(save_word "$1/save001.sav" $bgm_offset)" = 7 ] || fail "save001.sav has BGM $(save_word "$1/save001.sav" $bgm_offset)"
}

# Everything in FOLDER is as lay_saves left it, but for the given names.
expect_untouched_but() {
    local folder=$1
    shift
    local pattern='^$|^total '
    local name
    for name in "$@"; do pattern+="|[[:space:]]$name\$"; done
    diff <(grep -Ev "$pattern" "$work/listing.before") \
        <(LC_ALL=C ls -l --time-style=full-iso "$folder" | grep -Ev "$pattern") >&2 ||
        fail "other files of $folder changed"
}

# The backup folder of this update in FOLDER holds exactly the given names,
# each as lay_saves made it.
expect_kept() {
    local folder=$1/$2
    shift 2
    [ "$(cd "$folder" && ls | sort | tr '\n' ' ')" = "$* " ] || fail "$folder holds $(ls "$folder")"
    local name
    for name in "$@"; do
        [ "$(LC_ALL=C ls -l --time-style=full-iso "$folder/$name" | awk '{ print $5, $6, $7 }')" = \
            "$(grep "[[:space:]]$name\$" "$work/listing.before" | awk '{ print $5, $6, $7 }')" ] ||
            fail "$folder/$name is not the original"
    done
}

expect_completed() {
    expect_status 0
    [[ $output == *"$completed"* ]] || fail "not completed: $output"
}

case $scenario in
sweep-default)
    lay_saves "$game/save"
    standard_update "${rules[@]}"
    installed_registry '"Version"=dword:000003f2'
    run_updater --yes
    expect_completed
    [[ $output == *"$carry_note"* ]] || fail "no carry-over note: $output"
    expect_converted "$game/save"
    expect_untouched_but "$game/save" save001.sav backup-1010-1020
    expect_kept "$game/save" backup-1010-1020 save001.sav
    ;;
sweep-install-ini | sweep-relative)
    # Install.ini names a folder of its own, with a line break after it; the
    # default folder is left alone. A relative one lies below the install
    # folder, as the game reads it, not beside the updater.
    if [ "$scenario" = sweep-install-ini ]; then
        folder="$work/セーブ データ"
        named=$folder
    else
        folder="$game/セーブ データ"
        named='セーブ データ'
        lay_saves "$dist/$named"
    fi
    lay_saves "$folder"
    lay_saves "$game/save"
    printf 'save=%s\r\n' "$named" | iconv -f UTF-8 -t CP932 >"$game/Install.ini"
    standard_update "${rules[@]}"
    installed_registry '"Version"=dword:000003f2'
    run_updater --yes
    expect_completed
    expect_converted "$folder"
    expect_untouched_but "$folder" save001.sav backup-1010-1020
    [ "$(save_word "$game/save/save001.sav" $message_offset)" = 100 ] || fail "the default folder was converted"
    [ "$scenario" = sweep-install-ini ] || [ "$(save_word "$dist/$named/save001.sav" $message_offset)" = 100 ] ||
        fail "the folder beside the updater was converted"
    ;;
reset-default | reset-install-ini)
    # Version 1000 is below SaveVersion 1010: the save data goes aside.
    folder="$game/save"
    if [ "$scenario" = reset-install-ini ]; then
        folder="$work/セーブ"
        printf 'save=%s' "$folder" | iconv -f UTF-8 -t CP932 >"$game/Install.ini"
        lay_saves "$game/save"
    fi
    lay_saves "$folder"
    standard_update "${rules[@]}"
    installed_registry '"Version"=dword:000003e8'
    run_updater --yes
    expect_completed
    [[ $output == *"$removal_note"* ]] || fail "no removal note: $output"
    actual=$(cd "$folder" && ls | sort | tr '\n' ' ')
    [ "$actual" = 'backup-1000-1020 save0004.sav save003.sav save1000.sav ' ] || fail "the save folder holds $actual"
    expect_kept "$folder" backup-1000-1020 save001.sav save002.sav syssave.dat thumb001.gra thumb999.gra
    [ "$scenario" = reset-default ] || expect_untouched_but "$game/save"
    ;;
patches-only)
    # Byte patches are no conversion rules: no save is opened or written.
    lay_saves "$game/save"
    printf 'abc' >"$game/data.bin"
    standard_update 'ConvertFile BINARY = data.bin, 0, 41'
    installed_registry '"Version"=dword:000003f2'
    run_updater --yes
    expect_completed
    expect_untouched_but "$game/save"
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario"
