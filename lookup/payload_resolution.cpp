#include "lookup/payload_resolution.h"
#include <strsafe.h>
#include "core/ascii_folding.h"
#include "core/registry_text.h"
#include "core/scoped_handles.h"
#include "core/system_folders.h"

static const DWORD CLASS_SCAN_LIMIT = 100000;
static const DWORD PATH_VARIABLE_CAPACITY = 32767;

static bool FileExists(const wchar_t* path)
{
    wchar_t readable[MAX_PATH];
    if (!BuildReadablePath(path, readable))
        return false;
    DWORD attributes = GetFileAttributesW(readable);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
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
    if (FAILED(StringCchCatW(joined, MAX_PATH, name)))
        return false;
    DWORD length = GetFullPathNameW(joined, MAX_PATH, path, NULL);
    return length > 0 && length < MAX_PATH && FileExists(path);
}

static bool FindInFolder(const wchar_t* folder, const wchar_t* name, wchar_t* path)
{
    size_t length = 0;
    return folder && SUCCEEDED(StringCchLengthW(folder, MAX_PATH, &length)) && FindIn(folder, length, name, path);
}

static bool FindInSystemFolder(bool windowsFolder, const wchar_t* name, wchar_t* path)
{
    wchar_t folder[MAX_PATH];
    bool built = windowsFolder ? BuildWindowsPath(L"", folder, MAX_PATH) : BuildSystemPath(L"", folder, MAX_PATH);
    return built && FindInFolder(folder, name, path);
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

bool ResolveHostFile(const wchar_t* name, HostFileSearch search, const wchar_t* currentFolder, wchar_t* path)
{
    wchar_t file[MAX_PATH];
    path[0] = L'\0';
    if (FAILED(StringCchCopyW(file, MAX_PATH, name)) || file[0] == L'\0')
        return false;
    if (search == HOST_SEARCH_DLL && !HasExtension(file) && FAILED(StringCchCatW(file, MAX_PATH, L".dll")))
        return false;
    for (wchar_t* c = file; *c; ++c)
        if (*c == L'/')
            *c = L'\\';
    bool whole = (file[0] && file[1] == L':' && file[2] == L'\\') || (file[0] == L'\\' && file[1] == L'\\');
    if (whole) {
        DWORD length = GetFullPathNameW(file, MAX_PATH, path, NULL);
        return length > 0 && length < MAX_PATH && FileExists(path);
    }
    bool hasCurrent = currentFolder && currentFolder[0];
    if (file[0] == L'\\')  // rooted on the current folder's drive
        return hasCurrent && currentFolder[1] == L':' && FindIn(currentFolder, 2, file + 1, path);
    if (wcschr(file, L'\\') || (file[0] && file[1] == L':'))
        return hasCurrent && FindInFolder(currentFolder, file[1] == L':' ? file + 2 : file, path);
    if (search == HOST_SEARCH_SCRIPT && hasCurrent && FindInFolder(currentFolder, file, path))
        return true;
    if (FindInSystemFolder(false, file, path) || FindInSystemFolder(true, file, path))
        return true;
    if (search == HOST_SEARCH_DLL && hasCurrent && FindInFolder(currentFolder, file, path))
        return true;
    return FindOnPath(file, path);
}


size_t FindAppIdServerDlls(const wchar_t* appId, wchar_t (*dlls)[MAX_PATH], size_t capacity)
{
    ScopedKey classes;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_ENUMERATE_SUB_KEYS, classes.Receive()) != ERROR_SUCCESS)
        return 0;
    size_t count = 0;
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
            known = lstrcmpiW(dlls[i], value) == 0;
        if (!known && SUCCEEDED(StringCchCopyW(dlls[count], MAX_PATH, value)))
            ++count;
    }
    return count;
}
