#!/bin/sh
# Runs the Running Processes window's benchmark under Wine in a copy of the
# build tree's template prefix, with 150 idle processes beside it.
#   process_window.sh BUILD_DIR [PROCESSES (150)] [SECONDS PER CPU STRETCH (60)] [ROUNDS (200)]
set -eu
build_dir=$(cd "${1:?usage: process_window.sh BUILD_DIR [PROCESSES] [SECONDS] [ROUNDS]}" && pwd)
shift
root=$(cd "$(dirname "$0")/.." && pwd)
bench_name=bench_process_window
. "$root/bench/bench_prefix.sh"
export TAVROWEN_RUN_TIMEOUT=1800
exec sh "$root/tests/wine_run.sh" "$build_dir/bin/bench_process_window.exe" "$@"
