#include "lookup/startup_switch.h"
#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>
#include "core/handed_path.h"
#include "core/scoped_handles.h"
#include "core/settings.h"
#include "core/shell_link.h"
#include "core/system_probes.h"
#include "lookup/startup_folders.h"

static const wchar_t RUN_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
static const wchar_t APPROVED_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
// A value moved into our keeping is at most this long, as a Run value read here.
static const DWORD KEPT_VALUE_LIMIT_BYTES = 1024 * 1024;

struct RunPlace {
    StartupSwitchPlace place;
    HKEY root;
    REGSAM view;
    const wchar_t* approvedName;  // under StartupApproved
    const wchar_t* keptName;      // under our Disabled key or folder
    const wchar_t* location;  // NULL: a Startup folder's, from the string table
};

static bool FindRunPlace(StartupSwitchPlace place, RunPlace* found)
{
    REGSAM native = HasTwoRegistryViews() ? KEY_WOW64_64KEY : 0;
    const RunPlace places[] = {
        {SWITCH_HKCU_RUN, HKEY_CURRENT_USER, 0, L"Run", L"HKCU Run",
         L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
        {SWITCH_HKLM_RUN, HKEY_LOCAL_MACHINE, native, L"Run", L"HKLM Run",
         L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
        {SWITCH_HKLM_RUN32, HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"Run32", L"HKLM Run32",
         L"HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
        {SWITCH_USER_FOLDER, HKEY_CURRENT_USER, 0, L"StartupFolder", L"Startup folder", NULL},
        {SWITCH_COMMON_FOLDER, HKEY_LOCAL_MACHINE, native, L"StartupFolder", L"Startup folder (all users)", NULL},
    };
    for (size_t i = 0; i < ARRAYSIZE(places); ++i)
        if (places[i].place == place) {
            *found = places[i];
            return true;
        }
    return false;
}

static bool IsFolderPlace(StartupSwitchPlace place)
{
    return place == SWITCH_USER_FOLDER || place == SWITCH_COMMON_FOLDER;
}

bool SwitchesThroughStartupApproved()
{
    return IsWindows8OrLater();
}

bool IsApprovedValueDisabled(const BYTE* data, DWORD bytes)
{
    return bytes >= 1 && (data[0] & 1) != 0;
}

bool BuildKeptValueKeyPath(StartupSwitchPlace place, wchar_t* keyPath)
{
    RunPlace run;
    return FindRunPlace(place, &run) && !IsFolderPlace(place) &&
           SUCCEEDED(StringCchPrintfW(keyPath, STARTUP_KEY_CAPACITY, L"%s\\Disabled\\%s", settingsKeyPath,
                                      run.keptName));
}

bool BuildKeptFolderPath(StartupSwitchPlace place, wchar_t* folder)
{
    // Beside the settings: the application data folder's Veltrix\Tavrowen2.
    static const wchar_t software[] = L"Software\\";
    RunPlace run;
    wchar_t appData[MAX_PATH];
    return FindRunPlace(place, &run) && IsFolderPlace(place) &&
           SUCCEEDED(SHGetFolderPathW(NULL, CSIDL_APPDATA, NULL, 0, appData)) &&
           SUCCEEDED(StringCchPrintfW(folder, MAX_PATH, L"%s\\%s\\Disabled\\%s", appData,
                                      settingsKeyPath + ARRAYSIZE(software) - 1, run.keptName));
}

// ---- StartupApproved ----

static DWORD WriteApprovedState(const RunPlace* run, const wchar_t* name, BYTE state)
{
    wchar_t keyPath[STARTUP_KEY_CAPACITY];
    StringCchPrintfW(keyPath, ARRAYSIZE(keyPath), L"%s%s", APPROVED_KEY, run->approvedName);
    REGSAM view = run->root == HKEY_LOCAL_MACHINE && HasTwoRegistryViews() ? KEY_WOW64_64KEY : 0;
    ScopedKey key;
    LONG result = RegCreateKeyExW(run->root, keyPath, 0, NULL, 0, KEY_SET_VALUE | view, NULL, key.Receive(), NULL);
    if (result != ERROR_SUCCESS)
        return (DWORD)result;
    BYTE data[STARTUP_APPROVED_BYTES] = {state};
    // Task Manager keeps the time it was turned off; an enabled entry has none.
    if (state == STARTUP_APPROVED_DISABLED) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        CopyMemory(data + 4, &now, sizeof(now));
    }
    return (DWORD)RegSetValueExW(key.Get(), name, 0, REG_BINARY, data, sizeof(data));
}

static bool ReadApprovedDisabled(const RunPlace* run, const wchar_t* name)
{
    wchar_t keyPath[STARTUP_KEY_CAPACITY];
    StringCchPrintfW(keyPath, ARRAYSIZE(keyPath), L"%s%s", APPROVED_KEY, run->approvedName);
    REGSAM view = run->root == HKEY_LOCAL_MACHINE && HasTwoRegistryViews() ? KEY_WOW64_64KEY : 0;
    ScopedKey key;
    BYTE data[64];
    DWORD type = 0, bytes = sizeof(data);
    return RegOpenKeyExW(run->root, keyPath, 0, KEY_QUERY_VALUE | view, key.Receive()) == ERROR_SUCCESS &&
           RegQueryValueExW(key.Get(), name, NULL, &type, data, &bytes) == ERROR_SUCCESS && type == REG_BINARY &&
           IsApprovedValueDisabled(data, bytes);
}

void ApplyStartupApproved(StartupList* list)
{
    if (!SwitchesThroughStartupApproved())
        return;
    for (int i = 0; i < list->count; ++i) {
        StartupEntry* entry = &list->entries[i];
        RunPlace run;
        if (!entry->inOurKeeping && entry->place != SWITCH_NONE && FindRunPlace(entry->place, &run) &&
            ReadApprovedDisabled(&run, entry->switchName))
            entry->enabled = false;
    }
}

// ---- Our keeping: a value ----

// Copies a value, its type and bytes as they are, from one key to another.
static DWORD CopyValue(HKEY from, HKEY to, const wchar_t* name)
{
    DWORD type = 0, bytes = 0;
    LONG result = RegQueryValueExW(from, name, NULL, &type, NULL, &bytes);
    if (result != ERROR_SUCCESS)
        return (DWORD)result;
    if (bytes > KEPT_VALUE_LIMIT_BYTES)
        return ERROR_FILE_TOO_LARGE;
    BYTE* data = (BYTE*)HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1);
    if (!data)
        return ERROR_NOT_ENOUGH_MEMORY;
    DWORD read = bytes;
    result = RegQueryValueExW(from, name, NULL, &type, data, &read);
    if (result == ERROR_SUCCESS && read != bytes)
        result = ERROR_INVALID_DATA;  // changed under us: try again later
    if (result == ERROR_SUCCESS)
        result = RegSetValueExW(to, name, 0, type, data, read);
    HeapFree(GetProcessHeap(), 0, data);
    return (DWORD)result;
}

// Moves a value between keys: written at the new place first, then taken
// from the old; when it cannot be taken the copy is undone.
static DWORD MoveValue(HKEY from, HKEY to, const wchar_t* name)
{
    DWORD result = CopyValue(from, to, name);
    if (result != ERROR_SUCCESS)
        return result;
    result = (DWORD)RegDeleteValueW(from, name);
    if (result != ERROR_SUCCESS)
        RegDeleteValueW(to, name);
    return result;
}

static DWORD OpenRunKeys(const RunPlace* run, bool create, HKEY* runKey, HKEY* keptKey)
{
    wchar_t keptPath[STARTUP_KEY_CAPACITY];
    if (!BuildKeptValueKeyPath(run->place, keptPath))
        return ERROR_NOT_SUPPORTED;
    // The rights are tested first: without them nothing is copied.
    LONG result = RegOpenKeyExW(run->root, RUN_KEY, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | run->view, runKey);
    if (result != ERROR_SUCCESS)
        return (DWORD)result;
    result = create ? RegCreateKeyExW(HKEY_CURRENT_USER, keptPath, 0, NULL, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, NULL,
                                      keptKey, NULL)
                    : RegOpenKeyExW(HKEY_CURRENT_USER, keptPath, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, keptKey);
    if (result != ERROR_SUCCESS) {
        RegCloseKey(*runKey);
        *runKey = NULL;
    }
    return (DWORD)result;
}

static DWORD MoveKeptValue(const RunPlace* run, const wchar_t* name, bool intoKeeping)
{
    HKEY runKey = NULL, keptKey = NULL;
    DWORD result = OpenRunKeys(run, intoKeeping, &runKey, &keptKey);
    if (result != ERROR_SUCCESS)
        return result;
    // Never over a value of the same name: the user's newer one stays.
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(intoKeeping ? keptKey : runKey, name, NULL, &type, NULL, &bytes) == ERROR_SUCCESS)
        result = ERROR_ALREADY_EXISTS;
    else
        result = intoKeeping ? MoveValue(runKey, keptKey, name) : MoveValue(keptKey, runKey, name);
    RegCloseKey(runKey);
    RegCloseKey(keptKey);
    return result;
}

