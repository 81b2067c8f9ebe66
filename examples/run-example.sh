#!/bin/bash
# Runs the updater on the example update: builds updater and updpack, packs
# examples/update/ into UpdateData.dat beside a copy of the updater, lays a
# fresh copy of the example install (examples/install/) and a registry file
# naming it at version 1.00, then starts the updater there, its shortcut
# going to build/example/data/applications. Arguments go to the updater:
# --yes applies without asking.
#   bash examples/run-example.sh [--yes]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tests/setup-machine.sh native
cmake -S . -B build/example-tools -G Ninja -DCMAKE_BUILD_TYPE=Release -DUPDATER_TESTS=OFF >/dev/null
cmake --build build/example-tools --target updpack updater -j2 >/dev/null
tools=build/example-tools

example=$(realpath -m build/example)
rm -rf "$example"
mkdir -p "$example/updater"
cp -R examples/install "$example/game"
cp "$tools/src/main/updater" "$example/updater/updater"
"$tools/tools/updpack" create "$example/updater/UpdateData.dat" examples/update/* >/dev/null

export UPDATER_REGISTRY="$example/registry.reg"
export XDG_DATA_HOME="$example/data"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Shirogane\\Niwa]\n"InstallFolder"="%s"\n"Version"=hex:e8,03,00,00\n' \
    "$example/game" >"$UPDATER_REGISTRY"

echo "== The package $example/updater/UpdateData.dat"
"$tools/tools/updpack" list "$example/updater/UpdateData.dat"
echo "== The game before the update"
(cd "$example/game" && find . -type f | sort)
echo "== The updater"
status=0
"$example/updater/updater" "$@" || status=$?
echo "== The game after the update (updater exit status $status)"
(cd "$example/game" && find . -type f | sort)
echo "== The shortcuts"
(cd "$example" && find data -type f 2>/dev/null | sort)
echo "== The registry file"
cat "$UPDATER_REGISTRY"
exit "$status"
