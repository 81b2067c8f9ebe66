#!/bin/bash
# End-to-end runs of the POSIX updater's copy, delete and rename steps: the
# example update in examples/ applied for real to a copy of the example
# install folder, and a script without copy lines, which fails the update.
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
    expect_game "data/script.dat=$script" config.txt=config.txt ソフト情報.txt=ソフト情報.txt \
        bgm/title.dat=title2.dat
    grep -qxF '"Version"=hex:fc,03,00,00' "$UPDATER_REGISTRY" || fail "no new version: $(cat "$UPDATER_REGISTRY")"
    ;;
no-copy-lines)
    make_example_update 'AppTitle = 白銀の庭' "Registory = $subkey" 'NewVersion = 1020, 1020' \
        'SupportVersion = 1000, 1000' 'SaveVersion = 1000, 1000' 'DeleteFile = config.txt'
    installed_registry '"Version"=dword:000003e8'
    run_updater --yes
    expect_status 1
    expect_message "[$caption]" "$general_failure"
    diff -r "$examples/install" "$game" >/dev/null || fail "the install folder changed"
    expect_registry_untouched
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS $scenario"
