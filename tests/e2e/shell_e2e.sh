#!/bin/bash
# End-to-end runs of the POSIX updater: start-up, the version gate with its
# messages and question, the confirmation dialog on the terminal, and the
# registry file before and after.
#
#   shell_e2e.sh UPDATER UPDPACK SCENARIO
#
# Each scenario builds its own distribution folder (the updater, Update.ini
# inside UpdateData.dat), an install folder and a registry file in a fresh
# temporary folder, runs the updater there and compares what it printed, its
# exit status and the registry file afterwards.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/e2e-common.sh"
native_setup "$1" "$2"
scenario=$3
game="$work/game"
mkdir -p "$game"

# The key's name has ソ and 表, whose second byte is '\'.
subkey='Software\ソフト表\テストゲーム'
title='テストゲーム'
caption="『${title}』アップデート"

expect_output() {
    local expected
    expected=$(printf '%s\n' "$@")
    [ "$output" = "$expected" ] || fail "output differs:
--- expected
$expected
--- actual
$output"
}

# The registry file is the one before with the game's Version line set to
# hex bytes; every other line stays.
expect_registry_version() {
    local bytes=$1
    local expected
    expected=$(iconv -f CP932 -t UTF-8 "$work/registry.before" |
        sed '/^"Version"=dword:00000001$/!{/^"Version"=/d}')
    local actual
    actual=$(iconv -f CP932 -t UTF-8 "$UPDATER_REGISTRY")
    local line="\"Version\"=hex:$bytes"
    grep -qxF "$line" <<<"$actual" || fail "no line $line in:
$actual"
    [ "$(grep -vxF "$line" <<<"$actual")" = "$expected" ] || fail "other lines of the registry changed:
$actual"
}

dialog_lines() {
    local version=$1 sentence_version=$2 note=$3
    printf '%s\n' \
        "[$caption]" \
        "現在のバージョン: $version" \
        "インストール先: $game" \
        "『${title}』 を $sentence_version にアップデートします。" \
        "$note"
}

question='適用しますか？ (y: 適用 / n: 終了)'

# The run applied the update: status 0, the given lines, then the dialog
# (installed version, target, save-data note) answered 適用, the completion,
# and the registry's Version set to BYTES:
#   expect_applied INSTALLED TARGET NOTE BYTES [LINE...]
expect_applied() {
    expect_status 0
    expect_output "${@:5}" "$(dialog_lines "$1" "$2" "$3")" "$question yes" "[$caption]" "$completed"
    expect_registry_version "$4"
}

case $scenario in
script-missing)
    # A package without Update.ini, and none beside the updater.
    mkdir -p "$work/pack"
    printf 'x' >"$work/pack/other.txt"
    pack_update other.txt
    installed_registry '"Version"=dword:000003e8'
    run_updater --yes
    expect_status 4
    expect_diagnostic "Update.ini: found neither beside the updater nor in UpdateData.dat"
    expect_output '[アップデータ]' '設定ファイルが見つかりません。処理を中断します。'
    expect_registry_untouched
    ;;
script-malformed)
    standard_update 'AppTitle'
    installed_registry '"Version"=dword:000003e8'
    run_updater --yes
    expect_status 4
    expect_diagnostic "Update.ini(7): AppTitle needs '=' before its fields"
    expect_output '[アップデータ]' '設定ファイルにエラーがありました。処理を中断します。'
    expect_registry_untouched
    # Names that would leave the install folder make the script malformed:
    # nothing outside is read, written or deleted.
    printf 'outside\n' >"$work/outside.txt"
    mkdir -p "$game"
    for line in 'DeleteFile = ..\outside.txt' "DeleteFile = $work/outside.txt" \
        'CopyFile = readme.txt, readme.txt, ..\outside.txt' 'CopyFile = ..\outside.txt, a, a.txt' \
        'RenameFile = ..\outside.txt, moved.txt' 'ConvertFile ASCII = ..\outside.txt, 0, X'; do
        standard_update "$line"
        run_updater --yes
        expect_status 4
        expect_diagnostic 'would leave its folder'
        [ "$(cat "$work/outside.txt")" = outside ] || fail "$line touched the file outside"
        [ -z "$(ls -A "$game")" ] || fail "$line wrote into the game: $(ls -A "$game")"
    done
    ;;
