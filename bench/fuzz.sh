#!/bin/sh
# A long run of the fuzz driver in its own copy of the build tree's prefix:
#   bench/fuzz.sh BUILD_DIR [SECONDS] [SEED]
# Runs bin/fuzz.exe for SECONDS (default 600) from SEED (default: the time),
# and prints the inputs tried per target and every failure with its seed.
# The whole output is kept in BUILD_DIR/fuzz-long.log.
set -u
build_dir=$(cd "${1:?usage: fuzz.sh BUILD_DIR [SECONDS] [SEED]}" && pwd)
seconds="${2:-600}"
seed="${3:-$(date +%s)}"
here=$(cd "$(dirname "$0")" && pwd)
log="$build_dir/fuzz-long.log"

[ -f "$build_dir/wine/template/.tavrowen-ready" ] || {
    echo "no template prefix in $build_dir: run ctest -R prepare_wine_prefix there first" >&2
    exit 2
}
TAVROWEN_WINE_TEMPLATE="$build_dir/wine/template" TAVROWEN_WINE_PREFIX="$build_dir/wine/fuzz-long" \
TAVROWEN_RUN_TIMEOUT=$((seconds + 300)) \
    sh "$here/../tests/wine_run.sh" "$build_dir/bin/fuzz.exe" --seed "$seed" --inputs 1000000000000 \
       --seconds "$seconds" >"$log" 2>&1
status=$?
grep -v ': seeds ' "$log"
# After a crash the last batch printed holds the seed.
[ "$status" -eq 3 ] && grep ': seeds ' "$log" | tail -n 1
exit "$status"
