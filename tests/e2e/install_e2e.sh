#!/bin/bash
# End-to-end runs of the POSIX updater's copy, delete, rename, byte-patch
# and shortcut steps: the example update in examples/ applied for real to a
# copy of the example install folder, shortcuts of every kind, and a script
# without copy lines, which fails the update and so patches nothing and makes
# no shortcut.
#
#   install_e2e.sh UPDATER UPDPACK SCENARIO
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
native_setup "$1" "$2"
scenario=$3
game="$work/game"
cp -R "$examples/install" "$game"

# The example script's key and caption.
subkey='Software\Shirogane\Niwa'
caption='『白銀の庭』アップデート'

# The install folder holds exactly the files given as "path=source" pairs.
expect_game() {
    expect_files "$@"
    local actual
    actual=$(cd "$game" && find . -type f | sed 's|^\./||' | sort)
    [ "$actual" = "$(printf '%s\n' "${@%%=*}" | sort)" ] || fail "the install folder holds:
$actual"
}

# The desktop entries below the applications folder, one path a line.
menu_files() {
    (cd "$XDG_DATA_HOME/applications" 2>/dev/null && find . -type f | sed 's|^\./||' | sort)
}

# The desktop entry at path below the applications folder holds exactly the
# given lines.
expect_entry() {
    local path=$1
    shift
    diff <(printf '%s\n' "$@") "$XDG_DATA_HOME/applications/$path" >&2 || fail "the desktop entry $path differs"
}

# The lines of a message box as the POSIX layer prints it must follow one
# another in the output.
expect_message() {
    [[ $output == *"$(printf '%s\n' "$@")"* ]] || fail "no message $*; output:
$output"
}

case $scenario in
example | example-add-contents)
    # Copy script.dat (or script_ac.dat), config.txt, ソフト情報.txt and
    # bgm\title2.dat; delete data\old_patch.dat and bgm\title.dat; rename
    # bgm\title2.dat to bgm\title.dat; patch data\system.dat; make a
    # shortcut to ソフト情報.txt.
    make_example_update
    script=script.dat
    registry=()
    if [ "$scenario" = example-add-contents ]; then
        script=script_ac.dat
        registry=('"AddContents"=dword:00000001')
    fi
    installed_registry '"Version"=dword:000003e8' "${registry[@]}"
    run_updater --yes
    expect_status 0
    expect_message "[$caption]" "$completed"
    example_patched_system >"$work/system.dat"
    expect_example_saves "$game/save"
    expect_game "data/script.dat=$script" config.txt=config.txt ソフト情報.txt=ソフト情報.txt \
        bgm/title.dat=title2.dat "data/system.dat=$work/system.dat" "save/save000.sav=$game/save/save000.sav" \
        "save/save001.sav=$game/save/save001.sav" \
        "save/backup-1000-1020/save000.sav=$examples/install/save/save000.sav" \
        "save/backup-1000-1020/save001.sav=$examples/install/save/save001.sav"
    [ "$(menu_files)" = 白銀ソフト/白銀の庭/ソフト情報.desktop ] || fail "the menu holds: $(menu_files)"
    expect_entry 白銀ソフト/白銀の庭/ソフト情報.desktop '[Desktop Entry]' Type=Application Name=ソフト情報 \
        Comment=白銀の庭の更新内容 "Exec=xdg-open \"$game/ソフト情報.txt\""
    grep -qxF '"Version"=hex:fc,03,00,00' "$UPDATER_REGISTRY" || fail "no new version: $(cat "$UPDATER_REGISTRY")"
    ;;
no-copy-lines)
    make_example_update 'AppTitle = 白銀の庭' "Registory = $subkey" 'NewVersion = 1020, 1020' \
        'SupportVersion = 1000, 1000' 'SaveVersion = 1000, 1000' 'DeleteFile = config.txt' \
        'ConvertFile ASCII = data\system.dat, 0, X' 'GameMenuFolder = 白銀の庭' \
        'Shortcut = ソフト情報.lnk, 白銀の庭の更新内容, ソフト情報.txt, , , ""'
    installed_registry '"Version"=dword:000003e8'
    run_updater --yes
    expect_status 7
    expect_diagnostic "the script has no CopyFile line"
    expect_message "[$caption]" "$general_failure"
    diff -r "$examples/install" "$game" >/dev/null || fail "the install folder changed"
    [ ! -e "$XDG_DATA_HOME" ] || fail "a shortcut was made: $(menu_files)"
    expect_registry_untouched
    ;;
