#!/bin/bash
# The release: two builds of the same source in different folders give
# byte-identical programs under 1 MiB, both carry a version resource and a
# manifest; signed with a throw-away certificate, updater.exe verifies with
# osslsigncode and runs under Wine.
#
#   release_test.sh WINE_ROOT
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$repo/tests/wine/wine-env.sh"
updater_wine_env "$1"
updater_wine_prefix
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The source as the repository holds it, in two folders of different names.
for copy in one second-copy; do
    mkdir -p "$work/$copy/src"
    (cd "$repo" && git ls-files -z | xargs -0 cp --parents -t "$work/$copy/src")
done
(cd "$work/one/src" && bash tools/release.sh >/dev/null) || fail "the release does not build"
(cd "$work/second-copy/src" && bash tools/release.sh >/dev/null) || fail "the second release does not build"
zip=$(cd "$work/one/src/dist" && ls updater-*-win32.zip)
cmp "$work/one/src/dist/$zip" "$work/second-copy/src/dist/$zip" || fail "two builds of one source differ"

mkdir "$work/unpacked"
(cd "$work/unpacked" && unzip -q "$work/one/src/dist/$zip")
programs="$work/unpacked/${zip%.zip}"
for program in updater.exe updpack.exe; do
    resources=$(i686-w64-mingw32-objdump -p "$programs/$program" | sed -n '/Resource Directory section/,$p')
    grep -q 'ID: 0x000010' <<<"$resources" || fail "$program has no version resource"
    grep -q 'ID: 0x000018' <<<"$resources" || fail "$program has no manifest"
    ! i686-w64-mingw32-objdump -h "$programs/$program" | grep -q '\.debug' || fail "$program is not stripped"
    [ "$(stat -c %s "$programs/$program")" -lt $((1 << 20)) ] || fail "$program is 1 MiB or more"
done

# Signed with a throw-away certificate.
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=updater-test -days 2 -keyout "$work/key.pem" \
    -out "$work/cert.pem" 2>/dev/null
(cd "$work/one/src" && UPDATER_SIGN_CERT="$work/cert.pem" UPDATER_SIGN_KEY="$work/key.pem" \
    bash tools/release.sh >/dev/null) || fail "the signed release does not build"
rm -rf "$work/unpacked" && mkdir "$work/unpacked"
(cd "$work/unpacked" && unzip -q "$work/one/src/dist/$zip")
for program in updater.exe updpack.exe; do
    osslsigncode verify -CAfile "$work/cert.pem" -in "$programs/$program" >"$work/verify.txt" 2>&1 ||
        fail "$program does not verify: $(cat "$work/verify.txt")"
done
version=$(wine "$programs/updater.exe" --version 2>/dev/null | tr -d '\r')
[[ $version =~ ^updater\ [0-9]+\.[0-9]+$ ]] || fail "the signed updater.exe says: $version"
echo "PASS release"
