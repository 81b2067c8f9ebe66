#!/bin/bash
# Builds the Windows programs to hand to players and packs them, with the
# README and the publisher's reference, into dist/updater-VERSION-win32.zip.
#
#   tools/release.sh [BUILD_FOLDER]
#
# The programs come from the windows-release preset (BUILD_FOLDER instead of
# build/windows-release when given): optimised for size, stripped, and
# byte-identical whatever folder they are built in. The archive's times are
# SOURCE_DATE_EPOCH (default: the last commit's time), so it is reproducible
# too.
#
# Signing, when the environment names a certificate: Authenticode with
# SHA-256 through osslsigncode.
#   UPDATER_SIGN_PKCS12, UPDATER_SIGN_PASSWORD    a PKCS#12 file and its password
#   UPDATER_SIGN_CERT, UPDATER_SIGN_KEY           or a PEM certificate and key
#   UPDATER_SIGN_TIMESTAMP_URL                    a time-stamp server (optional)
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
build=${1:-build/windows-release}
version=$(sed -n 's/^project(updater VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name="updater-$version-win32"

cmake --preset windows-release -B "$build" >/dev/null
cmake --build "$build" --target updater updpack >/dev/null

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/$name"
cp "$build/src/main/updater.exe" "$build/tools/updpack.exe" "$stage/$name/"

sign() {
    local program=$1 options=(-h sha256 -n updater)
    if [ -n "${UPDATER_SIGN_PKCS12:-}" ]; then
        options+=(-pkcs12 "$UPDATER_SIGN_PKCS12" -pass "${UPDATER_SIGN_PASSWORD:-}")
    else
        options+=(-certs "$UPDATER_SIGN_CERT" -key "$UPDATER_SIGN_KEY")
    fi
    [ -z "${UPDATER_SIGN_TIMESTAMP_URL:-}" ] || options+=(-ts "$UPDATER_SIGN_TIMESTAMP_URL")
    osslsigncode sign "${options[@]}" -in "$program" -out "$program.signed" >/dev/null
    mv "$program.signed" "$program"
}
if [ -n "${UPDATER_SIGN_PKCS12:-}" ] || [ -n "${UPDATER_SIGN_CERT:-}" ]; then
    for program in "$stage/$name/updater.exe" "$stage/$name/updpack.exe"; do sign "$program"; done
fi

cp README.md "$stage/$name/README.md"
cp docs/script.md "$stage/$name/script.md"
[ ! -e LICENSE ] || cp LICENSE "$stage/$name/"
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
find "$stage/$name" -exec touch -h -d "@$epoch" {} +
mkdir -p dist
rm -f "dist/$name.zip"
(cd "$stage" && find "$name" -print | LC_ALL=C sort | TZ=UTC zip -q -X -@ "$repo/dist/$name.zip")
echo "dist/$name.zip"
