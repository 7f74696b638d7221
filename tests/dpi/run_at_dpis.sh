#!/bin/sh
# Runs the DPI test program at 96, 144 and 192 DPI, each in a prefix of its
# own whose LogPixels is set first: the 96 DPI run writes down what it
# measured for the others to compare with.
#   run_at_dpis.sh TEST_PROGRAM
set -u
exe="$1"
here=$(cd "$(dirname "$0")/.." && pwd)
results="${TAVROWEN_WINE_PREFIX:?}.measured.txt"
rm -f "$results"
TAVROWEN_DPI_RESULTS="Z:$(echo "$results" | tr / '\\')"
export TAVROWEN_DPI_RESULTS
status=0
for dpi in 96 144 192; do
    echo "== at $dpi DPI"
    TAVROWEN_WINE_DPI=$dpi TAVROWEN_TEST_DPI=$dpi TAVROWEN_WINE_PREFIX="$TAVROWEN_WINE_PREFIX-$dpi" \
        sh "$here/wine_run.sh" "$exe" || status=1
    [ -f "$results" ] || { echo "run_at_dpis: the 96 DPI run measured nothing"; exit 1; }
done
rm -f "$results"
exit "$status"
