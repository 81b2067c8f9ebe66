#!/bin/bash
# Runs a Windows program under Wine in the prefix kept in ROOT, creating the
# prefix on first use. Exits with the program's exit status.
#   run-in-wine.sh ROOT PROGRAM [ARGUMENT...]
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
updater_wine_env "$1"
shift
updater_wine_prefix
exec wine "$@"