// ---- Our keeping: a file ----

static DWORD MoveKeptFile(StartupSwitchPlace place, const wchar_t* name, bool intoKeeping)
{
    wchar_t startup[MAX_PATH], kept[MAX_PATH], from[MAX_PATH], to[MAX_PATH];
    if (!FindStartupFolder(place, startup) || !BuildKeptFolderPath(place, kept) || wcschr(name, L'\\') ||
        wcschr(name, L'/') || !IsProbeableName(startup))
        return ERROR_NOT_SUPPORTED;
    int made = intoKeeping ? SHCreateDirectoryExW(NULL, kept, NULL) : ERROR_SUCCESS;
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS)
        return (DWORD)made;
    if (FAILED(StringCchPrintfW(intoKeeping ? from : to, MAX_PATH, L"%s\\%s", startup, name)) ||
        FAILED(StringCchPrintfW(intoKeeping ? to : from, MAX_PATH, L"%s\\%s", kept, name)))
        return ERROR_FILENAME_EXCED_RANGE;
    // Moved, not rewritten: the file keeps its bytes and times (another volume: the system copies it).
    return MoveFileExW(from, to, MOVEFILE_COPY_ALLOWED) ? ERROR_SUCCESS : GetLastError();
}

// ---- Off and on ----

DWORD DisableStartupEntry(const StartupEntry* entry)
{
    RunPlace run;
    if (entry->place == SWITCH_NONE || entry->inOurKeeping || !entry->switchName[0] ||
        !FindRunPlace(entry->place, &run))
        return ERROR_NOT_SUPPORTED;
    if (SwitchesThroughStartupApproved())
        return WriteApprovedState(&run, entry->switchName, STARTUP_APPROVED_DISABLED);
    if (IsFolderPlace(entry->place))
        return MoveKeptFile(entry->place, entry->switchName, true);
    return MoveKeptValue(&run, entry->switchName, true);
}

