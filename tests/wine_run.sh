#!/bin/sh
# Runs one Windows program under Wine in its own copy of the build tree's
# template prefix, on a private virtual display unless DISPLAY is set.
#   TAVROWEN_WINE_TEMPLATE  the template prefix (made by make_prefix.sh)
#   TAVROWEN_WINE_PREFIX    where this run's prefix goes (default: beside the template)
#   TAVROWEN_RUN_TIMEOUT    seconds before the run is killed (default 600)
set -u
exe="$1"
shift

: "${TAVROWEN_WINE_TEMPLATE:?set TAVROWEN_WINE_TEMPLATE to the template prefix}"
prefix="${TAVROWEN_WINE_PREFIX:-$TAVROWEN_WINE_TEMPLATE.run}"
timeout_s="${TAVROWEN_RUN_TIMEOUT:-600}"

wine_env_dir=$(dirname "$0")
. "$wine_env_dir/wine_env.sh"
xvfb_pid=""

cleanup() {
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT INT TERM

start_virtual_display
copy_wine_prefix "$TAVROWEN_WINE_TEMPLATE" "$prefix"
export_wine_settings "$prefix"
# A DPI of its own: Wine reads LogPixels when its server starts.
if [ -n "${TAVROWEN_WINE_DPI:-}" ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$TAVROWEN_WINE_DPI" /f >/dev/null 2>&1
    wineserver -w
fi

# Programs the test starts inherit our output; a pipe would never close, so use a file.
log="$prefix.log"
timeout -k 5 "$timeout_s" wine "$exe" "$@" >"$log" 2>&1 </dev/null
rc=$?
cat "$log"
[ "$rc" -eq 124 ] && echo "wine_run: $exe killed after ${timeout_s}s"
if [ "$rc" -eq 0 ]; then
    cleanup
    trap - EXIT
    rm -rf "$prefix" "$log"
fi
exit "$rc"
