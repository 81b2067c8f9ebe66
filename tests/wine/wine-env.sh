# Environment and prefix for running the Windows build under Wine, headless.
# Source this file from bash, then:
#   updater_wine_env ROOT   exports the environment of the prefix kept in ROOT
#   updater_wine_prefix     creates that prefix once; parallel callers wait
#
# The locale is Japanese (code page 932) unless UPDATER_WINE_LANG names
# another, e.g. C.UTF-8 to run under code page 1252.

updater_wine_env() {
    local root
    root=$(realpath -m "$1")
    mkdir -p "$root/home"
    export UPDATER_WINE_ROOT="$root"
    export WINEPREFIX="$root/prefix"
    export WINEARCH=win32
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
    # Wine links the prefix's Desktop and Documents into HOME.
    export HOME="$root/home"
    export LANG="${UPDATER_WINE_LANG:-ja_JP.UTF-8}"
    export LC_ALL="$LANG"
    # Wine's null graphics driver: no X server is used, none is needed.
    unset DISPLAY WAYLAND_DISPLAY
}

updater_wine_prefix() {
    local ready="$WINEPREFIX/.updater-ready"
    [ -e "$ready" ] && return 0
    local settings
    settings="$(dirname "${BASH_SOURCE[0]}")/prefix-settings.reg"
    (
        flock 9
        [ -e "$ready" ] && exit 0
        rm -rf "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        # Debian's Wine does not find its own fonts otherwise.
        cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
        # regedit reads UTF-16LE with a byte-order mark.
        { printf '\xff\xfe'; sed 's/$/\r/' "$settings" | iconv -f UTF-8 -t UTF-16LE; } \
            >"$WINEPREFIX/drive_c/updater-settings.reg"
        wine regedit /S 'C:\updater-settings.reg' >/dev/null 2>&1
        wineserver -w
        touch "$ready"
    ) 9>"$WINEPREFIX.lock"
}
