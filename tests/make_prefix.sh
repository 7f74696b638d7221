#!/bin/sh
# Makes the build tree's template Wine prefix (once), then installs the current
# test helpers into it: the address recorder and the stand-in Task Manager.
#   make_prefix.sh TEMPLATE BIN_DIR ARCH(i686|x86_64)
# With TAVROWEN_OTHER_BIN_DIR set to the other architecture's programs, its
# stand-in goes where Windows keeps that bitness's taskmgr.exe.
set -eu
template="$1"
bin_dir="$2"
arch="$3"
other_bin_dir="${TAVROWEN_OTHER_BIN_DIR:-}"
here=$(cd "$(dirname "$0")" && pwd)

wine_env_dir="$here"
. "$wine_env_dir/wine_env.sh"
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
    if ! wineboot -i >/dev/null 2>&1; then
        # A first start can fail on a loaded machine: once more, on a fresh server.
        echo "wineboot failed in $template; trying once more" >&2
        wineserver -k >/dev/null 2>&1 || true
        wineboot -i >/dev/null 2>&1
    fi
    wineserver -w
    # Wine links the user's folders to the host's home; keep the prefix to itself.
    find "$template/drive_c/users" -type l | while read -r link; do
        rm -f "$link"
        mkdir -p "$link"
    done
    touch "$template/.tavrowen-ready"
fi
# The settings again whenever they change, on a template made before.
settings_sum=$(md5sum <"$here/prefix_settings.reg")
if [ "$(cat "$template/.tavrowen-settings" 2>/dev/null)" != "$settings_sum" ]; then
    wine regedit /S "$(winepath -w "$here/prefix_settings.reg")" >/dev/null 2>&1 ||
        { echo "cannot import prefix_settings.reg into $template" >&2; exit 1; }
    # The dialog faces take the glyphs they lack from the East Asian font below.
    for face in Tahoma "Microsoft Sans Serif" "Segoe UI"; do
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" \
            /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 ||
            { echo "cannot link the East Asian font to $face in $template" >&2; exit 1; }
    done
    wineserver -w
    echo "$settings_sum" >"$template/.tavrowen-settings"
fi

# Wine draws the caption buttons with Marlett (fonts-wine); without it they are letters.
marlett=/usr/share/wine/fonts/marlett.ttf
[ -f "$marlett" ] || { echo "no $marlett: run cmake/prerequisites.sh" >&2; exit 1; }
cp "$marlett" "$template/drive_c/windows/Fonts/marlett.ttf"
# Japanese, Chinese and Korean need a font with their glyphs (fonts-wqy-microhei);
# the settings above link the dialog faces to it.
east_asian=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
[ -f "$east_asian" ] || { echo "no $east_asian: run cmake/prerequisites.sh" >&2; exit 1; }
ln -sf "$east_asian" "$template/drive_c/windows/Fonts/wqy-microhei.ttc"
mkdir -p "$template/drive_c/tavrowen-test"
[ -f "$bin_dir/recorder.exe" ] && cp "$bin_dir/recorder.exe" "$template/drive_c/tavrowen-test/recorder.exe"
# A 32-bit process's system directory is syswow64 in a 64-bit prefix.
wide_dir="$template/drive_c/windows/system32"
narrow_dir="$template/drive_c/windows/syswow64"
[ -d "$narrow_dir" ] || narrow_dir="$wide_dir"
if [ "$arch" = "i686" ]; then
    own_dir="$narrow_dir" other_dir="$wide_dir"
else
    own_dir="$wide_dir" other_dir="$narrow_dir"
fi
[ -f "$bin_dir/standin_taskmgr.exe" ] && cp "$bin_dir/standin_taskmgr.exe" "$own_dir/taskmgr.exe"
if [ "$other_dir" != "$own_dir" ]; then
    # The 32-bit program starts the native Task Manager: without the other
    # build, our own stand-in stands in there too.
    if [ -n "$other_bin_dir" ] && [ -f "$other_bin_dir/standin_taskmgr.exe" ]; then
        cp "$other_bin_dir/standin_taskmgr.exe" "$other_dir/taskmgr.exe"
    elif [ -f "$bin_dir/standin_taskmgr.exe" ]; then
        cp "$bin_dir/standin_taskmgr.exe" "$other_dir/taskmgr.exe"
    fi
fi
echo "prefix ready: $template"
