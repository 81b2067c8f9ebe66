#!/bin/bash
# Installs what building and testing need on a Debian machine, and only what
# is missing, so that a second run costs nothing.
#   setup-machine.sh native    compilers and build tools for the Linux build
#                              and clang with its libFuzzer for the fuzz targets
#   setup-machine.sh all       also MinGW, Wine and the Japanese locale for
#                              the Windows build and its tests
set -euo pipefail

want=${1:-all}
native_packages=(g++ cmake ninja-build googletest nlohmann-json3-dev libssl-dev clang libclang-rt-dev strace
                 desktop-file-utils libglib2.0-bin)
windows_packages=(g++-mingw-w64-i686 wine wine32:i386 xvfb xauth fonts-wine fonts-ipafont-gothic locales osslsigncode openssl python3 unzip)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        echo "setup-machine.sh: needs root to run: $*" >&2
        exit 1
    fi
}

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

packages=("${native_packages[@]}")
if [ "$want" = all ]; then
    packages+=("${windows_packages[@]}")
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
    fi
fi

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "setup-machine.sh: installing ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine runs the Windows tests in code page 932, which takes this locale.
if [ "$want" = all ] && ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    echo "setup-machine.sh: generating the ja_JP.UTF-8 locale"
    if ! grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    fi
    as_root locale-gen
fi
