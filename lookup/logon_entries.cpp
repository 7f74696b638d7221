#include "lookup/logon_entries.h"
#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>
#include <wchar.h>
#include "core/ascii_folding.h"
#include "core/handed_path.h"
#include "core/lazy_lock.h"
#include "core/registry_text.h"
#include "core/scoped_handles.h"
#include "core/shell_link.h"
#include "core/system_environment.h"
#include "core/system_folders.h"
#include "core/system_probes.h"
#include "resource.h"

// A value name this long or longer is shown as "(too long)"; the registry's
// own limit is 16383 characters.
static const int VALUE_NAME_CAPACITY = 260;
static const DWORD VALUE_NAME_LIMIT = 16384;
// The most of a Run value read to find its program at the head of it.
static const DWORD LONG_VALUE_LIMIT_BYTES = 1024 * 1024;
static const int LOGON_CANDIDATE_CAPACITY = 512;

// Every entry that starts a program at logon, with that program's canonical
// path: read once, then matched against as many files as are asked about.
struct LogonCandidate {
    wchar_t program[MAX_PATH];
    wchar_t text[LOGON_ENTRY_TEXT_CAPACITY];
};

struct LogonSnapshot {
    int count;
    DWORD takenAt;  // GetTickCount when it was read
    LogonCandidate candidates[LOGON_CANDIDATE_CAPACITY];
};

// A full path in its long form; the path as it is where the file is not
// there, and a name that may not be probed (a share, a device) as written.
static bool CanonicalPath(const wchar_t* path, wchar_t* canonical /* MAX_PATH */)
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
    if (!CanonicalPath(a, first) || !CanonicalPath(b, second))
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
    wchar_t expanded[LOGON_COMMAND_CAPACITY];
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

// An entry for the file at `program` (NULL: the program its command line starts).
static void AddCandidate(LogonSnapshot* snapshot, const wchar_t* program, const wchar_t* commandLine,
                         const wchar_t* format, const wchar_t* where, const wchar_t* name)
{
    if (snapshot->count >= LOGON_CANDIDATE_CAPACITY)
        return;
    LogonCandidate* candidate = &snapshot->candidates[snapshot->count];
    wchar_t found[MAX_PATH];
    if (!program && !FindCommandProgram(commandLine, found))
        return;
    if (CanonicalPath(program ? program : found, candidate->program) &&
        SUCCEEDED(StringCchPrintfW(candidate->text, LOGON_ENTRY_TEXT_CAPACITY, format, where, name)))
        ++snapshot->count;
}

// A string value's text, whole and terminated, or false: REG_SZ or
// REG_EXPAND_SZ only, fitting `command`. A stray odd byte (a writer that
// counted one too many) is dropped, as Windows reads such values.
static bool TakeCommandValue(DWORD type, DWORD bytes, wchar_t* command /* LOGON_COMMAND_CAPACITY + 1 */)
{
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || bytes > LOGON_COMMAND_CAPACITY * sizeof(wchar_t))
        return false;
    command[bytes / sizeof(wchar_t)] = L'\0';
    return true;
}

// A Run value's command, or as much of its head as LOGON_COMMAND_CAPACITY
// holds (*tooLong then): the program is named first, so a padded value still
// names it. False for a value that is no string or cannot be read.
static bool ReadCommandHead(HKEY key, const wchar_t* name, DWORD type, DWORD bytes,
                            wchar_t* command /* LOGON_COMMAND_CAPACITY + 1 */, bool* tooLong)
{
    *tooLong = bytes > LOGON_COMMAND_CAPACITY * sizeof(wchar_t);
    if (!*tooLong) {
        DWORD read = LOGON_COMMAND_CAPACITY * sizeof(wchar_t);
        return RegQueryValueExW(key, name, NULL, &type, (BYTE*)command, &read) == ERROR_SUCCESS &&
               TakeCommandValue(type, read, command);
    }
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || bytes > LONG_VALUE_LIMIT_BYTES)
        return false;
    wchar_t* whole = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, bytes + sizeof(wchar_t));
    DWORD read = bytes;
    bool taken = whole && RegQueryValueExW(key, name, NULL, &type, (BYTE*)whole, &read) == ERROR_SUCCESS &&
                 (type == REG_SZ || type == REG_EXPAND_SZ) && read <= bytes;
    if (taken) {
        whole[read / sizeof(wchar_t)] = L'\0';
        StringCchCopyNW(command, LOGON_COMMAND_CAPACITY, whole, LOGON_COMMAND_CAPACITY - 1);
    }
    if (whole)
        HeapFree(GetProcessHeap(), 0, whole);
    return taken;
}

