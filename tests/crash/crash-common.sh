# Shell functions shared by the walks over a realistic update: its making,
# the state it starts from, and the checks of the state a run leaves. Source
# it after e2e-common.sh; the caller calls native_world, or sets world
# (everything the update may change lies below it), game ($world/game),
# stash (the power model's folder, on the world's volume; crash_stash as the
# updater names it), subkey and menu_brand and defines old_registry, which
# lays the registry of the installed version 1.00, and run_updater.
#
# The update copies files (one of 9 MiB, written in slices) into three
# folders, copies a file and renames it, swaps two files' names through a
# third (renames not safe to repeat), deletes one, patches bytes, converts
# 12 saves by rules that are not safe to repeat (ADDSE fills another slot,
# chained MESSAGE rules move a message on again), makes a shortcut and
# records the version.

# The native walks' world: the game, the menu folder and the registry file.
native_world() {
    world="$work/world"
    stash="$work/stash"
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
    printf 'first\r\n' >"$work/old/data/chain_a.dat"
    printf 'second\r\n' >"$work/old/data/chain_b.dat"
    head -c 4096 /dev/zero >"$work/old/data/system.dat"
    for i in $(seq 100 111); do make_save "$work/old/save/save$i.sav" $((100 + i % 2 * 100)); done
    write_script 'AppTitle = 壊れない更新' "Registory = $subkey" 'NewVersion = 1020, 1020' \
        'SupportVersion = 1000, 1000' 'SaveVersion = 1000, 1000' "${lines[@]}" \
        'CopyFile = fresh.dat, fresh.dat, data\fresh.dat' \
        'CreateFolder = movie\op' 'CopyFile = fresh.dat, fresh.dat, movie\op\fresh.dat' \
        'DeleteFile = data\stale.dat' 'RenameFile = data\fresh.dat, data\renamed.dat' \
        'RenameFile = data\chain_a.dat, data\chain_t.dat' 'RenameFile = data\chain_b.dat, data\chain_a.dat' \
        'RenameFile = data\chain_t.dat, data\chain_b.dat' \
        'ConvertFile BINARY = data\system.dat, 16, 0102030405' 'ConvertFile ASCII = data\system.dat, 100, PATCHED' \
        'ConvertSave MESSAGE = 200, 300' 'ConvertSave MESSAGE = 100, 200' \
        'ConvertSave ADDSE = 0, -1, 12, 1, 0, 1, 2, 30' \
        "BrandMenuFolder = $menu_brand" 'Shortcut = 壊れない.lnk, 説明, bin\file1.dat, , , ""'
    pack_update
}

# The world as it was before the update; the power model's stash emptied.
reset_world() {
    rm -rf "$world" "$stash"
    mkdir -p "$world"
    cp -a "$work/old" "$game"
    old_registry
}

checksums() {
    checksums_of "$world"
}

# Every file of the world is old or new; a new file beside its destination,
# the journal (in the registry too), the copy that the update renames
# afterwards and the name that two files swap through may stay after a
# crash, and the patched file may hold its first patch alone (byte patches
# are written in place, and redone by the next run). The files two swap
# their names through, and a save moved into the backup folder before its
# conversion is put in place, may be missing.
expect_old_or_new() {
    checksums >"$work/now.md5"
    expect_old_or_new_sums "$work/old.md5" "$work/new.md5" "$work/now.md5" \
        '\.new-é$|^\./game/(Update\.journal-é|data/fresh\.dat|data/chain_t\.dat|data/system\.dat)$|^\./registry\.(reg|txt)$' \
        '^\./game/data/chain_[ab]\.dat$|^\./game/save/save[0-9]+\.sav$' "$1"
}

# The world is byte for byte that of one clean run.
expect_clean_state() {
    checksums >"$work/now.md5"
    expect_same_sums "$work/new.md5" "$work/now.md5" "$1: not the state of one clean run"
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
    version_recorded || fail "the clean run recorded no version"
    # One more run applies the update again: the saves stay as they are.
    run_updater --yes
    expect_status 0
    checksums | grep ' ./game/save/' | cmp -s - <(grep ' ./game/save/' "$work/new.md5") ||
        fail "applying the update again changed the saves"
    grep ' ./game/save/' "$work/old.md5" | cmp -s - <(grep ' ./game/save/' "$work/new.md5") &&
        fail "the update converted no save"
    return 0
}

# Whether the world is byte for byte that of one clean run.
is_clean_state() {
    checksums | cmp -s - "$work/new.md5"
}

version_recorded() {
    grep -q '"Version"=hex:fc,03,00,00' "$UPDATER_REGISTRY"
}

# Whether a run ended by the walk had completed the update: the version
# recorded and the journal gone (one more run would apply it again).
update_completed() {
    [ ! -e "$game/Update.journal-é" ] && version_recorded
}

# The power cuts tried at change N: the kill (nothing unflushed lost),
# everything unflushed lost, and in turn one file's data alone, one folder's
# entries alone, or a random mix.
power_cuts() {
    local n=$1
    case $((n % 3)) in
    0) echo none all "file:$((n / 3))" ;;
    1) echo none all "folder:$((n / 3))" ;;
    *) echo none all "mix:$n" ;;
    esac
}

