#!/bin/bash
# updpack never destroys what it reads: a package named through another path
# of one of its sources, an extract that would write over the package it
# reads or write two members to one file, and (with --size-limit) a create
# that fails midway over an existing package all leave every file as it was.
#
#   updpack-aliasing.sh [--size-limit] UPDPACK...
# UPDPACK... is the command that runs updpack: its path, or a runner and the
# path (run-in-wine.sh ROOT updpack.exe). --size-limit also makes the write
# fail through a file-size limit, which only a native run can impose.
set -euo pipefail
size_limit=0
if [ "${1:-}" = --size-limit ]; then
    size_limit=1
    shift
fi
updpack=("$@")
. "$(dirname "${BASH_SOURCE[0]}")/updpack-common.sh"

expect_refusal() {
    local what=$1 text=$2
    [ "$status" -eq 1 ] || fail "$what: exit status $status, expected 1"
    grep -qF -- "$text" err.txt || fail "$what: no \"$text\" in: $(cat err.txt)"
}

# The same file under another path: "./notes.txt" and "notes.txt".
printf 'my notes' >notes.txt
run create ./notes.txt notes.txt
expect_refusal "create over its own source" "cannot hold itself"
[ "$(cat notes.txt)" = "my notes" ] || fail "create over its own source changed it: $(cat notes.txt)"

# A package holding a member of its own name, extracted into its folder.
mkdir inner
printf 'inner' >inner/pkg.dat
printf 'other' >inner/other.txt
run create pkg.dat inner/other.txt inner/pkg.dat
[ "$status" -eq 0 ] || fail "create pkg.dat: $(cat err.txt)"
cp pkg.dat pkg.before
run extract pkg.dat
expect_refusal "extract over the package" "over the package being read"
cmp -s pkg.dat pkg.before || fail "extract over the package changed it"
[ ! -e other.txt ] || fail "extract over the package wrote other.txt first"
run extract pkg.dat -C . other.txt
[ "$status" -eq 0 ] && [ "$(cat other.txt)" = other ] || fail "extract of another member: $(cat err.txt)"

# Two member names that become one file name: 0x81CA and 0xFA54 are both
# U+FFE2 (￢).
{
    printf 'UPDATERPACK2\x02\x00\x00\x00'
    printf '\x81\xCA.txt'; head -c 26 /dev/zero
    printf '\xFA\x54.txt'; head -c 26 /dev/zero
    printf '\x00\x00\x00\x00\x03\x00\x00\x00'
    printf '\x03\x00\x00\x00\x03\x00\x00\x00'
    printf 'onetwo'
} >collide.dat
mkdir collide
run extract collide.dat -C collide
expect_refusal "extract of colliding names" "both would be written to one file"
[ -z "$(ls collide)" ] || fail "extract of colliding names wrote: $(ls collide)"

# A create that fails midway leaves the previous package and nothing else.
if [ "$size_limit" -eq 1 ]; then
    head -c 200000 /dev/urandom >big.bin
    printf 'previous package' >old.dat
    status=0
    (trap '' XFSZ; ulimit -f 100; exec "${updpack[@]}" create old.dat big.bin) >out.txt 2>err.txt || status=$?
    expect_refusal "create beyond the size limit" "nothing was changed"
    [ "$(cat old.dat)" = "previous package" ] || fail "a failed create changed the previous package"
    [ "$(ls | grep -c '^old\.dat')" -eq 1 ] || fail "a failed create left: $(ls)"
fi

finish "updpack aliasing"
