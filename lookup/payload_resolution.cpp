#include "lookup/payload_resolution.h"
#include <strsafe.h>
#include "core/ascii_folding.h"
#include "core/handed_path.h"
#include "core/registry_text.h"
#include "core/scoped_handles.h"
#include "core/system_folders.h"
#include "core/system_probes.h"

static const DWORD CLASS_SCAN_LIMIT = 100000;
static const DWORD KNOWN_DLL_LIMIT = 1024;
static const DWORD PATH_VARIABLE_CAPACITY = 32767;

static bool EqualNames(const wchar_t* a, const wchar_t* b)
{
    return EqualFoldingAsciiLetters(a, b, MAX_PATH);
}

// A drive path only, tested through an open at identification level; a
// System32 file is tested through Sysnative by a 32-bit build.
static bool FileExists(const wchar_t* path)
{
    wchar_t readable[MAX_PATH];
    return IsProbeableName(path) && BuildReadablePath(path, readable) && IsExistingDiskFile(readable, NULL);
}

// folder\name made whole (".." and "." taken out) and kept when it exists.
static bool FindIn(const wchar_t* folder, size_t folderLength, const wchar_t* name, wchar_t* path)
{
    wchar_t joined[MAX_PATH];
    if (folderLength == 0 || folderLength >= MAX_PATH ||
        FAILED(StringCchCopyNW(joined, MAX_PATH, folder, folderLength)))
        return false;
    if (joined[folderLength - 1] != L'\\' && FAILED(StringCchCatW(joined, MAX_PATH, L"\\")))
        return false;
    if (FAILED(StringCchCatW(joined, MAX_PATH, name)) || !IsProbeableName(joined))
        return false;
    DWORD length = GetFullPathNameW(joined, MAX_PATH, path, NULL);
    return length > 0 && length < MAX_PATH && FileExists(path);
}

static bool FindInFolder(const wchar_t* folder, const wchar_t* name, wchar_t* path)
{
    size_t length = 0;
    return folder && SUCCEEDED(StringCchLengthW(folder, MAX_PATH, &length)) && FindIn(folder, length, name, path);
}

static bool FindInWindowsFolder(const wchar_t* name, wchar_t* path)
{
    wchar_t folder[MAX_PATH];
    return BuildWindowsPath(L"", folder, MAX_PATH) && FindInFolder(folder, name, path);
}

static bool FindOnPath(const wchar_t* name, wchar_t* path)
{
    wchar_t* variable = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (PATH_VARIABLE_CAPACITY + 1) * sizeof(wchar_t));
    if (!variable)
        return false;
    DWORD length = GetEnvironmentVariableW(L"PATH", variable, PATH_VARIABLE_CAPACITY + 1);
    bool found = false;
    for (DWORD start = 0; length <= PATH_VARIABLE_CAPACITY && start < length && !found;) {
        DWORD end = start;
        while (end < length && variable[end] != L';')
            ++end;
        const wchar_t* folder = variable + start;
        DWORD folderLength = end - start;
        if (folderLength >= 2 && folder[0] == L'"' && folder[folderLength - 1] == L'"')
            ++folder, folderLength -= 2;
        found = FindIn(folder, folderLength, name, path);
        start = end + 1;
    }
    HeapFree(GetProcessHeap(), 0, variable);
    return found;
}

static bool HasExtension(const wchar_t* name)
{
    const wchar_t* dot = wcsrchr(name, L'.');
    return dot && !wcschr(dot, L'\\') && !wcschr(dot, L'/');
}

bool BuildHostSystemFolder(HANDLE process, wchar_t* folder)
{
    typedef UINT (WINAPI* GetSystemWow64DirectoryProc)(LPWSTR, UINT);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    GetSystemWow64DirectoryProc wow64Folder =
        kernel ? (GetSystemWow64DirectoryProc)(void*)GetProcAddress(kernel, "GetSystemWow64DirectoryW") : NULL;
    bool wow64 = false;
    if (wow64Folder && ReadProcessWow64(process ? process : GetCurrentProcess(), &wow64) && wow64) {
        UINT length = wow64Folder(folder, MAX_PATH);
        if (length > 0 && length < MAX_PATH)
            return true;
    }
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        folder[0] = L'\0';
        return false;
    }
    return true;
}

bool IsKnownDll(const wchar_t* name)
{
    ScopedKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", 0,
                      KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    bool known = false;
    for (DWORD index = 0; index < KNOWN_DLL_LIMIT && !known; ++index) {
        wchar_t valueName[MAX_PATH], dll[MAX_PATH];
        DWORD nameLength = MAX_PATH;
        LONG status = RegEnumValueW(key.Get(), index, valueName, &nameLength, NULL, NULL, NULL, NULL);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        known = status == ERROR_SUCCESS && ReadRegistryText(key.Get(), valueName, dll) && EqualNames(dll, name);
    }
    return known;
}

