#!/bin/sh
# Saves PNG screenshots of the splash screen, the open tray menu, the About box,
# the search dialog, the Running Processes window, a Properties window and the
# Startup Entries window (light, and dark as Windows 10 shows it when apps are
# set to dark), taken from a virtual display at 96 and at 144 DPI, into
# OUTDIR/96 and OUTDIR/144; and the last three in German and Japanese at 96
# DPI, into OUTDIR/de-DE and OUTDIR/ja-JP. The prefix has Wine's Marlett font, so title bars show real caption buttons.
#   take_screenshots.sh BUILD_DIR OUTDIR
# BUILD_DIR is a build tree whose Wine template prefix exists (ctest -R prepare_wine_prefix).
# Menu commands are posted to the program (no menu item is clicked by its
# position, which depends on the fonts); each shot is the rectangle of the
# window it shows, found on screen first. A window that does not show, or a
# picture with next to no colours in it, ends the script with a message.
# Needs ImageMagick (import, convert) and xdotool: cmake/prerequisites.sh installs them.
set -eu
build=$(cd "$1" && pwd)
mkdir -p "$2"
base=$(cd "$2" && pwd)
template="$build/wine/template"
[ -f "$template/.tavrowen-ready" ] || { echo "no template prefix in $build/wine: run ctest -R prepare_wine_prefix"; exit 1; }
[ -f "$template/drive_c/windows/Fonts/marlett.ttf" ] ||
    { echo "no Marlett in $template: run cmake/prerequisites.sh, then ctest -R prepare_wine_prefix"; exit 1; }
# /usr/local/bin may hold other tools of the same names.
import=/usr/bin/import
convert=/usr/bin/convert
for tool in "$import" "$convert" "$(command -v xdotool || echo xdotool)"; do
    [ -x "$tool" ] || { echo "missing $tool: run cmake/prerequisites.sh (ImageMagick and xdotool)"; exit 1; }
done
built="$build/bin"
# Run as installed, so that no build folder shows on screen.
program='C:\Program Files\Tavrowen 2\Tavrowen2.exe'
helper="$build/bin/screen_helper.exe"
[ -f "$helper" ] || { echo "missing $helper: build the tests first"; exit 1; }
[ -f "$built/Tavrowen2.exe" ] || { echo "missing $built/Tavrowen2.exe: build it first"; exit 1; }

