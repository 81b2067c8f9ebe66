#!/bin/bash
# Kills the updater, from outside, right before each of its rename, unlink,
# fsync, fdatasync and syncfs calls and every fifth write (strace's signal
# injection, each call of one clean run in turn), on crash-common.sh's
# update; after each kill every file is old or new, and one more run (none
# after a kill once the update had completed) reaches byte for byte the
# state of one clean run.
#
#   strace_walk.sh UPDATER UPDPACK
#
# Exits with 77 (skipped) where strace cannot trace.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../e2e/e2e-common.sh"
native_setup "$1" "$2"
. "$(dirname "${BASH_SOURCE[0]}")/crash-common.sh"
native_world

# LeakSanitizer cannot work under a tracer: a sanitized updater leaves leaks
# to the other tests.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
command -v strace >/dev/null && strace -qq -o /dev/null true 2>/dev/null || { echo "SKIP: no strace"; exit 77; }
prepare_walk

# The calls of one clean run, by name.
reset_world
strace -f -qq -o "$work/trace" -e trace=rename,renameat,renameat2,unlink,unlinkat,fsync,fdatasync,syncfs,write \
    "$dist/updater" --yes </dev/null >/dev/null 2>&1
calls() {
    grep -c "^[0-9]* *$1(" "$work/trace" || true
}

kills=0
for call in rename renameat renameat2 unlink unlinkat fsync fdatasync syncfs write; do
    count=$(calls "$call")
    echo "$call: $count calls"
    step=1
    [ "$call" = write ] && step=5
    for ((n = step; n <= count; n += step)); do
        reset_world
        (strace -f -qq -o /dev/null -e trace="$call" -e inject="$call:signal=KILL:when=$n" \
            "$dist/updater" --yes </dev/null >/dev/null 2>&1) 2>/dev/null || true
        expect_old_or_new "kill at $call $n"
        finish_and_check "kill at $call $n"
        kills=$((kills + 1))
    done
done
# A clean run makes some 80 of these calls.
[ "$kills" -gt 50 ] || fail "only $kills kills: the trace found too few calls"
echo "PASS: $kills kills, each followed by a run that reached the clean state"
