#!/bin/bash
# Runs a Windows program under Wine in the prefix kept in ROOT, creating the
# prefix on first use. Exits with the program's exit status.
#   run-in-wine.sh ROOT PROGRAM [ARGUMENT...]
#
# The program's output goes through files: Wine's service processes, started
# by whichever program first meets a fresh wineserver, inherit its standard
# output and outlive it, so a reader waiting for the end of a pipe (ctest)
# would wait for the wineserver to quit.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
updater_wine_env "$1"
shift
updater_wine_prefix
output=$(mktemp "$UPDATER_WINE_ROOT/output.XXXXXX")
errors=$(mktemp "$UPDATER_WINE_ROOT/errors.XXXXXX")
trap 'rm -f "$output" "$errors"' EXIT
status=0
wine "$@" >"$output" 2>"$errors" || status=$?
cat "$output"
cat "$errors" >&2
exit "$status"