work=$(mktemp -d)
prefix="$work/prefix"
xvfb_pid=""
finish() {
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT INT TERM

wine_env_dir="$(dirname "$0")/.."
. "$wine_env_dir/wine_env.sh"
start_virtual_display always

# Menu commands and messages of the program (res/resource.h, app/app_state.h).
IDM_ABOUT=40001
IDM_SEARCH=40006
IDM_PROCESSES=40009
IDM_STARTUP_ENTRIES=40420
WM_COMMAND=0x0111
WM_CLOSE=0x0010
WM_TRAY_CALLBACK=0x8020
WM_RBUTTONUP=0x0205

fail() {
    echo "take_screenshots: $*" >&2
    exit 1
}

helper() {
    wine "$helper" "$@" 2>"$work/helper.err" | tr -d '\r'
}

# Prints the on-screen rectangle of a shown window, or fails: CLASS TITLE (- for any).
# It runs in a subshell: call it as rect=$(window_rect ...) || exit 1.
window_rect() {
    rect=$(helper window "$1" "$2" Tavrowen2.exe 15) && [ -n "$rect" ] ||
        fail "the window of class $1 titled \"$2\" did not show: $(cat "$work/helper.err")"
    echo "$rect"
}

# Posts a message to the program's main window: MESSAGE WPARAM LPARAM.
post_to_program() {
    helper post Tavrowen2 - "$@" || fail "could not post to the program: $(cat "$work/helper.err")"
}

# Saves the screen inside a rectangle (WxH+X+Y) widened by a margin, and checks
# that the picture is not blank.
shot() {  # name rectangle
    "$import" -window root "$work/screen.png"
    margin=8
    crop=$(echo "$2" | awk -F'[x+]' -v m="$margin" '{
        x = $3 - m; y = $4 - m; if (x < 0) x = 0; if (y < 0) y = 0;
        printf "%dx%d+%d+%d", $1 + 2 * m, $2 + 2 * m, x, y }')
    "$convert" "$work/screen.png" -crop "$crop" +repage "$out/$1.png"
    colours=$("$convert" "$out/$1.png" -format %k info:)
    [ "$colours" -gt 8 ] || fail "$out/$1.png is blank ($colours colours)"
    echo "saved $out/$1.png ($crop, $colours colours)"
}

# Posts a menu command, waits for the window it opens and shoots it:
# name command class title. Other windows can be added the same way.
shoot_command() {
    post_to_program "$WM_COMMAND" "$2" 0
    sleep "${5:-0.5}"  # longer where a window fills itself in afterwards
    rect=$(window_rect "$3" "$4") || exit 1
    shot "$1" "$rect"
}

close_window() {  # class title
    helper post "$1" "$2" "$WM_CLOSE" 0 0 || fail "could not close \"$2\": $(cat "$work/helper.err")"
    sleep 0.5
}

# Every window at the DPI the prefix was set to: DPI.
shoot_every_window() {
out="$base/$1"
mkdir -p "$out"
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
copy_wine_prefix "$template" "$prefix"
export_wine_settings "$prefix"
# Wine reads LogPixels when its server starts.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
wineserver -w
installed="$prefix/drive_c/Program Files/Tavrowen 2"
mkdir -p "$installed"
cp "$built/Tavrowen2.exe" "$built/Tavrowen2Admin.exe" "$installed/"

# The splash screen shows on Windows XP only (Wine elevates every process).
wine reg add 'HKCU\Software\Wine\AppDefaults\Tavrowen2.exe' /v Version /d winxp /f >/dev/null 2>&1
wine reg delete 'HKCU\Software\Veltrix\Tavrowen2' /f >/dev/null 2>&1 || true
wine "$program" >/dev/null 2>&1 &
splash=$(window_rect '#32770' -) || exit 1
sleep 1  # let the face bitmap paint
shot splash "$splash"
# A press on the face closes it.
centre_x=$(echo "$splash" | awk -F'[x+]' '{printf "%d", $3 + $1 / 2}')
centre_y=$(echo "$splash" | awk -F'[x+]' '{printf "%d", $4 + $2 / 2}')
xdotool mousemove "$centre_x" "$centre_y" click 1
sleep 2
wine "$program" /shutdown >/dev/null 2>&1 || true
sleep 2
wineserver -k >/dev/null 2>&1 || true   # also ends the Task Manager it started
wineserver -w
# The rest as on a current Windows (10), where the program finds every process's file.
wine reg add 'HKCU\Software\Wine\AppDefaults\Tavrowen2.exe' /v Version /d win10 /f >/dev/null 2>&1
wineserver -w

# The tray menu, opened as the tray's right click does (at the mouse, wherever it is).
wine "$program" /autostart >/dev/null 2>&1 &
for _ in $(seq 100); do helper post Tavrowen2 - 0 0 0 >/dev/null 2>&1 && break; sleep 0.2; done
sleep 1
post_to_program "$WM_TRAY_CALLBACK" 0 "$WM_RBUTTONUP"
menu=$(window_rect '#32768' -) || exit 1
shot tray_menu "$menu"
post_to_program 0x001F 0 0   # WM_CANCELMODE closes the menu, whatever has the keyboard
sleep 0.5

shoot_command about "$IDM_ABOUT" '#32770' 'About Tavrowen 2'
close_window '#32770' 'About Tavrowen 2'

post_to_program "$WM_COMMAND" "$IDM_SEARCH" 0
search=$(window_rect '#32770' 'Search Kestrava') || exit 1
xdotool type --delay 30 'notepad.exe'
sleep 0.5
shot search "$search"
close_window '#32770' 'Search Kestrava'

# Beside a few programs that carry version information, minimised out of the way.
for other in notepad winemine regedit; do
    wine start /min "$other" >/dev/null 2>&1 || true
done
sleep 2
shoot_command processes-window "$IDM_PROCESSES" TavrowenProcesses 'Running Processes - Tavrowen 2' 3
# The finder's tooltip: the pointer rests on the target at the window's top left.
scale=$1
processes=$(window_rect TavrowenProcesses 'Running Processes - Tavrowen 2') || exit 1
echo "$processes" | awk -F'[x+]' -v s="$scale" '{printf "%d %d\n", $3 + 20 * s / 96, $4 + 39 * s / 96}' |
    { read -r x y; xdotool mousemove "$x" "$y"; }
sleep 2
shot window-finder "$(echo "$processes" | awk -F'[x+]' '{printf "%dx%d+%d+%d", $1, $2 * 45 / 100, $3, $4}')"
# The Properties window of notepad's row: the filter, Down to its row, Alt+Enter.
xdotool type --delay 30 'notepad'
xdotool key Down alt+Return
sleep 12  # its sheet and its modules are read in the background
properties=$(window_rect TavrowenProperties -) || exit 1
shot properties-window "$properties"
close_window TavrowenProperties -
# The process tree (Ctrl+T): every process under the one that started it.
xdotool key ctrl+f BackSpace ctrl+t
sleep 1
rect=$(window_rect TavrowenProcesses 'Running Processes - Tavrowen 2') || exit 1
shot processes-tree "$rect"
xdotool key ctrl+t
close_window TavrowenProcesses 'Running Processes - Tavrowen 2'
# Its files are read in the background: the shot waits for them.
shoot_command startup-window "$IDM_STARTUP_ENTRIES" TavrowenStartup - 8
close_window TavrowenStartup -

# Apps set to dark: the window opens dark (Wine draws its own title bar, which stays light).
personalize='HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize'
wine reg add "$personalize" /v AppsUseLightTheme /t REG_DWORD /d 0 /f >/dev/null 2>&1
xdotool mousemove 0 0   # away from the finder, whose tooltip would cover the header
shoot_command processes-window-dark "$IDM_PROCESSES" TavrowenProcesses 'Running Processes - Tavrowen 2' 3
xdotool type --delay 30 'notepad'
xdotool key Down alt+Return
sleep 12
properties=$(window_rect TavrowenProperties -) || exit 1
shot properties-window-dark "$properties"
close_window TavrowenProperties -
close_window TavrowenProcesses 'Running Processes - Tavrowen 2'
shoot_command startup-window-dark "$IDM_STARTUP_ENTRIES" TavrowenStartup - 8
close_window TavrowenStartup -
wine reg add "$personalize" /v AppsUseLightTheme /t REG_DWORD /d 1 /f >/dev/null 2>&1

wine "$program" /shutdown >/dev/null 2>&1 || true
sleep 1
wineserver -k >/dev/null 2>&1 || true
wineserver -w
}

# The lists and the Properties window in a language of Windows, at 96 DPI:
# FOLDER LOCALE. Wine takes the display language from the Unix locale, which
# must exist (cmake/prerequisites.sh makes it).
shoot_in_language() {
out="$base/$1"
mkdir -p "$out"
locale -a | grep -qix "$(echo "$2" | sed 's/UTF-8/utf-\\?8/')" || fail "no $2 locale: run cmake/prerequisites.sh"
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
copy_wine_prefix "$template" "$prefix"
export_wine_settings "$prefix"
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
wineserver -w
installed="$prefix/drive_c/Program Files/Tavrowen 2"
mkdir -p "$installed"
cp "$built/Tavrowen2.exe" "$built/Tavrowen2Admin.exe" "$installed/"
wine reg add 'HKCU\Software\Wine\AppDefaults\Tavrowen2.exe' /v Version /d win10 /f >/dev/null 2>&1
wineserver -w
LC_ALL="$2" wine "$program" /autostart >/dev/null 2>&1 &
for _ in $(seq 100); do helper post Tavrowen2 - 0 0 0 >/dev/null 2>&1 && break; sleep 0.2; done
sleep 1
for other in notepad winemine regedit; do
    wine start /min "$other" >/dev/null 2>&1 || true
done
sleep 2
shoot_command processes-window "$IDM_PROCESSES" TavrowenProcesses - 3
xdotool type --delay 30 'notepad'
xdotool key Down alt+Return
sleep 3
properties=$(window_rect TavrowenProperties -) || exit 1
shot properties-window "$properties"
close_window TavrowenProperties -
close_window TavrowenProcesses -
shoot_command startup-window "$IDM_STARTUP_ENTRIES" TavrowenStartup - 8
close_window TavrowenStartup -
wine "$program" /shutdown >/dev/null 2>&1 || true
sleep 1
wineserver -k >/dev/null 2>&1 || true
wineserver -w
}

for dpi in 96 144; do
    shoot_every_window "$dpi"
done
shoot_in_language de-DE de_DE.UTF-8
shoot_in_language ja-JP ja_JP.UTF-8