// Whether the other view of the same key holds the same value: shared keys
// (HKCU's, and every key on 32-bit Windows) answer alike in both views.
static bool SameInOtherView(HKEY root, const wchar_t* keyPath, REGSAM otherView, const wchar_t* name,
                            const wchar_t* command)
{
    ScopedKey key;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_QUERY_VALUE | otherView, key.Receive()) != ERROR_SUCCESS)
        return false;
    wchar_t other[LOGON_COMMAND_CAPACITY + 1];
    DWORD type = 0, bytes = 0;
    bool tooLong = false;
    return RegQueryValueExW(key.Get(), name, NULL, &type, NULL, &bytes) == ERROR_SUCCESS &&
           ReadCommandHead(key.Get(), name, type, bytes, other, &tooLong) && wcscmp(other, command) == 0;
}

// One Run value: its name (VALUE_NAME_LIMIT) and its command's head.
struct RunValue {
    wchar_t name[VALUE_NAME_LIMIT];
    wchar_t command[LOGON_COMMAND_CAPACITY + 1];
    bool tooLong;  // the name or the command did not fit what we show
};

// ERROR_NO_MORE_ITEMS after the last value; ERROR_SUCCESS with an empty
// command for a value that is no command.
static LONG ReadRunValue(HKEY key, DWORD index, RunValue* value)
{
    DWORD nameLength = VALUE_NAME_LIMIT, type = 0, bytes = 0;
    LONG result = RegEnumValueW(key, index, value->name, &nameLength, NULL, &type, NULL, &bytes);
    value->command[0] = L'\0';
    if (result != ERROR_SUCCESS)
        return result;
    bool longCommand = false;
    if (!ReadCommandHead(key, value->name, type, bytes, value->command, &longCommand))
        value->command[0] = L'\0';
    value->tooLong = longCommand || nameLength >= (DWORD)VALUE_NAME_CAPACITY;
    return ERROR_SUCCESS;
}

static void FindRunValues(HKEY root, const wchar_t* rootName, const wchar_t* keyName, bool wow6432, REGSAM view,
                          LogonSnapshot* snapshot)
{
    wchar_t keyPath[128];
    StringCchPrintfW(keyPath, ARRAYSIZE(keyPath), L"Software\\Microsoft\\Windows\\CurrentVersion\\%s", keyName);
    ScopedKey key;
    RunValue* value = (RunValue*)HeapAlloc(GetProcessHeap(), 0, sizeof(RunValue));
    if (!value)
        return;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_QUERY_VALUE | view, key.Receive()) != ERROR_SUCCESS) {
        HeapFree(GetProcessHeap(), 0, value);
        return;
    }
    wchar_t where[160], tooLong[64];
    StringCchPrintfW(where, ARRAYSIZE(where), L"%s\\Software\\%sMicrosoft\\Windows\\CurrentVersion\\%s", rootName,
                     wow6432 ? L"WOW6432Node\\" : L"", keyName);
    if (!LoadStringW(GetModuleHandleW(NULL), IDS_LOGON_TOO_LONG, tooLong, ARRAYSIZE(tooLong)))
        StringCchCopyW(tooLong, ARRAYSIZE(tooLong), L"...");
    for (DWORD index = 0; ReadRunValue(key.Get(), index, value) == ERROR_SUCCESS; ++index) {
        if (!value->command[0] ||
            (wow6432 && SameInOtherView(root, keyPath, KEY_WOW64_64KEY, value->name, value->command)))
            continue;
        // A name or command too long to show is listed as such, never passed over.
        const wchar_t* shown = value->name[0] ? value->name : L"(Default)";
        AddCandidate(snapshot, NULL, value->command, L"%s: %s", where, value->tooLong ? tooLong : shown);
    }
    HeapFree(GetProcessHeap(), 0, value);
}

