#!/bin/bash
# Installs what building and testing need on Debian 12, when it is missing:
# the mingw-w64 cross compilers, CMake, GoogleTest sources, 32- and 64-bit
# Wine, a virtual X display, NSIS and zip for the release packages, and
# xdotool and ImageMagick for the screenshot script.
set -euo pipefail

packages=(cmake make mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest nsis zip unzip
          wine wine64 wine32:i386 xvfb xauth xdotool x11-apps imagemagick)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    [ "$(id -u)" -eq 0 ] || { echo "run as root: 32-bit Wine needs the i386 architecture" >&2; exit 1; }
    dpkg --add-architecture i386
    missing+=("${packages[@]}")
else
    for package in "${packages[@]}"; do
        status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
        [ "$status" = "installed" ] || missing+=("$package")
    done
fi

if [ "${#missing[@]}" -gt 0 ]; then
    [ "$(id -u)" -eq 0 ] || { echo "run as root to install: ${missing[*]}" >&2; exit 1; }
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
