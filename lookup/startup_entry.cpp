#include "lookup/startup_entry.h"
#include "core/program_text.h"
#include <strsafe.h>
#include <wchar.h>
#include "core/command_line_args.h"
#include "core/handed_path.h"
#include "core/host_command.h"
#include "core/system_environment.h"
#include "core/system_folders.h"
#include "core/system_probes.h"
#include "lookup/payload_resolution.h"
#include "resource.h"

// The most of a long string value read to find its program at its head.
static const DWORD LONG_VALUE_LIMIT_BYTES = 1024 * 1024;

bool HasTwoRegistryViews()
{
#ifdef _WIN64
    return true;
#else
    return IsRunningUnderWow64();
#endif
}

StartupEntry* AddStartupEntry(StartupList* list, StartupKind kind, const wchar_t* location, const wchar_t* name)
{
    ++list->total;
    if (list->count >= STARTUP_ENTRY_CAPACITY)
        return NULL;
    StartupEntry* entry = &list->entries[list->count++];
    ZeroMemory(entry, sizeof(*entry));
    entry->kind = kind;
    entry->enabled = true;
    StringCchCopyW(entry->location, ARRAYSIZE(entry->location), location);
    if (FAILED(StringCchCopyW(entry->entry, ARRAYSIZE(entry->entry), name))) {
        entry->tooLong = true;
        if (!LoadProgramText(IDS_LOGON_TOO_LONG, entry->entry, ARRAYSIZE(entry->entry)))
            StringCchCopyW(entry->entry, ARRAYSIZE(entry->entry), L"...");
    } else {
        StringCchCopyW(entry->switchName, ARRAYSIZE(entry->switchName), name);
    }
    return entry;
}

// The program a command names as written: its quoted first part, else its first word.
static void CopyCommandHead(const wchar_t* command, wchar_t* program /* MAX_PATH */)
{
    while (*command == L' ' || *command == L'\t')
        ++command;
    const wchar_t* start = command;
    const wchar_t* end = NULL;
    if (*start == L'"') {
        ++start;
        end = wcschr(start, L'"');
    } else {
        end = wcspbrk(start, L" \t");
    }
    size_t length = end ? (size_t)(end - start) : wcslen(start);
    StringCchCopyNW(program, MAX_PATH, start, length < MAX_PATH ? length : MAX_PATH - 1);
}

// The first file a script host or loader names, found as it would find it.
static void FindHostPayload(const wchar_t* program, const wchar_t* commandLine, wchar_t* payload /* MAX_PATH */)
{
    payload[0] = L'\0';
    if (!FindHostCommandParser(program))
        return;
    CommandArgs* args = (CommandArgs*)HeapAlloc(GetProcessHeap(), 0, sizeof(CommandArgs));
    HostCommand* host = (HostCommand*)HeapAlloc(GetProcessHeap(), 0, sizeof(HostCommand));
    wchar_t folder[MAX_PATH];
    if (args && host && ParseHostCommand(program, commandLine, args, host) && host->fileCount > 0 &&
        SUCCEEDED(StringCchCopyW(folder, ARRAYSIZE(folder), program))) {
        wchar_t* last = wcsrchr(folder, L'\\');
        if (last)
            *last = L'\0';
        HostSearchPlaces places = {folder, NULL, NULL};
        if (!ResolveHostFile(host->files[0], host->search, &places, payload))
            payload[0] = L'\0';
    }
    if (args)
        HeapFree(GetProcessHeap(), 0, args);
    if (host)
        HeapFree(GetProcessHeap(), 0, host);
}

void SetStartupCommand(StartupEntry* entry, const wchar_t* commandLine)
{
    wchar_t expanded[COMMAND_HEAD_CAPACITY];
    if (!ExpandSystemVariables(commandLine, expanded, ARRAYSIZE(expanded)))
        StringCchCopyW(expanded, ARRAYSIZE(expanded), commandLine);
    CopyCommandHead(expanded, entry->program);
    entry->programFound = false;
    entry->probe = PROGRAM_FROM_COMMAND;
    // Only the head of a longer line is kept: no program is found from it.
    if (FAILED(StringCchCopyW(entry->command, ARRAYSIZE(entry->command), commandLine))) {
        entry->tooLong = true;
        entry->probe = PROGRAM_PROBED;
    }
}

void SetStartupProgram(StartupEntry* entry, const wchar_t* path)
{
    StringCchCopyW(entry->program, ARRAYSIZE(entry->program), path);
    entry->programFound = false;
    entry->probe = PROGRAM_FROM_PATH;
}

