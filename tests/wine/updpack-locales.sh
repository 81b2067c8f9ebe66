#!/bin/bash
# The updpack round trip and the aliasing checks through updpack.exe, under
# the Japanese locale and under code page 1252, where only the explicit code
# page 932 conversions keep Shift_JIS names such as 表示.txt whole.
#   updpack-locales.sh WINE_ROOT UPDPACK_EXE
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
for lang in ja_JP.UTF-8 C.UTF-8; do
    echo "locale $lang:"
    UPDATER_WINE_LANG=$lang bash "$here/../e2e/updpack-round-trip.sh" "$here/run-in-wine.sh" "$1" "$2"
    UPDATER_WINE_LANG=$lang bash "$here/../e2e/updpack-aliasing.sh" "$here/run-in-wine.sh" "$1" "$2"
done
