#include "lookup/command_program.h"
#include <strsafe.h>
#include <wchar.h>
#include "core/ascii_folding.h"
#include "core/handed_path.h"
#include "core/registry_text.h"
#include "core/scoped_handles.h"
#include "core/system_environment.h"
#include "core/system_folders.h"

// A full path in its long form; the path as it is where the file is not
// there, and a name that may not be probed (a share, a device) as written.
bool MakeCanonicalFilePath(const wchar_t* path, wchar_t* canonical)
{
    wchar_t full[MAX_PATH];
    DWORD length = GetFullPathNameW(path, ARRAYSIZE(full), full, NULL);
    if (length == 0 || length >= ARRAYSIZE(full))
        return false;
    length = IsProbeableName(full) ? GetLongPathNameW(full, canonical, MAX_PATH) : 0;
    if (length == 0 || length >= MAX_PATH)
        return SUCCEEDED(StringCchCopyW(canonical, MAX_PATH, full));
    return true;
}

bool SameFilePath(const wchar_t* a, const wchar_t* b)
{
    wchar_t first[MAX_PATH], second[MAX_PATH];
    if (!MakeCanonicalFilePath(a, first) || !MakeCanonicalFilePath(b, second))
        return false;
    return EqualFoldingAsciiLetters(first, second, wcslen(first) + 1);
}

static bool IsExistingFile(const wchar_t* path)
{
    // The file the path names, not the one redirection would give a 32-bit program.
    wchar_t readable[MAX_PATH];
    return BuildReadablePath(path, readable) && IsExistingDiskFile(readable, NULL);
}

// A bare program name as the shell finds it in App Paths, the machine's
// entry first: its default value, the program's full path.
static bool FindInAppPaths(const wchar_t* name, wchar_t* program)
{
    wchar_t keyPath[MAX_PATH + 64];
    if (FAILED(StringCchPrintfW(keyPath, ARRAYSIZE(keyPath),
                                L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%s", name)))
        return false;
    static const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    for (size_t i = 0; i < ARRAYSIZE(roots); ++i) {
        ScopedKey key;
        wchar_t text[MAX_PATH];
        if (RegOpenKeyExW(roots[i], keyPath, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS ||
            !ReadRegistryText(key.Get(), NULL, text))
            continue;
        // Some installers quote it.
        wchar_t* start = text;
        if (*start == L'"') {
            ++start;
            wchar_t* end = wcschr(start, L'"');
            if (end)
                *end = L'\0';
        }
        if (IsExistingFile(start) && SUCCEEDED(StringCchCopyW(program, MAX_PATH, start)))
            return true;
    }
    return false;
}

// `candidate` as CreateProcess would find it: ".exe" added where the name has
// none, and a bare name looked for in the system and Windows folders.
static bool ResolveCandidate(const wchar_t* candidate, wchar_t* program)
{
    wchar_t name[MAX_PATH];
    if (FAILED(StringCchCopyW(name, ARRAYSIZE(name), candidate)))
        return false;
    const wchar_t* lastPart = wcsrchr(name, L'\\');
    if (!wcschr(lastPart ? lastPart : name, L'.') && FAILED(StringCchCatW(name, ARRAYSIZE(name), L".exe")))
        return false;
    if (wcschr(name, L'\\') || wcschr(name, L':'))
        return IsExistingFile(name) && SUCCEEDED(StringCchCopyW(program, MAX_PATH, name));
    return (BuildSystemPath(name, program, MAX_PATH) && IsExistingFile(program)) ||
           (BuildWindowsPath(name, program, MAX_PATH) && IsExistingFile(program)) || FindInAppPaths(name, program);
}

bool FindCommandProgram(const wchar_t* commandLine, wchar_t* program)
{
    wchar_t expanded[COMMAND_HEAD_CAPACITY];
    if (!ExpandSystemVariables(commandLine, expanded, ARRAYSIZE(expanded)))
        return false;
    const wchar_t* start = expanded;
    while (*start == L' ' || *start == L'\t')
        ++start;
    wchar_t candidate[MAX_PATH];
    if (*start == L'"') {
        const wchar_t* end = wcschr(start + 1, L'"');
        size_t quoted = end ? (size_t)(end - start - 1) : wcslen(start + 1);
        return quoted > 0 && quoted < ARRAYSIZE(candidate) &&
               SUCCEEDED(StringCchCopyNW(candidate, ARRAYSIZE(candidate), start + 1, quoted)) &&
               ResolveCandidate(candidate, program);
    }
    // Unquoted: each run of words up to a blank, shortest first, as CreateProcess tries them.
    for (const wchar_t* end = start;; ++end) {
        if (*end != L' ' && *end != L'\t' && *end != L'\0')
            continue;
        size_t partLength = (size_t)(end - start);
        if (partLength > 0 && partLength < ARRAYSIZE(candidate) &&
            SUCCEEDED(StringCchCopyNW(candidate, ARRAYSIZE(candidate), start, partLength)) &&
            ResolveCandidate(candidate, program))
            return true;
        if (*end == L'\0')
            break;
    }
    return false;
}
