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

xvfb_pid=""
display_file=""
cleanup() {
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    [ -n "$display_file" ] && rm -f "$display_file"
}
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ]; then
    display_file=$(mktemp)
    Xvfb -displayfd 9 -nolisten tcp -screen 0 1280x1024x24 9>"$display_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    DISPLAY=":$(head -n 1 "$display_file")"
    export DISPLAY
fi

# System folders are hard-linked (nothing writes there); the rest is copied.
rm -rf "$prefix"
mkdir -p "$prefix"
tar -C "$TAVROWEN_WINE_TEMPLATE" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 \
    --exclude=./drive_c/windows/winsxs -cf - . | tar -C "$prefix" -xf -
for dir in system32 syswow64 winsxs; do
    [ -d "$TAVROWEN_WINE_TEMPLATE/drive_c/windows/$dir" ] &&
        cp -al "$TAVROWEN_WINE_TEMPLATE/drive_c/windows/$dir" "$prefix/drive_c/windows/$dir"
done

export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

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
