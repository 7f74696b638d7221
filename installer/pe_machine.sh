# pe_machine FILE: prints a Windows program's PE machine field as four hex
# digits (014c for x86, 8664 for x64), or nothing when FILE is not a PE file.
# Source it.
pe_machine() {
    [ "$(head -c 2 "$1" 2>/dev/null)" = MZ ] || return 0
    local header
    header=$(od -A n -t u4 -j 60 -N 4 "$1" | tr -d ' ')
    [ "$(od -A n -c -j "$header" -N 4 "$1" | tr -d ' ')" = 'PE\0\0' ] || return 0
    # Little-endian on disk, whatever this machine is.
    od -A n -t x1 -j $((header + 4)) -N 2 "$1" | awk '{ print $2 $1 }'
}