void ProbeStartupProgram(StartupEntry* entry)
{
    StartupProgramProbe probe = entry->probe;
    entry->probe = PROGRAM_PROBED;
    if (probe == PROGRAM_FROM_PATH) {
        wchar_t readable[MAX_PATH];
        entry->programFound = IsProbeableName(entry->program) && BuildReadablePath(entry->program, readable) &&
                              IsExistingDiskFile(readable, NULL);
        return;
    }
    if (probe != PROGRAM_FROM_COMMAND)
        return;
    wchar_t program[MAX_PATH];
    if (!FindCommandProgram(entry->command, program))
        return;
    StringCchCopyW(entry->program, ARRAYSIZE(entry->program), program);
    entry->programFound = true;
    wchar_t expanded[COMMAND_HEAD_CAPACITY];
    if (!ExpandSystemVariables(entry->command, expanded, ARRAYSIZE(expanded)))
        StringCchCopyW(expanded, ARRAYSIZE(expanded), entry->command);
    if (!entry->payload[0])
        FindHostPayload(entry->program, expanded, entry->payload);
}

bool NextSubkeyName(HKEY key, DWORD* index, wchar_t* name, DWORD capacity)
{
    for (;; ++*index) {
        DWORD length = capacity;
        LONG result = RegEnumKeyExW(key, *index, name, &length, NULL, NULL, NULL, NULL);
        if (result == ERROR_SUCCESS) {
            ++*index;
            return true;
        }
        if (result != ERROR_MORE_DATA)
            return false;
    }
}

bool ReadStringValueHead(HKEY key, const wchar_t* name, wchar_t* text, size_t capacity, bool* tooLong)
{
    DWORD type = 0, bytes = 0;
    *tooLong = false;
    text[0] = L'\0';
    if (RegQueryValueExW(key, name, NULL, &type, NULL, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || bytes > LONG_VALUE_LIMIT_BYTES)
        return false;
    // Read whole, then cut: a padded value still names its program first.
    wchar_t* whole = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, bytes + sizeof(wchar_t));
    DWORD read = bytes;
    bool taken = whole && RegQueryValueExW(key, name, NULL, &type, (BYTE*)whole, &read) == ERROR_SUCCESS &&
                 (type == REG_SZ || type == REG_EXPAND_SZ) && read <= bytes;
    if (taken) {
        // A stray odd byte (a writer that counted one too many) is dropped, as Windows reads such values.
        whole[read / sizeof(wchar_t)] = L'\0';
        *tooLong = wcslen(whole) >= capacity;
        StringCchCopyNW(text, capacity, whole, capacity - 1);
    }
    if (whole)
        HeapFree(GetProcessHeap(), 0, whole);
    return taken;
}

bool ReadMultiStringValue(HKEY key, const wchar_t* name, wchar_t* text, size_t capacity)
{
    DWORD type = 0, bytes = (DWORD)((capacity - 2) * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, NULL, &type, (BYTE*)text, &bytes) != ERROR_SUCCESS ||
        (type != REG_MULTI_SZ && type != REG_SZ))
        return false;
    size_t length = bytes / sizeof(wchar_t);
    text[length] = L'\0';
    text[length + 1] = L'\0';
    return true;
}

bool ReadDwordValue(HKEY key, const wchar_t* name, DWORD* value)
{
    DWORD type = 0, bytes = sizeof(*value);
    return RegQueryValueExW(key, name, NULL, &type, (BYTE*)value, &bytes) == ERROR_SUCCESS && type == REG_DWORD &&
           bytes == sizeof(*value);
}

bool FormatLogonEntryText(const StartupEntry* entry, wchar_t* text, size_t capacity)
{
    // A name or command too long to show is listed as such, never passed over.
    wchar_t tooLong[64];
    if (!LoadProgramText(IDS_LOGON_TOO_LONG, tooLong, ARRAYSIZE(tooLong)))
        StringCchCopyW(tooLong, ARRAYSIZE(tooLong), L"...");
    const wchar_t* name = entry->tooLong ? tooLong : entry->entry;
    if (entry->kind == STARTUP_SERVICE)
        return FormatProgramText(text, capacity, IDS_LOGON_SERVICE, name);
    if (entry->place == SWITCH_USER_FOLDER)
        return FormatProgramText(text, capacity, IDS_LOGON_STARTUP_FOLDER, name);
    return SUCCEEDED(StringCchPrintfW(text, capacity, L"%s: %s", entry->location, name));
}
