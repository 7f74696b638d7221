#!/bin/sh
# Points a mingw-built program's load-configuration entry at its
# _load_config_used record, as newer GNU ld does by itself (2.40 does not).
# Leaves a program whose entry is already set as it is.
#   set_load_config.sh PROGRAM LINKER_MAP
set -eu
exe="$1"
map="$2"
# Reads COUNT little-endian bytes at OFFSET as a number.
read_number() {
    od -An -tu1 -j "$1" -N "$2" "$exe" | awk '{ for (i = NF; i >= 1; --i) n = n * 256 + $i } END { printf "%.0f", n }'
}
write_dword() {
    v=$2
    bytes=""
    for i in 1 2 3 4; do
        bytes="$bytes$(printf '\\%03o' $((v % 256)))"
        v=$((v / 256))
    done
    printf "$bytes" | dd of="$exe" bs=1 seek="$1" conv=notrunc status=none
}
header=$(read_number 60 4)
magic=$(read_number $((header + 24)) 2)
case "$magic" in
    267) image_base=$(read_number $((header + 52)) 4); directories=$((header + 24 + 96)) ;;  # PE32
    523) image_base=$(read_number $((header + 48)) 8); directories=$((header + 24 + 112)) ;;  # PE32+
    *) echo "$exe: not a PE program" >&2; exit 1 ;;
esac
entry=$((directories + 10 * 8))
[ "$(read_number "$entry" 4)" -eq 0 ] || exit 0
address=$(awk '$2 == "_load_config_used" || $2 == "__load_config_used" { print $1; exit }' "$map")
[ -n "$address" ] || { echo "$map: no _load_config_used" >&2; exit 1; }
rva=$((address - image_base))
# The record's first field is its size; 32-bit Windows XP wants 64 in the entry.
if [ "$magic" -eq 267 ]; then size=64; else size=0; fi
write_dword "$entry" "$rva"
if [ "$size" -eq 0 ]; then
    # The record's file offset: through the section that holds its address.
    sections=$((header + 24 + $(read_number $((header + 20)) 2)))
    count=$(read_number $((header + 6)) 2)
    i=0
    while [ "$i" -lt "$count" ]; do
        s=$((sections + i * 40))
        va=$(read_number $((s + 12)) 4); raw=$(read_number $((s + 16)) 4); file=$(read_number $((s + 20)) 4)
        if [ "$rva" -ge "$va" ] && [ "$rva" -lt $((va + raw)) ]; then
            size=$(read_number $((file + rva - va)) 4)
        fi
        i=$((i + 1))
    done
fi
[ "$size" -gt 0 ] || { echo "$exe: record not found in any section" >&2; exit 1; }
write_dword $((entry + 4)) "$size"