DWORD EnableStartupEntry(const StartupEntry* entry)
{
    RunPlace run;
    if (entry->place == SWITCH_NONE || !entry->switchName[0] || !FindRunPlace(entry->place, &run))
        return ERROR_NOT_SUPPORTED;
    if (entry->inOurKeeping)
        return IsFolderPlace(entry->place) ? MoveKeptFile(entry->place, entry->switchName, false)
                                           : MoveKeptValue(&run, entry->switchName, false);
    if (SwitchesThroughStartupApproved())
        return WriteApprovedState(&run, entry->switchName, STARTUP_APPROVED_ENABLED);
    return ERROR_SUCCESS;  // before Windows 8 an entry at its place is on
}

// ---- What lies in our keeping ----

static void ReadKeptValues(const RunPlace* run, StartupList* list)
{
    wchar_t keptPath[STARTUP_KEY_CAPACITY], name[STARTUP_NAME_CAPACITY];
    ScopedKey key;
    if (!BuildKeptValueKeyPath(run->place, keptPath) ||
        RegOpenKeyExW(HKEY_CURRENT_USER, keptPath, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return;
    wchar_t* command = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, STARTUP_COMMAND_CAPACITY * sizeof(wchar_t));
    for (DWORD index = 0; command; ++index) {
        DWORD nameLength = ARRAYSIZE(name);
        LONG result = RegEnumValueW(key.Get(), index, name, &nameLength, NULL, NULL, NULL, NULL);
        if (result == ERROR_MORE_DATA)
            continue;
        bool tooLong = false;
        if (result != ERROR_SUCCESS)
            break;
        if (!name[0] || !ReadStringValueHead(key.Get(), name, command, STARTUP_COMMAND_CAPACITY, &tooLong))
            continue;
        StartupEntry* entry = AddStartupEntry(list, STARTUP_RUN_VALUE, run->location, name);
        if (!entry)
            continue;
        entry->place = run->place;
        entry->inOurKeeping = true;
        entry->enabled = false;
        SetStartupCommand(entry, command);
        entry->tooLong = entry->tooLong || tooLong;
    }
    if (command)
        HeapFree(GetProcessHeap(), 0, command);
}

static void ReadKeptFiles(const RunPlace* run, StartupList* list)
{
    wchar_t folder[MAX_PATH];
    if (BuildKeptFolderPath(run->place, folder))
        ReadFolderItems(folder, run->place, true, list);
}

void ReadKeptStartupEntries(StartupList* list)
{
    static const StartupSwitchPlace places[] = {SWITCH_HKCU_RUN, SWITCH_HKLM_RUN, SWITCH_HKLM_RUN32,
                                                SWITCH_USER_FOLDER, SWITCH_COMMON_FOLDER};
    for (size_t i = 0; i < ARRAYSIZE(places); ++i) {
        RunPlace run;
        if (!FindRunPlace(places[i], &run) || (places[i] == SWITCH_HKLM_RUN32 && !HasTwoRegistryViews()))
            continue;
        if (IsFolderPlace(places[i]))
            ReadKeptFiles(&run, list);
        else
            ReadKeptValues(&run, list);
    }
}
