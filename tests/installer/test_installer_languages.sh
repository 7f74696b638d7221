#!/bin/bash
# Setup in the language of Windows: a silent install under a German and a
# Japanese locale (Wine takes the display language from it) writes its
# Explorer verb in that language and keeps the language for the uninstaller;
# under the plain locale it stays English.
#   test_installer_languages.sh VERSION I686_TREE X86_64_TREE
# Exit code 77 (skipped) while the 32-bit tree is unbuilt or a locale is missing.
set -uo pipefail
version="$1"
i686_tree="$2"
x64_tree="$3"
here=$(cd "$(dirname "$0")" && pwd)
source_root=$(cd "$here/../.." && pwd)
if [ ! -f "$i686_tree/bin/Tavrowen2.exe" ]; then
    echo "skipped: the 32-bit tree $i686_tree has not been built"
    exit 77
fi
for locale_name in de_DE ja_JP; do
    locale -a | grep -qix "$locale_name.utf-\?8" || { echo "skipped: no $locale_name.UTF-8 locale"; exit 77; }
done
wine_env_dir="$source_root/tests"
. "$wine_env_dir/wine_env.sh"
work="$x64_tree/installer-languages-test"
prefix="$x64_tree/wine/installer-languages"
verb_key='HKLM\Software\Classes\exefile\shell\TavrowenLookUp'
settings_key='HKCU\Software\Veltrix\Tavrowen2'

failures=0
same() {
    [ "$2" = "$3" ] || { echo "FAIL: $1: got '$2', expected '$3'"; failures=$((failures + 1)); }
}
xvfb_pid=""
finish() {
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap finish EXIT
start_virtual_display

rm -rf "$work"
bash "$source_root/installer/make_packages.sh" "$version" "$i686_tree/bin" "$x64_tree/bin" "$work" \
    "$x64_tree/CMakeCache.txt" >"$work.log" 2>&1 || { cat "$work.log"; echo "FAIL: making the packages"; exit 1; }
setup="$work/Tavrowen2-$version-setup.exe"

# reg writes in the console's code page, the locale's OEM one: CHARSET.
registry_value() {  # KEY NAME ('' for the default)
    local which=(/ve)
    [ -n "${2:-}" ] && which=(/v "$2")
    timeout -k 5 120 wine reg query "$1" "${which[@]}" </dev/null 2>/dev/null | iconv -f "$charset" -t UTF-8 |
        tr -d '\r' | sed -n 's/^    [^ ].*    REG_[A-Z_]*    //p'
}

# A fresh prefix per locale: LOCALE CHARSET LANGUAGE_ID VERB_TEXT
install_under() {
    local where="${1:-the plain locale}"
    charset="$2"
    echo "== silent install under $where =="
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1
    copy_wine_prefix "$x64_tree/wine/template" "$prefix"
    export_wine_settings "$prefix"
    (
        [ -n "$1" ] && export LC_ALL="$1"
        timeout -k 5 120 wine "$setup" /S </dev/null >/dev/null 2>&1
        same "setup exit code under $where" "$?" 0
        same "Explorer verb under $where" "$(registry_value "$verb_key")" "$4"
        same "language kept for the uninstaller under $where" \
             "$(registry_value "$settings_key" 'Installer Language')" "$3"
        exit "$failures"
    ) || failures=$((failures + 1))
}

install_under de_DE.UTF-8 CP850 1031 "Auf Kestrava nachschlagen"
install_under ja_JP.UTF-8 CP932 1041 "Kestrava で調べる"
install_under "" CP437 1033 "Look Up on Kestrava"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "all passed"
