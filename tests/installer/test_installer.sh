#!/bin/bash
# The release packages, made from both build trees and tried under Wine:
#   test_installer.sh VERSION I686_TREE X86_64_TREE
# The setup program runs in throwaway prefixes: a copy of the 64-bit tree's
# template prefix, and a copy of a 32-bit (WINEARCH=win32) prefix made once
# in the 64-bit tree. Exit code 77 (skipped) while the 32-bit tree is unbuilt.
set -uo pipefail
version="$1"
i686_tree="$2"
x64_tree="$3"
here=$(cd "$(dirname "$0")" && pwd)
source_root=$(cd "$here/../.." && pwd)

if [ ! -f "$i686_tree/bin/Tavrowen2.exe" ] || [ ! -f "$i686_tree/bin/installer_probe.exe" ]; then
    echo "skipped: the 32-bit tree $i686_tree has not been built"
    exit 77
fi
i686_tree=$(cd "$i686_tree" && pwd)
x64_tree=$(cd "$x64_tree" && pwd)

wine_env_dir="$source_root/tests"
. "$wine_env_dir/wine_env.sh"
. "$source_root/installer/pe_machine.sh"

work="$x64_tree/installer-test"
prefix64="$x64_tree/wine/installer-64"
prefix32="$x64_tree/wine/installer-32"
win32_template="$x64_tree/wine/win32-template"
# The 32-bit probe runs in both prefixes.
probe="$i686_tree/bin/installer_probe.exe"
install_dir_windows='C:\Program Files\Tavrowen 2'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavrowen2'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
settings_key='HKCU\Software\Veltrix\Tavrowen2'
run_value='Veltrix Tavrowen 2'

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
# check DESCRIPTION COMMAND...: runs the command, noting a failure when it fails.
check() {
    local what="$1"
    shift
    "$@" || fail "$what"
}
# same DESCRIPTION ACTUAL EXPECTED
same() {
    [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"
}

xvfb_pid=""
finish() {
    for prefix in "$prefix64" "$prefix32"; do
        [ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    done
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap finish EXIT
start_virtual_display

# ---- Helpers ---------------------------------------------------------------------

wine_in() {
    timeout -k 5 120 wine "$@" </dev/null
}

use_prefix() {
    export_wine_settings "$1"
    install_dir="$1/drive_c/Program Files/Tavrowen 2"
    shortcut="$1/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tavrowen 2.lnk"
}

# One value of a key as "TYPE    DATA", or nothing; VIEW is 32, 64 or empty (the only view).
registry_value() {
    local key="$1" name="$2" view="$3"
    wine_in reg query "$key" /v "$name" ${view:+/reg:$view} 2>/dev/null | tr -d '\r' |
        sed -n "s/^    $name    //p"
}

registry_key_absent() {
    ! wine_in reg query "$1" ${2:+/reg:$2} >/dev/null 2>&1
}

# The installed files are the given build's, for the given PE machine.
check_installed_files() {
    local bin_dir="$1" machine="$2"
    for program in Tavrowen2.exe Tavrowen2Admin.exe; do
        check "$program installed from $bin_dir" cmp -s "$install_dir/$program" "$bin_dir/$program"
        same "$program machine" "$(pe_machine "$install_dir/$program")" "$machine"
    done
    check "Uninstall.exe installed" test -f "$install_dir/Uninstall.exe"
    check "shortcut in the all-users Start menu" test -f "$shortcut"
    check "shortcut names the installed program" \
        grep -aqF "$install_dir_windows\\Tavrowen2.exe" "$shortcut"
}

# Every value of the uninstall entry, read in the given view.
check_uninstall_entry() {
    local view="$1" folder="$2"
    local bytes=0
    for file in Tavrowen2.exe Tavrowen2Admin.exe Uninstall.exe; do
        bytes=$((bytes + $(stat -c %s "$install_dir/$file" 2>/dev/null || echo 0)))
    done
    local size
    size=$(registry_value "$uninstall_key" EstimatedSize "$view" | sed -n 's/^REG_DWORD    0x//p')
    local kilobytes=$((0x${size:-0}))
    [ $((kilobytes - bytes / 1024)) -ge -1 ] && [ $((kilobytes - bytes / 1024)) -le 1 ] ||
        fail "EstimatedSize $kilobytes KB for $bytes bytes"
    same "DisplayName" "$(registry_value "$uninstall_key" DisplayName "$view")" "REG_SZ    Tavrowen 2"
    same "DisplayVersion" "$(registry_value "$uninstall_key" DisplayVersion "$view")" "REG_SZ    $version"
    same "Publisher" "$(registry_value "$uninstall_key" Publisher "$view")" "REG_SZ    Veltrix"
    same "DisplayIcon" "$(registry_value "$uninstall_key" DisplayIcon "$view")" "REG_SZ    $folder\\Tavrowen2.exe,0"
    same "InstallLocation" "$(registry_value "$uninstall_key" InstallLocation "$view")" "REG_SZ    $folder"
    same "UninstallString" "$(registry_value "$uninstall_key" UninstallString "$view")" \
         "REG_SZ    \"$folder\\Uninstall.exe\""
    same "QuietUninstallString" "$(registry_value "$uninstall_key" QuietUninstallString "$view")" \
         "REG_SZ    \"$folder\\Uninstall.exe\" /S"
    same "NoModify" "$(registry_value "$uninstall_key" NoModify "$view")" "REG_DWORD    0x1"
    same "NoRepair" "$(registry_value "$uninstall_key" NoRepair "$view")" "REG_DWORD    0x1"
}

# Explorer's verb with the installed program on programs, libraries and drivers, or none; never on "*".
check_lookup_verbs() {
    local type expected="Look Up on Kestrava|\"$install_dir_windows\\Tavrowen2.exe\" /lookup \"%1\"|"
    for type in exefile dllfile sysfile '*'; do
        { [ "$1" = absent ] || [ "$type" = '*' ]; } && expected=""
        same "verb on $type" "$(wine_in reg query "HKLM\\Software\\Classes\\$type\\shell\\TavrowenLookUp" /s \
            ${2:+/reg:$2} 2>/dev/null | tr -d '\r' | sed -n 's/^    (Default)    REG_SZ    //p' | tr '\n' '|')" "$expected"
    done
}

# Starts the installed program in the background (program_pid) and waits for
# its tray icon; the probe prints the path of the copy that runs.
start_installed_program() {
    wine "$install_dir_windows\\Tavrowen2.exe" /autostart </dev/null >"$work/program.log" 2>&1 &
    program_pid=$!
    local running
    running=$(wine_in "$probe" started 60 | tr -d '\r')
    same "running program with its tray icon" "$running" "$install_dir_windows\\Tavrowen2.exe"
}

shut_down_installed_program() {
    wine_in "$install_dir_windows\\Tavrowen2.exe" /shutdown
    check "program gone after /shutdown" wine_in "$probe" gone 30
    wait "$program_pid"
    same "exit code after /shutdown" "$?" 1
}

# make_marked_build DIR: the programs with bytes appended, as another release
# would differ; they still run.
make_marked_build() {
    local arch bin_dir
    for arch in x86 x64; do
        bin_dir="$i686_tree/bin"
        [ "$arch" = x64 ] && bin_dir="$x64_tree/bin"
        mkdir -p "$1/$arch"
        for program in Tavrowen2.exe Tavrowen2Admin.exe; do
            { cat "$bin_dir/$program"; echo "another release"; } >"$1/$arch/$program"
        done
    done
}

# ---- The packages (tests 5 and 6) ------------------------------------------------

rm -rf "$work"
mkdir -p "$work"
if ! bash "$source_root/installer/make_packages.sh" "$version" "$i686_tree/bin" "$x64_tree/bin" "$work/dist" \
        "$x64_tree/CMakeCache.txt" \
        >"$work/packages.log" 2>&1; then
    cat "$work/packages.log"
    echo "FAIL: making the packages"
    exit 1
fi
cat "$work/packages.log"
setup="$work/dist/Tavrowen2-$version-setup.exe"
portable="$work/dist/Tavrowen2-$version-portable.zip"

echo "== 6: setup size =="
size=$(stat -c %s "$setup")
check "setup size printed" grep -q "^setup size: $size bytes" "$work/packages.log"
check "setup size $size within 1 MiB" test "$size" -le 1048576
setup_strings=$(strings -el "$setup")
for text in Veltrix "Tavrowen 2" "$version"; do
    check "setup version resource names $text" grep -qxF "$text" <<<"$setup_strings"
done

# The project version reaches the programs' About box and version resource.
for program in "$i686_tree/bin/Tavrowen2.exe" "$x64_tree/bin/Tavrowen2Admin.exe"; do
    resource_strings=$(strings -el "$program")
    check "About box of $program reads Version $version" grep -qxF "Version $version" <<<"$resource_strings"
    check "version resource of $program holds $version" grep -qxF "$version" <<<"$resource_strings"
done

echo "== 5: portable zip =="
same "portable zip contents" "$(unzip -Z1 "$portable" | sort | tr '\n' ' ')" \
     "README.txt x64/Tavrowen2.exe x64/Tavrowen2Admin.exe x86/Tavrowen2.exe x86/Tavrowen2Admin.exe "
unzip -q -d "$work/portable" "$portable"
for program in Tavrowen2.exe Tavrowen2Admin.exe; do
    same "x86/$program machine" "$(pe_machine "$work/portable/x86/$program")" 014c
    same "x64/$program machine" "$(pe_machine "$work/portable/x64/$program")" 8664
    check "x86/$program is the 32-bit build" cmp -s "$work/portable/x86/$program" "$i686_tree/bin/$program"
    check "x64/$program is the 64-bit build" cmp -s "$work/portable/x64/$program" "$x64_tree/bin/$program"
done
check "README.txt says which folder to use" grep -q 'x64\\  for 64-bit Windows' "$work/portable/README.txt"

# ---- 64-bit Windows (tests 1, 3 and 4) -------------------------------------------

copy_wine_prefix "$x64_tree/wine/template" "$prefix64"
use_prefix "$prefix64"

echo "== 1: silent install on 64-bit Windows =="
wine_in "$setup" /S
same "setup exit code" "$?" 0
check_installed_files "$x64_tree/bin" 8664
check_uninstall_entry 64 "$install_dir_windows"
check "no uninstall entry in the 32-bit view" registry_key_absent "$uninstall_key" 32
check_lookup_verbs present 64
start_installed_program
shut_down_installed_program

echo "== 3: upgrade while the program runs =="
make_marked_build "$work/marked"
bash "$source_root/installer/make_packages.sh" "$version" "$work/marked/x86" "$work/marked/x64" "$work/marked-dist" \
    "$x64_tree/CMakeCache.txt" \
    >"$work/marked-packages.log" 2>&1 || fail "making the marked packages"
marked_setup="$work/marked-dist/Tavrowen2-$version-setup.exe"
start_installed_program
wine_in "$marked_setup" /S
same "upgrade exit code" "$?" 0
check "running copy ended by the upgrade" wine_in "$probe" gone 5
wait "$program_pid"
same "upgraded copy's exit code" "$?" 1
check_installed_files "$work/marked/x64" 8664
check_lookup_verbs present 64

# A file another process keeps open for the whole wait stops Setup before it
# writes anything. The companion is held: Setup copies it second, so a Setup
# that did not look first would have replaced the main program already.
before=$(md5sum "$install_dir"/*)
wine "$probe" hold "$install_dir_windows\\Tavrowen2Admin.exe" </dev/null >"$work/hold.log" 2>&1 &
holder_pid=$!
for _ in $(seq 100); do
    grep -q held "$work/hold.log" && break
    sleep 0.2
done
check "file held open" grep -q held "$work/hold.log"
started=$SECONDS
wine_in "$setup" /S
setup_code=$?
[ "$setup_code" -ne 0 ] || fail "setup succeeded while a file was held open"
# It gives the file its 10 s to come free before it gives up.
[ $((SECONDS - started)) -ge 9 ] || fail "setup gave up after $((SECONDS - started)) s"
same "install left whole" "$(md5sum "$install_dir"/*)" "$before"
wine_in "$probe" release
wait "$holder_pid"
same "holder's exit code" "$?" 0

echo "== 4: uninstall =="
wine_in reg add "$run_key" /v "$run_value" /d "\"$install_dir_windows\\Tavrowen2.exe\" /autostart" /f >/dev/null
wine_in reg add "$settings_key" /v SendExtendedInfo /t REG_DWORD /d 1 /f >/dev/null
# A planted HKCU entry naming the all-users folder leaves the uninstaller all-users.
wine_in reg add "HKCU${uninstall_key#HKLM}" /v InstallLocation /d "$install_dir_windows" /f >/dev/null
# The uninstaller ends a running copy first.
start_installed_program
# As Apps & features runs it: the uninstaller copies itself to the temporary
# folder and works from there, so that it can remove its own file; wait for
# every process of the prefix to end.
wine_in "$install_dir_windows\\Uninstall.exe" /S
same "uninstall exit code" "$?" 0
timeout 120 wineserver -w
wait "$program_pid"
same "exit code of the copy the uninstaller ended" "$?" 1
check "install folder removed" test ! -e "$install_dir"
check "shortcut removed" test ! -e "$shortcut"
check "uninstall entry removed" registry_key_absent "$uninstall_key" 64
check_lookup_verbs absent 64
same "Run value naming the installed program" "$(registry_value "$run_key" "$run_value" "")" ""
same "settings kept" "$(registry_value "$settings_key" SendExtendedInfo "")" "REG_DWORD    0x1"
wine_in reg delete "HKCU${uninstall_key#HKLM}" /f >/dev/null

# Uninstalled in place with _?=, as the elevated uninstaller runs, which waits
# for the work but keeps the uninstaller's own file. The Run value names a
# folder whose name begins the same, and stays.
wine_in "$setup" /S
same "setup exit code for the in-place uninstall" "$?" 0
other_command="\"$install_dir_windows 22\\Tavrowen2.exe\" /autostart"
wine_in reg add "$run_key" /v "$run_value" /d "$other_command" /f >/dev/null
# _?= takes the rest of the command line unquoted: Wine joins the words so.
wine_in "$install_dir_windows\\Uninstall.exe" /S '_?=C:\Program' 'Files\Tavrowen' 2
same "in-place uninstall exit code" "$?" 0
same "left by the in-place uninstall" "$(ls "$install_dir")" Uninstall.exe
check "uninstall entry removed in place" registry_key_absent "$uninstall_key" 64
same "Run value naming another folder" "$(registry_value "$run_key" "$run_value" "")" "REG_SZ    $other_command"
rm -rf "$install_dir"

# Every parent of a /D= folder (unquoted, as NSIS wants it) must exist and be
# Administrators' only. Wine gives every file to the user, with full access:
# refusals only (ERROR_INVALID_ACL, ERROR_PATH_NOT_FOUND; low byte).
mkdir -p "$prefix64/drive_c/Tools/Open"
chmod o+w "$prefix64/drive_c/Tools/Open"
for refused in 'Open\Tavrowen 56' 'Absent\Tavrowen 3'; do
    set -- $refused
    wine_in "$setup" /S "/D=C:\\Tools\\$1"
    same "setup exit code for C:\\Tools\\$1" "$?" "$2"
    check "nothing installed in C:\\Tools\\$1" test ! -e "$prefix64/drive_c/Tools/${1//\\//}/Tavrowen2.exe"
done
# A /D= folder is taken in its full form, so ".." cannot pass for Program
# Files (whose folders need no such check): C:\Tools\Dotted is refused like
# any folder whose parents are the user's. Wine joins the two words unquoted.
wine_in "$setup" /S '/D=C:\Program' 'Files\..\Tools\Dotted'
check "setup /D= with .. refused" test "$?" -ne 0
check "nothing installed through .." test ! -e "$prefix64/drive_c/Tools/Dotted/Tavrowen2.exe"
same "no InstallLocation through .." "$(registry_value "$uninstall_key" InstallLocation 64)" ""
# An existing folder must be a real folder that Administrators or SYSTEM own.
# Wine reports the user's own account as every file's owner, and a Unix
# symbolic link as a reparse point.
# One holding other files is refused before its owner is looked at.
mkdir -p "$prefix64/drive_c/Tools/Existing" "$prefix64/drive_c/Tools/Elsewhere" "$prefix64/drive_c/Tools/Crowded"
ln -s "$prefix64/drive_c/Tools/Elsewhere" "$prefix64/drive_c/Tools/Linked"
echo other >"$prefix64/drive_c/Tools/Crowded/notes.txt"
# The exit codes are ERROR_INVALID_OWNER, ERROR_CANT_ACCESS_FILE and
# ERROR_DIR_NOT_EMPTY, of which the shell sees the low byte.
for refused in "Existing 1307" "Linked 1920" "Crowded 145"; do
    set -- $refused
    wine_in "$setup" /S "/D=C:\\Tools\\$1"
    same "setup exit code for C:\\Tools\\$1" "$?" $(($2 & 255))
    same "nothing installed in C:\\Tools\\$1" "$(ls "$prefix64/drive_c/Tools/$1" | grep -v notes.txt)" ""
done

echo "== 7: just for me =="
# Wine runs every process elevated, so the checks read what Setup wrote: the
# user's folder and HKCU, and not one Tavrowen key more in HKLM.
machine_mentions() {
    local view
    for view in 32 64; do
        wine_in reg query 'HKLM\Software' /s /reg:$view 2>/dev/null | grep -ci tavrowen
    done | tr '\n' ' '
}
user_root=$(ls -d "$prefix64"/drive_c/users/*/AppData/Local | grep -v /Public/ | head -n 1)
user_root=${user_root%/AppData/Local}
user_folder="$user_root/AppData/Local/Programs/Tavrowen 2"
user_folder_windows="C:\\users\\$(basename "$user_root")\\AppData\\Local\\Programs\\Tavrowen 2"
user_shortcut="$user_root/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Tavrowen 2.lnk"
user_uninstall_key="HKCU${uninstall_key#HKLM}"
check "Setup asks for no elevation" grep -qF 'level="asInvoker"' <(strings "$setup")
# With an all-users copy installed, a switch is refused.
wine_in "$setup" /S
wine_in "$setup" /S /CurrentUser
same "setup exit code for a mode switch" "$?" 2
check "nothing installed for the user beside an all-users copy" test ! -e "$user_folder"
wine_in "$install_dir_windows\\Uninstall.exe" /S
timeout 120 wineserver -w
machine_before=$(machine_mentions)
wine_in "$setup" /S /CurrentUser
same "per-user setup exit code" "$?" 0
check "installed in the user's Programs folder" cmp -s "$user_folder/Tavrowen2.exe" "$x64_tree/bin/Tavrowen2.exe"
check "shortcut in the user's Start menu" grep -aqF "$user_folder_windows\\Tavrowen2.exe" "$user_shortcut"
same "per-user InstallLocation" "$(registry_value "$user_uninstall_key" InstallLocation "")" "REG_SZ    $user_folder_windows"
for type in exefile dllfile sysfile; do
    same "per-user verb on $type" "$(wine_in reg query "HKCU\\Software\\Classes\\$type\\shell\\TavrowenLookUp\\command" /ve \
        2>/dev/null | tr -d '\r' | sed -n 's/^    (Default)    //p')" "REG_SZ    \"$user_folder_windows\\Tavrowen2.exe\" /lookup \"%1\""
done
same "nothing of ours written to HKLM" "$(machine_mentions)" "$machine_before"
wine_in "$setup" /S /AllUsers
same "setup exit code for the other switch" "$?" 2
# An upgrade without a choice keeps the installed copy's mode.
wine_in "$marked_setup" /S
same "per-user upgrade exit code" "$?" 0
check "upgrade stays in the user's folder" cmp -s "$user_folder/Tavrowen2.exe" "$work/marked/x64/Tavrowen2.exe"
same "upgrade writes nothing to HKLM" "$(machine_mentions)" "$machine_before"
wine_in "$user_folder_windows\\Uninstall.exe" /S
same "per-user uninstall exit code" "$?" 0
timeout 120 wineserver -w
check "per-user folder removed" test ! -e "$user_folder"
check "per-user shortcut removed" test ! -e "$user_shortcut"
check "per-user uninstall entry removed" registry_key_absent "$user_uninstall_key"
same "per-user verbs removed" "$(wine_in reg query 'HKCU\Software\Classes' /s 2>/dev/null | grep -c TavrowenLookUp)" 0

echo "== 8: a per-user entry naming a planted uninstaller =="
# Setup for all users, elevated as Wine starts all, never runs the Uninstall.exe
# (the recorder, writing addresses.txt beside it) of a folder HKCU names.
mkdir -p "$prefix64/drive_c/Planted"
cp "$i686_tree/bin/recorder.exe" "$prefix64/drive_c/Planted/Uninstall.exe"
wine_in reg add "$user_uninstall_key" /v InstallLocation /d 'C:\Planted' /f >/dev/null
wine_in "$setup" /S /AllUsers
same "silent setup exit code beside a planted copy" "$?" 2
wine "$setup" /AllUsers </dev/null >/dev/null 2>&1 &
setup_pid=$!
wine_in "$probe" answer 60 >"$work/answers.log"
same "questions answered" "$?" 0
wait "$setup_pid"
same "interactive setup exit code beside a planted copy" "$?" 2
check "Setup says to remove that copy first" grep -q 'Remove that copy first (from Apps & features)' "$work/answers.log"
check "the planted Uninstall.exe never ran" test ! -e "$prefix64/drive_c/Planted/addresses.txt"
check "nothing installed beside a planted copy" test ! -e "$install_dir"
wine_in reg delete "$user_uninstall_key" /f >/dev/null
WINEPREFIX="$prefix64" wineserver -k >/dev/null 2>&1

# ---- 32-bit Windows (test 2) -----------------------------------------------------

echo "== 2: silent install on 32-bit Windows =="
if [ ! -f "$win32_template/.tavrowen-ready" ]; then
    WINEARCH=win32 sh "$source_root/tests/make_prefix.sh" "$win32_template" "$i686_tree/bin" i686 >/dev/null ||
        fail "making the 32-bit prefix"
fi
copy_wine_prefix "$win32_template" "$prefix32"
use_prefix "$prefix32"
same "32-bit prefix" "$(sed -n 's/^#arch=//p' "$prefix32/system.reg")" win32
wine_in "$setup" /S
same "setup exit code" "$?" 0
check_installed_files "$i686_tree/bin" 014c
check_uninstall_entry "" "$install_dir_windows"
start_installed_program
shut_down_installed_program

# Without icacls, as on Windows XP, Setup installs only in Program Files.
rm -f "$prefix32/drive_c/windows/system32/icacls.exe"
wine_in "$setup" /S '/D=C:\Tools\Tavrowen'
same "setup exit code without icacls" "$?" 50
check "nothing installed without icacls" test ! -e "$prefix32/drive_c/Tools/Tavrowen"

echo "installer test: $failures failure(s)"
if [ "$failures" -eq 0 ]; then
    finish
    trap - EXIT
    rm -rf "$work" "$prefix64" "$prefix32"
    exit 0
fi
echo "kept for a look: $work $prefix64 $prefix32"
exit 1
