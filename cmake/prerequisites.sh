#!/bin/bash
# Installs what building and testing need on Debian 12, when it is missing:
# the mingw-w64 cross compilers, CMake, GoogleTest sources, 32- and 64-bit
# Wine with its own fonts (Marlett draws the caption buttons), a virtual X display, NSIS and zip for the release packages,
# xdotool and ImageMagick for the screenshot script, and openssl and
# osslsigncode for the signed programs the signature tests check, and
# Python's jsonschema for the report's schema check, and a font with East Asian
# glyphs for the Japanese, Chinese and Korean texts.
# On a host whose kernel runs no 32-bit x86 programs, it also sets up user-mode
# emulation (qemu 10 from bookworm-backports) so that 32-bit Wine still runs.
set -euo pipefail

packages=(cmake make mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest nsis zip unzip
          wine wine64 wine32:i386 fonts-wine xvfb xauth xdotool x11-apps imagemagick openssl osslsigncode locales
          python3 python3-jsonschema fonts-wqy-microhei)

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

# ---- 32-bit programs on a host that runs only 64-bit code -------------------

binfmt=/proc/sys/fs/binfmt_misc
qemu=/usr/bin/qemu-i386
# Any 32-bit ELF program of ours will do: wine32 brings one.
probe=/usr/lib/wine/wineserver32
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# The binfmt_misc entry that hands i386 ELF programs to an interpreter, if any.
i386_entry() {
    local entry
    [ -f "$binfmt/status" ] || return 1
    for entry in "$binfmt"/*; do
        case "$(basename "$entry")" in status|register) continue ;; esac
        grep -qx enabled "$entry" 2>/dev/null || continue
        grep -q '^magic 7f454c46010101000000000000000000020003' "$entry" 2>/dev/null && { echo "$entry"; return 0; }
    done
    return 1
}

qemu_major() {
    { "$1" --version 2>/dev/null || true; } | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p' | head -n 1
}

# The archive address of the machine's own bookworm source, so a local mirror
# is used for the backports too.
bookworm_archive() {
    local uri
    uri=$(awk '$1 == "deb" && $0 ~ / bookworm / { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' \
              /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | head -n 1)
    if [ -z "$uri" ]; then
        uri=$(awk 'BEGIN { RS = ""; FS = "\n" }
                   /(^|\n)Suites:[^\n]*[ \t]bookworm([ \t]|\n|$)/ {
                       for (i = 1; i <= NF; i++) if ($i ~ /^URIs:/) { split($i, f, /[ \t]+/); print f[2]; exit }
                   }' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
    fi
    echo "$uri"
}

install_backported_qemu() {
    local list=/etc/apt/sources.list.d/bookworm-backports.list archive
    if ! grep -rqsE '^[^#]*bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        archive=$(bookworm_archive)
        [ -n "$archive" ] || { echo "no bookworm apt source to take the backports' address from" >&2; return 1; }
        echo "deb $archive bookworm-backports main" >"$list"
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends -t bookworm-backports qemu-user
}

set_up_i386_emulation() {
    local entry major
    entry=$(i386_entry || true)
    if [ -n "$entry" ]; then
        major=$(qemu_major "$(sed -n 's/^interpreter //p' "$entry")")
        # qemu before 10 spends about a minute starting each 32-bit Wine process.
        [ "${major:-0}" -ge 10 ] && return 0
        echo -1 >"$entry"
    fi
    [ "$(id -u)" -eq 0 ] || { echo "run as root: 32-bit programs need user-mode emulation on this host" >&2; return 1; }
    major=$(qemu_major "$qemu")
    if [ "${major:-0}" -lt 10 ]; then
        install_backported_qemu
        major=$(qemu_major "$qemu")
    fi
    if [ "${major:-0}" -lt 10 ]; then
        echo "qemu-i386 ${major:-missing} is too old: before 10 each 32-bit Wine process takes about a minute to start" >&2
        return 1
    fi
    [ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
    # The kernel decodes the \x escapes itself; the text goes in as written.
    printf '%s\n' ":tavrowen-i386:M::$i386_magic:$i386_mask:$qemu:PF" >"$binfmt/register"
    "$probe" --version >/dev/null 2>&1 || { echo "32-bit programs do not run even under $qemu" >&2; return 1; }
    echo "32-bit x86 programs run under qemu $major user-mode emulation on this host"
}

# A host that runs 32-bit programs itself needs nothing more; one that has an
# emulator registered keeps it unless it is too old. TAVROWEN_EMULATE_I386=1
# sets emulation up anyway, to try that path on a host that needs none.
if [ "${TAVROWEN_EMULATE_I386:-0}" = 1 ] || [ -n "$(i386_entry || true)" ] || ! "$probe" --version >/dev/null 2>&1; then
    set_up_i386_emulation
fi

# ---- The locales the language tests run Wine under --------------------------

# Wine takes the user's language from the Unix locale, which must exist: made
# from the sources glibc ships (package locales) where it is missing.
for locale_name in de_DE ja_JP; do
    if ! locale -a 2>/dev/null | grep -qix "$locale_name.utf-\?8"; then
        [ "$(id -u)" -eq 0 ] || { echo "run as root to make the $locale_name.UTF-8 locale" >&2; exit 1; }
        localedef -i "$locale_name" -f UTF-8 "$locale_name.UTF-8"
    fi
done
