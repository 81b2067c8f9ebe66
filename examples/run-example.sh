#!/bin/bash
# Builds updpack, packs the example update in examples/update/ into
# build/example/UpdateData.dat and lists the package.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tests/setup-machine.sh native
cmake -S . -B build/example-tools -G Ninja -DCMAKE_BUILD_TYPE=Release -DUPDATER_TESTS=OFF >/dev/null
cmake --build build/example-tools --target updpack -j2 >/dev/null
updpack=build/example-tools/tools/updpack

mkdir -p build/example
package=build/example/UpdateData.dat
"$updpack" create "$package" examples/update/*
echo "Built $package from examples/update/:"
"$updpack" list "$package"
