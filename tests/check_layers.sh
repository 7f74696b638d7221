#!/bin/sh
# Fails when a product folder includes a header of a folder above it:
# core/ includes only core/, lookup/ nothing of taskmgr/ or app/, taskmgr/
# nothing of app/.
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
[ "$failed" -eq 0 ] && echo "layers: core <- lookup <- taskmgr <- app, no include goes upwards"
exit "$failed"
