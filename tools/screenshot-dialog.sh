#!/bin/bash
# Takes a picture of the confirmation dialog as the Windows program shows
# it: under Wine on a virtual X display (Xvfb), with the Japanese font that
# replaces "ＭＳ Ｐゴシック", cropped to the dialog and saved as PNG.
#
#   tools/screenshot-dialog.sh UPDATER_EXE DRIVER_EXE [OUTPUT [INSTALL_FOLDER]]
#
# OUTPUT defaults to docs/dialog.png, INSTALL_FOLDER (the game's folder the
# dialog names, a Windows path below C:\) to C:\Games\テストゲーム. Needs
# Wine, Xvfb and ImageMagick.
set -euo pipefail

repository=$(dirname "$(dirname "$(realpath "${BASH_SOURCE[0]}")")")
updater_exe=$(realpath "$1")
driver_exe=$(realpath "$2")
output=$(realpath -m "${3:-$repository/docs/dialog.png}")
install_folder=${4:-'C:\Games\テストゲーム'}

root=$(mktemp -d)
xvfb=
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$root"
}
trap cleanup EXIT

. "$repository/tests/wine/wine-env.sh"
updater_wine_env "$root"
updater_wine_prefix
# This prefix draws on X rather than with the null driver of the tests.
wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null
wineserver -w

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$root/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$root/display" ] && break
    sleep 0.1
done
[ -s "$root/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$root/display")"

# An example update of version 1.00 to 1.02 whose saves are removed.
dist="$WINEPREFIX/drive_c/Update"
install_path=${install_folder#C:\\}
mkdir -p "$dist" "$WINEPREFIX/drive_c/${install_path//\\//}"
cp "$updater_exe" "$dist/updater.exe"
cp "$driver_exe" "$root/updater_driver.exe"
printf '%s\r\n' 'AppTitle = テストゲーム' 'Registory = Software\Example\テストゲーム' \
    'NewVersion = 1020, 1020' 'SupportVersion = 1000, 1000' 'SaveVersion = 1010, 1010' |
    iconv -f UTF-8 -t CP932 >"$dist/Update.ini"
wine reg add 'HKCU\Software\Example\テストゲーム' /v InstallFolder /t REG_SZ \
    /d "$install_folder" /f >/dev/null
wine reg add 'HKCU\Software\Example\テストゲーム' /v Version /t REG_BINARY /d e8030000 /f >/dev/null

# To a file, not a pipe: the updater keeps the driver's output open.
(cd "$root" && wine updater_driver.exe 'C:\Update\updater.exe' show-dialog >"$root/driver.out")
rectangle=$(grep '^rectangle' "$root/driver.out")
read -r _ left top width height <<<"$rectangle"
# Shown is not yet painted: give the dialog a moment to draw itself.
sleep 1
mkdir -p "$(dirname "$output")"
import -display "$DISPLAY" -window root -crop "${width}x${height}+${left}+${top}" +repage "$output"
echo "$output: ${width}x${height}"
