#!/bin/bash
# Walks every change of the disk that a realistic update makes: at each one
# the updater is ended (kill) or the change fails with EIO (fail), and then
# one more run of the updater must finish the update.
#
#   crash_walk.sh UPDATER_CRASH UPDPACK kill|fail [STRIDE]
#
# The update is crash-common.sh's. After each crash every file is its old
# content or its new one; after each failure the run ends with a non-zero
# status (but for the journal's removal, the last change, once the version
# is recorded); and after one more run the game, the saves, the shortcut and
# the registry are byte for byte those of one clean run. STRIDE walks every
# STRIDE-th change only (default 1).
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../e2e/e2e-common.sh"
native_setup "$1" "$2"
. "$(dirname "${BASH_SOURCE[0]}")/crash-common.sh"
native_world
walk=$3
stride=${4:-1}
prepare_walk
[ "$changes" -gt 100 ] || fail "a clean run made only $changes changes"
echo "a clean run makes $changes changes of the disk"

walked=0
for ((n = 1; n <= changes; n += stride)); do
    reset_world
    case $walk in
    kill)
        UPDATER_CRASH_AT=$n run_updater --yes
        [ "$status" = 99 ] || fail "change $n: the run was not ended there (status $status)"
        expect_old_or_new "crash at change $n"
        ;;
    fail)
        UPDATER_CRASH_AT=$n UPDATER_CRASH_ERROR=EIO UPDATER_CRASH_REPORT="$work/report" run_updater --yes
        failed=$(awk '$1 == "failed" { print $3 }' "$work/report")
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
