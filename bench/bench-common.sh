# Shared by the benchmark scripts: source it from bash, then call
#   bench_need COMMAND PACKAGE  installs the Debian PACKAGE when COMMAND is
#                               missing (as root; otherwise says what to do)
#   bench_build TARGET...       installs /usr/bin/time when missing, builds
#                               the release TARGETs in $build
#   bench_build_windows TARGET...
#                               builds the release TARGETs of the Windows
#                               build (MinGW-w64) in $build-windows
# which read $repo and $build, and
#   median "TIMES"              the median of the $runs numbers in TIMES
#   ratio A B                   A / B, to two places
#   paired_ratio "TIMES" "BASE" the median of the ratios of the runs of two
#                               contenders in the same round.

bench_need() {
    command -v "$1" >/dev/null && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "$(basename "$0"): $1 is missing (apt-get install $2)" >&2
        exit 1
    fi
    echo "Installing $2..."
    apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$2" >/dev/null
}

bench_build() {
    bench_need /usr/bin/time time
    echo "Building the release $*..."
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DUPDATER_TESTS=OFF >/dev/null
    cmake --build "$build" -j2 --target "$@" >/dev/null
}

bench_build_windows() {
    echo "Building the release $* for Windows..."
    cmake -S "$repo" -B "$build-windows" -G Ninja -DCMAKE_BUILD_TYPE=Release -DUPDATER_TESTS=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" >/dev/null &&
        cmake --build "$build-windows" -j2 --target "$@" >/dev/null
}

median() { printf '%s\n' $1 | sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

paired_ratio() {
    local a=($1) b=($2) i ratios=
    for i in "${!a[@]}"; do ratios+="$(ratio "${a[i]}" "${b[i]}") "; done
    median "$ratios"
}
