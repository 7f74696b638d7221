#!/bin/sh
# Runs the Running Processes window's scale benchmark under Wine in a copy of the
# build tree's template prefix, fed 2,000 made-up processes.
#   process_window.sh BUILD_DIR [PROCESSES (2000)]
set -eu
build_dir=$(cd "${1:?usage: process_window.sh BUILD_DIR [PROCESSES]}" && pwd)
shift
root=$(cd "$(dirname "$0")/.." && pwd)
arch=i686
grep -q 'toolchain-x86_64' "$build_dir/CMakeCache.txt" && arch=x86_64
wine_env_dir="$root/tests"
. "$wine_env_dir/wine_env.sh"
note_if_emulated "$arch"
template="$build_dir/wine/template"
sh "$root/tests/make_prefix.sh" "$template" "$build_dir/bin" "$arch" >/dev/null
export TAVROWEN_WINE_TEMPLATE="$template"
export TAVROWEN_WINE_PREFIX="$build_dir/wine/bench_process_scale"
export TAVROWEN_RUN_TIMEOUT=1800
exec sh "$root/tests/wine_run.sh" "$build_dir/bin/bench_process_scale.exe" "$@"