static void FindRunEntries(LogonSnapshot* snapshot)
{
#ifdef _WIN64
    bool twoViews = true;
#else
    bool twoViews = IsRunningUnderWow64();
#endif
    static const wchar_t* const keys[] = {L"Run", L"RunOnce"};
    for (size_t i = 0; i < ARRAYSIZE(keys); ++i) {
        FindRunValues(HKEY_CURRENT_USER, L"HKCU", keys[i], false, twoViews ? KEY_WOW64_64KEY : 0, snapshot);
        FindRunValues(HKEY_LOCAL_MACHINE, L"HKLM", keys[i], false, twoViews ? KEY_WOW64_64KEY : 0, snapshot);
        if (twoViews) {
            FindRunValues(HKEY_CURRENT_USER, L"HKCU", keys[i], true, KEY_WOW64_32KEY, snapshot);
            FindRunValues(HKEY_LOCAL_MACHINE, L"HKLM", keys[i], true, KEY_WOW64_32KEY, snapshot);
        }
    }
}

// The user's Startup folder is theirs to point anywhere: a share or a pipe
// is not listed, and shortcuts are read by our own bounded reader, never by
// the shell's, which would bind the user's shell folders in our process.
static void FindStartupFolderEntries(int csidl, const wchar_t* label, LogonSnapshot* snapshot)
{
    wchar_t folder[MAX_PATH + 1];
    ZeroMemory(folder, sizeof(folder));
    wchar_t pattern[MAX_PATH];
    if (FAILED(SHGetFolderPathW(NULL, csidl, NULL, 0, folder)) || !IsProbeableName(folder) ||
        FAILED(StringCchPrintfW(pattern, ARRAYSIZE(pattern), L"%s\\*", folder)))
        return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        wchar_t item[MAX_PATH], target[MAX_PATH];
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            FAILED(StringCchPrintfW(item, ARRAYSIZE(item), L"%s\\%s", folder, found.cFileName)))
            continue;
        bool shortcut = lstrcmpiW(PathFindExtensionW(found.cFileName), L".lnk") == 0;
        if (!shortcut || ReadShellLinkTarget(item, target))
            AddCandidate(snapshot, shortcut ? target : item, NULL, L"%s: %s", label, found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

static void FindStartupEntries(LogonSnapshot* snapshot)
{
    FindStartupFolderEntries(CSIDL_STARTUP, L"Startup folder", snapshot);
    FindStartupFolderEntries(CSIDL_COMMON_STARTUP, L"Common Startup folder", snapshot);
}

// A service's ImagePath as a command line: "\SystemRoot\" and a path
// relative to the Windows folder made full, "\??\" taken off.
static bool ServiceCommandLine(const wchar_t* imagePath, wchar_t* command /* LOGON_COMMAND_CAPACITY */)
{
    static const wchar_t systemRoot[] = L"\\SystemRoot\\";
    static const wchar_t ntPrefix[] = L"\\??\\";
    size_t rootLength = ARRAYSIZE(systemRoot) - 1, prefixLength = ARRAYSIZE(ntPrefix) - 1;
    if (EqualFoldingAsciiLetters(imagePath, systemRoot, rootLength))
        return BuildWindowsPath(imagePath + rootLength, command, LOGON_COMMAND_CAPACITY);
    if (wcsncmp(imagePath, ntPrefix, prefixLength) == 0)
        return SUCCEEDED(StringCchCopyW(command, LOGON_COMMAND_CAPACITY, imagePath + prefixLength));
    bool relative = imagePath[0] && imagePath[0] != L'"' && imagePath[0] != L'\\' && imagePath[0] != L'%' &&
                    imagePath[1] != L':' && EqualFoldingAsciiLetters(imagePath, L"system32\\", 9);
    if (relative)
        return BuildWindowsPath(imagePath, command, LOGON_COMMAND_CAPACITY);
    return SUCCEEDED(StringCchCopyW(command, LOGON_COMMAND_CAPACITY, imagePath));
}

static bool ReadDword(HKEY key, const wchar_t* name, DWORD* value)
{
    DWORD type = 0, bytes = sizeof(*value);
    return RegQueryValueExW(key, name, NULL, &type, (BYTE*)value, &bytes) == ERROR_SUCCESS && type == REG_DWORD &&
           bytes == sizeof(*value);
}

// Services of their own or shared processes that start with Windows
// (boot, system or automatic start); drivers are no programs.
static void FindServiceEntries(LogonSnapshot* snapshot)
{
    ScopedKey services;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services", 0,
                      KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY, services.Receive()) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        wchar_t name[VALUE_NAME_CAPACITY];
        DWORD nameLength = ARRAYSIZE(name);
        LONG result = RegEnumKeyExW(services.Get(), index, name, &nameLength, NULL, NULL, NULL, NULL);
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS)
            break;
        ScopedKey service;
        if (RegOpenKeyExW(services.Get(), name, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, service.Receive()) !=
            ERROR_SUCCESS)
            continue;
        DWORD start = 0, type = 0;
        if (!ReadDword(service.Get(), L"Start", &start) || start > SERVICE_AUTO_START ||
            !ReadDword(service.Get(), L"Type", &type) || !(type & (SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS)))
            continue;
        wchar_t imagePath[LOGON_COMMAND_CAPACITY + 1], command[LOGON_COMMAND_CAPACITY];
        DWORD valueType = 0, bytes = LOGON_COMMAND_CAPACITY * sizeof(wchar_t);
        if (RegQueryValueExW(service.Get(), L"ImagePath", NULL, &valueType, (BYTE*)imagePath, &bytes) !=
                ERROR_SUCCESS ||
            !TakeCommandValue(valueType, bytes, imagePath) || !ServiceCommandLine(imagePath, command))
            continue;
        AddCandidate(snapshot, NULL, command, L"%s%s", L"Service: ", name);
    }
}

