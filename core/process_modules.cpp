#include "core/process_modules.h"
#include <psapi.h>
#include <tlhelp32.h>
#include <strsafe.h>
#include <wchar.h>
#include "core/file_name_case.h"
#include "core/handed_path.h"
#include "core/loader_list.h"
#include "core/mapped_images.h"
#include "core/system_probes.h"

// Toolhelp asks again while the loader changes the list under it.
static const int SNAPSHOT_ATTEMPTS = 5;
// A 64-bit build asks for a 32-bit process's own list too; a 32-bit one
// reads only 32-bit processes, and 32-bit XP knows no such flag.
static const DWORD SNAPSHOT_FLAGS = TH32CS_SNAPMODULE | (sizeof(void*) == 8 ? TH32CS_SNAPMODULE32 : 0);

struct ModuleMerge {
    ProcessModuleList* list;
    const wchar_t* executable;
    wchar_t* canonical;  // HANDED_PATH_CAPACITY, for each name in turn
    bool redirected;     // a 32-bit process on 64-bit Windows: its System32 is SysWOW64
    wchar_t system32[MAX_PATH];  // "C:\Windows\System32\"
    wchar_t sysWow64[MAX_PATH];
};

// The folders of System32 that a 32-bit process sees unredirected.
static bool IsExemptFromRedirection(const wchar_t* rest)
{
    static const wchar_t* const exempt[] = {L"catroot\\", L"catroot2\\", L"drivers\\etc\\", L"logfiles\\", L"spool\\"};
    for (size_t i = 0; i < ARRAYSIZE(exempt); ++i) {
        size_t length = wcslen(exempt[i]);
        if (wcslen(rest) > length && EqualAsFileNames(rest, exempt[i], length))
            return true;
    }
    return false;
}

// The loader names a 32-bit process's system DLLs by the System32 it sees;
// the file, and its mapped section's name, are in SysWOW64.
static void UndoRedirection(const ModuleMerge* merge, wchar_t* path /* MAX_PATH */)
{
    size_t length = wcslen(merge->system32);
    if (!merge->redirected || length == 0 || wcslen(path) <= length || !EqualAsFileNames(path, merge->system32, length) ||
        IsExemptFromRedirection(path + length))
        return;
    wchar_t real[MAX_PATH];
    if (SUCCEEDED(StringCchPrintfW(real, ARRAYSIZE(real), L"%s%s", merge->sysWow64, path + length)))
        StringCchCopyW(path, MAX_PATH, real);
}

static void PrepareRedirection(HANDLE process, ModuleMerge* merge)
{
    bool wow64 = false;
    wchar_t windows[MAX_PATH];
    UINT length = GetSystemWindowsDirectoryW(windows, ARRAYSIZE(windows));
    merge->redirected = ReadProcessWow64(process, &wow64) && wow64 && length > 0 && length < ARRAYSIZE(windows) &&
                        SUCCEEDED(StringCchPrintfW(merge->system32, MAX_PATH, L"%s\\System32\\", windows)) &&
                        SUCCEEDED(StringCchPrintfW(merge->sysWow64, MAX_PATH, L"%s\\SysWOW64\\", windows));
}

static bool SamePath(const wchar_t* a, const wchar_t* b)
{
    size_t length = wcslen(a);
    return length == wcslen(b) && EqualAsFileNames(a, b, length);
}

// A name as the process gave it, made canonical where it is a drive path;
// anything else (a share, a device) is kept as written, to be shown only.
static void StorePath(ModuleMerge* merge, const wchar_t* given, wchar_t* path /* MAX_PATH */)
{
    DWORD error = 0;
    if (!MakeHandedPathCanonical(given, true, merge->canonical, &error) ||
        FAILED(StringCchCopyW(path, MAX_PATH, merge->canonical)))
        StringCchCopyW(path, MAX_PATH, given);
}

static ProcessModule* FindModule(const ProcessModuleList* list, const wchar_t* path)
{
    for (int i = 0; i < list->count; ++i) {
        if (SamePath(list->modules[i].path, path))
            return &list->modules[i];
    }
    return NULL;
}

// fromLoader: a name the loader gave; listed: an image the system lists (the loader's, or WOW64's own).
static void AddModule(ModuleMerge* merge, const wchar_t* given, bool fromLoader, bool listed)
{
    wchar_t path[MAX_PATH];
    StorePath(merge, given, path);
    if (fromLoader)
        UndoRedirection(merge, path);
    ProcessModuleList* list = merge->list;
    if (!path[0] || (merge->executable && SamePath(path, merge->executable)))
        return;
    ProcessModule* known = FindModule(list, path);
    if (known) {
        known->inLoaderList = known->inLoaderList || listed;
        return;
    }
    ++list->total;
    if (list->count >= PROCESS_MODULE_LIMIT)
        return;
    ProcessModule* module = &list->modules[list->count++];
    StringCchCopyW(module->path, ARRAYSIZE(module->path), path);
    module->inLoaderList = listed;
}

static HANDLE TakeModuleSnapshot(DWORD processId, DWORD* error)
{
    for (int attempt = 0; attempt < SNAPSHOT_ATTEMPTS; ++attempt) {
        HANDLE snapshot = CreateToolhelp32Snapshot(SNAPSHOT_FLAGS, processId);
        if (snapshot != INVALID_HANDLE_VALUE)
            return snapshot;
        *error = GetLastError();
        if (*error != ERROR_BAD_LENGTH)
            break;
    }
    return INVALID_HANDLE_VALUE;
}