not-installed)
    standard_update
    # The key is there, but names no install folder.
    make_registry '"Version"=dword:000003e8'
    run_updater --yes
    expect_status 5
    expect_diagnostic "has no InstallFolder"
    not_installed="『${title}』がインストールされていません。インストールが終了してから再度アップデートを行って下さいませ。"
    expect_output "[$caption]" "$not_installed"
    expect_registry_untouched
    rm "$UPDATER_REGISTRY"
    run_updater --yes
    expect_status 5
    expect_diagnostic "registry.reg: No such file or directory"
    [ ! -e "$UPDATER_REGISTRY" ] || fail "a registry file was made"
    # An install folder that is not there (any more): the same message,
    # with the folder named under it.
    installed_registry '"Version"=dword:000003e8'
    rmdir "$game"
    run_updater --yes
    expect_status 5
    expect_output "[$caption]" \
        "『${title}』がインストールされていません。インストールが終了してから再度アップデートを行って下さいませ。" \
        "インストール先のフォルダが見つかりません。[$game]"
    expect_diagnostic "updater: インストール先のフォルダが見つかりません。[$game]"
    expect_registry_untouched
    # A registry file saved as UTF-8 is told so, with the way to convert it,
    # and names no game.
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\%s]\n"InstallFolder"="%s/ゲーム"\n' "$subkey" "$work" >"$UPDATER_REGISTRY"
    mkdir -p "$work/ゲーム"
    run_updater --yes
    expect_status 5
    expect_diagnostic "is UTF-8 text; it must be saved as Shift_JIS (code page 932), as iconv -f UTF-8 -t CP932"
    expect_output "[$caption]" "$not_installed"
    ;;
too-old)
    standard_update 'NewVersion = 1020, 1020' 'SupportVersion = 1015, 1015' 'SaveVersion = 1000, 1000'
    installed_registry '"Version"=dword:000003e8'
    run_updater --yes
    expect_status 6
    expect_diagnostic "installed version 1000 is below SupportVersion 1015"
    expect_output "[$caption]" 'このパッチを適用する前に Ver.1.01 以降にアップデートを行って下さい。'
    expect_registry_untouched
    ;;
applied-cancel)
    standard_update
    installed_registry '"Version"=hex:fc,03,00,00'
    run_updater
    expect_status 1
    expect_output "[$caption]" '既にこのパッチは適用済みです。' '更に上書きで適用しますか？'
    expect_registry_untouched
    ;;
applied-ok)
    standard_update
    installed_registry '"Version"=dword:000003fc'
    run_updater --yes
    expect_applied 1.020 Ver.1.02 "$carry_note" fc,03,00,00 \
        "[$caption]" '既にこのパッチは適用済みです。' '更に上書きで適用しますか？' 'OK? yes'
    ;;
output-closed)
    # The reader of the output is gone before the first line: the update
    # still runs to its end and records the version.
    standard_update
    installed_registry '"Version"=dword:000003e8'
    set +e
    { sleep 0.2; exec "$dist/updater" --yes </dev/null 2>"$work/errors"; } | true
    status=${PIPESTATUS[0]}
    set -e
    expect_status 0
    expect_registry_version fc,03,00,00
    ;;
dialog-apply)
    # No Version value: installed counts as 1000, below SaveVersion.
    standard_update
    installed_registry '"AddContents"=dword:00000000'
    run_updater --yes
    expect_applied 1.000 Ver.1.02 "$removal_note" fc,03,00,00
    ;;
dialog-end)
    standard_update
    installed_registry '"Version"=dword:000003f2'
    run_updater
    expect_status 1
    expect_output "$(dialog_lines 1.010 Ver.1.02 "$carry_note")"
    expect_registry_untouched
    ;;
add-contents)
    standard_update
    installed_registry '"Version"=hex:e8,03,00,00' '"AddContents"=hex:01,00,00,00'
    run_updater --yes
    expect_applied 1.000 Ver.1.021 "$removal_note" fd,03,00,00
    ;;
