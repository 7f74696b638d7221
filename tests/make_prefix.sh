#!/bin/sh
# Makes the build tree's template Wine prefix (once), then installs the current
# test helpers into it: the address recorder and the stand-in Task Manager.
#   make_prefix.sh TEMPLATE BIN_DIR ARCH(i686|x86_64)
set -eu
template="$1"
bin_dir="$2"
arch="$3"
here=$(cd "$(dirname "$0")" && pwd)

. "$here/wine_env.sh"
export_wine_settings "$template"
start_virtual_display
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