// psapi's list (Vista on) where Toolhelp gives none: it lists a 32-bit
// process's modules to a 64-bit program with LIST_MODULES_ALL.
static bool ReadEnumeratedModules(ModuleMerge* merge, HANDLE process)
{
    typedef BOOL (WINAPI* EnumModulesProc)(HANDLE, HMODULE*, DWORD, LPDWORD, DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    EnumModulesProc enumerate = kernel ? (EnumModulesProc)(void*)GetProcAddress(kernel, "K32EnumProcessModulesEx") : NULL;
    HANDLE heap = GetProcessHeap();
    HMODULE* modules = enumerate ? (HMODULE*)HeapAlloc(heap, 0, PROCESS_MODULE_LIMIT * sizeof(HMODULE)) : NULL;
    const DWORD room = PROCESS_MODULE_LIMIT * sizeof(HMODULE), LIST_ALL = 0x03;  // LIST_MODULES_ALL
    DWORD needed = 0;
    bool listed = modules && enumerate(process, modules, room, &needed, LIST_ALL);
    // More than the room holds: the first ones only.
    DWORD count = listed ? (needed < room ? needed : room) / sizeof(HMODULE) : 0;
    for (DWORD i = 0; i < count; ++i) {
        wchar_t path[MAX_PATH];
        DWORD length = GetModuleFileNameExW(process, modules[i], path, ARRAYSIZE(path));
        if (length > 0 && length < ARRAYSIZE(path))
            AddModule(merge, path, true, true);
    }
    if (modules)
        HeapFree(heap, 0, modules);
    return listed;
}

static void AddLoaderName(const wchar_t* name, void* context)
{
    AddModule((ModuleMerge*)context, name, true, true);
}

static bool ReadLoaderList(ModuleMerge* merge, HANDLE process, DWORD processId)
{
    // Read from its memory where it is of our bitness; Toolhelp's snapshot for the rest, and where that read fails.
    if (ReadLoaderListOf(process, PROCESS_MODULE_LIMIT, AddLoaderName, merge))
        return true;
    DWORD error = 0;
    HANDLE snapshot = TakeModuleSnapshot(processId, &error);
    if (snapshot == INVALID_HANDLE_VALUE && ReadEnumeratedModules(merge, process))
        return true;
    if (snapshot == INVALID_HANDLE_VALUE) {
        merge->list->error = error;
        merge->list->state = error == ERROR_ACCESS_DENIED ? MODULES_ACCESS_DENIED : MODULES_UNREADABLE;
        return false;
    }
    MODULEENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
        entry.szExePath[ARRAYSIZE(entry.szExePath) - 1] = L'\0';
        AddModule(merge, entry.szExePath, true, true);
        entry.dwSize = sizeof(entry);
    }
    CloseHandle(snapshot);
    return true;
}

// A 32-bit process on 64-bit Windows has the 64-bit ntdll and WOW64's own
// DLLs mapped from System32 itself, which its 32-bit loader never lists:
// the system's, not a stranger's.
static bool IsWow64Side(const ModuleMerge* merge, const wchar_t* path)
{
    size_t length = wcslen(merge->system32);
    return merge->redirected && length > 0 && wcslen(path) > length && EqualAsFileNames(path, merge->system32, length) &&
           !wcschr(path + length, L'\\');
}

static bool AddMappedImage(const wchar_t* path, void* context)
{
    ModuleMerge* merge = (ModuleMerge*)context;
    AddModule(merge, path, false, IsWow64Side(merge, path));
    return true;
}

// A 32-bit program sees neither the loader list nor the address space of a 64-bit process whole.
static bool IsWiderThanUs(HANDLE process)
{
    bool wow64 = false;
    return IsRunningUnderWow64() && ReadProcessWow64(process, &wow64) && !wow64;
}

void ReadProcessModules(HANDLE process, DWORD processId, const wchar_t* executable, ProcessModuleList* list)
{
    ZeroMemory(list, sizeof(*list));
    list->state = MODULES_ACCESS_DENIED;
    if (!process)
        return;
    if (IsWiderThanUs(process)) {
        list->state = MODULES_OTHER_BITNESS;
        return;
    }
    HANDLE heap = GetProcessHeap();
    list->modules = (ProcessModule*)HeapAlloc(heap, 0, PROCESS_MODULE_LIMIT * sizeof(ProcessModule));
    wchar_t* canonical = (wchar_t*)HeapAlloc(heap, 0, HANDED_PATH_CAPACITY * sizeof(wchar_t));
    if (list->modules && canonical) {
        ModuleMerge merge = {list, executable && executable[0] ? executable : NULL, canonical};
        PrepareRedirection(process, &merge);
        list->state = MODULES_READ;
        // What the loader does not list is still mapped: the sections tell it.
        if (ReadLoaderList(&merge, process, processId))
            VisitMappedImages(process, AddMappedImage, &merge);
    } else {
        list->state = MODULES_UNREADABLE;
        list->error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (canonical)
        HeapFree(heap, 0, canonical);
}

void FreeProcessModules(ProcessModuleList* list)
{
    if (list->modules)
        HeapFree(GetProcessHeap(), 0, list->modules);
    list->modules = NULL;
    list->count = 0;
}
