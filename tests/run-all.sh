#!/bin/bash
# Runs every test on a Debian machine, installing first what is missing:
# the native unit and end-to-end tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the Windows build's unit and end-to-end
# tests under Wine. All of them run in one ctest run, whose summary closes
# the output; the exit status is non-zero when any test failed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tests/setup-machine.sh all

cmake --preset native-asan
cmake --build --preset native-asan
cmake --preset windows
cmake --build --preset windows

# One ctest run over both build trees. The Windows tests are listed when the
# run starts (the first listing creates the Wine prefix).
mkdir -p build/all
printf 'subdirs("../native-asan" "../windows")\n' >build/all/CTestTestfile.cmake
status=0
(cd build/all && ctest --output-on-failure --timeout 600 -j2) || status=$?

# End the Wine prefix's server and services, which would linger a while.
. tests/wine/wine-env.sh
updater_wine_env build/windows/wine
wineserver -k 2>/dev/null || true
exit "$status"
