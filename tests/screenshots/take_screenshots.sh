#!/bin/sh
# Saves PNG screenshots of the splash screen, the About box, the search dialog,
# the open tray menu and the Running Processes window, taken from a virtual display.
#   take_screenshots.sh BUILD_DIR OUTDIR
# BUILD_DIR is a build tree whose Wine template prefix exists (ctest -R prepare_wine_prefix).
set -eu
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
template="$build/wine/template"
[ -f "$template/.tavrowen-ready" ] || { echo "no template prefix in $build/wine: run ctest -R prepare_wine_prefix"; exit 1; }
# /usr/local/bin may hold other tools of the same names.
import=/usr/bin/import
convert=/usr/bin/convert

work=$(mktemp -d)
prefix="$work/prefix"
xvfb_pid=""
finish() {
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT INT TERM

. "$(dirname "$0")/../wine_env.sh"
# Always a display of our own, of the size the crops below assume.
start_virtual_display always
copy_wine_prefix "$template" "$prefix"
export_wine_settings "$prefix"
program="$build/bin/Tavrowen2.exe"

shot() {  # name geometry(WxH+X+Y)
    "$import" -window root "$work/screen.png"
    "$convert" "$work/screen.png" -crop "$2" +repage "$out/$1.png"
    echo "saved $out/$1.png"
}
centre_crop() {  # width height: a crop of that size around the screen's centre
    echo "$1x$2+$(( (1280 - $1) / 2 ))+$(( (1024 - $2) / 2 ))"
}

# The splash screen shows on Windows XP only (Wine elevates every process).
wine reg add 'HKCU\Software\Wine\AppDefaults\Tavrowen2.exe' /v Version /d winxp /f >/dev/null 2>&1
wine reg delete 'HKCU\Software\Veltrix\Tavrowen2' /f >/dev/null 2>&1 || true
wine "$program" /autostart >/dev/null 2>&1 &
sleep 1
wine "$program" /shutdown >/dev/null 2>&1 || true
sleep 1
wine "$program" >/dev/null 2>&1 &
sleep 4
shot splash "$(centre_crop 520 320)"
xdotool mousemove 640 600 click 1      # a press on the face closes it
sleep 3
wine "$program" /shutdown >/dev/null 2>&1 || true
sleep 2
wineserver -k >/dev/null 2>&1 || true   # also ends the Task Manager it started
wineserver -w

# The menu and the dialogs, from the tray icon.
wine "$program" /autostart >/dev/null 2>&1 &
for _ in $(seq 50); do xdotool search --name 'Wine System Tray' >/dev/null 2>&1 && break; sleep 0.2; done
sleep 1
tray=$(xdotool search --name 'Wine System Tray' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$tray")"
icon_x=$((X + 13))
icon_y=$((Y + 32))
open_menu() {
    xdotool mousemove "$icon_x" "$icon_y" click 3
    sleep 1
}
# The menu opens with its top-left corner at the cursor; items by their offset in it.
choose() {  # offset of the item's middle below the menu's top
    xdotool mousemove "$((icon_x + 50))" "$((icon_y + $1))" click 1
}
open_menu
shot tray_menu 420x260+0+0
xdotool key Escape
sleep 0.5
open_menu
choose 130    # About Tavrowen 2...
sleep 1.5
shot about "$(centre_crop 400 330)"
xdotool key Escape
sleep 0.5
open_menu
choose 104    # Search Kestrava...
sleep 1.5
xdotool type --delay 30 'notepad.exe'
sleep 0.5
shot search "$(centre_crop 400 200)"
xdotool key Escape
sleep 0.5
# The Running Processes window, opened as its tray command does; the helper
# prints the window's rectangle once it is on screen.
geometry=$(wine "$build/bin/open_processes_window.exe" 2>/dev/null | tr -d '\r') || geometry=""
if [ -n "$geometry" ]; then
    sleep 2
    shot processes-window "$geometry"
else
    echo "the Running Processes window did not show"
fi
wine "$program" /shutdown >/dev/null 2>&1 || true
sleep 1
