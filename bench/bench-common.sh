# Shared by the benchmark scripts: source it from bash, then call
#   bench_build TARGET...   installs /usr/bin/time when missing, builds the
#                           release TARGETs in $build
# which reads $repo and $build, and
#   median "TIMES"          the median of the $runs numbers in TIMES.

bench_build() {
    if [ ! -x /usr/bin/time ]; then
        if [ "$(id -u)" -eq 0 ]; then
            apt-get install -y --no-install-recommends time >/dev/null
        else
            echo "$(basename "$0"): /usr/bin/time is missing (apt-get install time)" >&2
            exit 1
        fi
    fi
    echo "Building the release $*..."
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DUPDATER_TESTS=OFF >/dev/null
    cmake --build "$build" -j2 --target "$@" >/dev/null
}

median() { printf '%s\n' $1 | sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }
