#!/bin/sh
# Runs the Startup Entries window benchmark under Wine in a copy of the
# build tree's template prefix, with 500 Run values planted.
#   startup_window.sh BUILD_DIR [ENTRIES (500)]
set -eu
build_dir=$(cd "${1:?usage: startup_window.sh BUILD_DIR [ENTRIES]}" && pwd)
shift
root=$(cd "$(dirname "$0")/.." && pwd)
bench_name=bench_startup_window
. "$root/bench/bench_prefix.sh"
export TAVROWEN_RUN_TIMEOUT=1800
exec sh "$root/tests/wine_run.sh" "$build_dir/bin/bench_startup_window.exe" "$@"
