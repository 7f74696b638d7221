#!/bin/sh
# The main job on a virtual display (unless DISPLAY is set): starts Tavrowen 2,
# which starts the stand-in Task Manager; clicks the link strip beside
# Tavrowen 2's row and prints the address the browser received.
#   run_demo.sh BUILD_DIR
set -eu
build_dir=$(cd "${1:?usage: run_demo.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)

arch=i686
grep -q 'toolchain-x86_64' "$build_dir/CMakeCache.txt" && arch=x86_64
template="$build_dir/wine/template"
sh "$here/make_prefix.sh" "$template" "$build_dir/bin" "$arch" >/dev/null

export TAVROWEN_WINE_TEMPLATE="$template"
export TAVROWEN_WINE_PREFIX="$build_dir/wine/demo"
export TAVROWEN_RUN_TIMEOUT=180
exec sh "$here/wine_run.sh" "$build_dir/bin/demo_driver.exe"
