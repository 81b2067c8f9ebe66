#!/bin/bash
# The release: two builds of the same source in different folders give
# byte-identical programs under 1 MiB, both carry the icon, a manifest and a
# version resource with the publisher's texts given to tools/release.sh in
# its Japanese and English blocks; the zip holds the publishers' README,
# whose every link resolves inside it, docs/script.md and the example
# update; signed with a throw-away certificate, updater.exe verifies with
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
# A publisher's texts, with a quote and a backslash the resource script must
# escape; the English block has a company name of its own.
brand=(--company '夜明けソフト' --company-en 'Yoake "Dawn" Soft' --product '星屑の駅 ～ 遥かなる銀河' \
    --copyright '© 2026 夜明けソフト\星屑' --description '星屑の駅 アップデータ')
(cd "$work/one/src" && bash tools/release.sh "${brand[@]}" >/dev/null) || fail "the release does not build"
(cd "$work/second-copy/src" && bash tools/release.sh "${brand[@]}" >/dev/null) || fail "the second release does not build"
zip=$(cd "$work/one/src/dist" && ls updater-*-win32.zip)
cmp "$work/one/src/dist/$zip" "$work/second-copy/src/dist/$zip" || fail "two builds of one source differ"

mkdir "$work/unpacked"
(cd "$work/unpacked" && LC_ALL=C.UTF-8 unzip -q "$work/one/src/dist/$zip")
programs="$work/unpacked/${zip%.zip}"
# Whether the file holds text (UTF-8) as UTF-16, as resources keep it.
holds_text() {
    od -An -tx1 -v "$1" | tr -d ' \n' | grep -qF "$(printf '%s' "$2" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -d ' \n')"
}
for program in updater.exe updpack.exe; do
    resources=$(i686-w64-mingw32-objdump -p "$programs/$program" | sed -n '/Resource Directory section/,$p')
    # The types of resources: icon images (3) and their group (14).
    grep -Eq '^[0-9a-f]+   Entry: ID: 0x000003,' <<<"$resources" &&
        grep -Eq '^[0-9a-f]+   Entry: ID: 0x00000e,' <<<"$resources" || fail "$program has no icon"
    grep -q 'ID: 0x000010' <<<"$resources" || fail "$program has no version resource"
    grep -q 'ID: 0x000018' <<<"$resources" || fail "$program has no manifest"
    for field in 041104B0 040904B0 CompanyName ProductName LegalCopyright FileDescription; do
        strings -el "$programs/$program" | grep -qx "$field" || fail "$program has no $field in its version resource"
    done
    for value in '夜明けソフト' 'Yoake "Dawn" Soft' '星屑の駅 ～ 遥かなる銀河' '© 2026 夜明けソフト\星屑'; do
        holds_text "$programs/$program" "$value" || fail "$program does not say $value"
    done
    ! i686-w64-mingw32-objdump -h "$programs/$program" | grep -q '\.debug' || fail "$program is not stripped"
    [ "$(stat -c %s "$programs/$program")" -lt $((1 << 20)) ] || fail "$program is 1 MiB or more"
done
holds_text "$programs/updater.exe" '星屑の駅 アップデータ' || fail "updater.exe has not the description given"
holds_text "$programs/updpack.exe" 'アップデートパッケージ作成ツール' || fail "updpack.exe has not its own description"

# The zip is for publishers: their README, whose links resolve inside it, the
# reference and the example update, names as they are.
for file in README.md docs/script.md examples/update/Update.ini examples/update/ソフト情報.txt \
    examples/install/data/system.dat; do
    [ -f "$programs/$file" ] || fail "the zip holds no $file: $(cd "$programs" && find . | sort)"
done
grep -q 'updpack.exe create' "$programs/README.md" || fail "the README tells no round: $(cat "$programs/README.md")"
links=$(grep -o '](\([^)#]*\)' "$programs/README.md" | sed 's/^](//' | sort -u)
[ "$(wc -l <<<"$links")" -ge 4 ] || fail "the README links to too little: $links"
while IFS= read -r link; do
    [ -e "$programs/$link" ] || fail "the README's link $link leads nowhere in the zip"
done <<<"$links"

# Signed with a throw-away certificate.
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=updater-test -days 2 -keyout "$work/key.pem" \
    -out "$work/cert.pem" 2>/dev/null
(cd "$work/one/src" && UPDATER_SIGN_CERT="$work/cert.pem" UPDATER_SIGN_KEY="$work/key.pem" \
    bash tools/release.sh "${brand[@]}" >/dev/null) || fail "the signed release does not build"
rm -rf "$work/unpacked" && mkdir "$work/unpacked"
(cd "$work/unpacked" && LC_ALL=C.UTF-8 unzip -q "$work/one/src/dist/$zip")
for program in updater.exe updpack.exe; do
    osslsigncode verify -CAfile "$work/cert.pem" -in "$programs/$program" >"$work/verify.txt" 2>&1 ||
        fail "$program does not verify: $(cat "$work/verify.txt")"
done
version=$(wine "$programs/updater.exe" --version 2>/dev/null | tr -d '\r')
[[ $version =~ ^updater\ [0-9]+\.[0-9]+$ ]] || fail "the signed updater.exe says: $version"
echo "PASS release"
