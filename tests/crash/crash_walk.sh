#!/bin/bash
# Walks every change of the disk that a realistic update makes: at each one
# the power is cut (what was not flushed may be lost: nothing, everything,
# one file's data, one folder's entries, or a mix), or the change fails with
# EIO, or the disk is full from it on; then one more run of the updater must
# finish the update. selftest walks a few changes with every flush counting
# for nothing and must see the update go wrong.
#
#   crash_walk.sh UPDATER_CRASH UPDPACK power|fail|full|selftest|fates|accesses [STRIDE]
#
# The update is crash-common.sh's. After each crash every file is its old
# content or its new one; after each failure the run ends with a non-zero
# status (but for the journal's removal, the last change, once the version
# is recorded); and after one more run the game, the saves, the shortcut and
# the registry are byte for byte those of one clean run. STRIDE walks every
# STRIDE-th change only (default 1). fates damages the journal between two
# runs in every way crash-common.sh's fates_walk lists, and lets the player
# save while an update is interrupted; accesses fails each read, folder
# listing and lock in turn. The walks need no real flush, so they
# run in memory where the system has a tmpfs.
set -euo pipefail

[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/e2e-common.sh"
native_setup "$1" "$2"
. "$(dirname "${BASH_SOURCE[0]}")/crash-common.sh"
native_world
prepare_walk
[ "$changes" -gt 100 ] || fail "a clean run made only $changes changes"
case $3 in
selftest) self_test_walk ;;
fates)
    fates_walk
    new_progress_walk
    ;;
accesses) access_walk ;;
*) walk_changes "$3" "${4:-1}" 1 ;;
esac
