#include "lookup/logon_entries.h"
#include <strsafe.h>
#include <wchar.h>
#include "core/ascii_folding.h"
#include "core/kept_table.h"
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
        if (StartsProgramAtLogon(entry) && MakeCanonicalFilePath(entry->program, candidate->program) &&
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
    if (!path || !path[0] || !MakeCanonicalFilePath(path, canonical))
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