version-unrecorded)
    # The registry file is larger than the updater may write (ulimit -f, in
    # KiB): the update is applied, its version cannot be recorded, and the
    # registry error says so; the file stays as it was.
    standard_update
    installed_registry '"Version"=dword:000003e8' "; $(printf '%012000d' 0)"
    set +e
    output=$( (trap '' XFSZ && ulimit -f 8 && exec "$dist/updater" --yes) </dev/null 2>"$work/errors")
    status=$?
    set -e
    errors=$(cat "$work/errors")
    expect_status 8
    expect_diagnostic "Version 1020 cannot be recorded"
    expect_output "$(dialog_lines 1.000 Ver.1.02 "$removal_note")" "$question yes" "[$caption]" "$completed" \
        "[$caption]" 'レジストリエラー'
    expect_registry_untouched
    ;;
second-instance)
    # The first instance waits for its answer on a terminal; meanwhile a
    # second one must end at once, silently, with nothing changed.
    standard_update
    installed_registry '"Version"=dword:000003e8'
    mkfifo "$work/answers"
    script -qefc "'$dist/updater'" /dev/null <"$work/answers" >"$work/first.out" 2>&1 &
    first=$!
    exec 3>"$work/answers"
    for _ in $(seq 600); do
        grep -q '適用しますか' "$work/first.out" && break
        kill -0 "$first" 2>/dev/null || break
        sleep 0.1
    done
    grep -q '適用しますか' "$work/first.out" || fail "the first instance asks nothing: $(cat "$work/first.out")"
    run_updater --yes
    expect_status 3
    expect_output ''
    expect_diagnostic "another updater is running"
    expect_registry_untouched
    # One in another session (its own runtime folder) meets the install
    # folder's lock; one whose instance lock path is taken by a folder
    # refuses too, never running unguarded.
    mkdir -p "$work/other-run" "$work/planted/VELDOROUPDATE Ver1.10.lock"
    XDG_RUNTIME_DIR="$work/other-run" run_updater --yes
    expect_status 3
    expect_diagnostic "another updater is working on $game"
    XDG_RUNTIME_DIR="$work/planted" run_updater --yes
    expect_status 3
    expect_registry_untouched
    printf 'y\n' >&3
    exec 3>&-
    set +e
    wait "$first"
    status=$?
    set -e
    output=$(tr -d '\r' <"$work/first.out")
    expect_status 0
    grep -qxF '更新は完了しました。' <<<"$output" || fail "no completion: $output"
    expect_registry_version fc,03,00,00
    ;;
journal-not-a-file)
    # A folder or a pipe where the journal goes is named as such, and fails
    # the update as a folder that takes no file does; gone, the update runs.
    standard_update
    installed_registry '"Version"=dword:000003e8'
    for kind in mkdir mkfifo; do
        "$kind" "$game/Update.journal-é"
        run_updater --yes
        expect_status 7
        expect_diagnostic "the update journal cannot be created in $game: Update.journal-* there is no file but a folder"
        expect_output "[$caption]" "$general_failure"
        expect_registry_untouched
        rm -r "$game/Update.journal-é"
    done
    run_updater --yes
    expect_status 0
    ;;
check)
    # The plan of the program's own folder, and of a folder named; nothing
    # is applied or recorded.
    standard_update
    installed_registry '"Version"=dword:000003e8'
    run_updater --check
    expect_status 0
    grep -qF '"AppTitle": "テストゲーム"' <<<"$output" || fail "no title in the plan: $output"
    grep -qF '"destination": "readme.txt"' <<<"$output" || fail "no copy entry in the plan: $output"
    expect_registry_untouched
    # A warning alone passes, but not with --strict.
    standard_update 'Regestry = Software\Other'
    run_updater --check
    expect_status 0
    run_updater --check --strict
    expect_status 2
    expect_diagnostic 'error: --strict: the warnings above fail the check'
    standard_update 'AppTitle'
    run_updater --check "$dist"
    expect_status 2
    grep -qF "Update.ini(7): error 4: AppTitle needs '=' before its fields" <<<"$errors" || fail "no reason: $errors"
    # The same check as updpack's: a package cut short fails it.
    standard_update
    truncate -s -5 "$dist/UpdateData.dat"
    run_updater --check
    expect_status 2
    grep -qF 'UpdateData.dat: error: member "@SHA256SUMS" (entry 2) runs past the end of the file' <<<"$errors" ||
        fail "no member named: $errors"
    run_updater --check "$work/missing"
    expect_status 2
    grep -qF "$work/missing: the folder cannot be entered" <<<"$errors" || fail "no folder named: $errors"
    ;;
