# Shell functions shared by the walks over a realistic update: its making,
# the state it starts from, and the checks of the state a run leaves. Source
# it after e2e-common.sh; the caller calls native_world, or sets world
# (everything the update may change lies below it), game ($world/game),
# subkey and menu_brand and defines old_registry, which lays the registry of
# the installed version 1.00, and run_updater.
#
# The update copies files (one of 9 MiB, written in slices) into three
# folders, copies a file and renames it, deletes one, patches bytes, converts
# 50 saves by rules that are not safe to repeat (ADDSE fills another slot,
# chained MESSAGE rules move a message on again), makes a shortcut and
# records the version.

# The native walks' world: the game, the menu folder and the registry file.
native_world() {
    world="$work/world"
    game="$world/game"
    subkey='Software\Crash\Game'
    menu_brand='壊れない'
    export XDG_DATA_HOME="$world/data"
    export UPDATER_REGISTRY="$world/registry.reg"
}

old_registry() {
    installed_registry '"Version"=dword:000003e8'
}

make_crash_update() {
    mkdir -p "$work/pack" "$work/old/data" "$work/old/bin" "$work/old/save"
    head -c $((9 << 20)) /dev/urandom >"$work/pack/big.dat"
    local lines=('CopyFile = big.dat, big.dat, big.dat') i
    for i in 1 2 3 4 5 6; do
        head -c $((1000 + i * 300)) /dev/urandom >"$work/pack/file$i.dat"
        lines+=("CopyFile = file$i.dat, file$i.dat, $([ $((i % 2)) = 0 ] && echo data || echo bin)\\file$i.dat")
    done
    printf 'fresh\r\n' >"$work/pack/fresh.dat"
    printf 'old\r\n' >"$work/old/bin/file1.dat"
    printf 'stale\r\n' >"$work/old/data/stale.dat"
    head -c 4096 /dev/zero >"$work/old/data/system.dat"
    for i in $(seq 100 149); do make_save "$work/old/save/save$i.sav" $((100 + i % 2 * 100)); done
    write_script 'AppTitle = 壊れない更新' "Registory = $subkey" 'NewVersion = 1020, 1020' \
        'SupportVersion = 1000, 1000' 'SaveVersion = 1000, 1000' "${lines[@]}" \
        'CopyFile = fresh.dat, fresh.dat, data\fresh.dat' \
        'DeleteFile = data\stale.dat' 'RenameFile = data\fresh.dat, data\renamed.dat' \
        'ConvertFile BINARY = data\system.dat, 16, 0102030405' 'ConvertFile ASCII = data\system.dat, 100, PATCHED' \
        'ConvertSave MESSAGE = 200, 300' 'ConvertSave MESSAGE = 100, 200' \
        'ConvertSave ADDSE = 0, -1, 12, 1, 0, 1, 2, 30' \
        "BrandMenuFolder = $menu_brand" 'Shortcut = 壊れない.lnk, 説明, bin\file1.dat, , , ""'
    pack_update
}

reset_world() {
    rm -rf "$world"
    mkdir -p "$world"
    cp -a "$work/old" "$game"
    old_registry
}

checksums() {
    (cd "$world" && find . -type f -print0 | sort -z | xargs -0 md5sum)
}

# Every file of the world is old or new; a new file beside its destination,
# the journal, and the copy that the update renames afterwards may stay
# after a crash, and the patched file may hold its first patch alone (byte
# patches are written in place, and redone by the next run).
expect_old_or_new() {
    checksums >"$work/now.md5"
    awk '
        FILENAME == ARGV[1] { old[$2] = $1; next }
        FILENAME == ARGV[2] { new[$2] = $1; next }
        {
            seen[$2] = 1
            if ($2 in new && ($1 == new[$2] || ($2 in old && $1 == old[$2]))) next
            if ($2 in old && $1 == old[$2]) next
            if ($2 ~ /\.new-é$/ || $2 == "./game/Update.journal-é" || $2 == "./game/data/fresh.dat") next
            if ($2 == "./game/data/system.dat") next
            print "torn or stray: " $2; bad = 1
        }
        END {
            for (path in new) if (!(path in seen) && path in old && old[path] == new[path]) {
                print "lost: " path; bad = 1
            }
            exit bad
        }' "$work/old.md5" "$work/new.md5" "$work/now.md5" >&2 || fail "$1: a file is neither old nor new"
}

# The world is byte for byte that of one clean run.
expect_clean_state() {
    checksums | cmp -s - "$work/new.md5" || fail "$1: not the state of one clean run:
$(checksums | diff "$work/new.md5" - | head)"
}

# Makes the update and runs it once from the old state: $work/old.md5 and
# $work/new.md5 hold the checksums before and after, $changes the number of
# changes of the disk it made when the updater counts them (the crash layer
# writes them to $crash_report as the updater names it, read back from
# $crash_report_file; both $work/report unless set).
prepare_walk() {
    make_crash_update
    reset_world
    checksums >"$work/old.md5"
    UPDATER_CRASH_REPORT="${crash_report:-$work/report}" run_updater --yes
    expect_status 0
    checksums >"$work/new.md5"
    changes=$(awk '$1 == "changes" { print $2 }' "${crash_report_file:-$work/report}" 2>/dev/null || true)
    grep -q '"Version"=hex:fc,03,00,00' "$UPDATER_REGISTRY" || fail "the clean run recorded no version"
    # One more run applies the update again: the saves stay as they are.
    run_updater --yes
    expect_status 0
    checksums | grep ' ./game/save/' | cmp -s - <(grep ' ./game/save/' "$work/new.md5") ||
        fail "applying the update again changed the saves"
    grep ' ./game/save/' "$work/old.md5" | cmp -s - <(grep ' ./game/save/' "$work/new.md5") &&
        fail "the update converted no save"
    return 0
}

# Walks the changes from FROM to $changes, every STRIDE-th: at each the
# updater is ended (kill) or the change fails with EIO (fail), the world is
# checked, and one more run must reach the clean state.
#   walk_changes kill|fail STRIDE FROM
walk_changes() {
    local walk=$1 stride=$2 n failed walked=0
    echo "a clean run makes $changes changes of the disk"
    for ((n = $3; n <= changes; n += stride)); do
        reset_world
        case $walk in
        kill)
            UPDATER_CRASH_AT=$n run_updater --yes
            [ "$status" = 99 ] || fail "change $n: the run was not ended there (status $status)"
            expect_old_or_new "crash at change $n"
            ;;
        fail)
            UPDATER_CRASH_AT=$n UPDATER_CRASH_ERROR=EIO UPDATER_CRASH_REPORT="${crash_report:-$work/report}" \
                run_updater --yes
            failed=$(awk '$1 == "failed" { print $3 }' "${crash_report_file:-$work/report}")
            # The journal's removal comes last, once the version is recorded.
            if [ "$status" = 0 ] && ! [ "$n" = "$changes" ]; then
                fail "change $n ($failed) failed, yet the run reports success"
            fi
            expect_old_or_new "failure of change $n ($failed)"
            ;;
        *)
            fail "unknown walk $walk"
            ;;
        esac
        run_updater --yes
        expect_status 0
        expect_clean_state "the run after change $n"
        walked=$((walked + 1))
    done
    echo "PASS: $walked ${walk}s walked, each followed by a run that reached the clean state"
}
