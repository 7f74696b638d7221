#!/bin/sh
# Fails when a program imports a DLL outside the system set, or a function
# that Windows XP does not have.
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
    echo "$program: $(printf '%s\n' "$dlls" | wc -l) DLLs, $(printf '%s\n' "$functions" | wc -l) functions checked"
done
exit "$failed"