shortcuts)
    # 表示.exe can run here; niwa.exe is a Windows program that runs through
    # Wine. Each entry is started as a desktop would start it (gio launch,
    # with a wine that records what it is given): every argument arrives
    # whole.
    make_shortcut_update
    installed_registry '"Version"=dword:000003e8'
    mkdir -p "$game/bin" "$work/bin"
    printf '#!/bin/sh\nprintf "%%s\\n" "$0" "$@" >"%s"\n' "$work/started" >"$game/表示.exe"
    printf '#!/bin/sh\nprintf "%%s\\n" "$@" >"%s"\n' "$work/started" >"$work/bin/wine"
    chmod +x "$game/表示.exe" "$work/bin/wine"
    run_updater --yes --log "$work/run.log"
    expect_status 0
    expect_message "[$caption]" "$completed"
    menu="$XDG_DATA_HOME/applications/ソフト表/白銀の庭"
    grep -qF "shortcut $menu/白銀の庭.desktop -> $game/bin/niwa.exe" "$work/run.log" ||
        fail "the log names no desktop entry: $(cat "$work/run.log")"
    [ "$(menu_files)" = "$(printf '%s\n' ソフト表/白銀の庭/白銀の庭.desktop ソフト表/白銀の庭/表示設定.desktop | sort)" ] ||
        fail "the menu holds: $(menu_files)"
    expect_entry ソフト表/白銀の庭/表示設定.desktop '[Desktop Entry]' Type=Application Name=表示設定 \
        Comment=画面の設定 "Exec=\"$game/表示.exe\""
    for entry in "$menu"/*.desktop; do
        desktop-file-validate "$entry" >&2 || fail "$entry is no valid desktop entry"
    done
    started_by() {
        rm -f "$work/started"
        PATH="$work/bin:$PATH" gio launch "$1" >&2 || fail "$1 does not start"
        for _ in $(seq 100); do [ -s "$work/started" ] && break; sleep 0.1; done
        cat "$work/started" 2>/dev/null
    }
    [ "$(started_by "$menu/白銀の庭.desktop")" = "$(printf '%s\n' "$game/bin/niwa.exe" -window -name '$HOME' '`id`' \
        'C:\ゲーム\' 50%)" ] || fail "wine is given: $(cat "$work/started")"
    [ "$(started_by "$menu/表示設定.desktop")" = "$game/表示.exe" ] || fail "表示.exe is given: $(cat "$work/started")"
    ;;
links)
    # A write never follows a link out of the game: a file linked from
    # elsewhere, or with a further hard link (a backup made with cp -al), is
    # patched as a file of its own; a hard link planted at the journal's
    # name is refused, and the file outside stays as it was.
    make_example_update 'AppTitle = 白銀の庭' "Registory = $subkey" 'NewVersion = 1020, 1020' \
        'SupportVersion = 1000, 1000' 'SaveVersion = 1000, 1000' 'CopyFile = config.txt, config.txt, config.txt' \
        'ConvertFile ASCII = data\system.dat, 0, PATCHED' 'ConvertFile ASCII = data\script.dat, 0, PATCHED'
    printf 'outside\r\n' >"$work/outside.dat"
    ln -sf "$work/outside.dat" "$game/data/system.dat"
    ln "$game/data/script.dat" "$work/backup.dat"
    cp "$game/data/script.dat" "$work/script.before"
    installed_registry '"Version"=dword:000003e8'
    ln "$work/outside.dat" "$game/Update.journal-é"
    run_updater --yes
    [ "$status" != 0 ] || fail "a hard link at the journal's name was written through"
    rm "$game/Update.journal-é"
    cmp -s "$work/outside.dat" <(printf 'outside\r\n') || fail "the file outside the game changed"
    run_updater --yes
    expect_status 0
    [ ! -L "$game/data/system.dat" ] || fail "the link was patched through"
    [ "$(head -c 7 "$game/data/system.dat")" = PATCHED ] || fail "the game's file was not patched"
    [ "$(head -c 7 "$game/data/script.dat")" = PATCHED ] || fail "the game's file was not patched"
    cmp -s "$work/outside.dat" <(printf 'outside\r\n') || fail "the file outside the game changed"
    cmp -s "$work/backup.dat" "$work/script.before" || fail "the hard-linked backup changed"
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario"
