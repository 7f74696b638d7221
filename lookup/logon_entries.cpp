#include "lookup/logon_entries.h"
#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>
#include <wchar.h>
#include "core/ascii_folding.h"
#include "core/handed_path.h"
#include "core/kept_table.h"
#include "core/registry_text.h"
#include "core/scoped_handles.h"
#include "core/shell_link.h"
#include "core/system_environment.h"
#include "core/system_folders.h"
#include "core/system_probes.h"
#include "lookup/startup_entries.h"

static const int LOGON_CANDIDATE_CAPACITY = STARTUP_ENTRY_CAPACITY;

// Every entry that starts a program at logon, with that program's canonical
// path: read once, then matched against as many files as are asked about.
struct LogonCandidate {
    wchar_t program[MAX_PATH];
    wchar_t text[LOGON_ENTRY_TEXT_CAPACITY];
};

struct LogonSnapshot {
    int count;
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

// Whether an entry starts a program of its own at logon: an enabled one
// whose file is there; drivers are no programs.
static bool StartsProgramAtLogon(const StartupEntry* entry)
{
    return entry->enabled && entry->programFound && entry->kind != STARTUP_DRIVER;
}

static void ReadLogonSnapshot(LogonSnapshot* snapshot)
{
    snapshot->count = 0;
    StartupList* list = (StartupList*)HeapAlloc(GetProcessHeap(), 0, sizeof(StartupList));
    if (!list)
        return;
    ReadStartupEntries(list);
    for (int i = 0; i < list->count && snapshot->count < LOGON_CANDIDATE_CAPACITY; ++i) {
        const StartupEntry* entry = &list->entries[i];
        LogonCandidate* candidate = &snapshot->candidates[snapshot->count];
        if (StartsProgramAtLogon(entry) && CanonicalPath(entry->program, candidate->program) &&
            FormatLogonEntryText(entry, candidate->text, LOGON_ENTRY_TEXT_CAPACITY))
            ++snapshot->count;
    }
    HeapFree(GetProcessHeap(), 0, list);
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
    entries->count = 0;
    entries->total = 0;
    if (!path || !path[0])
        return;
    LogonSnapshot* snapshot = (LogonSnapshot*)HeapAlloc(GetProcessHeap(), 0, sizeof(LogonSnapshot));
    if (!snapshot)
        return;
    ReadLogonSnapshot(snapshot);
    MatchLogonSnapshot(snapshot, path, entries);
    HeapFree(GetProcessHeap(), 0, snapshot);
}

// Kept for the rows: one file after another, each would read it all again.
static LogonSnapshot* keptSnapshot;
static KeptTable keptTable;

void FindLogonEntriesRecently(const wchar_t* path, DWORD maximumAgeMs, LogonEntries* entries)
{
    entries->count = 0;
    entries->total = 0;
    // The age is the only rule: an entry added since shows once the table is read again.
    bool fresh = EnterKeptTable(&keptTable, maximumAgeMs);
    if (!keptSnapshot)
        keptSnapshot = (LogonSnapshot*)HeapAlloc(GetProcessHeap(), 0, sizeof(LogonSnapshot));
    if (keptSnapshot && !fresh) {
        MarkKeptTableRead(&keptTable);
        ReadLogonSnapshot(keptSnapshot);
    }
    if (keptSnapshot)
        MatchLogonSnapshot(keptSnapshot, path, entries);
    LeaveKeptTable(&keptTable);
}
