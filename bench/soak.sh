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

arch=i686
grep -q 'toolchain-x86_64' "$build_dir/CMakeCache.txt" && arch=x86_64
wine_env_dir="$root/tests"
. "$wine_env_dir/wine_env.sh"
note_if_emulated "$arch"
template="$build_dir/wine/template"
sh "$root/tests/make_prefix.sh" "$template" "$build_dir/bin" "$arch" >/dev/null

export TAVROWEN_WINE_TEMPLATE="$template"
export TAVROWEN_WINE_PREFIX="$build_dir/wine/bench_soak"
export TAVROWEN_RUN_TIMEOUT=$((cycles * 30 + 300))
exec sh "$root/tests/wine_run.sh" "$build_dir/bin/bench_soak.exe" "$cycles"
