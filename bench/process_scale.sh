#!/bin/sh
# Runs the Running Processes window's scale benchmark under Wine in a copy of the
# build tree's template prefix, fed 2,000 made-up processes.
#   process_scale.sh BUILD_DIR [PROCESSES (2000)]
set -eu
build_dir=$(cd "${1:?usage: process_scale.sh BUILD_DIR [PROCESSES]}" && pwd)
shift
root=$(cd "$(dirname "$0")/.." && pwd)
bench_name=bench_process_scale
. "$root/bench/bench_prefix.sh"
export TAVROWEN_RUN_TIMEOUT=1800
exec sh "$root/tests/wine_run.sh" "$build_dir/bin/bench_process_scale.exe" "$@"
