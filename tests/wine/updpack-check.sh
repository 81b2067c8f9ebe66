#!/bin/bash
# updpack.exe check under Wine: the reference example's plan and every
# refusal of the native run, from the same script.
#   updpack-check.sh WINE_ROOT UPDPACK_EXE
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exec bash "$here/../e2e/updpack-check.sh" "$here/run-in-wine.sh" "$1" "$2"
