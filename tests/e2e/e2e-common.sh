# Shell functions shared by the end-to-end scripts of the updater, native and
# under Wine. Source it from bash; the functions read these variables:
#   work          a fresh temporary folder of the run
#   pack_command  the command (an array) that packs the files named after it
#                 into the distribution's UpdateData.dat, run in $work/pack
#   title, subkey the game of standard_update and the registry key the script
#                 names
#   game          the install folder, as a path of this machine

examples=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../../examples")

# The texts of the updater's windows that the scenarios compare.
removal_note='※このバージョンのアップデートの適用では、以前のプレイデータやセーブデータは削除されます。'
carry_note='※このバージョンのアップデートの適用では、以前のプレイデータやセーブデータの引き継ぎが可能です。'
completed='更新は完了しました。'
general_failure='更新ファイル書き込みに失敗しました。ゲームが起動されている場合は、終了してから再度実行して下さい。'

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Writes the given UTF-8 lines as $work/pack/Update.ini, in Shift_JIS.
write_script() {
    mkdir -p "$work/pack"
    printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP932 >"$work/pack/Update.ini"
}

# Packs the files of $work/pack named as arguments, or all of them.
pack_update() {
    (cd "$work/pack" && { [ $# -gt 0 ] || set -- ./*; } && "${pack_command[@]}" "$@") >/dev/null ||
        fail "updpack cannot pack ${*:-$work/pack}"
}

# A package of Update.ini with the given lines and readme.txt, its copy source.
make_update() {
    write_script "$@"
    printf 'new readme\r\n' >"$work/pack/readme.txt"
    pack_update Update.ini readme.txt
}

# The scenarios' update: NewVersion 1020 (1021 for add-contents), save data
# kept from 1010, one copy line. Lines given are added at the end, where a
# setting given again replaces the one before.
standard_update() {
    make_update \
        "AppTitle = $title" \
        "Registory = $subkey" \
        'NewVersion = 1020, 1021' \
        'SupportVersion = 1000, 1000' \
        'SaveVersion = 1010, 1010' \
        'CopyFile = readme.txt, readme.txt, readme.txt' \
        "$@"
}

# The example update of examples/update, with Update.ini replaced by the
# given lines when there are any.
make_example_update() {
    mkdir -p "$work/pack"
    cp "$examples/update/"* "$work/pack/"
    [ $# -eq 0 ] || write_script "$@"
    pack_update
}

# Flips the bits MASK of byte OFFSET of FILE:   flip_bits FILE OFFSET MASK
flip_bits() {
    local byte
    byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
    printf "$(printf '\\%03o' $((byte ^ $3)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# path=source: the install folder's file holds the example update's source,
# or, for "-", what the example install holds, or, for an absolute path, what
# that file holds.
expect_files() {
    local pair path source
    for pair in "$@"; do
        path=${pair%%=*}
        source=${pair#*=}
        case $source in
        -) source="$examples/install/$path" ;;
        /*) ;;
        *) source="$examples/update/$source" ;;
        esac
        cmp -s "$source" "$game/$path" || fail "$path does not hold $source"
    done
}

# data/system.dat of the example install after the example update's patches.
example_patched_system() {
    printf 'version=1.02\r\nmaxsave=99\r\n'
}

# The example update with shortcuts of every kind in place of its own: with
# and without subfolder, icon and arguments, and two entries of one link name,
# of which the second counts. ソ and 表 have a '\' as their second byte; the
# arguments hold blanks, '$', '`', '\' and '%'.
shortcut_arguments='-window -name $HOME `id` C:\ゲーム\ 50%'
make_shortcut_update() {
    make_example_update 'AppTitle = 白銀の庭' 'Registory = Software\Shirogane\Niwa' 'NewVersion = 1020, 1020' \
        'SupportVersion = 1000, 1000' 'SaveVersion = 1000, 1000' \
        'BrandMenuFolder = ソフト表' 'GameMenuFolder = 白銀の庭' \
        'CopyFile = title2.dat, title2.dat, bgm\title2.dat' \
        "Shortcut = 白銀の庭.lnk, 白銀の庭を始めます, niwa.exe, \"$shortcut_arguments\", niwa.ico, bin" \
        'Shortcut = 表示設定.lnk, 古い設定, old.exe, -old, old.ico, old' \
        'Shortcut = 表示設定.lnk, 画面の設定, 表示.exe, , , ""'
}

# The state of the disk -----------------------------------------------------------

# The checksums of every file below FOLDER, paths relative to it.
checksums_of() {
    (cd "$1" && find . -type f -print0 | sort -z | xargs -0 md5sum)
}

# Every file that the checksums in NOW list holds its content of OLD or of
# NEW, and every file that OLD and NEW both list is there. A path that
# matches STRAYS (an awk regular expression) may hold anything, or be gone;
# one that matches GONE may be gone (a name a rename has taken away):
#   expect_old_or_new_sums OLD NEW NOW STRAYS GONE WHAT
expect_old_or_new_sums() {
    strays=$4 gone=$5 awk '
        FILENAME == ARGV[1] { old[$2] = $1; next }
        FILENAME == ARGV[2] { new[$2] = $1; next }
        {
            seen[$2] = 1
            if (($2 in new && $1 == new[$2]) || ($2 in old && $1 == old[$2]) || $2 ~ ENVIRON["strays"]) next
            print "torn or stray: " $2; bad = 1
        }
        END {
            for (path in new) if (!(path in seen) && path in old && path !~ ENVIRON["strays"] &&
                                  path !~ ENVIRON["gone"]) {
                print "lost: " path; bad = 1
            }
            exit bad
        }' "$1" "$2" "$3" >&2 || fail "$6: a file is neither old nor new"
}

# The checksums in NOW are those in EXPECTED:   expect_same_sums EXPECTED NOW WHAT
expect_same_sums() {
    cmp -s "$1" "$2" || fail "$3:
$(diff "$1" "$2" | head)"
}

# The native runs ----------------------------------------------------------------

# Makes the distribution folder $dist with the updater UPDATER packed for by
# UPDPACK, and gives the run its own registry file and instance lock:
#   native_setup UPDATER UPDPACK
native_setup() {
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    dist="$work/アップデート"
    mkdir -p "$dist" "$work/run"
    cp "$1" "$dist/updater"
    pack_command=("$(realpath "$2")" create "$dist/UpdateData.dat")
    export UPDATER_REGISTRY="$work/registry.reg"
    export XDG_RUNTIME_DIR="$work/run"
    # Shortcuts go below the run's folder, never into the user's menu.
    export XDG_DATA_HOME="$work/data"
}

# Writes the registry file (UTF-8 lines, stored in Shift_JIS) with the game's
# key holding the given value lines, next to an unrelated key.
make_registry() {
    {
        printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n"Version"=dword:00000001\n\n'
        printf '[HKEY_CURRENT_USER\\%s]\n' "$subkey"
        printf '%s\n' "$@"
    } | iconv -f UTF-8 -t CP932 >"$UPDATER_REGISTRY"
    cp "$UPDATER_REGISTRY" "$work/registry.before"
}

installed_registry() {
    make_registry "\"InstallFolder\"=\"$game\"" "$@"
}

# Runs the updater with the given arguments and no terminal; keeps its
# standard output in $output, its standard error in $errors and its exit
# status in $status.
run_updater() {
    set +e
    output=$("$dist/updater" "$@" </dev/null 2>"$work/errors")
    status=$?
    set -e
    errors=$(cat "$work/errors")
}

# The diagnostic lines on standard error hold the given text.
expect_diagnostic() {
    grep -qF -- "$1" <<<"$errors" || fail "no diagnostic $1; standard error:
$errors"
}

expect_status() {
    [ "$status" -eq "$1" ] || fail "exit status $status, expected $1; output:
$output
$errors"
}

# The registry file is as it was, but for the update's journal that a run
# which did not finish keeps there.
expect_registry_untouched() {
    grep -av '^"UpdateJournal"=' "$UPDATER_REGISTRY" | cmp -s - "$work/registry.before" ||
        fail "the registry file changed:
$(iconv -f CP932 -t UTF-8 "$UPDATER_REGISTRY")"
}

# Saves ----------------------------------------------------------------------------

# Writes to FILE the smallest well-formed save: no graph entries, no middle
# section, and a state section of 17956 bytes whose message word (at state
# offset 16804) is MESSAGE:   make_save FILE MESSAGE
make_save() {
    {
        printf '\x04\0\0\0\0\0\0\0\0\0\0\0'
        head -c 16804 /dev/zero
        printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($2 & 255)) $(($2 >> 8 & 255)) $(($2 >> 16 & 255)) $(($2 >> 24)))"
        head -c $((17956 - 16808)) /dev/zero
    } >"$1"
}

# The little-endian 32-bit word at byte OFFSET of FILE, in decimal.
word_at() {
    od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '
}

# The 32-bit word at state offset OFFSET of the save FILE made by make_save,
# in decimal:   save_word FILE OFFSET
save_word() {
    word_at "$1" $((12 + $2))
}

# The saves of the example install in FOLDER after the example update: both
# grew by the graph entry +庭の灯り, save000.sav (message 1100) has BGM 12,
# save001.sav (message 1200) has message 1210.
expect_example_saves() {
    local file state=$((8 + 4 + 2400))
    for file in save000.sav save001.sav; do
        [ "$(stat -c %s "$1/$file")" = $((17968 + 2400)) ] || fail "$file did not grow by one graph entry"
        [ "$(word_at "$1/$file" 0)" = 2404 ] && [ "$(word_at "$1/$file" 8)" = 1 ] ||
            fail "$file has no graph section of one entry"
        [ "$(dd if="$1/$file" bs=1 skip=$((12 + 116)) count=10 2>/dev/null | tr -d '\0' | iconv -f CP932 -t UTF-8)" = \
            '+庭の灯り' ] || fail "$file has no entry +庭の灯り"
    done
    [ "$(word_at "$1/save000.sav" $((state + 16720)))" = 12 ] || fail "save000.sav has no BGM 12"
    [ "$(word_at "$1/save000.sav" $((state + 16804)))" = 1100 ] || fail "save000.sav changed its message"
    [ "$(word_at "$1/save001.sav" $((state + 16720)))" = 0 ] || fail "save001.sav got a BGM"
    [ "$(word_at "$1/save001.sav" $((state + 16804)))" = 1210 ] || fail "save001.sav has not message 1210"
}
