# Shell functions shared by the end-to-end scripts that drive updater.exe
# under Wine through updater_driver.exe. Source it from bash, then call
#   wine_setup WINE_ROOT UPDATER_EXE DRIVER_EXE UPDPACK_EXE FOLDER KEY
# which starts the prefix kept in WINE_ROOT and makes, in C:\FOLDER, the
# distribution folder アップデート with updater.exe and names the install folder
# ($game_name, default ゲーム; $game_windows, and $game as a path of this
# machine, left to the caller to fill). KEY, a key under HKEY_CURRENT_USER,
# is deleted before and after the run. A function wine_cleanup, when the
# caller defines one, runs first at the end.

. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/e2e-common.sh"

wine_setup() {
    updater_wine_env "$1"
    updater_wine_prefix
    base_windows="C:\\$5"
    base="$WINEPREFIX/drive_c/$5"
    dist_windows="$base_windows\\アップデート"
    game_windows="$base_windows\\${game_name:-ゲーム}"
    game="$base/${game_name:-ゲーム}"
    key="HKCU\\$6"
    work=$(mktemp -d)
    trap wine_end EXIT
    rm -rf "$base"
    mkdir -p "$base/アップデート"
    cp "$2" "$base/アップデート/updater.exe"
    cp "$3" "$work/updater_driver.exe"
    pack_command=(wine "$(realpath "$4")" create "$dist_windows\\UpdateData.dat")
    wine reg delete "$key" /f >/dev/null 2>&1 || true
}

wine_end() {
    if declare -F wine_cleanup >/dev/null; then wine_cleanup; fi
    rm -rf "$work" "$base"
    wine reg delete "$key" /f >/dev/null 2>&1 || true
}

# Sets a value of the key: NAME TYPE DATA.
set_value() {
    wine reg add "$key" /v "$1" /t "$2" /d "$3" /f >/dev/null
}

# The key as exported, in UTF-8; empty when it does not exist.
export_key() {
    if wine reg export "$key" "$work/export.reg" /y >/dev/null 2>&1; then
        iconv -f UTF-16 -t UTF-8 "$work/export.reg" | tr -d '\r' | grep -v '^Windows Registry Editor'
    fi
}

remember_registry() {
    export_key >"$work/registry.before"
}

expect_registry_untouched() {
    export_key >"$work/registry.after"
    cmp -s "$work/registry.before" "$work/registry.after" || fail "the registry changed:
$(cat "$work/registry.after")"
}

# Version must now be REG_BINARY with the given 4 bytes; nothing else of the
# key may have changed.
expect_registry_version() {
    local line="\"Version\"=hex:$1"
    export_key >"$work/registry.after"
    grep -qxF "$line" "$work/registry.after" || fail "no line $line in:
$(cat "$work/registry.after")"
    diff <(grep -v '^"Version"=' "$work/registry.before") <(grep -v '^"Version"=' "$work/registry.after") >&2 ||
        fail "other values of the key changed"
}

# Runs updater.exe under the driver with the given steps.
drive() {
    (cd "$work" && wine updater_driver.exe "$dist_windows\\updater.exe" "$@") || fail "the driver reports a difference"
}
