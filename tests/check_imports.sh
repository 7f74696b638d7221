#!/bin/sh
# Fails when a program imports a DLL outside the system set, or a function
# that Windows XP does not have, or lets its imports be loaded from its folder.
set -u
objdump="$1"
shift
# Windows 7's KnownDLLs that we use, and the comctl32 the manifest binds:
# anything else would be looked for beside the program first.
allowed='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|psapi|msvcrt)\.dll$'
newer='^(K32[A-Za-z]+|GetTickCount64|InitializeSRWLock|AcquireSRWLock(Exclusive|Shared)|ReleaseSRWLock(Exclusive|Shared)|TryAcquireSRWLock(Exclusive|Shared)|InitializeConditionVariable|SleepConditionVariable(CS|SRW)|WakeConditionVariable|WakeAllConditionVariable|InitOnce[A-Za-z]*|Fls(Alloc|Free|GetValue|SetValue)|QueryFullProcessImageName[AW]|RegGetValue[AW]|RegDeleteTree[AW]|SHGetKnownFolderPath|TaskDialog|TaskDialogIndirect|GetFinalPathNameByHandle[AW]|CreateSymbolicLink[AW]|GetLocaleInfoEx|LCMapStringEx|CompareStringEx|GetErrorMode|SetThreadErrorMode|CancelIoEx|GetProductInfo|InitializeCriticalSectionEx|CreateEventExW|CreateMutexExW|CreateSemaphoreExW|GetSystemTimePreciseAsFileTime)$'
failed=0
for program in "$@"; do
    dump=$("$objdump" -p "$program") || { echo "cannot read $program"; exit 1; }
    dlls=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
    [ -n "$dlls" ] || { echo "$program: no imports found"; failed=1; }
    for dll in $dlls; do
        if ! printf '%s\n' "$dll" | grep -Eq "$allowed"; then
            echo "$program imports $dll, which is not a system DLL"
            failed=1
        fi
    done
    functions=$(printf '%s\n' "$dump" | awk '/DLL Name:/ {inside=1} inside && NF >= 3 && $1 ~ /^[0-9a-f]+$/ {print $NF}')
    for function in $functions; do
        if printf '%s\n' "$function" | grep -Eq "$newer"; then
            echo "$program imports $function, which Windows XP lacks"
            failed=1
        fi
    done
    # DLLs the imports pull in come from the system folder only (Windows 10
    # 1607 and later): DependentLoadFlags, a 16-bit field of the load
    # configuration at 0x36 (32-bit) or 0x4E (64-bit), is 0x0800.
    config=$(printf '%s\n' "$dump" | awk '/Load Configuration Directory/ { print $3 " " $4; exit }')
    base=$(printf '%s\n' "$dump" | awk '$1 == "ImageBase" { print $2; exit }')
    case "$(printf '%s\n' "$dump" | awk '$1 == "Magic" { print $2; exit }')" in
        020b) field=78 ;;
        *) field=54 ;;
    esac
    flags=none
    rva=${config% *}
    size=${config#* }
    if [ -n "$config" ] && [ $((0x$size)) -gt "$field" ]; then
        at=$((0x$base + 0x$rva + field))
        flags=$("$objdump" -s --start-address="$at" --stop-address=$((at + 2)) "$program" |
                awk 'found && NF >= 2 { print $2; exit } /^Contents of section/ { found = 1 }')
    fi
    if [ "$flags" != "0008" ]; then
        echo "$program: the load configuration lacks DependentLoadFlags 0x800 (bytes: $flags)"
        failed=1
    fi
    echo "$program: $(printf '%s\n' "$dlls" | wc -l) DLLs, $(printf '%s\n' "$functions" | wc -l) functions checked"
done
exit "$failed"
