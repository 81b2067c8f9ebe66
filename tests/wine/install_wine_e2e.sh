#!/bin/bash
# End-to-end runs of the Windows updater's copy, delete, rename, byte-patch
# and shortcut steps under Wine, driven through its windows by
# updater_driver.exe: the example update in examples/ applied for real,
# shortcuts of every kind read back through the shell by read_shortcut.exe,
# a destination that another process holds open the way a running game does,
# which fails the update before any patch or shortcut, an install folder on a
# full drive, each with its cause under the message, and a package with one
# bit flipped in a member, or cut short, which changes nothing. Scenario
# shortcuts-1252 makes the shortcuts under code page 1252, where only the
# explicit code page 932 conversions keep their names and texts right.
#
#   install_wine_e2e.sh ROOT UPDATER_EXE DRIVER_EXE UPDPACK_EXE HOLD_FILE_EXE READ_SHORTCUT_EXE SCENARIO
#
# ROOT keeps the Wine prefix. The scenarios take the updater's mutex, so they
# must not run at the same time as other runs of the updater.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/wine-e2e-common.sh"
hold_file_exe=$(realpath "$5")
read_shortcut_exe=$(realpath "$6")
scenario=$7
code_page=932
if [ "$scenario" = shortcuts-1252 ]; then
    export UPDATER_WINE_LANG=C.UTF-8
    code_page=1252
fi
wine_setup "$1" "$2" "$3" "$4" "e2e-install-$scenario" 'Software\Shirogane\Niwa'
cp -R "$examples/install" "$game"
set_value InstallFolder REG_SZ "$game_windows"
set_value Version REG_BINARY e8030000
caption='『白銀の庭』アップデート'

release="$base/release"
holder=
disk=
menu_folders=()
wine_cleanup() {
    touch "$release"
    [ -z "$holder" ] || wait "$holder" || true
    rm -rf "${menu_folders[@]}"
    if [ -n "$disk" ]; then
        umount "$disk"
        rm -f "$WINEPREFIX/dosdevices/t:"
    fi
}

# The prefix's Programs folder as the shell tells it, as a path of this
# machine; the brand folders of the scenarios in it start empty.
wine "$read_shortcut_exe" >"$work/programs.out" || fail "no Programs folder: $(cat "$work/programs.out")"
programs_windows=$(tr -d '\r\n' <"$work/programs.out")
programs="$WINEPREFIX/drive_c/$(sed 's|^C:\\||; s|\\|/|g' <<<"$programs_windows")"
[ -d "$programs" ] || fail "no folder $programs"
menu_folders=("$programs/白銀ソフト" "$programs/ソフト表")
rm -rf "${menu_folders[@]}"

# The link files in the scenarios' brand folders, one path a line.
menu_files() {
    (cd "$programs" && find 白銀ソフト ソフト表 -type f 2>/dev/null | sort)
}

# Under code page 1252 Wine saves a link's target path text in that code
# page only (ゲーム as ???), and GetPath reads that text back; the link's item
# list holds the path whole, and Windows resolves the target from it.
ignored_link_line='^$'
[ "$code_page" = 932 ] || ignored_link_line='^target='