# Runs the updater with change N (and, with a full disk, every later one)
# failing with ERROR, and checks that the failure is told.
run_failing() {
    local n=$1 error=$2 persist=$3 failed
    UPDATER_CRASH_AT=$n UPDATER_CRASH_ERROR=$error UPDATER_CRASH_PERSIST=$persist \
        UPDATER_CRASH_REPORT="${crash_report:-$work/report}" run_updater --yes
    failed=$(awk '$1 == "failed" { print $2 " " $3 }' "${crash_report_file:-$work/report}")
    # Only a failure once the version is recorded (the journal's removal)
    # leaves the update complete.
    if [ "$status" = 0 ] && [ -n "$failed" ] && ! version_recorded; then
        fail "change $n ($failed) failed with $error, yet the run reports success"
    fi
    expect_old_or_new "failure of change $n ($failed) with $error"
}

# Walks the changes from FROM to $changes, every STRIDE-th: at each the
# power is cut (power: several choices of what is lost), or the change fails
# with EIO (fail), or the disk is full from it on (full). The world is
# checked, and one more run must reach the clean state.
#   walk_changes power|fail|full STRIDE FROM
walk_changes() {
    local walk=$1 stride=$2 n cut walked=0
    echo "a clean run makes $changes changes of the disk"
    for ((n = $3; n <= changes; n += stride)); do
        case $walk in
        power)
            for cut in $(power_cuts "$n"); do
                reset_world
                UPDATER_CRASH_AT=$n UPDATER_CRASH_POWER=$cut UPDATER_CRASH_STASH="${crash_stash:-$stash}" \
                    run_updater --yes
                [ "$status" = 99 ] || fail "change $n: the run was not ended there (status $status)"
                expect_old_or_new "power cut ($cut) at change $n"
                finish_and_check "power cut ($cut) at change $n"
                walked=$((walked + 1))
            done
            ;;
        fail | full)
            reset_world
            run_failing "$n" "$([ "$walk" = full ] && echo ENOSPC || echo EIO)" "$([ "$walk" = full ] && echo 1)"
            finish_and_check "failure of change $n"
            walked=$((walked + 1))
            ;;
        *)
            fail "unknown walk $walk"
            ;;
        esac
    done
    echo "PASS: $walked runs ended by the $walk walk, each followed by the clean state"
}

# Fails, in turn, every read, folder listing and lock a clean run makes:
# no failure ends with success unless the update is complete, every file is
# old or new, and one more run reaches the clean state.
#   access_walk
access_walk() {
    local kind count n runs=0
    for kind in read list lock; do
        count=$(awk -v kind="${kind}s" '$1 == kind { print $2 }' "${crash_report_file:-$work/report}")
        for ((n = 1; n <= count; n++)); do
            reset_world
            declare -x "UPDATER_CRASH_${kind^^}=$n"
            run_updater --yes
            unset "UPDATER_CRASH_${kind^^}"
            if [ "$status" = 0 ] && ! update_completed; then
                fail "$kind $n failed, yet the run reports success with the update incomplete"
            fi
            [ "$status" != 0 ] || expect_clean_state "the run whose $kind $n failed"
            expect_old_or_new "failure of $kind $n"
            finish_and_check "failure of $kind $n"
            runs=$((runs + 1))
        done
    done
    echo "PASS: $runs reads, listings and locks failed, each followed by the clean state"
}

# One more run, unless the update had completed, must reach the clean state.
finish_and_check() {
    if ! update_completed; then
        run_updater --yes
        expect_status 0
    fi
    expect_clean_state "the run after the $1"
}

# The walk must be able to fail: with every flush counting for nothing,
# losing one folder's entries or one file's data near the end of the update
# must leave, after one more run, some state unlike a clean run's.
#   self_test_walk
self_test_walk() {
    local n cut unflushed diverged=0 tried=0
    for n in $((changes * 3 / 4)) $((changes - 2)); do
        reset_world
        UPDATER_CRASH_AT=$n UPDATER_CRASH_POWER=none UPDATER_CRASH_NO_FLUSH=1 \
            UPDATER_CRASH_STASH="${crash_stash:-$stash}" UPDATER_CRASH_REPORT="${crash_report:-$work/report}" \
            run_updater --yes
        read -r files folders < <(awk '$1 == "unflushed" { print $2, $3 }' "${crash_report_file:-$work/report}")
        for cut in $(seq -f 'folder:%g' 0 $((folders - 1))) $(seq -f 'file:%g' 0 $((files - 1))); do
            reset_world
            UPDATER_CRASH_AT=$n UPDATER_CRASH_POWER=$cut UPDATER_CRASH_NO_FLUSH=1 \
                UPDATER_CRASH_STASH="${crash_stash:-$stash}" run_updater --yes
            update_completed || run_updater --yes
            is_clean_state || diverged=$((diverged + 1))
            tried=$((tried + 1))
        done
    done
    [ "$diverged" -gt 0 ] || fail "with flushes off, none of $tried power cuts left a state unlike a clean run's"
    echo "PASS: with flushes off, $diverged of $tried power cuts left a state unlike a clean run's"
}

