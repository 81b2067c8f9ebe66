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
prepare_walk
[ "$changes" -gt 100 ] || fail "a clean run made only $changes changes"
walk_changes "$3" "${4:-1}" 1
