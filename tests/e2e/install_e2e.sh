#!/bin/bash
# End-to-end runs of the POSIX updater's copy, delete and rename steps: the
# example update in examples/ applied for real to a copy of the example
# install folder, and a script without copy lines, which fails the update.
#
#   install_e2e.sh UPDATER UPDPACK SCENARIO
set -euo pipefail

updater_binary=$(realpath "$1")
updpack_binary=$(realpath "$2")
scenario=$3
examples=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../../examples")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dist="$work/update"
game="$work/game"
mkdir -p "$dist" "$work/run"
cp "$updater_binary" "$dist/updater"
cp -R "$examples/install" "$game"
export UPDATER_REGISTRY="$work/registry.reg"
export XDG_RUNTIME_DIR="$work/run"

# The example script's key, title and caption.
subkey='Software\Shirogane\Niwa'
caption='『白銀の庭』アップデート'
general_failure='更新ファイル書き込みに失敗しました。ゲームが起動されている場合は、終了してから再度実行して下さい。'

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Packs the example update, its script included, with Update.ini replaced
# by the given UTF-8 lines when there are any.
make_update() {
    mkdir -p "$work/pack"
    cp "$examples/update/"* "$work/pack/"
    if [ $# -gt 0 ]; then
        printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP932 >"$work/pack/Update.ini"
    fi
    (cd "$work/pack" && "$updpack_binary" create "$dist/UpdateData.dat" ./*) >/dev/null
}

make_registry() {
    {
        printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\%s]\n"InstallFolder"="%s"\n' "$subkey" "$game"
        printf '%s\n' "$@"
    } | iconv -f UTF-8 -t CP932 >"$UPDATER_REGISTRY"
    cp "$UPDATER_REGISTRY" "$work/registry.before"
}

run_updater() {
    set +e
    output=$("$dist/updater" --yes </dev/null 2>&1)
    status=$?
    set -e
}

expect_status() {
    [ "$status" -eq "$1" ] || fail "exit status $status, expected $1; output:
$output"
}

# The install folder holds exactly the files given as "path=source" pairs,
# source being a file of the example update.
expect_game() {
    local pair path expected=() actual
    for pair in "$@"; do
        path=${pair%%=*}
        expected+=("$path")
        cmp -s "$examples/update/${pair#*=}" "$game/$path" || fail "$path does not hold ${pair#*=}"
    done
    actual=$(cd "$game" && find . -type f | sed 's|^\./||' | sort)
    [ "$actual" = "$(printf '%s\n' "${expected[@]}" | sort)" ] || fail "the install folder holds:
$actual"
}

expect_untouched() {
    diff -r "$examples/install" "$game" >/dev/null || fail "the install folder changed"
    cmp -s "$UPDATER_REGISTRY" "$work/registry.before" || fail "the registry file changed"
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
    # bgm\title2.dat to bgm\title.dat.
    make_update
    script=script.dat
    registry=()
    if [ "$scenario" = example-add-contents ]; then
        script=script_ac.dat
        registry=('"AddContents"=dword:00000001')
    fi
    make_registry '"Version"=dword:000003e8' "${registry[@]}"
    run_updater
    expect_status 0
    expect_message "[$caption]" '更新は完了しました。'
    expect_game "data/script.dat=$script" config.txt=config.txt ソフト情報.txt=ソフト情報.txt \
        bgm/title.dat=title2.dat
    grep -qxF '"Version"=hex:fc,03,00,00' "$UPDATER_REGISTRY" || fail "no new version: $(cat "$UPDATER_REGISTRY")"
    ;;
no-copy-lines)
    make_update 'AppTitle = 白銀の庭' "Registory = $subkey" 'NewVersion = 1020, 1020' \
        'SupportVersion = 1000, 1000' 'SaveVersion = 1000, 1000' 'DeleteFile = config.txt'
    make_registry '"Version"=dword:000003e8'
    run_updater
    expect_status 1
    expect_message "[$caption]" "$general_failure"
    expect_untouched
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario"