# The world is that of one clean run, but for the given paths (relative to
# the world, as ./game/...), which may differ or be missing or extra.
expect_clean_state_but() {
    local context=$1 pattern='^$'
    shift
    local path
    for path in "$@"; do pattern+="|  ${path//./\\.}\$"; done
    diff <(grep -Ev "$pattern" "$work/new.md5") <(checksums | grep -Ev "$pattern") >&2 ||
        fail "$context: not the state of one clean run"
}

# Damages the journal that a killed run left, as FATE says: deleted, cut:K
# or flipped:K (cut at, or a bit flipped in, the K-th of a few bytes spread
# over it), another (replaced by the journal of another update of the game),
# reinstalled (the game installed again over its folder at 1.00, which
# leaves files it does not know), played (the journal intact, but the game
# run meanwhile wrote a file the update copies).
damage_journal() {
    local fate=$1 journal="$game/Update.journal-é" size at=0
    size=$(stat -c %s "$journal" 2>/dev/null || echo 0)
    [[ $fate != *:* ]] || at=$(((${fate#*:} * 2654435761 + size) % (size > 0 ? size : 1)))
    case $fate in
    deleted) rm -f "$journal" ;;
    cut:*) truncate -s "$at" "$journal" ;;
    flipped:*)
        printf "$(printf '\\x%02x' $(($(od -An -tu1 -j "$at" -N1 "$journal") ^ 4)))" |
            dd of="$journal" bs=1 seek="$at" conv=notrunc status=none
        ;;
    another) cp "$work/other-journal" "$journal" ;;
    reinstalled) cp -a "$work/old/." "$game/" ;;
    played) printf 'settings\r\n' >"$game/bin/file3.dat" ;;
    *) fail "unknown fate $fate" ;;
    esac
}

# The journal of another update of the same game (its package holds one
# more file), left by a run of it killed halfway, in $work/other-journal.
make_other_journal() {
    printf 'another\r\n' >"$work/pack/another.txt"
    pack_update
    reset_world
    UPDATER_CRASH_AT=$((changes / 2)) run_updater --yes
    cp "$game/Update.journal-é" "$work/other-journal"
    rm "$work/pack/another.txt"
    pack_update
}

# Whatever becomes of the journal between two runs, the next run leaves the
# game, the saves, the shortcut and the registry as one clean run does. At
# changes spread over the update a run is killed, its journal damaged by
# each fate, and one more run made. A game installed again gets its copied,
# deleted and patched files done again; the names its installer brings back
# that renames done took away stay, as a rename is never done twice.
#   fates_walk
fates_walk() {
    local n fate runs=0
    make_other_journal
    for n in $((changes / 5)) $((changes * 2 / 5)) $((changes * 3 / 5)) $((changes * 4 / 5)); do
        for fate in deleted cut:1 cut:2 cut:3 flipped:1 flipped:2 flipped:3 another reinstalled played; do
            reset_world
            UPDATER_CRASH_AT=$n run_updater --yes
            [ "$status" = 99 ] || fail "change $n: the run was not ended there (status $status)"
            damage_journal "$fate"
            run_updater --yes
            expect_status 0
            if [ "$fate" = reinstalled ]; then
                # The installer brings back the names that renames done
                # before took away, which are never renamed twice.
                expect_clean_state_but "journal $fate after change $n" ./game/data/chain_a.dat \
                    ./game/data/chain_b.dat ./game/data/chain_t.dat
            else
                expect_clean_state "journal $fate after change $n"
            fi
            runs=$((runs + 1))
        done
    done
    echo "PASS: $runs journals damaged, each followed by the clean state"
}

# A save the player writes while an update is interrupted is never
# overwritten, and a new one is converted: the run is killed at the first
# save put in place, the player saves over one save and makes a new one
# (an original, in the old form), and one more run finishes.
#   new_progress_walk
new_progress_walk() {
    local first
    reset_world
    UPDATER_CRASH_TRACE="$work/trace" run_updater --yes
    first=$(awk '$2 == "swap" && $3 ~ /\/save\/save[0-9]+\.sav\.new-/ { print $1; exit }' "$work/trace")
    [ -n "$first" ] || fail "no save is put in place"
    reset_world
    UPDATER_CRASH_AT=$first run_updater --yes
    [ "$status" = 99 ] || fail "change $first: the run was not ended there (status $status)"
    printf 'progress\r\n' >"$game/save/save111.sav"
    cp "$work/old/save/save102.sav" "$game/save/save150.sav"
    run_updater --yes
    expect_status 0
    [ "$(cat "$game/save/save111.sav")" = $'progress\r' ] || fail "the player's save was overwritten"
    cmp -s "$game/save/save150.sav" "$game/save/save102.sav" || fail "the new save was not converted"
    expect_clean_state_but "saves written meanwhile" ./game/save/save111.sav ./game/save/save150.sav \
        ./game/save/backup-1000-1020/save150.sav
    echo "PASS: the player's save stayed and the new one was converted"
}
