#!/bin/sh
# Fails when a product folder includes a header of a folder above it
# (core/ includes only core/, lookup/ nothing of taskmgr/ or app/, taskmgr/
# nothing of app/), when a setting name or a window message of app/ is used
# below app/, or when the files of one folder include each other in a
# circle, a .cpp and its .h counting as one unit.
#   check_layers.sh SOURCE_ROOT
set -u
root="${1:?usage: check_layers.sh SOURCE_ROOT}"
failed=0
refuse() {
    folder="$1"
    pattern="$2"
    hits=$(grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"($pattern)/" "$root/$folder"/*.cpp "$root/$folder"/*.h 2>/dev/null)
    if [ -n "$hits" ]; then
        printf '%s/ includes a higher layer:\n%s\n' "$folder" "$hits"
        failed=1
    fi
}
refuse core 'lookup|taskmgr|app'
refuse lookup 'taskmgr|app'
refuse taskmgr 'app'

# What only app/ knows: its setting names (by identifier and by the text of
# the value's name) and its private window messages. Below app/ they are
# told as parameters, never named.
app_names=$(sed -nE 's/^extern const wchar_t ([A-Za-z0-9_]+Setting)\[\].*/\1/p; s/^#define (WM_[A-Z0-9_]+) .*/\1/p' \
    "$root"/app/*.h 2>/dev/null)
app_values=$(sed -nE 's/^const wchar_t [A-Za-z0-9_]+Setting\[\] = L"([^"]+)";.*/\1/p' "$root"/app/*.cpp 2>/dev/null)
for name in $app_names; do
    hits=$(grep -nwF "$name" "$root"/core/* "$root"/lookup/* "$root"/taskmgr/* 2>/dev/null)
    if [ -n "$hits" ]; then
        printf '%s of app/ is used below app/:\n%s\n' "$name" "$hits"
        failed=1
    fi
done
for value in $app_values; do
    hits=$(grep -nF "L\"$value\"" "$root"/core/* "$root"/lookup/* "$root"/taskmgr/* 2>/dev/null)
    if [ -n "$hits" ]; then
        printf 'the setting "%s" of app/ is named below app/:\n%s\n' "$value" "$hits"
        failed=1
    fi
done

# One "includer included" pair per include between two units of the folder;
# tsort finds any circle among them.
for folder in core lookup taskmgr app; do
    pairs=$(for file in "$root/$folder"/*.cpp "$root/$folder"/*.h; do
        [ -f "$file" ] || continue
        unit=$(basename "$file" | sed 's/\.[^.]*$//')
        sed -nE "s|^[[:space:]]*#[[:space:]]*include[[:space:]]*\"$folder/([^\"]+)\.h\".*|\1|p" "$file" |
            while read -r included; do
                [ "$included" = "$unit" ] || echo "$unit $included"
            done
    done)
    [ -n "$pairs" ] || continue
    if ! loop=$(printf '%s\n' "$pairs" | tsort 2>&1 >/dev/null) || [ -n "$loop" ]; then
        printf '%s/ has an include circle:\n%s\n' "$folder" "$loop"
        failed=1
    fi
done
[ "$failed" -eq 0 ] && echo "layers: core <- lookup <- taskmgr <- app, no include goes upwards or round in a circle, no name of app/ below it"
exit "$failed"