static void ReadLogonSnapshot(LogonSnapshot* snapshot)
{
    snapshot->count = 0;
    FindRunEntries(snapshot);
    FindStartupEntries(snapshot);
    FindServiceEntries(snapshot);
    snapshot->takenAt = GetTickCount();
}

static void MatchLogonSnapshot(const LogonSnapshot* snapshot, const wchar_t* path, LogonEntries* entries)
{
    entries->count = 0;
    entries->total = 0;
    wchar_t canonical[MAX_PATH];
    if (!path || !path[0] || !CanonicalPath(path, canonical))
        return;
    for (int i = 0; i < snapshot->count; ++i) {
        const LogonCandidate* candidate = &snapshot->candidates[i];
        if (!EqualFoldingAsciiLetters(candidate->program, canonical, wcslen(canonical) + 1))
            continue;
        ++entries->total;
        if (entries->count < LOGON_ENTRY_CAPACITY &&
            SUCCEEDED(StringCchCopyW(entries->text[entries->count], LOGON_ENTRY_TEXT_CAPACITY, candidate->text)))
            ++entries->count;
    }
}

void FindLogonEntries(const wchar_t* path, LogonEntries* entries)
{
    LogonSnapshot* snapshot = (LogonSnapshot*)HeapAlloc(GetProcessHeap(), 0, sizeof(LogonSnapshot));
    entries->count = 0;
    entries->total = 0;
    if (!snapshot || !path || !path[0]) {
        if (snapshot)
            HeapFree(GetProcessHeap(), 0, snapshot);
        return;
    }
    ReadLogonSnapshot(snapshot);
    MatchLogonSnapshot(snapshot, path, entries);
    HeapFree(GetProcessHeap(), 0, snapshot);
}

// Kept for the rows: one file after another, each would read it all again.
static LogonSnapshot* keptSnapshot;
static CRITICAL_SECTION keptLock;
static volatile LONG keptLockState;

void FindLogonEntriesRecently(const wchar_t* path, DWORD maximumAgeMs, LogonEntries* entries)
{
    entries->count = 0;
    entries->total = 0;
    MakeLockOnce(&keptLock, &keptLockState);
    EnterCriticalSection(&keptLock);
    if (!keptSnapshot) {
        keptSnapshot = (LogonSnapshot*)HeapAlloc(GetProcessHeap(), 0, sizeof(LogonSnapshot));
        if (keptSnapshot)
            ReadLogonSnapshot(keptSnapshot);
    } else if (GetTickCount() - keptSnapshot->takenAt > maximumAgeMs) {
        ReadLogonSnapshot(keptSnapshot);
    }
    if (keptSnapshot)
        MatchLogonSnapshot(keptSnapshot, path, entries);
    LeaveCriticalSection(&keptLock);
}