// A bare name, as the loader finds a DLL a host loads by name.
static bool FindDll(const wchar_t* file, const wchar_t* systemFolder, const HostSearchPlaces* places, wchar_t* path)
{
    if (IsKnownDll(file))
        return FindInFolder(systemFolder, file, path);
    return FindInFolder(places->hostFolder, file, path) || FindInFolder(systemFolder, file, path) ||
           FindInWindowsFolder(file, path) || FindInFolder(places->currentFolder, file, path) ||
           FindOnPath(file, path);
}

// A name written whole: canonical first ("\\?\C:\x" is C:\x), and tested
// only when that is a drive path.
static bool FindWhole(const wchar_t* file, wchar_t* path)
{
    wchar_t* canonical = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, HANDED_PATH_CAPACITY * sizeof(wchar_t));
    DWORD error = 0;
    bool found = canonical && MakeHandedPathCanonical(file, true, canonical, &error) &&
                 SUCCEEDED(StringCchCopyW(path, MAX_PATH, canonical)) && FileExists(path);
    if (canonical)
        HeapFree(GetProcessHeap(), 0, canonical);
    if (!found)
        path[0] = L'\0';
    return found;
}

bool ResolveHostFile(const wchar_t* name, HostFileSearch search, const HostSearchPlaces* places, wchar_t* path)
{
    wchar_t file[MAX_PATH], systemFolder[MAX_PATH];
    path[0] = L'\0';
    if (FAILED(StringCchCopyW(file, MAX_PATH, name)) || file[0] == L'\0')
        return false;
    if (search == HOST_SEARCH_DLL && !HasExtension(file) && FAILED(StringCchCatW(file, MAX_PATH, L".dll")))
        return false;
    for (wchar_t* c = file; *c; ++c)
        if (*c == L'/')
            *c = L'\\';
    if ((file[0] && file[1] == L':' && file[2] == L'\\') || (file[0] == L'\\' && file[1] == L'\\'))
        return FindWhole(file, path);
    const wchar_t* current = places->currentFolder;
    bool hasCurrent = current && current[0];
    if (file[0] == L'\\')  // rooted on the current folder's drive
        return hasCurrent && current[1] == L':' && FindIn(current, 2, file + 1, path);
    if (wcschr(file, L'\\') || (file[0] && file[1] == L':'))
        return hasCurrent && FindInFolder(current, file[1] == L':' ? file + 2 : file, path);
    if (places->systemFolder && places->systemFolder[0])
        StringCchCopyW(systemFolder, MAX_PATH, places->systemFolder);
    else if (!BuildHostSystemFolder(NULL, systemFolder))
        systemFolder[0] = L'\0';
    if (search == HOST_SEARCH_DLL)
        return FindDll(file, systemFolder, places, path);
    return (hasCurrent && FindInFolder(current, file, path)) || FindInFolder(systemFolder, file, path) ||
           FindInWindowsFolder(file, path) || FindOnPath(file, path);
}

// Adds the servers of `appId` under root\Software\Classes\CLSID to the `count` found; returns the new count.
static size_t ScanClasses(HKEY root, const wchar_t* appId, wchar_t (*dlls)[MAX_PATH], size_t count, size_t capacity)
{
    ScopedKey classes;
    if (RegOpenKeyExW(root, L"Software\\Classes\\CLSID", 0, KEY_ENUMERATE_SUB_KEYS, classes.Receive()) != ERROR_SUCCESS)
        return count;
    for (DWORD index = 0; index < CLASS_SCAN_LIMIT && count < capacity; ++index) {
        wchar_t clsid[MAX_PATH];
        DWORD clsidLength = MAX_PATH;
        LONG status = RegEnumKeyExW(classes.Get(), index, clsid, &clsidLength, NULL, NULL, NULL, NULL);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        ScopedKey entry, server;
        wchar_t value[MAX_PATH];
        if (status != ERROR_SUCCESS ||
            RegOpenKeyExW(classes.Get(), clsid, 0, KEY_QUERY_VALUE, entry.Receive()) != ERROR_SUCCESS ||
            !ReadRegistryText(entry.Get(), L"AppID", value) || lstrlenW(value) != 38 ||
            !EqualFoldingAsciiLetters(value, appId, 39) ||
            RegOpenKeyExW(entry.Get(), L"InprocServer32", 0, KEY_QUERY_VALUE, server.Receive()) != ERROR_SUCCESS ||
            !ReadRegistryText(server.Get(), NULL, value))
            continue;
        bool known = false;
        for (size_t i = 0; i < count && !known; ++i)
            known = EqualNames(dlls[i], value);
        if (!known && SUCCEEDED(StringCchCopyW(dlls[count], MAX_PATH, value)))
            ++count;
    }
    return count;
}

size_t FindAppIdServerDlls(const wchar_t* appId, wchar_t (*dlls)[MAX_PATH], size_t capacity)
{
    // HKCR merges the user's own classes in; an elevated copy takes the machine's alone.
    size_t count = ScanClasses(HKEY_LOCAL_MACHINE, appId, dlls, 0, capacity);
    return IsElevated() ? count : ScanClasses(HKEY_CURRENT_USER, appId, dlls, count, capacity);
}
