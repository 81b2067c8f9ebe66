# Shared by the end-to-end scripts of updpack, natively and under Wine. Set
# updpack=(COMMAND...) (its path, or a runner and the path), then source this
# file: it enters a fresh temporary folder, removed at the end, and gives
#   run ARGUMENT...      runs updpack: standard output in out.txt, standard
#                        error in err.txt (Windows line ends removed), the
#                        exit status in $status
#   fail TEXT            counts a failed check and tells which
#   expect_status N WHAT, expect_error TEXT WHAT
#   finish NAME          exits with 1 when a check failed, else says so

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

run() {
    status=0
    "${updpack[@]}" "$@" >out.raw 2>err.raw || status=$?
    tr -d '\r' <out.raw >out.txt
    tr -d '\r' <err.raw >err.txt
}

expect_status() {
    local want=$1 what=$2
    if [ "$status" -ne "$want" ]; then
        fail "$what: exit status $status, expected $want"
        sed 's/^/    /' err.txt >&2
    fi
}

expect_error() {
    local text=$1 what=$2
    grep -qF -- "$text" err.txt || fail "$what: no \"$text\" in: $(cat err.txt)"
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "$1: all checks passed"
}
