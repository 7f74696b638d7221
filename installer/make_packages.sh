#!/bin/bash
# Makes the release packages from both architectures' built programs:
# the setup program (installer/tavrowen2.nsi) and the portable zip.
#   make_packages.sh VERSION X86_BIN_DIR X64_BIN_DIR OUT_DIR CMAKE_CACHE
# CMAKE_CACHE: a build tree's CMakeCache.txt, which holds the programs' own
# identifiers (settings key, Run value, window class) for Setup.
# Fails when the setup program exceeds 1 MiB.
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 VERSION X86_BIN_DIR X64_BIN_DIR OUT_DIR CMAKE_CACHE" >&2; exit 2; }
version="$1"
x86_dir=$(cd "$2" && pwd)
x64_dir=$(cd "$3" && pwd)
out_dir="$4"
cache="$5"
cached() {
    local value
    value=$(sed -n "s/^$1:INTERNAL=//p" "$cache")
    [ -n "$value" ] || { echo "no $1 in $cache" >&2; exit 1; }
    printf '%s' "$value"
}
settings_key=$(cached TAVROWEN_SETTINGS_KEY)
run_value=$(cached TAVROWEN_RUN_VALUE)
window_class=$(cached TAVROWEN_WINDOW_CLASS)
shutdown_message=$(cached TAVROWEN_SHUTDOWN_MESSAGE)
here=$(cd "$(dirname "$0")" && pwd)
size_limit=1048576

. "$here/pe_machine.sh"
programs=(Tavrowen2.exe Tavrowen2Admin.exe)
# A build tree of the wrong architecture would otherwise ship unnoticed.
for program in "${programs[@]}"; do
    [ "$(pe_machine "$x86_dir/$program")" = 014c ] || { echo "$x86_dir/$program is not a 32-bit x86 program" >&2; exit 1; }
    [ "$(pe_machine "$x64_dir/$program")" = 8664 ] || { echo "$x64_dir/$program is not an x64 program" >&2; exit 1; }
done

mkdir -p "$out_dir"
out_dir=$(cd "$out_dir" && pwd)
setup="$out_dir/Tavrowen2-$version-setup.exe"
portable="$out_dir/Tavrowen2-$version-portable.zip"
rm -f "$setup" "$portable"

makensis -V2 -NOCD -DVERSION="$version" -DX86_DIR="$x86_dir" -DX64_DIR="$x64_dir" \
         -DICON="$here/../res/tavrowen2.ico" -DOUTFILE="$setup" -DSETTINGS_KEY="$settings_key" \
         -DRUN_VALUE="$run_value" -DMAIN_WINDOW_CLASS="$window_class" -DSHUTDOWN_MESSAGE="$shutdown_message" \
         "$here/tavrowen2.nsi"

staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
mkdir "$staging/x86" "$staging/x64"
for program in "${programs[@]}"; do
    cp "$x86_dir/$program" "$staging/x86/"
    cp "$x64_dir/$program" "$staging/x64/"
done
# Windows line ends, so that every Notepad shows the lines.
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' "$here/portable_readme.txt" >"$staging/README.txt"
(cd "$staging" && zip -q -X -9 "$portable" README.txt x86/* x64/*)

size=$(stat -c %s "$setup")
echo "setup:    $setup"
echo "portable: $portable"
echo "setup size: $size bytes ($(( (size + 1023) / 1024 )) KiB; limit $size_limit bytes)"
if [ "$size" -gt "$size_limit" ]; then
    echo "setup is larger than 1 MiB" >&2
    exit 1
fi
