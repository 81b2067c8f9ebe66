#!/bin/bash
# Runs every test on a Debian machine, installing first what is missing:
# the release configuration built by GCC and clang with every warning an
# error, the native unit and end-to-end tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, every fuzz target for a short smoke run, and
# the Windows build's unit and end-to-end tests under Wine. All of them run
# in one ctest run, whose summary closes the output; the exit status is
# non-zero when any test failed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tests/setup-machine.sh all

cmake --preset native-asan -DUPDATER_WERROR=ON
cmake --build --preset native-asan
# The programs optimised as for a release, by GCC and by clang, every
# warning an error: the optimisers warn of what no other build shows.
cmake --preset native-release
cmake --build --preset native-release
cmake --preset native-release-clang
cmake --build --preset native-release-clang
cmake --preset fuzz -DUPDATER_WERROR=ON
cmake --build --preset fuzz
cmake --preset windows -DUPDATER_WERROR=ON
cmake --build --preset windows

# Create the Wine prefix and keep one wineserver up for the whole run: a
# program started just while an idle server shuts down can fail to start.
(
    . tests/wine/wine-env.sh
    updater_wine_env build/windows/wine
    updater_wine_prefix
    wineserver -p
)

# One ctest run over both build trees.
mkdir -p build/all
printf 'subdirs("../native-asan" "../fuzz" "../windows")\n' >build/all/CTestTestfile.cmake
status=0
(cd build/all && ctest --output-on-failure --timeout 600 -j2) || status=$?

# End the Wine prefix's server and services, which would linger a while.
. tests/wine/wine-env.sh
updater_wine_env build/windows/wine
wineserver -k 2>/dev/null || true
exit "$status"
