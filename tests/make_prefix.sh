#!/bin/sh
# Makes the build tree's template Wine prefix (once), then installs the current
# test helpers into it: the address recorder and the stand-in Task Manager.
#   make_prefix.sh TEMPLATE BIN_DIR ARCH(i686|x86_64)
set -eu
template="$1"
bin_dir="$2"
arch="$3"
here=$(cd "$(dirname "$0")" && pwd)

export WINEPREFIX="$template"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
    display_file=$(mktemp)
    Xvfb -displayfd 9 -nolisten tcp -screen 0 1280x1024x24 9>"$display_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
    DISPLAY=":$(head -n 1 "$display_file")"
    export DISPLAY
    rm -f "$display_file"
fi
finish() {
    wineserver -w >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap finish EXIT

if [ ! -f "$template/.tavrowen-ready" ]; then
    rm -rf "$template"
    mkdir -p "$(dirname "$template")"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # Wine links the user's folders to the host's home; keep the prefix to itself.
    find "$template/drive_c/users" -type l | while read -r link; do
        rm -f "$link"
        mkdir -p "$link"
    done
    wine regedit /S "$(winepath -w "$here/prefix_settings.reg")" >/dev/null 2>&1
    wineserver -w
    touch "$template/.tavrowen-ready"
fi

mkdir -p "$template/drive_c/tavrowen-test"
[ -f "$bin_dir/recorder.exe" ] && cp "$bin_dir/recorder.exe" "$template/drive_c/tavrowen-test/recorder.exe"
if [ -f "$bin_dir/standin_taskmgr.exe" ]; then
    # A 32-bit process's system directory is syswow64 in a 64-bit prefix.
    if [ "$arch" = "i686" ] && [ -d "$template/drive_c/windows/syswow64" ]; then
        cp "$bin_dir/standin_taskmgr.exe" "$template/drive_c/windows/syswow64/taskmgr.exe"
    else
        cp "$bin_dir/standin_taskmgr.exe" "$template/drive_c/windows/system32/taskmgr.exe"
    fi
fi
echo "prefix ready: $template"
