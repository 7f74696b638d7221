#!/bin/sh
# Lookup speed for both builds, in one go, beside the same figures for the
# sequential lookup of a baseline commit, so every gain is a ratio:
#  - throughput: the fingerprint of a 256 MiB file in the page cache
#    (bench_fingerprint.exe, this tree's and the baseline's) next to md5sum,
#    the three interleaved round by round;
#  - responsiveness, cache and exit: bench_lookup_click.exe drives
#    Tavrowen2.exe (this tree's, then the baseline's) beside the stand-in
#    Task Manager and clicks the row of a running 256 MiB executable.
# Needs build/i686 and build/x86_64 of this tree built (bench targets too)
# with their template prefixes (ctest -R prepare_wine_prefix). The baseline's
# Tavrowen2 and bench_fingerprint are built into build/baseline-<arch> on
# first use. Not run by test.sh.
#   lookup_speed.sh [BASELINE_COMMIT] [ROUNDS (default 5)]
# The default baseline is the last commit whose lookups ran on the window
# thread with 4 KiB reads.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
baseline="${1:-be822cf}"
rounds="${2:-5}"
size_mib=256

wine_env_dir="$root/tests"
. "$wine_env_dir/wine_env.sh"
command -v md5sum >/dev/null || { echo "md5sum is missing (coreutils)"; exit 1; }

work=$(mktemp -d /tmp/lookup-speed.XXXXXX)
xvfb_pid=""
prefix=""
cleanup() {
    [ -n "$prefix" ] && WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Builds the baseline's program and fingerprint benchmark for one architecture.
build_baseline() {
    dir="$root/build/baseline-$1"
    if [ -f "$dir/bin/Tavrowen2.exe" ] && [ "$(cat "$dir/commit" 2>/dev/null)" = "$baseline" ]; then
        return 0
    fi
    echo "building $baseline for $1 into $dir"
    rm -rf "$dir"
    mkdir -p "$dir/src"
    git -C "$root" archive "$baseline" | tar -x -C "$dir/src"
    cmake -S "$dir/src" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$dir/src/cmake/toolchain-$1.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DTAVROWEN_BUILD_TESTS=OFF >"$dir/configure.log" 2>&1 ||
        { cat "$dir/configure.log"; return 1; }
    cmake --build "$dir" -j2 --target Tavrowen2 bench_fingerprint >"$dir/build.log" 2>&1 ||
        { tail -n 30 "$dir/build.log"; return 1; }
    echo "$baseline" >"$dir/commit"
}

now() { date +%s.%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

# The data for the throughput rounds: random bytes, kept in the page cache.
data="$work/data.bin"
head -c "$((size_mib * 1048576))" /dev/urandom >"$data"
bytes=$(stat -c %s "$data")
expected=$(md5sum "$data" | cut -d' ' -f1)

start_virtual_display
summary=""
for arch in i686 x86_64; do
    build="$root/build/$arch"
    note_if_emulated "$arch"
    template="$build/wine/template"
    for needed in Tavrowen2.exe bench_fingerprint.exe bench_lookup_click.exe locator_target.exe recorder.exe \
                  standin_taskmgr.exe; do
        [ -f "$build/bin/$needed" ] || { echo "missing $build/bin/$needed: build $arch first"; exit 1; }
    done
    [ -f "$template/.tavrowen-ready" ] || { echo "missing $template (ctest -R prepare_wine_prefix)"; exit 1; }
    build_baseline "$arch"
    old="$root/build/baseline-$arch/bin"

    prefix="$work/prefix-$arch"
    copy_wine_prefix "$template" "$prefix"
    export_wine_settings "$prefix"
    wineserver -p

    echo "== $arch: throughput, $size_mib MiB in the page cache, $rounds rounds =="
    cat "$data" >/dev/null
    for program in "$build/bin/bench_fingerprint.exe" "$old/bench_fingerprint.exe"; do
        wine "$program" "$(windows_path "$data")" 1 >"$work/first.txt" 2>&1
        grep -q "digest $expected " "$work/first.txt" ||
            { echo "$program: digest differs from md5sum's"; cat "$work/first.txt"; exit 1; }
    done
    : >"$work/md5sum"; : >"$work/new"; : >"$work/old"
    i=1
    while [ "$i" -le "$rounds" ]; do
        s=$(now); md5sum "$data" >/dev/null; e=$(now)
        r_md5sum=$(awk -v b="$bytes" -v s="$s" -v e="$e" 'BEGIN { printf "%.1f", b / (e - s) / 1e6 }')
        r_new=$(wine "$build/bin/bench_fingerprint.exe" "$(windows_path "$data")" 1 2>&1 | tr -d '\r' |
                awk '/^median/ { print $2 }')
        r_old=$(wine "$old/bench_fingerprint.exe" "$(windows_path "$data")" 1 2>&1 | tr -d '\r' |
                awk '/^median/ { print $2 }')
        echo "$r_md5sum" >>"$work/md5sum"; echo "$r_new" >>"$work/new"; echo "$r_old" >>"$work/old"
        echo "round $i: md5sum $r_md5sum MB/s, fingerprint $r_new MB/s, baseline fingerprint $r_old MB/s"
        i=$((i + 1))
    done
    m_md5sum=$(median <"$work/md5sum"); m_new=$(median <"$work/new"); m_old=$(median <"$work/old")
    line=$(awk -v n="$m_new" -v o="$m_old" -v m="$m_md5sum" -v a="$arch" 'BEGIN {
        printf "%s throughput (medians): md5sum %.1f MB/s, fingerprint %.1f MB/s (%.2f x md5sum), baseline %.1f MB/s (%.2f x md5sum); fingerprint/baseline %.2f",
               a, m, n, n / m, o, o / m, n / o }')
    echo "$line"
    summary="$summary$line
"

    # The large executable: the locator's target padded with random bytes to 256 MiB.
    mkdir -p "$prefix/drive_c/tavrowen-bench"
    target="$prefix/drive_c/tavrowen-bench/bigtarget.exe"
    cp "$build/bin/locator_target.exe" "$target"
    head -c "$((size_mib * 1048576 - $(stat -c %s "$target")))" /dev/urandom >>"$target"
    cat "$target" >/dev/null
    for which in new old; do
        if [ "$which" = new ]; then program="$build/bin/Tavrowen2.exe"; else program="$old/Tavrowen2.exe"; fi
        echo "== $arch: clicks, $which program ($program) =="
        wine "$build/bin/bench_lookup_click.exe" "$(windows_path "$program")" 'C:\tavrowen-bench\bigtarget.exe' \
             "$rounds" >"$work/click.txt" 2>&1 || { cat "$work/click.txt"; echo "click benchmark failed"; exit 1; }
        tr -d '\r' <"$work/click.txt"
        summary="$summary$arch $which: $(tr -d '\r' <"$work/click.txt" | grep -E '^(medians|worst|exit)' | tr '\n' ' ')
"
    done
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
    prefix=""
done
echo "== summary (baseline $baseline) =="
printf '%s' "$summary"
