#!/bin/sh
# The soak under Wine: bench_soak.exe runs the real Tavrowen2.exe beside the
# stand-in Task Manager (the prefix's taskmgr.exe) for CYCLES openings and
# closings with clicks in between, and prints the program's handle count and
# resident memory every 20 cycles. 200 cycles take about 3 minutes.
#   soak.sh BUILD_DIR [CYCLES (default 200)]
set -eu
build_dir=$(cd "${1:?usage: soak.sh BUILD_DIR [CYCLES]}" && pwd)
cycles="${2:-200}"
root=$(cd "$(dirname "$0")/.." && pwd)
bench_name=bench_soak
. "$root/bench/bench_prefix.sh"
export TAVROWEN_RUN_TIMEOUT=$((cycles * 30 + 300))
exec sh "$root/tests/wine_run.sh" "$build_dir/bin/bench_soak.exe" "$cycles"