# The link LINK (relative to the Programs folder) loaded back holds what
# read_shortcut.exe prints as the given lines.
expect_link() {
    local link=$1
    shift
    wine "$read_shortcut_exe" "$link" >"$work/link.out" || fail "$link: $(cat "$work/link.out")"
    diff <(printf '%s\n' "$@" | grep -v "$ignored_link_line") <(grep -v "$ignored_link_line" "$work/link.out") >&2 ||
        fail "the link $link differs"
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
    example_patched_system >"$work/system.dat"
    expect_files data/script.dat=script.dat config.txt=config.txt ソフト情報.txt=ソフト情報.txt \
        bgm/title.dat=title2.dat "data/system.dat=$work/system.dat"
    expect_missing data/old_patch.dat bgm/title2.dat
    expect_example_saves "$game/save"
    [ "$(menu_files)" = 白銀ソフト/白銀の庭/ソフト情報.lnk ] || fail "the menu holds: $(menu_files)"
    expect_link '白銀ソフト\白銀の庭\ソフト情報.lnk' "target=$game_windows\\ソフト情報.txt" \
        "item-list=$game_windows\\ソフト情報.txt" arguments= \
        description=白銀の庭の更新内容 working-folder= icon=,0 show=1
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
        'DeleteFile = data\old_patch.dat' \
        'ConvertFile ASCII = data\system.dat, 0, X' 'GameMenuFolder = 白銀の庭' \
        'Shortcut = ソフト情報.lnk, 白銀の庭の更新内容, ソフト情報.txt, , , ""'
    before=$(version_value)
    wine "$hold_file_exe" "$game_windows\\data\\script.dat" "$base_windows\\release" >"$work/hold.out" 2>&1 &
    holder=$!
    until grep -q holding "$work/hold.out"; do
        kill -0 "$holder" 2>/dev/null || fail "the file cannot be held: $(cat "$work/hold.out")"
        sleep 0.1
    done
    apply message 'エラー' 'ファイルが書き込めません。[data\script.dat]' ok message "$caption" \
        "$general_failure"$'\n'"他のプログラムがファイルを使用しています。[$game_windows\data\script.dat]" ok exit 7
    expect_files config.txt=config.txt data/script.dat=- data/old_patch.dat=- data/system.dat=-
    expect_missing bgm/title2.dat
    [ -z "$(menu_files)" ] || fail "a shortcut was made: $(menu_files)"
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
        message 'エラー' 'ファイルが書き込めません。[data\script.dat]' ok message "$caption" \
        "$general_failure"$'\n''ディスクの空き容量が足りません。[必要 12.1 MB、空き *' ok exit 7
    diff -r "$examples/install" "$game" >&2 || fail "the install folder changed"
    [ "$(version_value)" = "$before" ] || fail "Version changed to $(version_value)"
    ;;
damaged-member | cut-short)
    # One bit of config.txt flipped after it was packed: data\script.dat is
    # written beside its destination first, and neither goes in. A package
    # cut short is refused before the dialog.
    make_example_update
    before=$(version_value)
    if [ "$scenario" = damaged-member ]; then
        list=$(wine "${pack_command[1]}" list "$dist_windows\\UpdateData.dat" | tr -d '\r')
        count=$(sed -n 's/^layout: long-names, \([0-9]*\) members$/\1/p' <<<"$list")
        offset=$(awk -F'\t' '$1 == "config.txt" { print $2 }' <<<"$list")
        flip_bits "$base/アップデート/UpdateData.dat" $((16 + 40 * count + offset)) 0x01
        apply message "$caption" "$general_failure"$'\n''更新データが破損しています。[config.txt]' ok exit 11
    else
        truncate -s -1 "$base/アップデート/UpdateData.dat"
        drive message 'アップデータ' '更新データが破損しています。[UpdateData.dat]' ok exit 11
    fi
    diff -r "$examples/install" "$game" >&2 || fail "the install folder changed"
    [ "$(version_value)" = "$before" ] || fail "Version changed to $(version_value)"
    ;;
shortcuts | shortcuts-1252)
    make_shortcut_update
    apply message "$caption" "$completed" ok code-page "$code_page"
    [ "$(menu_files)" = "$(printf '%s\n' ソフト表/白銀の庭/白銀の庭.lnk ソフト表/白銀の庭/表示設定.lnk | sort)" ] ||
        fail "the menu holds: $(menu_files)"
    expect_link 'ソフト表\白銀の庭\白銀の庭.lnk' "target=$game_windows\\bin\\niwa.exe" \
        "item-list=$game_windows\\bin\\niwa.exe" "arguments=$shortcut_arguments" \
        description=白銀の庭を始めます "working-folder=$game_windows\\bin" "icon=$game_windows\\niwa.ico,0" show=1
    expect_link 'ソフト表\白銀の庭\表示設定.lnk' "target=$game_windows\\表示.exe" \
        "item-list=$game_windows\\表示.exe" arguments= description=画面の設定 \
        working-folder= icon=,0 show=1
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario"
