#!/bin/sh
# MD5 throughput of ComputeFileFingerprint under Wine next to md5sum and
# openssl on the same file, the file in the page cache. Builds nothing: give
# it a build tree that holds bin/bench_fingerprint.exe and its template Wine
# prefix (ctest -R prepare_wine_prefix makes it).
#   md5_speed.sh BUILD_DIR [ROUNDS=7] [SIZE_MIB=256]
# Each round runs md5sum, openssl and our program once, one after the other,
# so a change in the machine's load hits all three alike; medians are printed.
set -eu
build=$(cd "${1:?usage: md5_speed.sh BUILD_DIR [ROUNDS] [SIZE_MIB]}" && pwd)
rounds="${2:-7}"
size_mib="${3:-256}"
bench_exe="$build/bin/bench_fingerprint.exe"
template="$build/wine/template"

[ -f "$bench_exe" ] || { echo "missing $bench_exe (build target bench_fingerprint)"; exit 1; }
[ -f "$template/.tavrowen-ready" ] || { echo "missing $template (ctest -R prepare_wine_prefix)"; exit 1; }
command -v openssl >/dev/null || { echo "openssl is not installed (apt-get install openssl)"; exit 1; }

work=$(mktemp -d /tmp/md5-speed.XXXXXX)
prefix="$work/prefix"
xvfb_pid=""
cleanup() {
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

wine_env_dir="$(dirname "$0")/../tests"
. "$wine_env_dir/wine_env.sh"
copy_wine_prefix "$template" "$prefix"
export_wine_settings "$prefix"
start_virtual_display
# Keep the Wine server up between runs so each start is cheap.
wineserver -p

file="$work/data.bin"
head -c "$((size_mib * 1048576))" /dev/urandom >"$file"
bytes=$(stat -c %s "$file")
cat "$file" >/dev/null
windows_file="Z:$(printf '%s' "$file" | tr / '\\')"

now() { date +%s.%N; }
rate() { awk -v b="$bytes" -v s="$1" -v e="$2" 'BEGIN { printf "%.1f", b / (e - s) / 1e6 }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

expected=$(md5sum "$file" | cut -d' ' -f1)
# The first start of Wine in a fresh prefix is slow; keep it out of the rounds.
wine "$bench_exe" "$windows_file" 1 >"$work/first.txt" 2>&1
grep -q "digest $expected " "$work/first.txt" || { echo "our digest differs from md5sum's:"; cat "$work/first.txt"; exit 1; }

: >"$work/md5sum"; : >"$work/openssl"; : >"$work/ours"
i=1
while [ "$i" -le "$rounds" ]; do
    s=$(now); md5sum "$file" >/dev/null; e=$(now)
    r_md5sum=$(rate "$s" "$e"); echo "$r_md5sum" >>"$work/md5sum"
    s=$(now); openssl dgst -md5 "$file" >/dev/null; e=$(now)
    r_openssl=$(rate "$s" "$e"); echo "$r_openssl" >>"$work/openssl"
    r_ours=$(wine "$bench_exe" "$windows_file" 1 2>&1 | tr -d '\r' | awk '/^median/ { print $2 }')
    echo "$r_ours" >>"$work/ours"
    echo "round $i: md5sum $r_md5sum MB/s, openssl $r_openssl MB/s, ours $r_ours MB/s"
    i=$((i + 1))
done

m_md5sum=$(median <"$work/md5sum")
m_openssl=$(median <"$work/openssl")
m_ours=$(median <"$work/ours")
case $(file -b "$bench_exe") in
    PE32+*) arch=x86_64 ;;
    PE32*) arch=i686 ;;
    *) arch=unknown ;;
esac
echo "build: $build ($arch), file: $size_mib MiB, rounds: $rounds"
note_if_emulated "$arch"
echo "median md5sum  $m_md5sum MB/s"
echo "median openssl $m_openssl MB/s"
echo "median ours    $m_ours MB/s (ComputeFileFingerprint under Wine)"
awk -v o="$m_ours" -v m="$m_md5sum" -v s="$m_openssl" \
    'BEGIN { printf "ratio ours/md5sum %.3f, ours/openssl %.3f\n", o / m, o / s }'
