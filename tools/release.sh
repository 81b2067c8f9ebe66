#!/bin/bash
# Builds the Windows programs to hand to players and packs them for the
# publisher into dist/updater-VERSION-win32.zip: both programs, the
# publishers' README (docs/publishers.md), the reference docs/script.md and
# the example update (examples/update, examples/install).
#
#   tools/release.sh [OPTION...] [BUILD_FOLDER]
#
# What the programs' version resources say of the publisher and the game,
# each in the Japanese block (0411) and the English block (0409); neutral
# when not given:
#   --company TEXT       CompanyName
#   --product TEXT       ProductName
#   --copyright TEXT     LegalCopyright
#   --description TEXT   FileDescription of updater.exe
# --company-en, --product-en, --copyright-en and --description-en give the
# English block a text of its own; without one it takes the text given for
# both, else its own neutral default.
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

# The version resources' texts by the build's cache variable, at their
# neutral defaults.
declare -A texts=(
    [COMPANY_JA]='ゲームの発売元' [COMPANY_EN]="The game's publisher"
    [PRODUCT_JA]='ゲーム アップデータ' [PRODUCT_EN]='Game updater'
    [COPYRIGHT_JA]='© ゲームの発売元' [COPYRIGHT_EN]="© The game's publisher"
    [DESCRIPTION_JA]='アップデータ' [DESCRIPTION_EN]='Updater'
)
declare -A english_given=()
build=build/windows-release
while [ $# -gt 0 ]; do
    case $1 in
    --company | --product | --copyright | --description)
        [ $# -ge 2 ] || { echo "release.sh: $1 needs a text" >&2; exit 2; }
        field=${1#--}
        texts[${field^^}_JA]=$2
        [ -n "${english_given[${field^^}]:-}" ] || texts[${field^^}_EN]=$2
        shift 2
        ;;
    --company-en | --product-en | --copyright-en | --description-en)
        [ $# -ge 2 ] || { echo "release.sh: $1 needs a text" >&2; exit 2; }
        field=${1#--}
        field=${field%-en}
        texts[${field^^}_EN]=$2
        english_given[${field^^}]=1
        shift 2
        ;;
    -*)
        echo "release.sh: unknown option $1" >&2
        exit 2
        ;;
    *)
        build=$1
        shift
        ;;
    esac
done
version=$(sed -n 's/^project(updater VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name="updater-$version-win32"

# Every text is passed each time: the build keeps what it was given last.
definitions=()
for variable in "${!texts[@]}"; do definitions+=("-DUPDATER_$variable=${texts[$variable]}"); done
cmake --preset windows-release -B "$build" "${definitions[@]}" >/dev/null
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

sed "s/@VERSION@/$version/g" docs/publishers.md >"$stage/$name/README.md"
mkdir -p "$stage/$name/docs" "$stage/$name/examples"
cp docs/script.md "$stage/$name/docs/"
cp -R examples/update examples/install "$stage/$name/examples/"
[ ! -e LICENSE ] || cp LICENSE "$stage/$name/"
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
mkdir -p dist
rm -f "dist/$name.zip"
# Names are stored as UTF-8 and marked so, which Explorer reads right in any
# locale (Info-ZIP's zip marks none); entries in one fixed order, each with
# the time SOURCE_DATE_EPOCH.
python3 - "$stage" "$name" "dist/$name.zip" "$epoch" <<'EOF'
import os
import sys
import time
import zipfile

stage, name, archive, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip holds no time before 1980
entries = []
for folder, _, files in os.walk(os.path.join(stage, name)):
    entries.append(os.path.relpath(folder, stage) + "/")
    entries += [os.path.relpath(os.path.join(folder, file), stage) for file in files]
with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as out:
    for entry in sorted(entries, key=lambda path: path.encode()):
        info = zipfile.ZipInfo(entry, stamp)
        info.compress_type = zipfile.ZIP_DEFLATED
        if entry.endswith("/"):
            info.external_attr = 0o40755 << 16 | 0x10
            out.writestr(info, b"")
        else:
            info.external_attr = (0o100755 if entry.endswith(".exe") else 0o100644) << 16
            with open(os.path.join(stage, entry), "rb") as source:
                out.writestr(info, source.read())
EOF
echo "dist/$name.zip"
