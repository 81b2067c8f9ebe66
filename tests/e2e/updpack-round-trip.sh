#!/bin/bash
# updpack end to end: packs a folder of files with Japanese names (表 and ソ
# have 0x5C as their second Shift_JIS byte), lists and extracts the package
# and compares the bytes; then checks that broken packages, unfit names and
# members that would leave the target folder are refused.
#
#   updpack-round-trip.sh UPDPACK...
# UPDPACK... is the command that runs updpack: its path, or a runner and the
# path (run-in-wine.sh ROOT updpack.exe).
set -euo pipefail
updpack=("$@")
. "$(dirname "${BASH_SOURCE[0]}")/updpack-common.sh"

mkdir in out one
printf '[Update]\r\nAppTitle=テスト\r\n' >in/Update.ini
printf 'hyouji' >in/表示.txt
printf 'so' >in/ソフト.dat
printf 'kana' >in/ｱｲｳ.txt
head -c 300000 /dev/urandom >in/big.bin
files=(Update.ini 表示.txt ソフト.dat ｱｲｳ.txt big.bin)

# Round trip -----------------------------------------------------------------
run create pkg.dat "${files[@]/#/in/}"
expect_status 0 "create"

run list pkg.dat
expect_status 0 "list"
# Each member with its SHA-256 as sha256sum tells it, then the digest list:
# a line for the directory and one a member, each 64 digits, two spaces, the
# name in Shift_JIS and a line feed.
{
    echo "layout: long-names, $((${#files[@]} + 1)) members"
    offset=0
    list=$((64 + 2 + 10 + 1))
    for name in "${files[@]}"; do
        size=$(stat -c %s "in/$name")
        printf '%s\t%s\t%s\t%s\n' "$name" "$offset" "$size" "$(sha256sum <"in/$name" | cut -c1-64)"
        offset=$((offset + size))
        list=$((list + 64 + 2 + $(printf '%s' "$name" | iconv -f UTF-8 -t CP932 | wc -c) + 1))
    done
    printf '@SHA256SUMS\t%s\t%s\t-\n' "$offset" "$list"
} >expected.txt
diff -u expected.txt out.txt >&2 || fail "list output"
run verify pkg.dat
expect_status 0 "verify a whole package"
grep -qx "${#files[@]} members match their SHA-256" out.txt || fail "verify printed: $(cat out.txt)"
cp pkg.dat flipped.dat
printf 'X' | dd of=flipped.dat bs=1 seek=$((16 + 6 * 32 + 6 * 8 + 42 + 1000)) conv=notrunc status=none
run verify flipped.dat
expect_status 1 "verify a damaged package"
expect_error 'flipped.dat: member "big.bin" (entry 4) does not match its SHA-256: it is damaged' "verify names it"

run extract pkg.dat -C out
expect_status 0 "extract all"
for name in "${files[@]}"; do
    cmp -s "in/$name" "out/$name" || fail "extracted $name differs"
done
[ "$(ls out | wc -l)" -eq "${#files[@]}" ] || fail "extract wrote other files: $(ls out)"

# A member named in other letter case, alone.
run extract pkg.dat -C one UPDATE.INI
expect_status 0 "extract one"
[ "$(ls one)" = "Update.ini" ] || fail "extract one wrote: $(ls one)"
cmp -s in/Update.ini one/Update.ini || fail "extracted Update.ini differs"

run extract pkg.dat -C one missing.txt
expect_status 1 "extract a missing name"
expect_error 'no member named "missing.txt"' "extract a missing name"

# Short names ----------------------------------------------------------------
run create --short-names short.dat in/表示.txt in/ソフト.dat
expect_status 0 "create with short names"
run list short.dat
head -n 1 out.txt | grep -qx 'layout: short-names, 3 members' || fail "short layout: $(head -n 1 out.txt)"

printf 'x' >in/ソフトウェア.dat  # 16 bytes in Shift_JIS
run create --short-names long.dat in/ソフトウェア.dat
expect_status 1 "too long for short names"
expect_error "at most 15" "too long for short names"
[ ! -e long.dat ] || fail "a refused package was written"

# Refused names --------------------------------------------------------------
mkdir other
printf 'A' >other/UPDATE.INI
run create dup.dat in/Update.ini other/UPDATE.INI
expect_status 1 "names equal but for case"
expect_error "letter case" "names equal but for case"
[ ! -e dup.dat ] || fail "a refused package was written"

run create bad.dat in/missing.txt
expect_status 1 "missing file"
[ ! -e bad.dat ] || fail "a refused package was written"

# Broken packages ------------------------------------------------------------
# Cut into big.bin, which comes before the digest list.
size=$(stat -c %s pkg.dat)
head -c $((size - 1000)) pkg.dat >cut.dat
run list cut.dat
expect_status 1 "list a truncated package"
expect_error 'member "big.bin" (entry 4) runs past the end' "list a truncated package"
mkdir cut
run extract cut.dat -C cut
expect_status 1 "extract a truncated package"
[ -z "$(ls cut)" ] || fail "extract of a truncated package wrote: $(ls cut)"

head -c 100 pkg.dat >directory-cut.dat
run list directory-cut.dat
expect_status 1 "list a package cut inside its directory"
expect_error "directory runs past the end" "list a package cut inside its directory"

# A member named ..\evil.txt would leave the target folder.
{
    printf 'UPDATERPACK2\x01\x00\x00\x00'
    printf '..\\evil.txt'
    head -c 21 /dev/zero
    printf '\x00\x00\x00\x00\x04\x00\x00\x00'
    printf 'evil'
} >evil.dat
mkdir safe
run extract evil.dat -C safe
expect_status 1 "extract a member that leaves the folder"
expect_error "refusing member" "extract a member that leaves the folder"
[ -z "$(ls safe)" ] && [ ! -e evil.txt ] || fail "an unsafe member was written"

run --version
expect_status 0 "--version"
grep -q '^updpack [0-9]' out.txt || fail "--version printed: $(cat out.txt)"
run frobnicate
expect_status 2 "unknown command"

finish "updpack round trip"