log)
    # A complete run, on a terminal, and a failed copy, each appended to the
    # log with its time, its steps and its outcome.
    standard_update 'CopyFile = readme.txt, readme.txt, sub\readme.txt'
    installed_registry '"Version"=dword:000003f2'
    mkdir -p "$game/sub"
    script -qefc "'$dist/updater' --yes --log '$work/run.log'" /dev/null </dev/null >"$work/terminal" ||
        fail "the run on a terminal failed: $(cat "$work/terminal")"
    # The progress line writes paths as Linux does.
    grep -qF '% sub/readme.txt' "$work/terminal" || fail "no progress of sub/readme.txt: $(cat -v "$work/terminal")"
    standard_update 'CopyFile = missing.txt, missing.txt, missing.txt'
    run_updater --yes --log "$work/run.log"
    expect_status 7
    expect_diagnostic "source missing.txt is found neither beside the updater nor in UpdateData.dat"
    log=$(sed 's/^[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] //' "$work/run.log")
    [ "$(grep -c '^updater [0-9.]* started$' <<<"$log")" = 2 ] || fail "the log holds not two runs: $log"
    [ "$(wc -l <"$work/run.log")" = "$(grep -c '^[0-9]\{4\}-' "$work/run.log")" ] || fail "a line has no time: $log"
    [ "$(grep -c '^registry: InstallFolder' <<<"$log")" = 2 ] || fail "not one registry line a run: $log"
    # Paths appear as Linux writes them.
    for line in "program folder: $dist/" \
        "registry: InstallFolder \"$game\", Version 1010, AddContents 0" \
        'edition: standard; installed 1010, NewVersion 1020, SupportVersion 1000, SaveVersion 1010' \
        "staged $game/sub/readme.txt (12 bytes from readme.txt in UpdateData.dat)" "replaced $game/sub/readme.txt" \
        'registry: Version 1020 recorded' 'outcome: applied, exit status 0' \
        'updater: source missing.txt is found neither beside the updater nor in UpdateData.dat' \
        'outcome: a file could not be written, exit status 7'; do
        grep -qxF -- "$line" <<<"$log" || fail "no line $line in the log:
$log"
    done
    ;;
program-folder-outside-sjis)
    # The updater started from a folder whose name Shift_JIS cannot hold, as
    # a download folder under a user name such as Hélène: the script and the
    # package are found relative to it, and the update is applied.
    standard_update
    installed_registry '"Version"=dword:000003e8'
    mv "$dist" "$work/Hélène"
    dist="$work/Hélène"
    run_updater --check
    expect_status 0
    grep -qF '"AppTitle": "テストゲーム"' <<<"$output" || fail "no title in the plan of the folder: $output"
    run_updater --check "$dist"
    expect_status 0
    run_updater --yes
    expect_applied 1.000 Ver.1.02 "$removal_note" fc,03,00,00
    ;;
command-line)
    run_updater --help
    expect_status 0
    grep -q '^Usage: updater' <<<"$output" || fail "no usage: $output"
    # The README's table of statuses is the one the program lists.
    diff <(sed -n '/^| status | meaning |$/,/^$/p' "$examples/../README.md" | grep '^| [0-9]') \
        <(sed -n '/^Exit status:$/,/^With --check:$/p' <<<"$output" | sed -n 's/^  \([0-9]*\)  \(.*\)$/| \1 | \2 |/p') >&2 ||
        fail "the README's exit statuses differ from --help's"
    run_updater --version
    expect_status 0
    [[ $output =~ ^updater\ [0-9]+\.[0-9]+$ ]] || fail "no version: $output"
    run_updater --log
    expect_status 2
    run_updater --yes --log "$work/no-such-folder/run.log"
    expect_status 2
    expect_diagnostic 'the log file cannot be opened'
    [[ $errors != *Usage:* ]] || fail "the usage follows a log file that cannot be opened: $errors"
    run_updater --frobnicate
    expect_status 2
    run_updater --check a b
    expect_status 2
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario"
