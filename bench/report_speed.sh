#!/bin/sh
# Runs the report's benchmark under Wine in a copy of the build tree's
# template prefix (x86_64 build), beside 200 idle processes and 500 Run values.
#   report_speed.sh BUILD_DIR [PROCESSES (200)] [STARTUP ENTRIES (500)] [ROUNDS (3)]
set -eu
build_dir=$(cd "${1:?usage: report_speed.sh BUILD_DIR [PROCESSES] [ENTRIES] [ROUNDS]}" && pwd)
shift
root=$(cd "$(dirname "$0")/.." && pwd)
grep -q 'toolchain-x86_64' "$build_dir/CMakeCache.txt" || { echo "report_speed.sh: give it the x86_64 build"; exit 1; }
bench_name=bench_report
. "$root/bench/bench_prefix.sh"
export TAVROWEN_RUN_TIMEOUT=1800
exec sh "$root/tests/wine_run.sh" "$build_dir/bin/bench_report.exe" "$@"
